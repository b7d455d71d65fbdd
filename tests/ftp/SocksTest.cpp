// Control and data connections through a real SOCKS server (Dante): SOCKS 4, SOCKS 5 without and
// with a user name and password, and a wrong or missing password.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"
#include "support/SocksProxyFixture.h"

using namespace tidewick::test;

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

  void SetUp() override {
    ASSERT_TRUE(serverStarted);
    ASSERT_TRUE(proxy.start(GetParam().password));
    client.setServerAddress("127.0.0.1");
    client.setServerPort(server->port());
    client.setUserName("demo");
    client.setPassword("demo");
    client.setProxyType(GetParam().type);
    client.setProxyAddress("127.0.0.1");
    client.setProxyPort(proxy.port());
    if (!GetParam().password) return;
    client.setProxyUserName(SocksProxyFixture::userName());
    client.setProxyPassword(SocksProxyFixture::password());
  }

  static inline FtpServerFixture* server = nullptr;
  static inline ::testing::AssertionResult serverStarted = ::testing::AssertionFailure();
  SocksProxyFixture proxy;
  QTemporaryDir dir;
  FtpClient client;
  ClientHarness harness{client};
};

} // namespace

TEST_P(ThroughSocks, ListsAndTransfersBothWays) {
  const QString own = QString::fromLatin1(GetParam().name);
  const QByteArray content = randomBytes(1024 * 1024 + 3, 21);
  server->writeFile(own + "/down.bin", content);
  client.setPassiveMode(false); // through a proxy the engine goes passive by itself
  ASSERT_NO_THROW(client.Connect());
  EXPECT_TRUE(harness.logContains(QString("through the SOCKS %1 proxy").arg(GetParam().type)));
  client.ChangeCurrentFolder(own);
  const auto items = client.GetFolderContents();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, content.size());

  client.ReceiveFile("down.bin", 0, dir.filePath("down.bin"));
  EXPECT_EQ(readLocal(dir.filePath("down.bin")), content);
  client.SendFile(dir.filePath("down.bin"), 0, "up.bin", false);
  EXPECT_EQ(server->readFile(own + "/up.bin"), content);
  EXPECT_TRUE(harness.logContains("Active mode cannot work through the proxy"));
  EXPECT_FALSE(harness.logContains(SocksProxyFixture::password()));
  client.Disconnect();
  EXPECT_EQ(client.CurrentState(), NotConnected);

  if (!GetParam().password) return;
  // A wrong or a missing password is the proxy's failure, and the wrong one is not logged.
  client.setProxyPassword("not-the-password");
  EXPECT_TRUE(
      harness.fails([&] { client.Connect(); }, FailureKind::ProxyFailed, {"refused the user name or password"}));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  client.setProxyUserName(QString());
  client.setProxyPassword(QString());
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::ProxyFailed, {"wants a user name and password"}));
  EXPECT_FALSE(harness.logContains("not-the-password"));
}

INSTANTIATE_TEST_SUITE_P(Proxies, ThroughSocks,
                         ::testing::Values(ProxyCase{"socks4", 4, false}, ProxyCase{"socks5", 5, false},
                                           ProxyCase{"socks5_password", 5, true}),
                         [](const ::testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });
