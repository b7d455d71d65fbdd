// Connecting from the main window to a server with a self-signed certificate: the question the
// user is asked and what each answer does (trust once, always, cancel), a certificate that changed
// after it was always trusted, and the status bar and log telling whether the connection is
// encrypted. A real pyftpdlib server with TLS.
#include "ftp/FtpClient.h"
#include "settings/TrustedCertificates.h"
#include "sites/SiteProfiles.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"
#include "support/TestCertificates.h"

#include <QFileInfo>
#include <QLabel>

#include <gtest/gtest.h>

#include <memory>

using tidewick::settings::SiteSecurity;
using namespace tidewick::test;
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
    rig.open();
  }

  void connectAs(SiteSecurity security) {
    sites::SaveProfile({"secure", server.host(), "demo", "demo", QString::number(server.port()), security}, true);
    rig.chooseSite("secure");
    window->ConnectWithDialog();
  }
  void disconnect() {
    window->DisconnectFromServer();
    EXPECT_EQ(window->ftp().CurrentState(), 0);
    EXPECT_EQ(encryptionPanel(), "");
  }
  QString encryptionPanel() const { return window->findChild<QLabel*>("stbEncryption")->text(); }

  QTemporaryDir certificates;
  TestCertificate certificate = makeCertificate(certificates.path(), "self", {});
  FtpServerFixture server{
      FtpServerOptions{.tlsCertificate = certificate.certificateFile, .tlsKey = certificate.keyFile}};
  MainWindowRig rig;
  ScriptedPrompts& prompts = rig.prompts;
  std::unique_ptr<tidewick::app::frmMain>& window = rig.window;
};

} // namespace

TEST_F(SecureConnection, TrustOnceAlwaysAndCancel) {
  // Cancel: no login, the reason in the log, nothing stored.
  connectAs(SiteSecurity::TlsRequired);
  EXPECT_EQ(window->ftp().CurrentState(), 0);
  auto asked = certificateQuestions(prompts);
  ASSERT_EQ(asked.size(), 1);
  for (const QString& part :
       QStringList{"self-signed", "Subject: CN=Tidewick test server", "Issuer: CN=Tidewick test server",
                   "Valid from: 20", "Valid until: 20", certificate.sha256})
    EXPECT_TRUE(asked[0].contains(part)) << part.toStdString() << "\n" << asked[0].toStdString();
  EXPECT_FALSE(asked[0].contains("CHANGED"));
  EXPECT_TRUE(rig.logged("Error: The certificate of 127.0.0.1 was not trusted"));
  EXPECT_FALSE(server.receivedCommands().contains("USER demo"));
  EXPECT_FALSE(QFileInfo::exists(settings::TrustedCertificatesFile()));

  // Trust once: connected and encrypted, and asked again the next time.
  prompts.certificateAnswers = {Answer::TrustOnce};
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_TRUE(encryptionPanel().startsWith("Encrypted: TLSv1.")) << encryptionPanel().toStdString();
  EXPECT_TRUE(rig.logged("The connection is encrypted: TLSv1."));
  EXPECT_EQ(certificateQuestions(prompts).size(), 1);
  EXPECT_FALSE(QFileInfo::exists(settings::TrustedCertificatesFile()));
  disconnect();

  // Always trust: stored owner-only for this host and port, and never asked again.
  prompts.certificateAnswers = {Answer::AlwaysTrust};
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(certificateQuestions(prompts).size(), 1);
  EXPECT_EQ(settings::TrustedCertificateFor(server.host(), server.port()).sha256, certificate.sha256);
  EXPECT_FALSE(QFileInfo(settings::TrustedCertificatesFile()).permissions() &
               (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
  disconnect();
  connectAs(SiteSecurity::TlsRequired);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_TRUE(certificateQuestions(prompts).empty());
  disconnect();

  // Plain FTP says so in the status bar and the log.
  connectAs(SiteSecurity::Plain);
  ASSERT_EQ(window->ftp().CurrentState(), 2);
  EXPECT_EQ(encryptionPanel(), "Not encrypted");
  EXPECT_TRUE(rig.logged("The connection is not encrypted"));
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
