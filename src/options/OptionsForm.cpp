#include "options/OptionsForm.h"

#include "settings/ConnectionSettings.h"
#include "settings/Globals.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "settings/Switches.h"
#include "ui/FormResize.h"
#include "ui/Placement.h"
#include "ui/UserPrompts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProxyStyle>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace tidewick::options {

namespace keys = settings::keys;
using ui::UserPrompts;

namespace {

// Gaps of the hand-made layout, in pixels.
constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kFieldWidth = 200;
constexpr int kShortFieldWidth = 72;

// The password field shows "*" for every character, whatever the desktop's style would use.
class StarMaskStyle : public QProxyStyle {
public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

template <typename Control>
Control* named(Control* control, const char* name, const QString& accessibleName = {}) {
  control->setObjectName(QString::fromLatin1(name));
  if (!accessibleName.isEmpty()) control->setAccessibleName(accessibleName);
  return control;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
  auto* l = named(new QLabel(caption, parent), name);
  l->setBuddy(buddy);
  return l;
}

// Places a control at (x, y) with its preferred size, or the given width; returns its right edge.
int place(QWidget* control, int x, int y, int width = -1) {
  const QSize hint = control->sizeHint();
  control->setGeometry(x, y, width < 0 ? hint.width() : width, hint.height());
  return x + control->width();
}

// The extent of a container's children, plus the margin on the right and at the bottom.
QSize extentOf(const QWidget* container) {
  QRect all;
  for (const QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) all |= child->geometry();
  return {all.right() + 1 + kMargin, all.bottom() + 1 + kMargin};
}

// A tab's page: as large as its hand-placed controls need, so the tab control can size to it.
class TabPage : public QWidget {
public:
  using QWidget::QWidget;
  QSize sizeHint() const override { return extentOf(this); }
};

// What the dialog puts into a control from a stored text (the missing-key value when missing).
bool checkedFrom(const QString& text) { return settings::numberFromText(text) == 1.0; }
bool selectedFrom(const QString& text) { return settings::booleanFromText(text).value_or(false); }
// File dates are kept unless the store says "0" or "False", as every transfer reads it.
bool keepDatesFrom(const QString& text) { return settings::booleanFromText(text).value_or(true); }

QString checkText(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }
QString optionText(const QRadioButton* option) { return settings::booleanText(option->isChecked()); }

// The stored text of a key, or the dialog's own value for it when it is missing.
QString stored(QLatin1String key, const char* missing) { return settings::value(key, QString::fromLatin1(missing)); }

} // namespace

OptionsForm::OptionsForm(UserPrompts& prompts, QWidget* parent) : QDialog(parent), m_prompts(prompts) {
  setObjectName(QStringLiteral("OptionsForm"));
  setWindowTitle(QStringLiteral("Tidewick - Options / Settings"));
  setModal(true);

  menuBar = new QMenuBar(this);
  menuBar->setAccessibleName(QStringLiteral("Options menu"));
  QAction* save = menuBar->addAction(QStringLiteral("&Save"));
  save->setObjectName(QStringLiteral("mnuSave"));
  connect(save, &QAction::triggered, this, &OptionsForm::Save);
  QAction* close = menuBar->addAction(QStringLiteral("&Close"));
  close->setObjectName(QStringLiteral("mnuClose"));
  connect(close, &QAction::triggered, this, &OptionsForm::CloseCommand);

  // The menu bar and the client area come from a layout; everything inside the client area is
  // placed by hand, so the resizer keeps it in proportion.
  picClient = named(new QWidget(this), "picClient");
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->setMenuBar(menuBar);
  outer->addWidget(picClient);

  SSTab1 = named(new QTabWidget(picClient), "SSTab1", QStringLiteral("Options"));
  SSTab1->setUsesScrollButtons(false); // every tab's caption stays in view
  auto* general = named(new TabPage, "tabGeneral");
  auto* ftp = named(new TabPage, "tabFtp");
  auto* firewall = named(new TabPage, "tabFirewall");
  SSTab1->addTab(general, QStringLiteral("General Options"));
  SSTab1->addTab(ftp, QStringLiteral("FTP Options"));
  SSTab1->addTab(firewall, QStringLiteral("Firewall Settings"));
  BuildGeneralTab(general);
  BuildFtpTab(ftp);
  BuildFirewallTab(firewall);

  // The tab control as large as its largest page needs, at the client area's top left.
  const QSize tabs = SSTab1->sizeHint();
  SSTab1->setGeometry(kGap, kGap, tabs.width(), tabs.height());

  // The values the controls show before anything is loaded.
  txtLogFilename->setText(QStringLiteral("TIDEWICK.LOG"));
  txtLogFileSize->setText(QStringLiteral("1000"));
  comboFirewallType->setCurrentText(keys::FirewallTypeSocks4);
  txtFirewallPort->setText(QString::number(settings::kDefaultProxyPort));

  // Load.
  SizeToTabs();
  SetFirewallFieldsEnabled();
  LoadSettings();
  RestorePlacement();
}

void OptionsForm::LoadSettings() {
  LoadFirewallSettings();
  LoadGeneralSettings();
}

OptionsForm::~OptionsForm() = default;

void OptionsForm::BuildGeneralTab(QWidget* page) {
  chkSaveWindowSize = named(new QCheckBox(QStringLiteral("Save Window Size On Exit"), page), "chkSaveWindowSize");
  chkSaveWindowPosition =
      named(new QCheckBox(QStringLiteral("Save Window Position on Exit"), page), "chkSaveWindowPosition");
  chkByFileSize =
      named(new QCheckBox(QStringLiteral("Directory Sync by File Size Not Date Stamp"), page), "chkByFileSize");
  chkShowConnectionDialogBoxOnStartup =
      named(new QCheckBox(QStringLiteral("Show Connection Dialog Box on Startup"), page),
            "chkShowConnectionDialogBoxOnStartup");
  chkAddToStartup = named(new QCheckBox(QStringLiteral("Add Tidewick To Windows Startup"), page), "chkAddToStartup");
  chkAddToStartup->setToolTip(QStringLiteral("Start Tidewick hidden when you log in to the desktop"));
  connect(chkAddToStartup, &QCheckBox::toggled, this, &OptionsForm::ApplyStartupEntry);
  chkKeepFileDates = named(new QCheckBox(QStringLiteral("Keep File Dates"), page), "chkKeepFileDates");
  chkKeepFileDates->setToolTip(
      QStringLiteral("Downloaded files keep the server's modification time, uploaded files the local one"));

  int y = kMargin;
  for (QCheckBox* box : {chkSaveWindowSize, chkSaveWindowPosition, chkByFileSize, chkShowConnectionDialogBoxOnStartup,
                         chkAddToStartup, chkKeepFileDates}) {
    place(box, kMargin, y);
    y += box->height() + kGap;
  }
}

void OptionsForm::BuildFtpTab(QWidget* page) {
  fraLogFile = named(new QGroupBox(QStringLiteral("Log File"), page), "fraLogFile");
  txtLogFilename = named(new QLineEdit(fraLogFile), "txtLogFilename", QStringLiteral("Log Filename"));
  QLabel* lblLogFilename = label(fraLogFile, "lblLogFilename", QStringLiteral("Log Filename:"), txtLogFilename);
  optDeleteLogOnStartup =
      named(new QRadioButton(QStringLiteral("Delete Log File on Startup?"), fraLogFile), "optDeleteLogOnStartup");
  optDeleteLogIfTooLarge =
      named(new QRadioButton(QStringLiteral("Delete Log File if Larger Than :"), fraLogFile), "optDeleteLogIfTooLarge");
  txtLogFileSize = named(new QLineEdit(fraLogFile), "txtLogFileSize", QStringLiteral("Log file size in kb"));
  QLabel* lblKb = label(fraLogFile, "lblKb", QStringLiteral("kb"), nullptr);
  chkPasv = named(new QCheckBox(QStringLiteral("Use PASV Mode"), page), "chkPasv");

  // One choice of two. The group keeps it exclusive for the user; SetLogOption can also clear
  // the selected one, as a stored "False" does.
  auto* logOptions = new QButtonGroup(this);
  logOptions->setObjectName(QStringLiteral("grpLogOptions"));
  logOptions->addButton(optDeleteLogOnStartup);
  logOptions->addButton(optDeleteLogIfTooLarge);
  // Choosing the size rule enables the size field; choosing deletion at start disables it.
  connect(optDeleteLogIfTooLarge, &QRadioButton::toggled, this, [this](bool on) {
    if (on) txtLogFileSize->setEnabled(true);
  });
  connect(optDeleteLogOnStartup, &QRadioButton::toggled, this, [this](bool on) {
    if (on) txtLogFileSize->setEnabled(false);
  });

  const int title = fraLogFile->fontMetrics().height() + kGap;
  const int fieldHeight = txtLogFilename->sizeHint().height();
  int y = title;
  const int labelRight = place(lblLogFilename, kMargin, y + (fieldHeight - lblLogFilename->sizeHint().height()) / 2);
  place(txtLogFilename, labelRight + kGap, y, kFieldWidth);
  y += fieldHeight + kGap;
  place(optDeleteLogOnStartup, kMargin, y);
  y += fieldHeight + kGap / 2;
  const int optionRight =
      place(optDeleteLogIfTooLarge, kMargin, y + (fieldHeight - optDeleteLogIfTooLarge->sizeHint().height()) / 2);
  const int sizeRight = place(txtLogFileSize, optionRight + kGap, y, kShortFieldWidth);
  place(lblKb, sizeRight + kGap / 2, y + (fieldHeight - lblKb->sizeHint().height()) / 2);
  const QSize frame = extentOf(fraLogFile);
  fraLogFile->setGeometry(kMargin, kMargin, frame.width(), frame.height());
  place(chkPasv, kMargin + kMargin, fraLogFile->geometry().bottom() + 1 + kGap);
}

void OptionsForm::BuildFirewallTab(QWidget* page) {
  fraFirewall = named(new QGroupBox(QStringLiteral("Firewall Settings"), page), "fraFirewall");
  chkFirewall = named(new QCheckBox(QStringLiteral("Use Firewall"), fraFirewall), "chkFirewall");
  comboFirewallType = named(new QComboBox(fraFirewall), "comboFirewallType", QStringLiteral("Type"));
  // Editable: the store keeps the type as text, and whatever it holds is shown and kept.
  comboFirewallType->setEditable(true);
  comboFirewallType->setInsertPolicy(QComboBox::NoInsert);
  comboFirewallType->addItems({keys::FirewallTypeSocks4, keys::FirewallTypeSocks5});
  txtFirewallHostName = named(new QLineEdit(fraFirewall), "txtFirewallHostName", QStringLiteral("Hostname"));
  txtFirewallPort = named(new QLineEdit(fraFirewall), "txtFirewallPort", QStringLiteral("Port"));
  txtFirewallUserName = named(new QLineEdit(fraFirewall), "txtFirewallUserName", QStringLiteral("User Name"));
  txtFirewallPassword = named(new QLineEdit(fraFirewall), "txtFirewallPassword", QStringLiteral("Password"));
  txtFirewallPassword->setEchoMode(QLineEdit::Password);
  auto* mask = new StarMaskStyle;
  mask->setParent(txtFirewallPassword);
  txtFirewallPassword->setStyle(mask);
  connect(chkFirewall, &QCheckBox::toggled, this, &OptionsForm::SetFirewallFieldsEnabled);

  const std::pair<const char*, const char*> captions[] = {{"lblType", "Type"},
                                                          {"lblHostname", "Hostname"},
                                                          {"lblPort", "Port"},
                                                          {"lblUserName", "User Name"},
                                                          {"lblPassword", "Password"}};
  QWidget* fields[] = {comboFirewallType, txtFirewallHostName, txtFirewallPort, txtFirewallUserName,
                       txtFirewallPassword};
  std::vector<QLabel*> labels;
  int labelWidth = 0;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    labels.push_back(label(fraFirewall, captions[i].first, QString::fromLatin1(captions[i].second), fields[i]));
    labelWidth = std::max(labelWidth, labels.back()->sizeHint().width());
  }

