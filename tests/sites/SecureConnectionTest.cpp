// Connecting from the main window to a server with a self-signed certificate: the question the
// user is asked and what each answer does (trust once, always, cancel), a certificate that changed
// after it was always trusted, and the status bar and log telling whether the connection is
// encrypted. A real pyftpdlib server with TLS.
#include "app/frmMain.h"
#include "ftp/FtpClient.h"
#include "log/LogList.h"
#include "settings/TrustedCertificates.h"
#include "sites/SiteProfiles.h"
#include "support/FtpServerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
#include "support/TestCertificates.h"

#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using tidewick::settings::SiteSecurity;
using tidewick::test::FtpServerFixture;
using tidewick::test::FtpServerOptions;
using tidewick::test::makeCertificate;
using tidewick::test::TestCertificate;
using Answer = tidewick::ui::UserPrompts::CertificateAnswer;
using Icon = tidewick::ui::UserPrompts::Icon;

namespace sites = tidewick::sites;
namespace settings = tidewick::settings;

namespace {

class SecureConnection : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(certificate.certificateFile.isEmpty());
    ASSERT_TRUE(server.start());
    temp.setSetting("SHOW CONNECTION ON STARTUP", "0");
    temp.setSetting("ADD TO STARTUP", "0");
    window = std::make_unique<tidewick::app::frmMain>(prompts, QStringList{"tidewick"});
    window->setEndProgram([] {});
    window->Load();
  }

  void connectAs(SiteSecurity security) {
    sites::SaveProfile({"secure", server.host(), "demo", "demo", QString::number(server.port()), security}, true);
    prompts.modalAnswers.push_back([](QDialog* d) {
      auto* tree = d->findChild<QTreeWidget*>("TView1");
      tree->setCurrentItem(tree->findItems("secure.Tidewick", Qt::MatchRecursive).value(0));
      d->findChild<QPushButton*>("cmdConnect")->click();
      return d->result();
    });
    window->ConnectWithDialog();
  }

  void disconnect() {
    window->DisconnectFromServer();
    EXPECT_EQ(window->ftp().CurrentState(), 0);
    EXPECT_EQ(encryptionPanel(), "");
  }

  std::vector<QString> certificateQuestions() {
    std::vector<QString> texts;
    for (const auto& a : prompts.asked)
      if (a.kind == ScriptedPrompts::Kind::Certificate) texts.push_back(a.text);
    prompts.clear();
    return texts;
  }

  QString encryptionPanel() const { return window->findChild<QLabel*>("stbEncryption")->text(); }

  bool logged(const QString& text) const {
    for (int i = 0; i < window->logList()->count(); ++i)
      if (window->logList()->line(i).contains(text)) return true;
    return false;
  }

  QTemporaryDir certificates;
  TestCertificate certificate = makeCertificate(certificates.path(), "self", {});
  TempHome temp;
  FtpServerFixture server{
      FtpServerOptions{.tlsCertificate = certificate.certificateFile, .tlsKey = certificate.keyFile}};
  ScriptedPrompts prompts;
  std::unique_ptr<tidewick::app::frmMain> window;
};

} // namespace

TEST_F(SecureConnection, TrustOnceAlwaysAndCancel) {
  // Cancel: no login, the reason in the log, nothing stored.
  connectAs(SiteSecurity::TlsRequired);
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  auto asked = certificateQuestions();
  ASSERT_EQ(asked.size(), 1u);
  for (const QString& part :
       QStringList{"self-signed", "Subject: CN=Tidewick test server", "Issuer: CN=Tidewick test server",
                   "Valid from: 20", "Valid until: 20", certificate.sha256})
    EXPECT_TRUE(asked[0].contains(part)) << part.toStdString() << "\n" << asked[0].toStdString();
  EXPECT_FALSE(asked[0].contains("CHANGED"));
  EXPECT_TRUE(logged("Error: The certificate of 127.0.0.1 was not trusted"));
  EXPECT_FALSE(server.receivedCommands().contains("USER demo"));
  EXPECT_FALSE(QFileInfo::exists(settings::TrustedCertificatesFile()));

  // Trust once: connected and encrypted, and asked again the next time.
  prompts.certificateAnswers = {Answer::TrustOnce};
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_TRUE(encryptionPanel().startsWith("Encrypted: TLSv1.")) << encryptionPanel().toStdString();
  EXPECT_TRUE(logged("The connection is encrypted: TLSv1."));
  EXPECT_EQ(certificateQuestions().size(), 1u);
  EXPECT_FALSE(QFileInfo::exists(settings::TrustedCertificatesFile()));
  disconnect();

  // Always trust: stored owner-only for this host and port, and never asked again.
  prompts.certificateAnswers = {Answer::AlwaysTrust};
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(certificateQuestions().size(), 1u);
  EXPECT_EQ(settings::TrustedCertificateFor(server.host(), server.port()).sha256, certificate.sha256);
  EXPECT_FALSE(QFileInfo(settings::TrustedCertificatesFile()).permissions() &
               (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
  disconnect();
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_TRUE(certificateQuestions().empty());
  disconnect();

  // Plain FTP says so in the status bar and the log.
  connectAs(SiteSecurity::Plain);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(encryptionPanel(), "Not encrypted");
  EXPECT_TRUE(logged("The connection is not encrypted"));
}

TEST_F(SecureConnection, AChangedCertificateAsksAgainLoudly) {
  const TestCertificate earlier = makeCertificate(certificates.path(), "earlier", {});
  ASSERT_TRUE(settings::StoreTrustedCertificate(server.host(), server.port(), {earlier.sha256, {}, {}}));
  // Another server's trust is not this one's.
  ASSERT_TRUE(settings::StoreTrustedCertificate(server.host(), server.port() + 1, {certificate.sha256, {}, {}}));

  connectAs(SiteSecurity::TlsIfAvailable);
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  ASSERT_EQ(prompts.asked.size(), 2u); // the dialog, then the question
  EXPECT_EQ(prompts.asked[1].icon, Icon::Critical);
  EXPECT_TRUE(prompts.asked[1].text.startsWith(
      QStringLiteral("WARNING: THE CERTIFICATE OF 127.0.0.1:%1 HAS CHANGED").arg(server.port())))
      << prompts.asked[1].text.toStdString();
  EXPECT_TRUE(prompts.asked[1].text.contains(earlier.sha256));
  EXPECT_EQ(settings::TrustedCertificateFor(server.host(), server.port()).sha256, earlier.sha256)
      << "cancelling keeps what was trusted";
  prompts.clear();

  prompts.certificateAnswers = {Answer::AlwaysTrust};
  connectAs(SiteSecurity::TlsIfAvailable);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(settings::TrustedCertificateFor(server.host(), server.port()).sha256, certificate.sha256);
}
