// Control and data connections through a real SOCKS server (Dante): SOCKS 4, SOCKS 5 without and
// with a user name and password, and a wrong password.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"
#include "support/SocksProxyFixture.h"

#include <QTemporaryDir>

using namespace tidewick::test;
using tidewick::ftp::FailureKind;

namespace {

struct ProxyCase {
  const char* name;
  int type;
  bool password;
};

class ThroughSocks : public ::testing::TestWithParam<ProxyCase> {
protected:
  static void SetUpTestSuite() {
    server = new FtpServerFixture();
    serverStarted = server->start();
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void configure(FtpClient& client, bool withPassword) {
    client.setServerAddress(QStringLiteral("127.0.0.1"));
    client.setServerPort(server->port());
    client.setUserName(QStringLiteral("demo"));
    client.setPassword(QStringLiteral("demo"));
    client.setProxyType(GetParam().type);
    client.setProxyAddress(QStringLiteral("127.0.0.1"));
    client.setProxyPort(proxy.port());
    if (withPassword) {
      client.setProxyUserName(SocksProxyFixture::userName());
      client.setProxyPassword(SocksProxyFixture::password());
    }
  }

  static inline FtpServerFixture* server = nullptr;
  static inline ::testing::AssertionResult serverStarted = ::testing::AssertionFailure();
  SocksProxyFixture proxy;
  QTemporaryDir dir;
};

} // namespace

TEST_P(ThroughSocks, ListsAndTransfersBothWays) {
  ASSERT_TRUE(serverStarted);
  ASSERT_TRUE(proxy.start(GetParam().password));
  const QString own = QString::fromLatin1(GetParam().name);
  const QByteArray content = randomBytes(1024 * 1024 + 3, 21);
  server->writeFile(own + QStringLiteral("/down.bin"), content);

  FtpClient client;
  ClientHarness harness(client);
  configure(client, GetParam().password);
  client.setPassiveMode(false); // through a proxy the engine goes passive by itself
  ASSERT_NO_THROW(client.Connect());
  EXPECT_TRUE(harness.logContains(QStringLiteral("through the SOCKS %1 proxy").arg(GetParam().type)));
  client.ChangeCurrentFolder(own);
  const auto items = client.GetFolderContents();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, content.size());

  client.ReceiveFile(QStringLiteral("down.bin"), 0, dir.filePath(QStringLiteral("down.bin")));
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("down.bin"))), content);
  client.SendFile(dir.filePath(QStringLiteral("down.bin")), 0, QStringLiteral("up.bin"), false);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/up.bin")), content);
  EXPECT_TRUE(harness.logContains(QStringLiteral("Active mode cannot work through the proxy")));
  EXPECT_FALSE(harness.logContains(SocksProxyFixture::password()));
  client.Disconnect();
  EXPECT_EQ(client.CurrentState(), 0);
}

INSTANTIATE_TEST_SUITE_P(Proxies, ThroughSocks,
                         ::testing::Values(ProxyCase{"socks4", 4, false}, ProxyCase{"socks5", 5, false},
                                           ProxyCase{"socks5_password", 5, true}),
                         [](const ::testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });

TEST(SocksRefusals, WrongOrMissingPasswordIsAProxyFailure) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  SocksProxyFixture proxy;
  ASSERT_TRUE(proxy.start(true));

  FtpClient client;
  ClientHarness harness(client);
  client.setServerAddress(QStringLiteral("127.0.0.1"));
  client.setServerPort(server.port());
  client.setProxyType(5);
  client.setProxyAddress(QStringLiteral("127.0.0.1"));
  client.setProxyPort(proxy.port());
  client.setProxyUserName(SocksProxyFixture::userName());
  client.setProxyPassword(QStringLiteral("not-the-password"));
  FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::ProxyFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("refused the user name or password")))
      << failure.description().toStdString();
  EXPECT_EQ(client.CurrentState(), 0);

  client.setProxyUserName(QString());
  client.setProxyPassword(QString());
  failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::ProxyFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("wants a user name and password")))
      << failure.description().toStdString();
  EXPECT_FALSE(harness.logContains(QStringLiteral("not-the-password")));
}
