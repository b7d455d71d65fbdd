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

ConnectionSettings ConnectionSettings::read() {
  ConnectionSettings s;
  s.passive = storedNumber(keys::FtpPasv).value_or(1) == 1;
  s.keepFileDates = storedBoolean(keys::KeepFileDates).value_or(true);
  s.firewall = storedNumber(keys::FirewallUse).value_or(0) == 1;
  if (!s.firewall) return s;
  s.firewallType = value(keys::FirewallType) == keys::FirewallTypeSocks4 ? ProxyType::Socks4 : ProxyType::Socks5;
  s.firewallHost = value(keys::FirewallHostName);
  s.firewallPortText = value(keys::FirewallProxyPort);
  s.firewallPort = portFromText(s.firewallPortText);
  s.firewallUserName = value(keys::FirewallUserName);
  s.firewallPassword = value(keys::FirewallPassword);
  return s;
}

} // namespace tidewick::settings
