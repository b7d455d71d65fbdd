// How every connection reads passive mode, the firewall and ports from the settings store. That they
// reach the FTP components is tested with the main window and the queue runner.
#include "settings/ConnectionSettings.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

using tidewick::settings::ConnectionSettings;
using tidewick::settings::portFromText;
using tidewick::settings::ProxyType;

namespace {

TEST(ConnectionSettings, AMissingPassiveModeIsOnAndStoredValuesKeepTheirMeaning) {
  TempHome temp;
  EXPECT_TRUE(ConnectionSettings::read().passive) << "missing: on, as the options dialog shows it";
  const std::pair<const char*, bool> stored[] = {{"0", false}, {"1", true}, {" 1 ", true}, {"", true}, {"2", false}};
  for (const auto& [text, passive] : stored) {
    temp.setSetting(QStringLiteral("FTP PASV"), QString::fromLatin1(text));
    EXPECT_EQ(ConnectionSettings::read().passive, passive) << '"' << text << '"';
  }
}

TEST(ConnectionSettings, TheFirewallIsOnOnlyForOneAndItsTypeIsSocks4OnlyWhenSaidExactly) {
  TempHome temp;
  temp.setSetting(QStringLiteral("Firewall Host Name"), QStringLiteral("proxy.example"));
  temp.setSetting(QStringLiteral("Firewall Proxy Port"), QStringLiteral("1081"));
  EXPECT_FALSE(ConnectionSettings::read().firewall) << "missing: off";
  temp.setSetting(QStringLiteral("Firewall Use"), QStringLiteral("0"));
  EXPECT_FALSE(ConnectionSettings::read().firewall);

  temp.setSetting(QStringLiteral("Firewall Use"), QStringLiteral("1"));
  temp.setSetting(QStringLiteral("Firewall User Name"), QStringLiteral("me"));
  temp.setSetting(QStringLiteral("Firewall Password"), QStringLiteral("secret"));
  const std::pair<const char*, ProxyType> types[] = {{"SOCKS 4", ProxyType::Socks4},
                                                     {"SOCKS 5", ProxyType::Socks5},
                                                     {"socks 4", ProxyType::Socks5},
                                                     {"", ProxyType::Socks5}};
  for (const auto& [text, type] : types) {
    temp.setSetting(QStringLiteral("Firewall Type"), QString::fromLatin1(text));
    const ConnectionSettings s = ConnectionSettings::read();
    EXPECT_TRUE(s.firewall);
    EXPECT_EQ(s.firewallType, type) << '"' << text << '"';
    EXPECT_EQ(s.firewallHost, "proxy.example");
    EXPECT_EQ(s.firewallPort, 1081);
    EXPECT_EQ(s.firewallUserName, "me");
    EXPECT_EQ(s.firewallPassword, "secret");
  }
}

// One rule for the server's port and the firewall's: a whole number from 1 to 65535.
TEST(ConnectionSettings, PortsAreWholeNumbersFromOneTo65535) {
  TempHome temp;
  temp.setSetting(QStringLiteral("Firewall Use"), QStringLiteral("1"));
  const std::pair<const char*, std::optional<quint16>> ports[] = {{"0", std::nullopt},    {"1", 1},
                                                                  {"65535", 65535},       {"65536", std::nullopt},
                                                                  {" 21 ", 21},           {"-1", std::nullopt},
                                                                  {"21.5", std::nullopt}, {"21x", std::nullopt},
                                                                  {"", std::nullopt}};
  for (const auto& [text, port] : ports) {
    const QString portText = QString::fromLatin1(text);
    EXPECT_EQ(portFromText(portText), port) << "server port \"" << text << '"';
    temp.setSetting(QStringLiteral("Firewall Proxy Port"), portText);
    const ConnectionSettings s = ConnectionSettings::read();
    EXPECT_EQ(s.firewallPort, port) << "firewall port \"" << text << '"';
    EXPECT_EQ(s.usable(), port.has_value()) << "firewall port \"" << text << '"';
    EXPECT_EQ(s.firewallPortText, portText);
  }
  temp.setSetting(QStringLiteral("Firewall Use"), QStringLiteral("0"));
  EXPECT_TRUE(ConnectionSettings::read().usable()) << "an unusable port does not matter while the firewall is off";
}

} // namespace