  const int title = fraFirewall->fontMetrics().height() + kGap;
  place(chkFirewall, kMargin, title);
  int y = chkFirewall->geometry().bottom() + 1 + kGap;
  const int fieldX = 2 * kMargin + labelWidth + kGap;
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    const int height = std::max(fields[i]->sizeHint().height(), txtFirewallHostName->sizeHint().height());
    place(labels[i], 2 * kMargin, y + (height - labels[i]->sizeHint().height()) / 2, labelWidth);
    place(fields[i], fieldX, y, fields[i] == txtFirewallPort ? kShortFieldWidth : kFieldWidth);
    y += height + kGap / 2;
  }
  const QSize frame = extentOf(fraFirewall);
  fraFirewall->setGeometry(kMargin, kMargin, frame.width(), frame.height());
}

// ---- loading

void OptionsForm::SizeToTabs() {
  const int innerWidth = 2 * SSTab1->x() + SSTab1->width();
  const int innerHeight = SSTab1->y() + SSTab1->height();
  resize(innerWidth, menuBar->heightForWidth(innerWidth) + innerHeight);
  picClient->resize(innerWidth, innerHeight);
  // Hidden windows get no resize event; the resizer records the window at this size now.
  ui::resizeForm(this);
}

void OptionsForm::LoadFirewallSettings() {
  const settings::FirewallTexts firewall = settings::FirewallTexts::read();
  txtFirewallHostName->setText(firewall.hostName);
  txtFirewallUserName->setText(firewall.userName);
  txtFirewallPassword->setText(firewall.password);
  comboFirewallType->setCurrentText(firewall.type);
  txtFirewallPort->setText(firewall.proxyPort);
  // A missing "Firewall Use" reads as the empty text, which is no number: unchecked, its default.
  chkFirewall->setChecked(checkedFrom(firewall.use));
}

