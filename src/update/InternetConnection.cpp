#include "update/InternetConnection.h"

#include <QNetworkInformation>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>

namespace tidewick::update {

QString connectionStateText(const ConnectionState& state) {
  if (!state.connected) return QStringLiteral("No internet connection.");
  QString text;
  if (state.flags & Configured) text += QStringLiteral("Network connection configured.\n");
  if (state.flags & ViaLan) text += QStringLiteral("Connect via a LAN.");
  text += (state.flags & ViaProxy) ? QStringLiteral(", and uses a proxy server.") : QStringLiteral(".");
  if (state.flags & ViaModem) text += QStringLiteral("Connect via a Modem.");
  if (state.flags & Offline) text += QStringLiteral("Connection offline.");
  if (state.flags & ModemBusy) text += QStringLiteral("Modem is busy with a non-Internet connection.");
  if (state.flags & RemoteAccessInstalled) text += QStringLiteral("Remote Access Services are installed.");
  return text;
}

namespace {

QNetworkInformation* networkInformation() {
  // Loaded once; a machine without a backend answers nullptr every time.
  static const bool loaded = QNetworkInformation::loadDefaultBackend();
  return loaded ? QNetworkInformation::instance() : nullptr;
}

bool systemProxyConfigured() {
  const QList<QNetworkProxy> proxies =
      QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("ftp://example.invalid/"))));
  for (const QNetworkProxy& proxy : proxies)
    if (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy) return true;
  return false;
}

} // namespace

ConnectionState currentConnectionState() {
  ConnectionState state;
  state.flags = ViaLan;
  if (systemProxyConfigured()) state.flags |= ViaProxy;
  QNetworkInformation* info = networkInformation();
  if (!info) return state;

  if (info->supports(QNetworkInformation::Feature::TransportMedium) &&
      info->transportMedium() == QNetworkInformation::TransportMedium::Cellular)
    state.flags = (state.flags & ~ViaLan) | ViaModem;
  if (info->supports(QNetworkInformation::Feature::Reachability)) {
    // A site network (NetworkManager's "limited") may still reach the update server through its
    // firewall, so only a machine with no network or a local one only counts as not connected.
    switch (info->reachability()) {
      case QNetworkInformation::Reachability::Disconnected:
      case QNetworkInformation::Reachability::Local: state.connected = false; break;
      default: break;
    }
  }
  return state;
}

} // namespace tidewick::update
