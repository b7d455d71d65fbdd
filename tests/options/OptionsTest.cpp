// The options dialog: what it loads and saves, the change check when it goes, its field rules, the
// start-up entry, its size and placement, and the switch rule reading its controls.
#include "options/OptionsForm.h"
#include "options/OptionsHost.h"
#include "settings/ConnectionSettings.h"
#include "settings/Switches.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using tidewick::options::OptionsForm;
using tidewick::options::OptionsHost;
using tidewick::settings::switchIsOn;

namespace {

const QString kQuestion = "Software settings have changed|Would you like to apply option changes?: ";

struct Options {
  TempHome temp;
  ScriptedPrompts prompts;
  OptionsHost host{prompts, nullptr};

  // Shows the dialog; `act` works its controls, then the menu entry `command` (mnuSave or
  // mnuClose) is chosen, or the close box when it is empty.
  void show(const std::function<void(OptionsForm&)>& act, const char* command) {
    prompts.modalAnswers.push_back([act, command](QDialog* dialog) {
      auto* form = qobject_cast<OptionsForm*>(dialog);
      EXPECT_TRUE(form);
      if (!form) return 0;
      if (act) act(*form);
      if (command) form->findChild<QAction*>(QString::fromLatin1(command))->trigger();
      else form->close();
      return form->result();
    });
    host.Show();
  }
  bool asked() const { return std::ranges::count(prompts.messages(), kQuestion) > 0; }
};

QList<QWidget*> firewallFields(const OptionsForm& f) {
  return {f.comboFirewallType, f.txtFirewallHostName, f.txtFirewallPort, f.txtFirewallUserName, f.txtFirewallPassword};
}

TEST(OptionsDialog, AnEmptyStoreLoadsHiddenWritesOnlyTheStartupEntryAndAsksOnClosingUntilSaved) {
  Options o;
  const OptionsForm& f = o.host.Form();
  EXPECT_TRUE(f.isHidden());
  EXPECT_FALSE(f.optDeleteLogOnStartup->isChecked()) << "the size rule, loaded last, wins";
  EXPECT_TRUE(f.optDeleteLogIfTooLarge->isChecked());
  EXPECT_EQ(f.txtLogFilename->text(), "") << "a missing text key replaces the initial text";
  for (const QWidget* field : firewallFields(f)) EXPECT_FALSE(field->isEnabled()) << field->objectName().toStdString();
  EXPECT_EQ(f.txtFirewallPassword->echoMode(), QLineEdit::Password);

  // Loading the start-up box checked writes the entry; nothing else is written until Save.
  EXPECT_TRUE(TempHome::readFile(o.temp.autostartFile()).contains(" /STARTUP\n"));
  EXPECT_FALSE(QFile::exists(o.temp.settingsFile()));

  // Both log options load selected, so the one the size rule overrode differs from the store.
  o.prompts.messageAnswers = {ScriptedPrompts::No};
  o.show({}, "mnuClose");
  EXPECT_TRUE(o.asked());
  EXPECT_FALSE(o.temp.setting("DELETE LOG ON STARTUP")) << "No discards";
  EXPECT_TRUE(o.temp.setting("OPTIONS TOP")) << "the placement is written whatever the answer";

  o.prompts.clear();
  o.prompts.messageAnswers = {ScriptedPrompts::Yes};
  o.show({}, nullptr); // the close box
  EXPECT_TRUE(o.asked());
  EXPECT_EQ(o.temp.setting("DELETE LOG ON STARTUP"), "False") << "Yes saves every control";
  EXPECT_EQ(o.temp.setting("DELETE LOG IF SIZE EXCEEDS"), "True");
  EXPECT_EQ(o.temp.setting("Firewall Use"), "0");

  o.prompts.clear();
  o.show({}, "mnuClose");
  EXPECT_FALSE(o.asked()) << "once saved, closing without a change asks nothing";
  EXPECT_FALSE(o.host.Exists());
}

TEST(OptionsDialog, SaveWritesTheDescribedFormsAndReopeningShowsExactlyThat) {
  Options o;
  o.show(
      [](OptionsForm& f) {
        f.chkSaveWindowSize->click();
        f.chkByFileSize->click();
        f.chkKeepFileDates->click();
        f.txtLogFilename->setText(" my log.txt ");
        f.optDeleteLogOnStartup->click();
        f.txtLogFileSize->setText("12x");
        f.chkPasv->click();
        f.chkFirewall->click();
        f.comboFirewallType->setCurrentIndex(1);
        f.txtFirewallHostName->setText("proxy.example");
        f.txtFirewallPort->setText("abc");
        f.txtFirewallUserName->setText("me");
        f.txtFirewallPassword->setText("p w");
      },
      "mnuSave");
  EXPECT_FALSE(o.asked()) << "Save leaves nothing to apply";
  EXPECT_FALSE(o.host.Exists()) << "Save unloads the dialog";

  const char* stored =
      "SAVE WINDOW SIZE=0|SAVE WINDOW POSITION=1|DIR SYNC BY FILE SIZE=0|SHOW CONNECTION ON STARTUP=1|ADD TO STARTUP=1|"
      "LOG FILE NAME= my log.txt |DELETE LOG ON STARTUP=True|DELETE LOG IF SIZE EXCEEDS=False|LOG FILE SIZE=12x|"
      "FTP PASV=0|Firewall Use=1|Firewall Type=SOCKS 5|Firewall Host Name=proxy.example|Firewall Proxy Port=abc|"
      "Firewall User Name=me|Firewall Password=p w|Keep File Dates=0|OPTIONS TOP|OPTIONS LEFT|OPTIONS HEIGHT|"
      "OPTIONS WIDTH";
  for (const QString& row : QString::fromLatin1(stored).split('|')) {
    const std::optional<QString> value = o.temp.setting(row.section('=', 0, 0));
    if (row.contains('=')) EXPECT_EQ(value, row.section('=', 1)) << row.toStdString();
    else EXPECT_TRUE(value) << row.toStdString();
  }
  // What a connection makes of it: SOCKS 5, and a port it will refuse with a message.
  const auto connection = tidewick::settings::ConnectionSettings::read();
  EXPECT_FALSE(connection.passive);
  EXPECT_EQ(connection.firewallType, tidewick::settings::ProxyType::Socks5);
  EXPECT_FALSE(connection.usable());
  EXPECT_FALSE(connection.keepFileDates);

  // Reopened, every control shows what was stored, and the fields follow their boxes.
  const OptionsForm& f = o.host.Form();
  EXPECT_FALSE(f.txtLogFileSize->isEnabled()) << "deleting at start needs no size";
  for (const QWidget* field : firewallFields(f)) EXPECT_TRUE(field->isEnabled());
  EXPECT_EQ(f.comboFirewallType->currentText(), "SOCKS 5");
  EXPECT_FALSE(f.DiffersFromStore());
}

TEST(OptionsDialog, TheStartupEntryFollowsTheBoxAtOnceWhateverTheAnswer) {
  Options o;
  o.prompts.messageAnswers = {ScriptedPrompts::No};
  o.show(
      [&](OptionsForm& f) {
        ASSERT_TRUE(QFile::exists(o.temp.autostartFile()));
        f.chkAddToStartup->click();
        EXPECT_FALSE(QFile::exists(o.temp.autostartFile())) << "removed as the box is cleared";
      },
      "mnuClose");
  EXPECT_TRUE(o.asked());
  EXPECT_FALSE(QFile::exists(o.temp.autostartFile())) << "No does not bring the entry back";
  EXPECT_FALSE(o.temp.setting("ADD TO STARTUP")) << "the setting itself waits for Save";

  // A stored "0" loads unchecked without touching the entry; checking it writes the entry.
  o.temp.setSetting("ADD TO STARTUP", "0");
  OptionsForm& f = o.host.Form();
  EXPECT_FALSE(QFile::exists(o.temp.autostartFile()));
  f.chkAddToStartup->click();
  EXPECT_TRUE(QFile::exists(o.temp.autostartFile()));
}

TEST(OptionsDialog, StoredValuesThatAreNoNumberLoadUncheckedAndTheLogAndFirewallFieldsFollowTheirBoxes) {
  Options o;
  o.temp.setSettings({{"SAVE WINDOW SIZE", "abc"}, {"Firewall Use", "yes"}});
  o.temp.setSettings({{"DELETE LOG ON STARTUP", "maybe"}, {"DELETE LOG IF SIZE EXCEEDS", "False"}});
  o.show(
      [](OptionsForm& f) {
        EXPECT_FALSE(f.chkSaveWindowSize->isChecked());
        EXPECT_FALSE(f.chkFirewall->isChecked());
        EXPECT_FALSE(f.txtFirewallHostName->isEnabled());
        EXPECT_FALSE(f.optDeleteLogOnStartup->isChecked());
        EXPECT_FALSE(f.optDeleteLogIfTooLarge->isChecked()) << "a stored False clears the option";
      },
      "mnuClose");
  EXPECT_FALSE(o.asked()) << "what loaded unchecked matches what the store says";
  EXPECT_EQ(o.temp.setting("SAVE WINDOW SIZE"), "abc") << "closing keeps the stored text";

  // The log options stay one choice, and the firewall box governs its fields.
  o.temp.setSettings({{"DELETE LOG ON STARTUP", "1"}, {"DELETE LOG IF SIZE EXCEEDS", "True"}});
  OptionsForm& f = o.host.Form();
  EXPECT_FALSE(f.optDeleteLogOnStartup->isChecked());
  EXPECT_TRUE(f.optDeleteLogIfTooLarge->isChecked());

  f.optDeleteLogOnStartup->click();
  EXPECT_FALSE(f.optDeleteLogIfTooLarge->isChecked());
  EXPECT_FALSE(f.txtLogFileSize->isEnabled());
  f.optDeleteLogOnStartup->click();
  EXPECT_TRUE(f.optDeleteLogOnStartup->isChecked()) << "a chosen option stays chosen when clicked again";
  f.optDeleteLogIfTooLarge->click();
  EXPECT_TRUE(f.txtLogFileSize->isEnabled());

  f.chkFirewall->click();
  for (const QWidget* field : firewallFields(f)) EXPECT_TRUE(field->isEnabled());
  f.chkFirewall->click();
  for (const QWidget* field : firewallFields(f)) EXPECT_FALSE(field->isEnabled());
}

TEST(OptionsDialog, TheSwitchRuleReadsTheDialogItCreatesHidden) {
  Options o;
  EXPECT_FALSE(o.host.Exists());
  EXPECT_TRUE(switchIsOn("SAVE WINDOW SIZE")) << "missing: the dialog loads it checked";
  ASSERT_TRUE(o.host.Exists());
  EXPECT_TRUE(o.host.Form().isHidden());

  // The dialog keeps what it loaded: the box answers until the dialog goes.
  o.temp.setSetting("SAVE WINDOW SIZE", "0");
  EXPECT_TRUE(switchIsOn("SAVE WINDOW SIZE"));
  EXPECT_FALSE(o.host.Form().ControlChecked("FTP PASV")) << "passive mode is read directly only";

  // Never shown, it holds nothing of the user's: showing it loads what the store holds now.
  o.temp.setSetting("LOG FILE NAME", "TIDEWICK.LOG");
  o.show(
      [](OptionsForm& f) {
        EXPECT_FALSE(f.chkSaveWindowSize->isChecked());
        EXPECT_EQ(f.txtLogFilename->text(), "TIDEWICK.LOG");
      },
      "mnuClose");
  EXPECT_FALSE(o.host.Exists());
  EXPECT_FALSE(switchIsOn("SAVE WINDOW SIZE")) << "a new dialog loads the stored 0";
}

TEST(OptionsDialog, CaptionsFitPlacedUnderOptionsAndKeptInProportion) {
  Options o;
  {
    OptionsForm& f = o.host.Form();
    // Every caption fits its control, every control its tab, and every tab's caption is in view.
    f.show();
    for (QAbstractButton* button : f.findChildren<QAbstractButton*>()) {
      if (!button->objectName().startsWith("chk") && !button->objectName().startsWith("opt")) continue;
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
    }
    for (int tab = 0; tab < f.SSTab1->count(); ++tab) {
      f.SSTab1->setCurrentIndex(tab);
      QWidget* page = f.SSTab1->widget(tab);
      for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(page->rect().contains(control->geometry()))
            << control->objectName().toStdString() << " on a page of " << page->width() << "x" << page->height();
    }
    EXPECT_GE(f.SSTab1->tabBar()->width(), f.SSTab1->tabBar()->sizeHint().width());

    const QRect tabs = f.SSTab1->geometry();
    f.resize(f.width() * 2, f.height() + f.picClient->height());
    EXPECT_NEAR(f.SSTab1->width(), 2 * tabs.width(), 2);
    EXPECT_NEAR(f.SSTab1->height(), 2 * tabs.height(), 2);
    f.CloseCommand();
  }

  // The dialog's own boxes decide its placement while the switches are missing.
  o.temp.setSettings(
      {{"OPTIONS TOP", "1500"}, {"OPTIONS LEFT", "3000"}, {"OPTIONS HEIGHT", "9000"}, {"OPTIONS WIDTH", "12000"}});
  const OptionsForm& placed = o.host.Form();
  EXPECT_EQ(placed.pos(), QPoint(200, 100));
  EXPECT_EQ(placed.size(), QSize(800, 600));
}

} // namespace