void OptionsForm::LoadGeneralSettings() {
  chkPasv->setChecked(checkedFrom(stored(keys::FtpPasv, "1")));
  chkAddToStartup->setChecked(checkedFrom(stored(keys::AddToStartup, "1")));
  chkByFileSize->setChecked(checkedFrom(stored(keys::DirSyncByFileSize, "1")));
  chkShowConnectionDialogBoxOnStartup->setChecked(checkedFrom(stored(keys::ShowConnectionOnStartup, "1")));
  txtLogFilename->setText(stored(keys::LogFileName, ""));
  // Both may say true: the size rule, set last, is the one that stays selected.
  SetLogOption(optDeleteLogOnStartup, selectedFrom(stored(keys::DeleteLogOnStartup, "1")));
  SetLogOption(optDeleteLogIfTooLarge, selectedFrom(stored(keys::DeleteLogIfTooLarge, "1")));
  txtLogFileSize->setText(stored(keys::LogFileSize, ""));
  chkSaveWindowPosition->setChecked(checkedFrom(stored(keys::SaveWindowPosition, "1")));
  chkSaveWindowSize->setChecked(checkedFrom(stored(keys::SaveWindowSize, "1")));
  chkKeepFileDates->setChecked(keepDatesFrom(stored(keys::KeepFileDates, "1")));
}

