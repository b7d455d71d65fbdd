#include "tips/frmAbout.h"

#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "ui/Icons.h"
#include "ui/Placement.h"
#include "ui/Shell.h"
#include "ui/UserPrompts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewick::tips {

namespace keys = settings::keys;

frmAbout::frmAbout(ui::UserPrompts& prompts, update::ConnectionProbe probe, QWidget* parent)
    : QDialog(parent), m_prompts(prompts),
      m_probe(probe ? std::move(probe) : update::ConnectionProbe(update::currentConnectionState)) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Tidewick"));

  imgLogo = new QLabel(this);
  imgLogo->setObjectName(QStringLiteral("imgLogo"));
  imgLogo->setPixmap(ui::glyphIcon(ui::Glyph::App).pixmap(64, 64));
  imgLogo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  imgLogo->setAccessibleName(QStringLiteral("Tidewick"));

  lblProduct = new QLabel(QStringLiteral("Tidewick"), this);
  lblProduct->setObjectName(QStringLiteral("lblProduct"));
  QFont big = lblProduct->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.6);
  lblProduct->setFont(big);
  lblVersion = new QLabel(QStringLiteral("Version %1").arg(settings::ReleaseVersion()), this);
  lblVersion->setObjectName(QStringLiteral("lblVersion"));

  const QString home = settings::valueOrDefault(keys::WebAddress, keys::DefaultWebAddress);
  const QString help = settings::valueOrDefault(keys::OnlineHelpAddress, keys::DefaultOnlineHelpAddress);
  auto link = [](const QString& address) {
    return QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped());
  };
  lblContact = new QLabel(this);
  lblContact->setObjectName(QStringLiteral("lblContact"));
  lblContact->setTextFormat(Qt::RichText);
  lblContact->setText(QStringLiteral("A two-pane FTP client for the desktop.<br><br>"
                                     "Web site: %1<br>Online help: %2<br><br>"
                                     "Copyright &copy; the Tidewick developers.")
                          .arg(link(home), link(help)));
  lblContact->setTextInteractionFlags(Qt::TextBrowserInteraction);
  lblContact->setOpenExternalLinks(false);
  connect(lblContact, &QLabel::linkActivated, this, &frmAbout::OpenLink);

  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setToolTip(QStringLiteral("Close window"));
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(lblProduct);
  text->addWidget(lblVersion);
  text->addSpacing(10);
  text->addWidget(lblContact, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(imgLogo);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
}

void frmAbout::Load() { ui::applyPlacement(this, keys::placement::About); }

void frmAbout::OpenLink(const QString& address) {
  const update::ConnectionState state = m_probe();
  if (!state.connected) {
    m_prompts.message(this, QStringLiteral("Tidewick"), update::connectionStateText(state), ui::UserPrompts::OkOnly,
                      ui::UserPrompts::Icon::Information);
    return;
  }
  ui::openWithShell(address);
}

void frmAbout::done(int result) {
  if (!m_unloaded) {
    m_unloaded = true;
    if (!isMinimized()) ui::savePlacement(this, keys::placement::About);
  }
  QDialog::done(result);
}

} // namespace tidewick::tips
