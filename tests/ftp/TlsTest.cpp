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

#include <QTemporaryDir>

using namespace tidewick::test;
using tidewick::ftp::CertificateInfo;
using tidewick::ftp::FailureKind;
using tidewick::ftp::Security;

namespace {

const QString kUser = QStringLiteral("tlsuser");
const QString kPassword = QStringLiteral("pw-never-in-clear");

// Certificates shared by the whole file: one self-signed, one from a test authority.
struct Certificates {
  QTemporaryDir dir;
  TestCertificate selfSigned;
  TestCertificate authority;
  TestCertificate signedByAuthority;
  Certificates() {
    selfSigned = makeCertificate(dir.path(), QStringLiteral("self"), {});
    CertificateTerms ca;
    ca.commonName = QStringLiteral("Tidewick test authority");
    ca.addresses = {};
    ca.authority = true;
    authority = makeCertificate(dir.path(), QStringLiteral("ca"), ca);
    signedByAuthority = makeCertificate(dir.path(), QStringLiteral("server"), {}, &authority);
  }
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
    client.setProxyAddress(QStringLiteral("127.0.0.1"));
    client.setProxyPort(proxy.port());
    QObject::connect(&client, &FtpClient::CertificateNotTrusted, [this](const CertificateInfo& info, bool& answer) {
      asked.push_back(info);
      answer = trust;
    });
  }

  // What went out in clear, checked against everything that must not.
  ::testing::AssertionResult nothingInClear(const std::vector<QByteArray>& secrets) const {
    const QByteArray wire = proxy.sent();
    for (const QByteArray& secret : secrets)
      if (wire.contains(secret)) return ::testing::AssertionFailure() << "sent in clear: " << secret.toStdString();
    return ::testing::AssertionSuccess();
  }
};

// The commands with their blank: four letters alone turn up by chance in megabytes of ciphertext.
std::vector<QByteArray> loginSecrets(const QString& user = kUser, const QString& password = kPassword) {
  return {user.toUtf8(), password.toUtf8(), QByteArrayLiteral("USER "), QByteArrayLiteral("PASS ")};
}

struct ServerCase {
  const char* name;
  bool implicit;
};

class PyftpdlibTls : public ::testing::TestWithParam<ServerCase> {
protected:
  void SetUp() override {
    ASSERT_FALSE(certificates().selfSigned.certificateFile.isEmpty());
    ASSERT_TRUE(dir.isValid());
  }

  std::unique_ptr<FtpServerFixture> startServer(const TestCertificate& certificate) {
    auto server = std::make_unique<FtpServerFixture>(FtpServerOptions{.users = {{kUser, kPassword}},
                                                                      .anonymous = false,
                                                                      .tlsCertificate = certificate.certificateFile,
                                                                      .tlsKey = certificate.keyFile,
                                                                      .tlsImplicit = GetParam().implicit,
                                                                      .tlsRequired = true});
    EXPECT_TRUE(server->start());
    return server;
  }

  Security security() const { return GetParam().implicit ? Security::TlsImplicit : Security::TlsRequired; }

  QTemporaryDir dir;
};

} // namespace