void OptionsForm::RestorePlacement() {
  // The stored switch read directly, or this dialog's own box: the switch rule without asking the
  // dialog that is being loaded.
  const bool position = settings::storedNumber(keys::SaveWindowPosition) == 1.0 || chkSaveWindowPosition->isChecked();
  const bool size = settings::storedNumber(keys::SaveWindowSize) == 1.0 || chkSaveWindowSize->isChecked();
  const QSize before = this->size();
  ui::applyPlacement(this, keys::placement::Options, position, size);
  if (this->size() != before) ui::resizeForm(this);
}

// ---- the change rules

void OptionsForm::SetFirewallFieldsEnabled() {
  const bool on = chkFirewall->isChecked();
  for (QWidget* field : std::initializer_list<QWidget*>{comboFirewallType, txtFirewallHostName, txtFirewallPort,
                                                        txtFirewallUserName, txtFirewallPassword}) {
    field->setEnabled(on);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, on ? this->palette().color(QPalette::Active, QPalette::Base)
                                        : this->palette().color(QPalette::Button));
    field->setPalette(palette);
  }
}

void OptionsForm::ApplyStartupEntry(bool checked) {
  // The entry follows the box at once; the setting itself is written only by Save.
  if (checked) settings::SetStartupEntry(settings::StartupCommandLine());
  else settings::RemoveStartupEntry();
}

void OptionsForm::SetLogOption(QRadioButton* option, bool selected) {
  if (option->isChecked() == selected) return;
  QButtonGroup* group = option->group();
  // An exclusive group cannot clear its selected button; this one may, for a stored "False".
  if (!selected && group) group->setExclusive(false);
  option->setChecked(selected);
  if (!selected && group) group->setExclusive(true);
}

// ---- saving, the change check and unloading

void OptionsForm::SaveGeneralSettings() {
  settings::setValue(keys::FtpPasv, checkText(chkPasv));
  settings::setValue(keys::AddToStartup, checkText(chkAddToStartup));
  settings::setValue(keys::DirSyncByFileSize, checkText(chkByFileSize));
  settings::setValue(keys::ShowConnectionOnStartup, checkText(chkShowConnectionDialogBoxOnStartup));
  settings::setValue(keys::LogFileName, txtLogFilename->text());
  settings::setValue(keys::DeleteLogOnStartup, optionText(optDeleteLogOnStartup));
  settings::setValue(keys::DeleteLogIfTooLarge, optionText(optDeleteLogIfTooLarge));
  settings::setValue(keys::LogFileSize, txtLogFileSize->text());
  settings::setValue(keys::SaveWindowPosition, checkText(chkSaveWindowPosition));
  settings::setValue(keys::SaveWindowSize, checkText(chkSaveWindowSize));
  settings::setValue(keys::KeepFileDates, checkText(chkKeepFileDates));
}

