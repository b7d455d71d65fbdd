#pragma once
// Whether the machine can reach the internet, and the text that tells the user how it is connected
// when it cannot.
//
// The answer comes from Qt's network information backend (NetworkManager or GLib's network
// monitor) where one loads. Without a backend, or while it does not know, the machine counts as
// connected: the download that follows decides, and reports its own failure.

#include <QString>

#include <functional>

namespace tidewick::update {

// How the machine is connected; each flag adds its sentence to the state text.
enum ConnectionFlag : int {
  ViaModem = 1,
  ViaLan = 2,
  ViaProxy = 4,
  ModemBusy = 8,
  RemoteAccessInstalled = 16,
  Offline = 32,
  Configured = 64,
};

struct ConnectionState {
  bool connected = true;
  int flags = 0; // ConnectionFlag values
};

// "No internet connection." when not connected; otherwise the sentences of the flags, in a fixed
// order, joined without separators except the line break after the "configured" sentence.
QString connectionStateText(const ConnectionState& state);

// The machine's state now.
ConnectionState currentConnectionState();

// Who answers "is the machine connected?"; windows take one so tests can answer for the machine.
using ConnectionProbe = std::function<ConnectionState()>;

} // namespace tidewick::update
