// Connecting from the main window: the dialog, the login and proxy settings, reconnect,
// disconnect, abort, and what the window shows afterwards. Real FTP and SOCKS servers.
#include "ftp/FtpClient.h"
#include "sites/SiteProfiles.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"
#include "support/SocksProxyFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using tidewick::app::frmMain;
using tidewick::app::kDefaultHost;
using tidewick::ftp::FtpFailure;
using namespace tidewick::test;
namespace sites = tidewick::sites;

namespace {

class ConnectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    server.writeFile("hello.txt", "hello");
    server.writeFile("pub/readme", "r");
    ASSERT_TRUE(server.start());
    sites::SaveProfile({"demo", server.host(), "demo", "demo", QString::number(server.port())}, true);
    sites::SaveProfile({"anon", server.host(), "anonymous", QString(), QString::number(server.port())}, false);
    rig.open();
  }

  QStringList remoteNames() const { return sortedNames(*window->lstRemoteFileList->model()); }
  QString lastFailure() const {
    const QStringList failures = rig.logLines().filter(QRegularExpression("^Error: "));
    return failures.isEmpty() ? "(no failure logged)" : failures.last();
  }

  FtpServerFixture server;
  MainWindowRig rig;
  TempHome& temp = rig.home;
  ScriptedPrompts& prompts = rig.prompts;
  std::unique_ptr<frmMain>& window = rig.window;
};

TEST_F(ConnectionTest, ConnectsThroughTheDialogWithASavedPassword) {
  rig.chooseSite("demo");
  window->ConnectWithDialog();
  ASSERT_EQ(window->ftp().CurrentState(), 2) << rig.logLines().join('\n').toStdString();
  EXPECT_EQ(window->ftp().UserName(), "demo");
  EXPECT_EQ(window->statusPanel(1)->text(), "Connected to " + server.host());
  EXPECT_EQ(window->cboRemotePath->currentText(), "/");
  EXPECT_EQ(remoteNames(), (QStringList{"hello.txt", "pub"}));
  EXPECT_TRUE(window->cmdDisconnect->isEnabled());
  EXPECT_FALSE(window->cmdConnect->isEnabled());
  EXPECT_EQ(window->Connection.host, server.host()) << "the dialog's values are kept for the next time";
  EXPECT_TRUE(window->ftp().PassiveMode()) << "a missing FTP PASV connects in passive mode, as the options show it";

  // Connecting again while connected changes nothing and logs nothing.
  const int lines = window->logList()->count();
  window->ConnectToServer();
  EXPECT_EQ(window->logList()->count(), lines);
  EXPECT_EQ(window->statusPanel(1)->text(), "");

  // Disconnect: the notice box, then the disconnected window.
  window->DisconnectFromServer();
  EXPECT_EQ(prompts.messages().back(), "Tidewick [Notice]|Disconnected from FTP server " + server.host());
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_EQ(window->cboRemotePath->count(), 0);
  EXPECT_EQ(window->lstRemoteFileList->model()->rowCount(), 0);
  EXPECT_TRUE(window->cmdConnect->isEnabled());
}

TEST_F(ConnectionTest, AnonymousLoginSendsTheFixedPassword) {
  temp.setSetting("FTP PASV", "1");
  rig.chooseSite("anon", [](QDialog* d) { d->findChild<QWidget*>("optAnonymous")->setProperty("checked", true); });
  window->ConnectWithDialog();
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(window->ftp().UserName(), "anonymous");
  EXPECT_EQ(window->ftp().Password(), "tansy");
  EXPECT_TRUE(window->ftp().PassiveMode());
  EXPECT_TRUE(rig.logged("PASS ****")) << "the password never reaches the log";
}

TEST_F(ConnectionTest, AWrongPasswordAsksAgainAndAnEmptyAnswerFailsClearly) {
  rig.chooseSite("demo", [](QDialog* d) { d->findChild<QLineEdit*>("txtPassword")->setText("wrong"); });
  window->ConnectWithDialog();
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_TRUE(rig.logged("Error: ")) << rig.logLines().join('\n').toStdString();
  EXPECT_TRUE(std::any_of(prompts.asked.begin(), prompts.asked.end(), [](const auto& a) {
    return a.kind == ScriptedPrompts::Kind::Password && a.text == "Please enter the correct password" &&
           a.title == "Tidewick [Query]";
  })) << "asked in a masked field";
  EXPECT_FALSE(window->cmdDisconnect->isEnabled()) << "the window stays disconnected";
  EXPECT_EQ(window->statusPanel(1)->text(), lastFailure()) << "the failure is shown, not a blank or stale action";

  // The password question answered right logs in after all.
  prompts.textAnswers.push_back("demo");
  rig.chooseSite("demo", [](QDialog* d) { d->findChild<QLineEdit*>("txtPassword")->setText("wrong"); });
  window->ConnectWithDialog();
  EXPECT_EQ(window->ftp().CurrentState(), 2);
}

TEST_F(ConnectionTest, BadPortsAndUnreachableHostsConnectNothing) {
  // The rule's edges are the settings' to test; here, that the window holds to it.
  rig.chooseSite("demo", [](QDialog* d) { d->findChild<QLineEdit*>("txtPort")->setText("65536"); });
  window->ConnectWithDialog();
  EXPECT_EQ(prompts.messages(), std::vector<QString>{"Tidewick [Notice]|The port \"65536\" is not a whole number "
                                                     "from 1 to 65535.\nNothing was connected."});
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_TRUE(window->ftp().ServerAddress().isEmpty()) << "nothing was set on the component";

  temp.setSetting("Firewall Use", "1");
  temp.setSetting("Firewall Proxy Port", "socks");
  rig.chooseSite("demo");
  window->ConnectWithDialog();
  EXPECT_TRUE(prompts.asked.back().text.contains("firewall proxy port \"socks\""));
  temp.setSetting("Firewall Use", "0");

  rig.chooseSite("demo", [](QDialog* d) { d->findChild<QLineEdit*>("txtHost")->setText("no-such-host.invalid"); });
  window->ConnectWithDialog();
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_TRUE(rig.logged("Error: "));
  EXPECT_EQ(window->statusPanel(1)->text(), lastFailure());
  EXPECT_FALSE(window->cmdDisconnect->isEnabled());
}

// A site with a user name and no saved password chooses neither login type, so the login is the
// user's: the server sees that user, and the password is asked for in a masked field.
TEST_F(ConnectionTest, ASiteWithAUserAndNoSavedPasswordLogsInAsThatUser) {
  sites::SaveProfile({"no password", server.host(), "demo", QString(), QString::number(server.port())}, true);
  prompts.textAnswers.push_back("demo");
  ASSERT_TRUE(window->Connection.anonymous) << "the dialog opens with Anonymous chosen";
  rig.chooseSite("no password", [](QDialog* d) {
    EXPECT_FALSE(d->findChild<QRadioButton*>("optAnonymous")->isChecked());
    EXPECT_FALSE(d->findChild<QRadioButton*>("optNormal")->isChecked());
    EXPECT_TRUE(d->findChild<QLineEdit*>("txtPassword")->isEnabled());
  });
  window->ConnectWithDialog();
  ASSERT_EQ(window->ftp().CurrentState(), 2) << rig.logLines().join('\n').toStdString();
  QStringList users = server.receivedCommands().filter(QRegularExpression("^USER "));
  users.removeDuplicates(); // the password question means a second login
  EXPECT_EQ(users, QStringList{"USER demo"}) << "the profile's user, never anonymous";
  ASSERT_EQ(prompts.asked.size(), 2u);
  EXPECT_EQ(prompts.asked[1].kind, ScriptedPrompts::Kind::Password);
  EXPECT_FALSE(window->Connection.anonymous);
}

TEST_F(ConnectionTest, ACancelledDialogChangesNothingAndReconnectThenUsesTheLastConnection) {
  window->ConnectWithDialog(); // no answer queued: the dialog is cancelled
  EXPECT_EQ(window->Connection.host, QString::fromLatin1(kDefaultHost));
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_TRUE(window->ftp().ServerAddress().isEmpty());
  EXPECT_EQ(window->cboRemotePath->property("tag").toString(), "0") << "the navigation lock is clear again";

  window->Reconnect();
  ASSERT_FALSE(prompts.asked.empty());
  EXPECT_EQ(prompts.asked.back().kind, ScriptedPrompts::Kind::Modal);
  EXPECT_EQ(prompts.asked.back().text, "frmConnectionInfo");

  rig.chooseSite("demo");
  window->ConnectWithDialog();
  window->DisconnectFromServer();
  prompts.clear();
  window->Reconnect();
  EXPECT_EQ(window->ftp().CurrentState(), 2);
  for (const auto& a : prompts.asked) EXPECT_NE(a.kind, ScriptedPrompts::Kind::Modal) << "no dialog this time";
  EXPECT_EQ(remoteNames().size(), 2);

  // Leaving while connected closes the connection without the notice.
  prompts.clear();
  window->QuickExit();
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(ConnectionTest, DisconnectDuringATransferWaitsForItThenShowsTheNotice) {
  FtpServerFixture slowServer({.throttle = 64 * 1024});
  slowServer.writeFile("big.bin", QByteArray(4 * 1024 * 1024, 'b'));
  ASSERT_TRUE(slowServer.start());
  sites::SaveProfile({"slow", slowServer.host(), "demo", "demo", QString::number(slowServer.port())}, true);
  rig.chooseSite("slow");
  window->ConnectWithDialog();
  ASSERT_EQ(window->ftp().CurrentState(), 2);

  int stateDuringDisconnect = -1;
  QTimer::singleShot(400, window.get(), [&] {
    stateDuringDisconnect = window->ftp().CurrentState();
    window->DisconnectFromServer();
  });
  bool failed = false;
  try {
    window->ftp().ReceiveFile("big.bin", 0, temp.root() + "/big.bin");
  } catch (const FtpFailure&) {
    failed = true;
  }
  EXPECT_TRUE(failed) << "the transfer was cut short, never reported as done";
  EXPECT_NE(stateDuringDisconnect, 2);
  EXPECT_NE(stateDuringDisconnect, 0);
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  EXPECT_EQ(prompts.messages().back(), "Tidewick [Notice]|Disconnected from FTP server " + slowServer.host());
}

TEST_F(ConnectionTest, ConnectsThroughSocks4AndSocks5) {
  for (const auto& [type, password] :
       {std::pair{"SOCKS 4", false}, std::pair{"SOCKS 5", false}, std::pair{"SOCKS 5", true}}) {
    SocksProxyFixture proxy;
    ASSERT_TRUE(proxy.start(password));
    temp.setSetting("Firewall Use", "1");
    temp.setSetting("Firewall Type", QString::fromLatin1(type));
    temp.setSetting("Firewall Host Name", "127.0.0.1");
    temp.setSetting("Firewall Proxy Port", QString::number(proxy.port()));
    temp.setSetting("Firewall User Name", password ? SocksProxyFixture::userName() : QString());
    temp.setSetting("Firewall Password", password ? SocksProxyFixture::password() : QString());
    temp.setSetting("FTP PASV", "1");
    rig.chooseSite("demo");
    window->ConnectWithDialog();
    EXPECT_EQ(window->ftp().CurrentState(), 2) << type << rig.logLines().join('\n').toStdString();
    EXPECT_EQ(window->ftp().ProxyType(), QString::fromLatin1(type) == "SOCKS 4" ? 4 : 5);
    EXPECT_EQ(remoteNames(), (QStringList{"hello.txt", "pub"})) << type;
    window->DisconnectFromServer();
  }
  // Off: no proxy, whatever the other keys hold.
  temp.setSetting("Firewall Use", "0");
  rig.chooseSite("demo");
  window->ConnectWithDialog();
  EXPECT_EQ(window->ftp().ProxyType(), 0);
  EXPECT_EQ(window->ftp().ProxyPort(), 1080);
  EXPECT_TRUE(window->ftp().ProxyAddress().isEmpty());
}

} // namespace
