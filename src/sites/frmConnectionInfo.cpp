#include "sites/frmConnectionInfo.h"

#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "sites/SiteProfiles.h"
#include "ui/Accessibility.h"
#include "ui/Placement.h"
#include "ui/Shell.h"
#include "ui/UserPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

namespace tidewick::sites {

using ui::UserPrompts;

namespace {

const QString kTitle = QStringLiteral("Tidewick");
const QString kRootKey = QStringLiteral("r");
constexpr int kKeyRole = Qt::UserRole + 1;

QLineEdit* field(QWidget* parent, const char* name, const char* tooltip) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setToolTip(QString::fromLatin1(tooltip));
  return edit;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* tooltip) {
  auto* b = new QPushButton(QString::fromLatin1(caption), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(QString::fromLatin1(tooltip));
  b->setAutoDefault(false);
  return b;
}

} // namespace

QString frmConnectionInfo::DefaultAnonymousPassword() { return QStringLiteral("guest@tidewick.org"); }
QString frmConnectionInfo::HelpAddress() { return QStringLiteral("https://tidewick.org/help/site-manager"); }

frmConnectionInfo::frmConnectionInfo(UserPrompts& prompts, QWidget* parent) : QDialog(parent), m_prompts(prompts) {
  setObjectName(QStringLiteral("frmConnectionInfo"));
  setWindowTitle(QStringLiteral("Tidewick  - Connection Information"));
  setModal(true);

  Toolbar1 = new QToolBar(this);
  Toolbar1->setObjectName(QStringLiteral("Toolbar1"));
  Toolbar1->setIconSize(QSize(20, 20));
  Toolbar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  struct Tool {
    const char* key;
    const char* text;
    const char* tip;
    QStyle::StandardPixmap icon;
    void (frmConnectionInfo::*slot)();
  };
  const Tool tools[] = {
      {"Connect", "Connect", "Connect to selected site", QStyle::SP_DialogApplyButton,
       &frmConnectionInfo::ConnectCommand},
      {"NewSite", "New", "Create a new site", QStyle::SP_FileIcon, &frmConnectionInfo::NewSite},
      {"SaveSite", "Save", "Save site", QStyle::SP_DialogSaveButton, &frmConnectionInfo::SaveSite},
      {"DeleteSite", "Delete", "Delete site", QStyle::SP_TrashIcon, &frmConnectionInfo::DeleteSite},
      {"Help", "Help", "Help", QStyle::SP_DialogHelpButton, &frmConnectionInfo::Help},
  };
  for (const Tool& t : tools) {
    QAction* action = Toolbar1->addAction(style()->standardIcon(t.icon), QString::fromLatin1(t.text));
    action->setObjectName(QString::fromLatin1(t.key));
    action->setData(QString::fromLatin1(t.key));
    action->setToolTip(QString::fromLatin1(t.tip));
    connect(action, &QAction::triggered, this, t.slot);
  }

  TView1 = new QTreeWidget(this);
  TView1->setObjectName(QStringLiteral("TView1"));
  TView1->setToolTip(QStringLiteral("Current saved profiles"));
  TView1->setHeaderHidden(true);
  TView1->setMinimumWidth(190);
  TView1->installEventFilter(this);
  connect(TView1, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* node, QTreeWidgetItem*) { OnNodeSelected(node); });
  connect(TView1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* node, int) {
    if (node && node->data(0, kKeyRole).toString() != kRootKey) ConnectCommand();
  });

  txtSiteName = field(this, "txtSiteName", "Site name");
  txtHost = field(this, "txtHost", "Remote site Ip address or hostname");
  txtPort = field(this, "txtPort", "Remote site port number");
  txtPort->setText(QLatin1String(settings::kFtpPort));
  txtPort->setMaxLength(5);
  cboSecurity = new QComboBox(this);
  cboSecurity->setObjectName(QStringLiteral("cboSecurity"));
  cboSecurity->setToolTip(QStringLiteral("How the connection is protected"));
  cboSecurity->addItems(settings::SiteSecurityCaptions());
  connect(cboSecurity, &QComboBox::activated, this, [this] { SecurityChosen(); });
  txtUserName = field(this, "txtUserName", "Remote site user name");
  txtPassword = field(this, "txtPassword", "Remote site password");
  txtPassword->setEchoMode(QLineEdit::Password);

  auto* fields = new QFormLayout;
  fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  fields->addRow(QStringLiteral("Site Name:"), txtSiteName);
  fields->addRow(QStringLiteral("Host Address :"), txtHost);
  fields->addRow(QStringLiteral("Port :"), txtPort);
  fields->addRow(QStringLiteral("Security :"), cboSecurity);
  fields->addRow(QStringLiteral("User Name :"), txtUserName);
  fields->addRow(QStringLiteral("Password :"), txtPassword);

  auto* fraLoginType = new QGroupBox(QStringLiteral("Login Type"), this);
  fraLoginType->setObjectName(QStringLiteral("fraLoginType"));
  optAnonymous = new QRadioButton(QStringLiteral("Anonymous"), fraLoginType);
  optAnonymous->setObjectName(QStringLiteral("optAnonymous"));
  optAnonymous->setToolTip(QStringLiteral("Set login type to anonymous"));
  optNormal = new QRadioButton(QStringLiteral("Save Password"), fraLoginType);
  optNormal->setObjectName(QStringLiteral("optNormal"));
  optNormal->setToolTip(QStringLiteral("Save the user name and password"));
  auto* loginLayout = new QHBoxLayout(fraLoginType);
  loginLayout->addWidget(optAnonymous);
  loginLayout->addWidget(optNormal);
  loginLayout->addStretch();
  connect(optAnonymous, &QRadioButton::clicked, this, [this] { ChooseAnonymous(true); });
  connect(optNormal, &QRadioButton::clicked, this, [this] { ChooseAnonymous(false); });

  auto* right = new QVBoxLayout;
  right->addLayout(fields);
  right->addWidget(fraLoginType);
  right->addStretch();

  auto* middle = new QHBoxLayout;
  middle->addWidget(TView1, 2);
  middle->addLayout(right, 3);

  // The five buttons stand in Frame1, placed by ArrangeButtons rather than by a layout.
  Frame1 = new QFrame(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameShape(QFrame::StyledPanel);
  Frame1->setMinimumHeight(48);
  Frame1->installEventFilter(this);
  cmdSaveSite = button(Frame1, "cmdSaveSite", "Save", "Save current site");
  cmdNewSite = button(Frame1, "cmdNewSite", "New", "Create new  site");
  cmdDeleteSite = button(Frame1, "cmdDeleteSite", "Delete", "Delete current site");
  cmdConnect = button(Frame1, "cmdConnect", "&Connect", "Connect to current site");
  cmdCancel = button(Frame1, "cmdCancel", "C&ancel", "Close window");
  cmdConnect->setDefault(true);
  connect(cmdSaveSite, &QPushButton::clicked, this, &frmConnectionInfo::SaveSite);
  connect(cmdNewSite, &QPushButton::clicked, this, &frmConnectionInfo::NewSite);
  connect(cmdDeleteSite, &QPushButton::clicked, this, &frmConnectionInfo::DeleteSite);
  connect(cmdConnect, &QPushButton::clicked, this, &frmConnectionInfo::ConnectCommand);
  connect(cmdCancel, &QPushButton::clicked, this, &frmConnectionInfo::CancelCommand);
  const int buttonWidth = std::max(92, cmdConnect->sizeHint().width());
  for (QPushButton* b : {cmdSaveSite, cmdNewSite, cmdDeleteSite, cmdConnect, cmdCancel})
    b->resize(buttonWidth, cmdSaveSite->sizeHint().height());
  Frame1->setMinimumWidth(5 * buttonWidth + 6 * 6);

  auto* outer = new QVBoxLayout(this);
  outer->setMenuBar(Toolbar1);
  outer->addLayout(middle, 1);
  outer->addWidget(Frame1);

  resize(620, 380);

  Toolbar1->setWindowTitle(QStringLiteral("Site toolbar")); // how screen readers know it
  Toolbar1->setAccessibleName(Toolbar1->windowTitle());
  ui::nameControls(this);

  ChooseAnonymous(true);
  RefreshProfileTree();
  ui::applyPlacement(this, settings::keys::placement::ConnectionInfo);
}

