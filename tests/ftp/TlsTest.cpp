// FTP over TLS against real servers: pyftpdlib (explicit and implicit, a self-signed certificate)
// and vsftpd, which insists that every data connection resumes the control connection's TLS
// session. Every connection runs through a SOCKS proxy that records what the client sent, so each
// case also shows what someone on the wire would have read: never the user name, the password or
// a byte of a file.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"
#include "support/RecordingProxy.h"
#include "support/TestCertificates.h"
#include "support/VsftpdFixture.h"

using namespace tidewick::test;
using tidewick::ftp::CertificateInfo;
using tidewick::ftp::Security;

namespace {

const QString kUser = "tlsuser";
const QString kPassword = "pw-never-in-clear";

// Certificates shared by the whole file: one self-signed, one from a test authority.
struct Certificates {
  QTemporaryDir dir;
  TestCertificate selfSigned = makeCertificate(dir.path(), "self", {});
  TestCertificate authority =
      makeCertificate(dir.path(), "ca", {.commonName = "Tidewick test authority", .addresses = {}, .authority = true});
  TestCertificate signedByAuthority = makeCertificate(dir.path(), "server", {}, &authority);
};

Certificates& certificates() {
  static Certificates* c = new Certificates();
  return *c;
}

// A client whose connections go through the recording proxy, and whose answer to an untrusted
// certificate the test sets.
struct TlsClient {
  RecordingProxy proxy;
  FtpClient client;
  ClientHarness harness{client};
  bool trust = true;
  std::vector<CertificateInfo> asked;

  TlsClient(const QString& host, quint16 port, Security security, const QString& user = kUser,
            const QString& password = kPassword) {
    EXPECT_TRUE(proxy.start());
    client.setServerAddress(host);
    client.setServerPort(port);
    client.setUserName(user);
    client.setPassword(password);
    client.setSecurity(security);
    client.setProxyType(5);
    client.setProxyAddress("127.0.0.1");
    client.setProxyPort(proxy.port());
    QObject::connect(&client, &FtpClient::CertificateNotTrusted, [this](const CertificateInfo& info, bool& answer) {
      asked.push_back(info);
      answer = trust;
    });
  }

  // What went out in clear, checked against the login (the commands with their blank: four
  // letters alone turn up by chance in megabytes of ciphertext) and everything else that must not.
  ::testing::AssertionResult nothingInClear(std::vector<QByteArray> secrets = {}, const QString& user = kUser,
                                            const QString& password = kPassword) const {
    secrets.insert(secrets.end(), {user.toUtf8(), password.toUtf8(), "USER ", "PASS "});
    const QByteArray wire = proxy.sent();
    for (const QByteArray& secret : secrets)
      if (wire.contains(secret)) return ::testing::AssertionFailure() << "sent in clear: " << secret.toStdString();
    return ::testing::AssertionSuccess();
  }
};

// The parameter: TLS from the first byte (implicit) rather than after AUTH TLS (explicit).
std::string caseName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Implicit" : "Explicit"; }
Security security(bool implicit) { return implicit ? Security::TlsImplicit : Security::TlsRequired; }

class PyftpdlibTls : public ::testing::TestWithParam<bool> {
protected:
  std::unique_ptr<FtpServerFixture> startServer(const TestCertificate& certificate) {
    EXPECT_FALSE(certificate.certificateFile.isEmpty());
    FtpServerOptions options{.users = {{kUser, kPassword}}, .anonymous = false, .tlsImplicit = GetParam()};
    options.tlsCertificate = certificate.certificateFile;
    options.tlsKey = certificate.keyFile;
    options.tlsRequired = true;
    auto server = std::make_unique<FtpServerFixture>(options);
    EXPECT_TRUE(server->start());
    return server;
  }

  QTemporaryDir dir;
};

} // namespace

// A refused certificate ends the connection before the login; trusted once, it carries transfers.
TEST_P(PyftpdlibTls, SelfSignedCertificateIsPutToTheUserAndNothingGoesInClear) {
  const auto server = startServer(certificates().selfSigned);
  const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
  server->writeFile("pub/down.bin", content);
  TlsClient c("127.0.0.1", server->port(), security(GetParam()));
  c.trust = false;
  EXPECT_TRUE(c.harness.fails([&] { c.client.Connect(); }, FailureKind::CertificateRejected, {"self-signed"}));
  EXPECT_EQ(c.client.CurrentState(), NotConnected);
  EXPECT_FALSE(server->receivedCommands().contains("USER " + kUser));

  c.trust = true;
  ASSERT_NO_THROW(c.client.Connect());
  EXPECT_TRUE(c.client.Encryption().startsWith("TLSv1.")) << c.client.Encryption().toStdString();
  EXPECT_TRUE(c.harness.logContains("The connection is encrypted: " + c.client.Encryption()));
  // What the user needs to judge the certificate.
  ASSERT_EQ(c.asked.size(), 2u);
  const CertificateInfo& asked = c.asked.back();
  EXPECT_EQ(asked.sha256, certificates().selfSigned.sha256);
  EXPECT_EQ(asked.port, server->port());
  EXPECT_TRUE(asked.subject.contains("CN=Tidewick test server")) << asked.subject.toStdString();
  EXPECT_EQ(asked.issuer, asked.subject);
  EXPECT_LT(asked.validFrom, QDateTime::currentDateTimeUtc());
  EXPECT_GT(asked.validUntil, QDateTime::currentDateTimeUtc().addDays(300));
  EXPECT_EQ(asked.problems.size(), 1);
  EXPECT_TRUE(asked.problems.value(0).contains("self-signed")) << asked.problems.join(' ').toStdString();

  // Three data connections, each resuming the control connection's session.
  c.client.ChangeCurrentFolder("/pub");
  const auto items = c.client.GetFolderContents();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, content.size());
  const QString local = dir.filePath("down.bin");
  ASSERT_NO_THROW(c.client.ReceiveFile("down.bin", 0, local));
  EXPECT_EQ(readLocal(local), content);
  ASSERT_NO_THROW(c.client.SendFile(local, 0, "up.bin", false));
  EXPECT_EQ(server->readFile("pub/up.bin"), content);
  c.client.Disconnect();
  EXPECT_TRUE(c.client.Encryption().isEmpty());

  EXPECT_GE(c.proxy.connections(), 5);
  EXPECT_TRUE(c.nothingInClear({content.mid(1000, 64), "down.bin"}));
}