TEST_P(PyftpdlibTls, TransfersByteExactWithNothingInClear) {
  const auto server = startServer(certificates().selfSigned);
  const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
  server->writeFile(QStringLiteral("pub/down.bin"), content);

  TlsClient c(QStringLiteral("127.0.0.1"), server->port(), security());
  ASSERT_NO_THROW(c.client.Connect());
  EXPECT_TRUE(c.client.Encryption().startsWith(QStringLiteral("TLSv1."))) << c.client.Encryption().toStdString();
  EXPECT_TRUE(c.harness.logContains(QStringLiteral("The connection is encrypted: ") + c.client.Encryption()));

  // The self-signed certificate is put to the user once, with what they need to judge it.
  ASSERT_EQ(c.asked.size(), 1u);
  const CertificateInfo& asked = c.asked.front();
  EXPECT_EQ(asked.sha256, certificates().selfSigned.sha256);
  EXPECT_EQ(asked.port, server->port());
  EXPECT_TRUE(asked.subject.contains(QStringLiteral("CN=Tidewick test server"))) << asked.subject.toStdString();
  EXPECT_EQ(asked.issuer, asked.subject);
  EXPECT_LT(asked.validFrom, QDateTime::currentDateTimeUtc());
  EXPECT_GT(asked.validUntil, QDateTime::currentDateTimeUtc().addDays(300));
  ASSERT_EQ(asked.problems.size(), 1);
  EXPECT_TRUE(asked.problems[0].contains(QStringLiteral("self-signed"))) << asked.problems[0].toStdString();

  // Three data connections, each resuming the control connection's session.
  c.client.ChangeCurrentFolder(QStringLiteral("/pub"));
  const auto items = c.client.GetFolderContents();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, content.size());
  const QString local = dir.filePath(QStringLiteral("down.bin"));
  ASSERT_NO_THROW(c.client.ReceiveFile(QStringLiteral("down.bin"), 0, local));
  EXPECT_EQ(readLocal(local), content);
  ASSERT_NO_THROW(c.client.SendFile(local, 0, QStringLiteral("up.bin"), false));
  EXPECT_EQ(server->readFile(QStringLiteral("pub/up.bin")), content);
  c.client.Disconnect();
  EXPECT_TRUE(c.client.Encryption().isEmpty());

  EXPECT_GE(c.proxy.connections(), 4);
  auto secrets = loginSecrets();
  secrets.push_back(content.mid(1000, 64));
  secrets.push_back(QByteArrayLiteral("down.bin"));
  EXPECT_TRUE(c.nothingInClear(secrets));
}

TEST_P(PyftpdlibTls, RefusedCertificateEndsTheConnectionBeforeTheLogin) {
  const auto server = startServer(certificates().selfSigned);
  TlsClient c(QStringLiteral("127.0.0.1"), server->port(), security());
  c.trust = false;
  const auto failure = c.harness.failureOf([&] { c.client.Connect(); });
  EXPECT_EQ(kindOf(failure), failureNumber(FailureKind::CertificateRejected)) << failure.description().toStdString();
  EXPECT_TRUE(failure.description().contains(QStringLiteral("self-signed"))) << failure.description().toStdString();
  EXPECT_EQ(c.client.CurrentState(), 0);
  EXPECT_FALSE(server->receivedCommands().contains(QStringLiteral("USER ") + kUser));
  EXPECT_TRUE(c.nothingInClear(loginSecrets()));
}

TEST_P(PyftpdlibTls, AuthorityKnownToTheSystemAsksNothingButTheHostNameMustMatch) {
  // The certificate names 127.0.0.1 and ::1 only, signed by an authority the system is told to trust.
  const auto server = startServer(certificates().signedByAuthority);
  const QByteArray saved = qgetenv("SSL_CERT_FILE");
  qputenv("SSL_CERT_FILE", certificates().authority.certificateFile.toUtf8());
  {
    TlsClient c(QStringLiteral("127.0.0.1"), server->port(), security());
    ASSERT_NO_THROW(c.client.Connect());
    EXPECT_TRUE(c.asked.empty());
    c.client.Disconnect();
  }
  {
    // Reached as "localhost" the same certificate is not for the host; the name goes out in SNI.
    TlsClient c(QStringLiteral("localhost"), server->port(), security());
    c.trust = false;
    const auto failure = c.harness.failureOf([&] { c.client.Connect(); });
    EXPECT_EQ(kindOf(failure), failureNumber(FailureKind::CertificateRejected));
    ASSERT_EQ(c.asked.size(), 1u);
    EXPECT_EQ(c.asked[0].problems, QStringList{QStringLiteral("The certificate is not for the host localhost")});
    EXPECT_TRUE(c.proxy.sent().contains("localhost"));
    EXPECT_TRUE(c.nothingInClear(loginSecrets()));
  }
  if (saved.isNull()) qunsetenv("SSL_CERT_FILE");
  else qputenv("SSL_CERT_FILE", saved);
}

