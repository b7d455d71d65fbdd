#include "update/frmLiveUpdate.h"

#include "ftp/QuickFtp.h"
#include "settings/Globals.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "ui/BusyCursor.h"
#include "ui/Icons.h"
#include "ui/Placement.h"
#include "ui/Shell.h"
#include "ui/UserPrompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace tidewick::update {

namespace keys = settings::keys;

namespace {

QString webAddress() { return settings::valueOrDefault(keys::WebAddress, keys::DefaultWebAddress); }

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tooltip) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(QString::fromUtf8(tooltip));
  button->setAutoDefault(false);
  return button;
}

// The longest line kept while reading the version file: a longer one is not this release's version
// either way, and a hostile file cannot take the memory.
constexpr qsizetype kLongestLine = 4096;

} // namespace

frmLiveUpdate::frmLiveUpdate(ui::UserPrompts& prompts, ConnectionProbe probe, QWidget* parent)
    : QDialog(parent), m_prompts(prompts), m_probe(probe ? std::move(probe) : ConnectionProbe(currentConnectionState)) {
  setObjectName(QStringLiteral("frmLiveUpdate"));

  imgLogo = new QLabel(this);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setPixmap(ui::glyphIcon(ui::Glyph::App).pixmap(64, 64));
  imgLogo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  imgLogo->setAccessibleName(QStringLiteral("Tidewick"));

  lblCaption = new QLabel(this);
  lblCaption->setObjectName(QStringLiteral("lblCaption"));
  QFont heading = lblCaption->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.15);
  lblCaption->setFont(heading);
  lblCaption->setWordWrap(true);
  lblInfo = new QLabel(this);
  lblInfo->setObjectName(QStringLiteral("lblInfo"));
  lblInfo->setWordWrap(true);
  lblInfo->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lblInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblEnd = new QLabel(this);
  lblEnd->setObjectName(QStringLiteral("lblEnd"));
  lblEnd->setWordWrap(true);

  cmdVisitWebSite = makeButton(this, "cmdVisitWebSite", "Visit Site", "Visit Tidewick web site");
  cmdBack = makeButton(this, "cmdBack", "< &Back", "Go back 1 step");
  cmdNext = makeButton(this, "cmdNext", "&Next >", "Go to the next step");
  cmdCancel = makeButton(this, "cmdCancel", "Cancel", "Close window");
  cmdNext->setDefault(true);

  LiveUpdateQuickFtp = new ftp::QuickFtp(this);
  LiveUpdateQuickFtp->setObjectName(QStringLiteral("LiveUpdateQuickFtp"));

  auto* text = new QVBoxLayout;
  text->addWidget(lblCaption);
  text->addSpacing(8);
  text->addWidget(lblInfo, 1);
  text->addWidget(lblEnd);
  auto* top = new QHBoxLayout;
  top->addWidget(imgLogo);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdVisitWebSite);
  buttons->addStretch(1);
  buttons->addWidget(cmdBack);
  buttons->addWidget(cmdNext);
  buttons->addSpacing(8);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  resize(560, 300);

  connect(cmdNext, &QPushButton::clicked, this, &frmLiveUpdate::cmdNext_Click);
  connect(cmdBack, &QPushButton::clicked, this, &frmLiveUpdate::cmdBack_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(cmdVisitWebSite, &QPushButton::clicked, this, &frmLiveUpdate::cmdVisitWebSite_Click);
}

frmLiveUpdate::~frmLiveUpdate() = default;

void frmLiveUpdate::Load() {
  setWindowTitle(QStringLiteral("Tidewick Upgrade Availability Check"));
  cmdVisitWebSite->setVisible(false);
  m_page = 1;
  ShowPage();
  ui::applyPlacement(this, keys::placement::LiveUpdate);
}

QString frmLiveUpdate::VersionFilePath() { return settings::AppFilePath(QStringLiteral("Download/update.txt")); }

void frmLiveUpdate::SetPage(const QString& caption, const QString& info, const QString& end) {
  lblCaption->setText(caption);
  lblInfo->setText(info);
  lblEnd->setText(end);
}