frmConnectionInfo::~frmConnectionInfo() {
  if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::ConnectionInfo);
}

bool frmConnectionInfo::ShowForm(QString& address, QString& port, QString& userName, QString& password,
                                 bool& anonymous) {
  settings::SiteSecurity security = Security();
  return ShowForm(address, port, userName, password, anonymous, security);
}

bool frmConnectionInfo::ShowForm(QString& address, QString& port, QString& userName, QString& password, bool& anonymous,
                                 settings::SiteSecurity& security) {
  m_cancelled = true;
  SetSecurity(security);
  txtHost->setText(address);
  txtPort->setText(port.isEmpty() ? QLatin1String(settings::kFtpPort) : port);
  txtUserName->setText(userName);
  txtPassword->setText(password);
  ChooseAnonymous(anonymous);

  m_prompts.showModal(this);

  if (m_cancelled) return false;
  address = txtHost->text().trimmed();
  port = txtPort->text().trimmed();
  userName = txtUserName->text().trimmed();
  password = txtPassword->text().trimmed();
  anonymous = optAnonymous->isChecked();
  security = Security();
  return true;
}

void frmConnectionInfo::SetSecurity(settings::SiteSecurity security) { cboSecurity->setCurrentIndex(int(security)); }

settings::SiteSecurity frmConnectionInfo::Security() const {
  return static_cast<settings::SiteSecurity>(std::max(0, cboSecurity->currentIndex()));
}

