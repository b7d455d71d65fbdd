// How every connection reads passive mode, the firewall and ports from the settings store. That they
// reach the FTP components is tested with the main window and the queue runner.
#include "settings/ConnectionSettings.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

using tidewick::settings::ConnectionSettings;
using tidewick::settings::portFromText;
using tidewick::settings::ProxyType;

namespace {

TEST(ConnectionSettings, StoredPassiveAndFirewallValuesKeepTheirMeaning) {
  TempHome temp;
  EXPECT_TRUE(ConnectionSettings::read().passive) << "missing: on, as the options dialog shows it";
  for (const auto& [text, passive] : {std::pair{"0", false}, {"1", true}, {" 1 ", true}, {"", true}, {"2", false}}) {
    temp.setSetting("FTP PASV", text);
    EXPECT_EQ(ConnectionSettings::read().passive, passive) << '"' << text << '"';
  }

  temp.setSettings({{"Firewall Host Name", "proxy.example"}, {"Firewall Proxy Port", "1081"}});
  EXPECT_FALSE(ConnectionSettings::read().firewall) << "missing: off";
  temp.setSetting("Firewall Use", "0");
  EXPECT_FALSE(ConnectionSettings::read().firewall);
  temp.setSettings({{"Firewall Use", "1"}, {"Firewall User Name", "me"}, {"Firewall Password", "secret"}});
  using Case = std::pair<const char*, ProxyType>;
  for (const auto& [text, type] : {Case{"SOCKS 4", ProxyType::Socks4}, Case{"SOCKS 5", ProxyType::Socks5},
                                   Case{"socks 4", ProxyType::Socks5}, Case{"", ProxyType::Socks5}}) {
    temp.setSetting("Firewall Type", text);
    const ConnectionSettings s = ConnectionSettings::read();
    EXPECT_TRUE(s.firewall);
    EXPECT_EQ(s.firewallType, type) << '"' << text << '"';
    EXPECT_EQ(std::tie(s.firewallHost, s.firewallUserName, s.firewallPassword),
              std::tuple("proxy.example", "me", "secret"));
    EXPECT_EQ(s.firewallPort, 1081);
  }
}

// One rule for the server's port and the firewall's: a whole number from 1 to 65535.
TEST(ConnectionSettings, PortsAreWholeNumbersFromOneTo65535) {
  TempHome temp;
  temp.setSetting("Firewall Use", "1");
  const std::pair<const char*, std::optional<quint16>> ports[] = {{"0", std::nullopt},    {"1", 1},
                                                                  {"65535", 65535},       {"65536", std::nullopt},
                                                                  {" 21 ", 21},           {"-1", std::nullopt},
                                                                  {"21.5", std::nullopt}, {"21x", std::nullopt},
                                                                  {"", std::nullopt}};
  for (const auto& [text, port] : ports) {
    SCOPED_TRACE(text);
    EXPECT_EQ(portFromText(text), port);
    temp.setSetting("Firewall Proxy Port", text);
    const ConnectionSettings s = ConnectionSettings::read();
    EXPECT_EQ(s.firewallPort, port);
    EXPECT_EQ(s.usable(), port.has_value());
    EXPECT_EQ(s.firewallPortText, text);
  }
  temp.setSetting("Firewall Use", "0");
  EXPECT_TRUE(ConnectionSettings::read().usable()) << "an unusable port does not matter while the firewall is off";
}

} // namespace
