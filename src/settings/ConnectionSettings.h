#pragma once
// How Tidewick connects, as the settings store says: passive mode, the firewall (SOCKS proxy), the
// time limits and whether transferred files keep their dates. Read in one place, here, by
// everything that connects (the main window's Connect, whose settings Reconnect reuses, and the
// headless queue runner), so every connection follows the same rules:
//   - passive mode is on unless the stored value is a number other than 1 ("0" turns it off); a
//     missing value counts as on, which is what the options dialog shows for it;
//   - the firewall is on only when its stored value is the number 1;
//   - the firewall type is SOCKS 4 for exactly "SOCKS 4", SOCKS 5 for any other text;
//   - a port is a whole number from 1 to 65535, blanks around it allowed;
//   - files keep their dates unless the stored value is "0" or "False".
//
// The FTP components take these through applyConnectionSettings() below; this folder never links
// them, it only names their properties.

#include <QString>

#include <optional>

namespace tidewick::settings {

// The proxy protocol, numbered as the FTP components' ProxyType property takes it.
enum class ProxyType : int { None = 0, Socks4 = 4, Socks5 = 5 };

// The port a text names: a whole number from 1 to 65535 (blanks around it allowed), else nothing.
std::optional<quint16> portFromText(const QString& text);

// The proxy port used when the firewall is off.
constexpr quint16 kDefaultProxyPort = 1080;

// The firewall settings as the store holds them, text for text: what the options dialog shows and
// saves. Nothing is checked or trimmed here; ConnectionSettings::read() gives them their meaning.
struct FirewallTexts {
  QString use; // "0" or "1"
  QString type;
  QString hostName;
  QString proxyPort;
  QString userName;
  QString password;

  // A missing key gives the empty text.
  static FirewallTexts read();
  // Writes the six keys: host name, proxy port, use, user name, password, type.
  void write() const;
};

struct ConnectionSettings {
  bool passive = true;

  bool firewall = false; // the firewall fields below count only when it is on
  ProxyType firewallType = ProxyType::Socks5;
  QString firewallHost;
  QString firewallPortText;            // as stored, for the message when it names no port
  std::optional<quint16> firewallPort; // nothing when the text names no port
  QString firewallUserName;
  QString firewallPassword;

  // Milliseconds allowed for connecting, and for a server to say anything.
  int connectTimeoutMs = 30000;
  int idleTimeoutMs = 30000;

  bool keepFileDates = true;

  // The settings store as it is now.
  static ConnectionSettings read();

  // Whether a connection can be made with these settings: the firewall is off, or its port is usable.
  bool usable() const { return !firewall || firewallPort.has_value(); }
};

// Sets passive mode, the proxy, the time limits and kept dates on an FTP component (the main window's or the
// quick one; both have these properties). With the firewall off, the proxy is cleared. Call only
// when `settings.usable()`.
template <typename FtpComponent>
void applyConnectionSettings(const ConnectionSettings& settings, FtpComponent& ftp) {
  ftp.setPassiveMode(settings.passive);
  if (settings.firewall) {
    ftp.setProxyType(static_cast<int>(settings.firewallType));
    ftp.setProxyAddress(settings.firewallHost);
    ftp.setProxyPort(settings.firewallPort.value_or(kDefaultProxyPort));
    ftp.setProxyUserName(settings.firewallUserName);
    ftp.setProxyPassword(settings.firewallPassword);
  } else {
    ftp.setProxyType(static_cast<int>(ProxyType::None));
    ftp.setProxyAddress(QString());
    ftp.setProxyPort(kDefaultProxyPort);
    ftp.setProxyUserName(QString());
    ftp.setProxyPassword(QString());
  }
  ftp.setConnectTimeout(settings.connectTimeoutMs);
  ftp.setIdleTimeout(settings.idleTimeoutMs);
  ftp.setKeepFileDates(settings.keepFileDates);
}

} // namespace tidewick::settings
