#include "settings/ConnectionSettings.h"

#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "settings/Switches.h"

namespace tidewick::settings {

std::optional<quint16> portFromText(const QString& text) {
  bool ok = false;
  const uint port = text.trimmed().toUInt(&ok);
  if (!ok || port < 1 || port > 65535) return std::nullopt;
  return static_cast<quint16>(port);
}

FirewallTexts FirewallTexts::read() {
  return {value(keys::FirewallUse),       value(keys::FirewallType),     value(keys::FirewallHostName),
          value(keys::FirewallProxyPort), value(keys::FirewallUserName), value(keys::FirewallPassword)};
}

void FirewallTexts::write() const {
  setValue(keys::FirewallHostName, hostName);
  setValue(keys::FirewallProxyPort, proxyPort);
  setValue(keys::FirewallUse, use);
  setValue(keys::FirewallUserName, userName);
  setValue(keys::FirewallPassword, password);
  setValue(keys::FirewallType, type);
}

ConnectionSettings ConnectionSettings::read() {
  ConnectionSettings s;
  s.passive = storedNumber(keys::FtpPasv).value_or(1) == 1;
  s.keepFileDates = storedBoolean(keys::KeepFileDates).value_or(true);
  s.firewall = storedNumber(keys::FirewallUse).value_or(0) == 1;
  if (!s.firewall) return s;
  const FirewallTexts stored = FirewallTexts::read();
  s.firewallType = stored.type == keys::FirewallTypeSocks4 ? ProxyType::Socks4 : ProxyType::Socks5;
  s.firewallHost = stored.hostName;
  s.firewallPortText = stored.proxyPort;
  s.firewallPort = portFromText(s.firewallPortText);
  s.firewallUserName = stored.userName;
  s.firewallPassword = stored.password;
  return s;
}

} // namespace tidewick::settings