// Implicit TLS and SFTP have ports of their own: choosing one moves a usual port (the FTP one or
// another choice's) to it, and choosing plain or explicit TLS moves it back. A port the user typed
// otherwise stays.
void frmConnectionInfo::SecurityChosen() {
  const QString port = txtPort->text().trimmed();
  const bool usual = port.isEmpty() || port == QLatin1String(settings::kFtpPort) ||
                     port == QLatin1String(settings::kImplicitTlsPort) || port == QLatin1String(settings::kSftpPort);
  if (usual) txtPort->setText(settings::UsualPort(Security()));
}

void frmConnectionInfo::RefreshProfileTree() {
  TView1->blockSignals(true);
  TView1->clear();
  m_lastNode = nullptr;
  auto* root = new QTreeWidgetItem(TView1, {QStringLiteral("Profiles")});
  root->setData(0, kKeyRole, kRootKey);
  root->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
  for (const QString& name : sites::ListProfiles()) {
    auto* node = new QTreeWidgetItem(root, {name});
    node->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
  }
  root->setExpanded(true);
  TView1->blockSignals(false);
}

void frmConnectionInfo::ConnectCommand() {
  m_cancelled = false;
  accept();
}

void frmConnectionInfo::CancelCommand() {
  m_cancelled = true;
  reject();
}

void frmConnectionInfo::NewSite() {
  txtSiteName->clear();
  txtHost->clear();
  if (optAnonymous->isChecked()) {
    txtUserName->setText(QStringLiteral("anonymous"));
    txtPassword->setText(DefaultAnonymousPassword());
  } else {
    txtUserName->clear();
    txtPassword->clear();
  }
  txtPort->setText(QLatin1String(settings::kFtpPort));
  SetSecurity(settings::SiteSecurity::TlsIfAvailable);
  SetDeleteEnabled(false);
}

void frmConnectionInfo::SaveSite() {
  if (txtHost->text().isEmpty() || txtSiteName->text().isEmpty()) {
    m_prompts.message(this, kTitle, QStringLiteral("Please check Site name and Server Address!"), UserPrompts::OkOnly,
                      UserPrompts::Icon::Warning);
    return;
  }
  sites::SiteProfile profile{txtSiteName->text(), txtHost->text(), txtUserName->text(),
                             txtPassword->text(), txtPort->text(), Security()};
  const QString problem = sites::ProfileProblem(profile, optNormal->isChecked());
  if (!problem.isEmpty()) {
    m_prompts.message(this, kTitle, problem + QStringLiteral("\nThe profile was not saved."), UserPrompts::OkOnly,
                      UserPrompts::Icon::Warning);
    return;
  }
  const auto result = sites::SaveProfile(profile, optNormal->isChecked());
  RefreshProfileTree();
  SetDeleteEnabled(false);
  if (result != sites::SaveResult::Saved) {
    m_prompts.message(this, kTitle,
                      QStringLiteral("The profile could not be saved in ") + sites::ProfilesFolder() +
                          QStringLiteral(".\nCheck that the folder exists and can be written."),
                      UserPrompts::OkOnly, UserPrompts::Icon::Critical);
    return;
  }
  m_currentProfilePath = sites::ProfilesFolder() + QLatin1Char('/') + profile.siteName + sites::kProfileExtension;
  m_prompts.message(this, kTitle, QStringLiteral("Profile Saved"), UserPrompts::OkOnly, UserPrompts::Icon::Information);
}