void OptionsForm::SaveFirewallSettings() {
  settings::FirewallTexts firewall;
  firewall.hostName = txtFirewallHostName->text();
  firewall.proxyPort = txtFirewallPort->text();
  firewall.use = checkText(chkFirewall);
  firewall.userName = txtFirewallUserName->text();
  firewall.password = txtFirewallPassword->text();
  firewall.type = comboFirewallType->currentText();
  firewall.write();
}

bool OptionsForm::DiffersFromStore() const {
  const struct {
    QLatin1String key;
    const char* missing;
    const QCheckBox* box;
  } boxes[] = {
      {keys::FtpPasv, "1", chkPasv},
      {keys::AddToStartup, "1", chkAddToStartup},
      {keys::DirSyncByFileSize, "1", chkByFileSize},
      {keys::ShowConnectionOnStartup, "1", chkShowConnectionDialogBoxOnStartup},
      {keys::SaveWindowPosition, "1", chkSaveWindowPosition},
      {keys::SaveWindowSize, "1", chkSaveWindowSize},
      {keys::FirewallUse, "0", chkFirewall},
  };
  for (const auto& b : boxes)
    if (checkedFrom(stored(b.key, b.missing)) != b.box->isChecked()) return true;
  if (keepDatesFrom(stored(keys::KeepFileDates, "1")) != chkKeepFileDates->isChecked()) return true;
  if (selectedFrom(stored(keys::DeleteLogOnStartup, "1")) != optDeleteLogOnStartup->isChecked()) return true;
  if (selectedFrom(stored(keys::DeleteLogIfTooLarge, "1")) != optDeleteLogIfTooLarge->isChecked()) return true;
  const std::pair<QLatin1String, QString> texts[] = {
      {keys::LogFileName, txtLogFilename->text()},
      {keys::LogFileSize, txtLogFileSize->text()},
      {keys::FirewallType, comboFirewallType->currentText()},
      {keys::FirewallHostName, txtFirewallHostName->text()},
      {keys::FirewallProxyPort, txtFirewallPort->text()},
      {keys::FirewallUserName, txtFirewallUserName->text()},
      {keys::FirewallPassword, txtFirewallPassword->text()},
  };
  for (const auto& [key, text] : texts)
    if (stored(key, "") != text) return true;
  return false;
}

void OptionsForm::Save() {
  SaveGeneralSettings();
  SaveFirewallSettings();
  Unload();
}

void OptionsForm::CloseCommand() { Unload(); }

void OptionsForm::reject() { Unload(); }

void OptionsForm::closeEvent(QCloseEvent* event) {
  Unload();
  event->accept();
}

void OptionsForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  ui::resizeForm(this);
}

void OptionsForm::Unload() {
  // Save from the change check unloads again; once is enough.
  if (m_unloading) return;
  m_unloading = true;
  if (!isMinimized()) ui::savePlacement(this, keys::placement::Options);
  if (DiffersFromStore() && m_prompts.message(this, QStringLiteral("Software settings have changed"),
                                              QStringLiteral("Would you like to apply option changes?: "),
                                              UserPrompts::YesNo, UserPrompts::Icon::Question) == UserPrompts::Yes) {
    SaveGeneralSettings();
    SaveFirewallSettings();
  }
  m_unloaded = true;
  done(QDialog::Accepted);
}

std::optional<bool> OptionsForm::ControlChecked(const QString& key) const {
  const std::pair<QLatin1String, const QAbstractButton*> controls[] = {
      {keys::AddToStartup, chkAddToStartup},
      {keys::SaveWindowPosition, chkSaveWindowPosition},
      {keys::SaveWindowSize, chkSaveWindowSize},
      {keys::ShowConnectionOnStartup, chkShowConnectionDialogBoxOnStartup},
      {keys::DirSyncByFileSize, chkByFileSize},
      {keys::DeleteLogOnStartup, optDeleteLogOnStartup},
      {keys::DeleteLogIfTooLarge, optDeleteLogIfTooLarge},
  };
  for (const auto& [name, control] : controls)
    if (key.compare(name, Qt::CaseInsensitive) == 0) return control->isChecked();
  return std::nullopt;
}

} // namespace tidewick::options