TEST_P(PyftpdlibTls, AuthorityKnownToTheSystemAsksNothingButTheHostNameMustMatch) {
  // The certificate names 127.0.0.1 and ::1 only, signed by an authority the system is told to trust.
  const auto server = startServer(certificates().signedByAuthority);
  const QByteArray saved = qgetenv("SSL_CERT_FILE");
  qputenv("SSL_CERT_FILE", certificates().authority.certificateFile.toUtf8());
  {
    TlsClient c("127.0.0.1", server->port(), security(GetParam()));
    ASSERT_NO_THROW(c.client.Connect());
    EXPECT_TRUE(c.asked.empty());
  }
  {
    // Reached as "localhost" the same certificate is not for the host; the name goes out in SNI.
    TlsClient c("localhost", server->port(), security(GetParam()));
    c.trust = false;
    EXPECT_TRUE(c.harness.fails([&] { c.client.Connect(); }, FailureKind::CertificateRejected));
    ASSERT_EQ(c.asked.size(), 1u);
    EXPECT_EQ(c.asked[0].problems, QStringList{"The certificate is not for the host localhost"});
    EXPECT_TRUE(c.proxy.sent().contains("localhost"));
    EXPECT_TRUE(c.nothingInClear());
  }
  if (saved.isNull()) qunsetenv("SSL_CERT_FILE");
  else qputenv("SSL_CERT_FILE", saved);
}

INSTANTIATE_TEST_SUITE_P(Tls, PyftpdlibTls, ::testing::Bool(), caseName);

// A server without TLS: "Require" never sends the login, "if available" goes on in clear and says so.
TEST(PlainServerTls, RequireSendsNoLoginAndIfAvailableGoesOnInClear) {
  FtpServerFixture server(FtpServerOptions{.users = {{kUser, kPassword}}, .anonymous = false});
  ASSERT_TRUE(server.start());
  {
    TlsClient c("127.0.0.1", server.port(), Security::TlsRequired);
    EXPECT_TRUE(c.harness.fails([&] { c.client.Connect(); }, FailureKind::TlsFailed,
                                {"without sending the user name or the password"}));
    EXPECT_EQ(c.client.CurrentState(), NotConnected);
    EXPECT_TRUE(c.nothingInClear());
  }
  EXPECT_EQ(server.receivedCommands(), QStringList{"AUTH TLS"});
  TlsClient c("127.0.0.1", server.port(), Security::TlsIfAvailable);
  ASSERT_NO_THROW(c.client.Connect());
  EXPECT_TRUE(c.client.Encryption().isEmpty());
  EXPECT_TRUE(c.harness.logContains("The connection is not encrypted"));
}

// vsftpd refuses a data connection that does not resume the control connection's session, and an
// upload that ends without TLS's close_notify.
class VsftpdTls : public ::testing::TestWithParam<bool> {};

TEST_P(VsftpdTls, ListsUploadsAndDownloadsByteExact) {
  VsftpdFixture vsftpd(
      VsftpdOptions{certificates().selfSigned.certificateFile, certificates().selfSigned.keyFile, GetParam()});
  ASSERT_TRUE(vsftpd.start());
  const QByteArray content = randomBytes(5 * 1024 * 1024 + 1, 11);
  ASSERT_TRUE(writeLocal(vsftpd.root() + "/down.bin", content));
  QTemporaryDir dir;
  TlsClient c(vsftpd.host(), vsftpd.port(), security(GetParam()), VsftpdFixture::userName(), VsftpdFixture::password());
  ASSERT_NO_THROW(c.client.Connect());
  ASSERT_EQ(c.asked.size(), 1u);

  QStringList names;
  for (const auto& item : c.client.GetFolderContents()) names << item.name;
  names.sort();
  EXPECT_EQ(names, (QStringList{"down.bin", "incoming"}));
  const QString local = dir.filePath("down.bin");
  ASSERT_NO_THROW(c.client.ReceiveFile("down.bin", 0, local));
  EXPECT_EQ(readLocal(local), content);
  c.client.ChangeCurrentFolder("/incoming");
  ASSERT_NO_THROW(c.client.SendFile(local, 0, "up.bin", false));
  ASSERT_NO_THROW(c.client.ReceiveFile("up.bin", 0, dir.filePath("back.bin")));
  EXPECT_EQ(readLocal(dir.filePath("back.bin")), content);
  EXPECT_EQ(readLocal(vsftpd.root() + "/incoming/up.bin"), content);
  c.client.Disconnect();
  EXPECT_TRUE(c.nothingInClear({content.mid(4096, 64)}, VsftpdFixture::userName(), VsftpdFixture::password()));
}

INSTANTIATE_TEST_SUITE_P(Tls, VsftpdTls, ::testing::Bool(), caseName);