void frmConnectionInfo::DeleteSite() {
  QTreeWidgetItem* node = TView1->currentItem();
  // Only a profile node can be deleted; with the root or nothing selected there is nothing to do.
  if (!node || node->data(0, kKeyRole).toString() == kRootKey || !cmdDeleteSite->isEnabled()) return;
  const QString name = node->text(0);
  if (m_prompts.message(this, kTitle,
                        QStringLiteral("Are you sure you want to delete this profile: ") + name + QStringLiteral("?"),
                        UserPrompts::YesNo, UserPrompts::Icon::Question) != UserPrompts::Yes)
    return;
  sites::DeleteProfile(name);
  RefreshProfileTree();
  SetDeleteEnabled(false);
}

void frmConnectionInfo::Help() { ui::openWithShell(HelpAddress()); }

void frmConnectionInfo::ChooseAnonymous(bool anonymous) {
  optAnonymous->setChecked(anonymous);
  optNormal->setChecked(!anonymous);
  if (anonymous) {
    txtUserName->setText(QStringLiteral("anonymous"));
    txtPassword->setText(DefaultAnonymousPassword());
  }
  SetLoginFieldsEnabled(!anonymous);
}

void frmConnectionInfo::ClearLoginChoice(QRadioButton* option) {
  // Exclusive options refuse to be cleared one by one; a site with a user name and no saved
  // password has neither chosen, and must not stay Anonymous.
  option->setAutoExclusive(false);
  option->setChecked(false);
  option->setAutoExclusive(true);
}

void frmConnectionInfo::SetLoginFieldsEnabled(bool enabled) {
  for (QLineEdit* edit : {txtUserName, txtPassword}) {
    edit->setEnabled(enabled);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, enabled ? this->palette().color(QPalette::Active, QPalette::Base)
                                             : this->palette().color(QPalette::Button));
    edit->setPalette(palette);
  }
}

void frmConnectionInfo::OnNodeSelected(QTreeWidgetItem* node) {
  if (!node) return;
  m_lastNode = node;
  if (node->data(0, kKeyRole).toString() == kRootKey) {
    SetDeleteEnabled(false);
    return;
  }
  QString problem;
  const sites::SiteProfile profile = sites::ReadProfile(node->text(0), &problem);
  if (!problem.isEmpty()) m_prompts.message(this, kTitle, problem, UserPrompts::OkOnly, UserPrompts::Icon::Warning);
  m_currentProfilePath = sites::ProfilesFolder() + QLatin1Char('/') + node->text(0);
  txtSiteName->setText(profile.siteName);
  txtHost->setText(profile.host);
  txtUserName->setText(profile.userName);
  txtPassword->setText(profile.password);
  txtPort->setText(profile.port);
  SetSecurity(profile.security);
  // Two tests in this order: a user named "anonymous" chooses Anonymous (which fills in the
  // anonymous password), then a non-empty password chooses Save Password.
  if (txtUserName->text() == QStringLiteral("anonymous")) ChooseAnonymous(true);
  else ClearLoginChoice(optAnonymous);
  if (!txtPassword->text().isEmpty()) ChooseAnonymous(false);
  else ClearLoginChoice(optNormal);
  // With neither chosen the login is the named user's: the fields stay open for the password.
  if (!optAnonymous->isChecked()) SetLoginFieldsEnabled(true);
  SetDeleteEnabled(true);
}

void frmConnectionInfo::SetDeleteEnabled(bool enabled) {
  cmdDeleteSite->setEnabled(enabled);
  for (QAction* action : Toolbar1->actions())
    if (action->data().toString() == QStringLiteral("DeleteSite")) action->setEnabled(enabled);
}

void frmConnectionInfo::ArrangeButtons() {
  const int width = cmdSaveSite->width();
  const int height = cmdSaveSite->height();
  const int gap = static_cast<int>(std::lround((Frame1->width() - 5.0 * width) / 6.0));
  const int top = static_cast<int>(std::lround((Frame1->height() - height) / 2.0));
  int left = gap;
  for (QPushButton* b : {cmdSaveSite, cmdNewSite, cmdDeleteSite, cmdConnect, cmdCancel}) {
    b->move(left, top);
    left += b->width() + gap;
  }
}

bool frmConnectionInfo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TView1 && event->type() == QEvent::KeyRelease &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    DeleteSite();
    return true;
  }
  if (watched == Frame1 && event->type() == QEvent::Resize) ArrangeButtons();
  return QDialog::eventFilter(watched, event);
}

} // namespace tidewick::sites