INSTANTIATE_TEST_SUITE_P(Tls, PyftpdlibTls,
                         ::testing::Values(ServerCase{"Explicit", false}, ServerCase{"Implicit", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A server without TLS: "Require" never sends the login, "if available" goes on in clear and says so.
TEST(PlainServerTls, RequireSendsNoLoginAndIfAvailableGoesOnInClear) {
  FtpServerFixture server(FtpServerOptions{.users = {{kUser, kPassword}}, .anonymous = false});
  ASSERT_TRUE(server.start());
  {
    TlsClient c(QStringLiteral("127.0.0.1"), server.port(), Security::TlsRequired);
    const auto failure = c.harness.failureOf([&] { c.client.Connect(); });
    EXPECT_EQ(kindOf(failure), failureNumber(FailureKind::TlsFailed)) << failure.description().toStdString();
    EXPECT_TRUE(failure.description().contains(QStringLiteral("without sending the user name or the password")));
    EXPECT_EQ(c.client.CurrentState(), 0);
    EXPECT_TRUE(c.nothingInClear(loginSecrets()));
  }
  EXPECT_EQ(server.receivedCommands(), QStringList{QStringLiteral("AUTH TLS")});
  {
    TlsClient c(QStringLiteral("127.0.0.1"), server.port(), Security::TlsIfAvailable);
    ASSERT_NO_THROW(c.client.Connect());
    EXPECT_TRUE(c.client.Encryption().isEmpty());
    EXPECT_TRUE(c.harness.logContains(QStringLiteral("The connection is not encrypted")));
  }
}

// vsftpd refuses a data connection that does not resume the control connection's session, and an
// upload that ends without TLS's close_notify.
class VsftpdTls : public ::testing::TestWithParam<ServerCase> {};

TEST_P(VsftpdTls, ListsUploadsAndDownloadsByteExact) {
  VsftpdFixture vsftpd(
      VsftpdOptions{certificates().selfSigned.certificateFile, certificates().selfSigned.keyFile, GetParam().implicit});
  ASSERT_TRUE(vsftpd.start());
  const QByteArray content = randomBytes(5 * 1024 * 1024 + 1, 11);
  {
    QFile file(vsftpd.root() + QStringLiteral("/down.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
  }
  QTemporaryDir dir;
  TlsClient c(vsftpd.host(), vsftpd.port(), GetParam().implicit ? Security::TlsImplicit : Security::TlsRequired,
              VsftpdFixture::userName(), VsftpdFixture::password());
  ASSERT_NO_THROW(c.client.Connect());
  ASSERT_EQ(c.asked.size(), 1u);

  QStringList names;
  for (const auto& item : c.client.GetFolderContents()) names << item.name;
  names.sort();
  EXPECT_EQ(names, (QStringList{QStringLiteral("down.bin"), QStringLiteral("incoming")}));
  const QString local = dir.filePath(QStringLiteral("down.bin"));
  ASSERT_NO_THROW(c.client.ReceiveFile(QStringLiteral("down.bin"), 0, local));
  EXPECT_EQ(readLocal(local), content);
  c.client.ChangeCurrentFolder(QStringLiteral("/incoming"));
  ASSERT_NO_THROW(c.client.SendFile(local, 0, QStringLiteral("up.bin"), false));
  ASSERT_NO_THROW(c.client.ReceiveFile(QStringLiteral("up.bin"), 0, dir.filePath(QStringLiteral("back.bin"))));
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("back.bin"))), content);
  QFile uploaded(vsftpd.root() + QStringLiteral("/incoming/up.bin"));
  ASSERT_TRUE(uploaded.open(QIODevice::ReadOnly));
  EXPECT_EQ(uploaded.readAll(), content);
  c.client.Disconnect();

  auto secrets = loginSecrets(VsftpdFixture::userName(), VsftpdFixture::password());
  secrets.push_back(content.mid(4096, 64));
  EXPECT_TRUE(c.nothingInClear(secrets));
}

INSTANTIATE_TEST_SUITE_P(Tls, VsftpdTls, ::testing::Values(ServerCase{"Explicit", false}, ServerCase{"Implicit", true}),
                         [](const auto& info) { return std::string(info.param.name); });