void frmLiveUpdate::ShowPage() {
  switch (m_page) {
    case 1:
      SetPage(QStringLiteral("Tidewick - Check For Upgrade Availability."),
              QStringLiteral("To start checking for an upgrade availability, please click the Next Button"),
              QStringLiteral("Press Next to continue."));
      cmdVisitWebSite->setVisible(false);
      cmdVisitWebSite->setEnabled(false);
      break;
    case 2:
      SetPage(QStringLiteral("Tidewick - Internet Connection Check"),
              QStringLiteral("Tidewick will now check for an internet connection.\n\nIf you are not connected to the "
                             "Internet, you will need to connect at this time.\n"),
              QStringLiteral("Press Next to connect."));
      break;
    case 3: {
      cmdNext->setEnabled(false);
      cmdBack->setEnabled(false);
      const ConnectionState state = m_probe();
      if (!state.connected) {
        // Only Finish is left.
        SetPage(QStringLiteral("Connection Error !"), QString(), connectionStateText(state));
        cmdNext->setText(QStringLiteral("Finish"));
        cmdNext->setEnabled(true);
        cmdBack->setEnabled(false);
        cmdCancel->setEnabled(false);
        return;
      }
      SetPage(QStringLiteral("You are connected to the Internet"),
              QStringLiteral("Tidewick - Will now check for an upgrade availability."),
              QStringLiteral("Press Next to check."));
      cmdNext->setEnabled(true);
      cmdVisitWebSite->setVisible(false);
      cmdVisitWebSite->setEnabled(false);
      break;
    }
    case 4: {
      // Nothing else may start while the version file comes.
      cmdNext->setEnabled(false);
      cmdBack->setEnabled(false);
      cmdCancel->setEnabled(false);
      bool upgrade = false;
      {
        ui::BusyCursor busy;
        upgrade = CheckForUpgrade();
      }
      if (m_closed) return;
      if (upgrade) {
        SetPage(QStringLiteral("Tidewick - Upgrade Available"),
                QStringLiteral("An upgrade version is available on the internet! at: ") + webAddress() +
                    QStringLiteral("\nPlease Press visit site button below to connect to our download site!"),
                QStringLiteral("Press Finish to quit."));
        cmdVisitWebSite->setVisible(true);
        cmdVisitWebSite->setEnabled(true);
      } else {
        SetPage(QStringLiteral("Tidewick - Current Version Is Upto Date"),
                QStringLiteral("This version of Tidewick installed on your computer is the most currently up to "
                               "date. Please check for new releases again in the future."),
                QStringLiteral("Press Finish to quit."));
      }
      cmdNext->setText(QStringLiteral("Finish"));
      cmdNext->setEnabled(true);
      break;
    }
    default: break;
  }
  cmdBack->setEnabled(m_page == 2 || m_page == 3);
  if (m_page == 4) m_page = 1;
}

void frmLiveUpdate::cmdNext_Click() {
  if (cmdNext->text() == QLatin1String("Finish")) {
    accept();
    return;
  }
  ++m_page;
  ShowPage();
}

void frmLiveUpdate::cmdBack_Click() {
  if (m_page <= 1) return;
  --m_page;
  ShowPage();
}

void frmLiveUpdate::ShowMessage(const QString& text) {
  m_prompts.message(this, QStringLiteral("Tidewick"), text, ui::UserPrompts::OkOnly, ui::UserPrompts::Icon::None);
}

namespace {

// The lines of a text fed in pieces, keeping only the last one.
class LastLineReader {
public:
  void feed(QByteArrayView bytes) {
    for (char c : bytes) {
      if (c == '\n' && m_afterCr) {
        m_afterCr = false;
        continue; // the second half of CR LF
      }
      m_afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        m_last = std::exchange(m_current, {});
      } else if (m_current.size() < kLongestLine) {
        m_current.append(c);
      }
    }
  }
  // A last line without a line end counts too.
  QString result() const { return QString::fromUtf8(m_current.isEmpty() ? m_last : m_current); }

private:
  QByteArray m_last, m_current;
  bool m_afterCr = false;
};

} // namespace

QString frmLiveUpdate::LastLine(const QByteArray& contents) {
  LastLineReader reader;
  reader.feed(contents);
  return reader.result();
}

bool frmLiveUpdate::CheckForUpgrade() {
  if (!m_probe().connected) return false;

  const QString host = settings::valueOrDefault(keys::UpdateHost, keys::DefaultUpdateHost);
  const QString portText = settings::valueOrDefault(keys::UpdatePort, keys::DefaultUpdatePort);
  bool ok = false;
  const int port = portText.toInt(&ok);
  QString failure;
  QString lastLine;
  if (!ok || port < 1 || port > 65535) {
    failure = QStringLiteral("The update server's port \"%1\" is not a whole number from 1 to 65535.").arg(portText);
  } else {
    const QString copy = VersionFilePath();
    QDir().mkpath(QFileInfo(copy).absolutePath());
    m_checking = true;
    try {
      LiveUpdateQuickFtp->QuickReceiveFile(host, port, QStringLiteral("anonymous"), QStringLiteral("tansy"),
                                           RemoteVersionFile(), copy, false);
    } catch (const ftp::FtpFailure& e) {
      failure = e.description();
      if (failure.isEmpty()) failure = QStringLiteral("The version file could not be fetched.");
    }
    m_checking = false;
    if (m_closed) return false;
    if (failure.isEmpty()) {
      QFile file(copy);
      // Only the last line counts; a file of any size is read in pieces.
      if (!file.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(copy), file.errorString());
      } else {
        LastLineReader reader;
        while (!file.atEnd()) reader.feed(file.read(64 * 1024));
        lastLine = reader.result();
      }
    }
  }

  if (!failure.isEmpty()) {
    ShowMessage(failure);
    done(QDialog::Rejected);
    return false;
  }
  if (lastLine == settings::ReleaseVersion()) return false;
  if (lastLine.isEmpty()) {
    ShowMessage(QStringLiteral("Please check your internet connection and try again."));
    return false;
  }
  return true;
}

void frmLiveUpdate::cmdVisitWebSite_Click() {
  const ConnectionState state = m_probe();
  if (!state.connected) {
    ShowMessage(connectionStateText(state));
    return;
  }
  ui::openWithShell(webAddress());
}

void frmLiveUpdate::done(int result) {
  if (!m_closed) {
    m_closed = true;
    // Closing while the version file comes stops the download.
    if (m_checking) LiveUpdateQuickFtp->setAbort(true);
    if (!isMinimized()) ui::savePlacement(this, keys::placement::LiveUpdate);
  }
  QDialog::done(result);
}

} // namespace tidewick::update
