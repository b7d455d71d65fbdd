// Connecting from the main window to an SFTP site: the host-key question and what its answers do,
// the status bar, the FTP-only commands greyed out, and the permission dialog going through SFTP's
// attribute call. A real OpenSSH server with its own host key; the client's ~/.ssh is the test's.
#include "browse/RemotePane.h"
#include "commands/frmRemoteChangeMode.h"
#include "ftp/FtpClient.h"
#include "sites/SiteProfiles.h"
#include "support/MainWindowRig.h"
#include "support/ServerProcess.h"
#include "support/SshdFixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

using tidewick::settings::SiteSecurity;
using namespace tidewick::test;
using Answer = tidewick::ui::UserPrompts::CertificateAnswer;
namespace sites = tidewick::sites;

namespace {

class SftpConnection : public tidewick::test::SshdTest {
protected:
  void SetUp() override {
    SshdTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    rig.open();
  }
  void TearDown() override {
    window.reset();
    SshdTest::TearDown();
  }

  void connectToSite() {
    sites::SaveProfile({"ssh", server->host(), SshdFixture::userName(), QString(), QString::number(server->port()),
                        SiteSecurity::Sftp},
                       false);
    rig.chooseSite("ssh");
    window->ConnectWithDialog();
  }
  bool enabled(const char* entry) const { return window->menuEntry(QString::fromLatin1(entry))->isEnabled(); }
  static QByteArray knownHosts() { return TempHome::readFile(server->knownHosts()); }

  MainWindowRig rig;
  TempHome& temp = rig.home;
  ScriptedPrompts& prompts = rig.prompts;
  std::unique_ptr<tidewick::app::frmMain>& window = rig.window;
};

} // namespace

TEST_F(SftpConnection, TheHostKeyIsPutToTheUserAndTheWindowWorksOverSsh) {
  ASSERT_TRUE(QFile::resize(server->knownHosts(), 0));

  // Cancel: the key type and fingerprint were shown, nothing connected, known_hosts untouched.
  connectToSite();
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  auto asked = certificateQuestions(prompts);
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains("Key type: ssh-ed25519")) << asked[0].toStdString();
  EXPECT_TRUE(asked[0].contains("SHA-256 fingerprint: " + server->hostKeyFingerprint())) << asked[0].toStdString();
  EXPECT_TRUE(asked[0].contains(server->knownHosts()));
  EXPECT_TRUE(rig.logged("Error: "));
  EXPECT_TRUE(knownHosts().isEmpty());

  // Always trust: connected over SSH, the key on file, and the next connection asks nothing.
  prompts.certificateAnswers = {Answer::AlwaysTrust};
  connectToSite();
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(certificateQuestions(prompts).size(), 1);
  EXPECT_TRUE(knownHosts().contains(server->hostKeyLine()));
  EXPECT_TRUE(window->findChild<QLabel*>("stbEncryption")->text().startsWith("Encrypted: SSH-2"));

  // FTP's own commands have no meaning here; the permission change has.
  EXPECT_FALSE(enabled("mnuRemoteSendCommand"));
  EXPECT_FALSE(enabled("mnuRemoteFtpCommands"));
  EXPECT_TRUE(enabled("mnuRemoteChangeMode"));

  const QString folder = server->root() + "/window";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString file = folder + "/script.sh";
  ASSERT_TRUE(writeTextFile(file, {})); // rw-------
  ASSERT_TRUE(window->remotePane()->GoToFolder(folder));
  auto* list = window->lstRemoteFileList;
  ASSERT_EQ(list->model()->rowCount(), 1);
  EXPECT_EQ(list->model()->row(0).name, "script.sh");
  list->selectRow(0, true);
  prompts.modalAnswers.push_back([](QDialog* d) {
    auto* dialog = qobject_cast<tidewick::commands::frmRemoteChangeMode*>(d);
    EXPECT_TRUE(dialog);
    if (!dialog) return 0;
    dialog->txtNumericValue->setText("750");
    dialog->CmdOK->click();
    return 0;
  });
  window->ChangeRemoteMode();
  struct stat status {};
  ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0750u);
  EXPECT_TRUE(rig.logged("Change Permission Complete"));

  window->DisconnectFromServer();
  connectToSite();
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_TRUE(certificateQuestions(prompts).empty());

  // Another key on file: refused without a question, and a warning box names both keys.
  window->DisconnectFromServer();
  const QString other = temp.root() + "/other_key";
  ASSERT_TRUE(SshdFixture::makeKey(other));
  const QList<QByteArray> fields = TempHome::readFile(other + ".pub").split(' ');
  ASSERT_GE(fields.size(), 2);
  const QByteArray otherLine = server->hostLabel() + ' ' + fields[0] + ' ' + fields[1] + '\n';
  ASSERT_TRUE(writeTextFile(server->knownHosts(), otherLine));
  prompts.clear();
  connectToSite();
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  const std::vector<QString> shown = prompts.messages();
  EXPECT_TRUE(certificateQuestions(prompts).empty());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].startsWith("Tidewick|WARNING: THE HOST KEY OF")) << shown[0].toStdString();
  EXPECT_TRUE(shown[0].contains(SshdFixture::fingerprintOf(other + ".pub")));
  EXPECT_TRUE(shown[0].contains(server->hostKeyFingerprint()));
  EXPECT_EQ(knownHosts(), otherLine);
}
