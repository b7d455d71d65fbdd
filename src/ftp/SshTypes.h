#pragma once

#include <QString>

namespace tidewick::ftp {

// An SSH server's host key that ~/.ssh/known_hosts does not hold yet, as it is put to the user.
struct HostKeyInfo {
  QString host; // as the user gave it
  int port = 22;
  QString keyType;        // "ssh-ed25519"
  QString fingerprint;    // "SHA256:" and the base64 digest, as OpenSSH shows it
  QString knownHostsFile; // where "Always trust" writes it
};

// The answer to an unknown host key. Unanswered is what comes back when nobody is there to ask
// (the headless runner): the connection then fails with a message saying what to do.
enum class HostKeyAnswer : int { Unanswered = -1, Cancel = 0, TrustOnce = 1, AlwaysTrust = 2 };

// A secret the SSH login needs from the user: the passphrase of a key file, or one prompt of the
// server's keyboard-interactive login.
struct SecretRequest {
  enum class Kind { Passphrase, Interactive };
  Kind kind = Kind::Passphrase;
  QString host;
  QString title;       // the key file, or the name the server gives its login
  QString instruction; // what the server says above its prompts; may be empty
  QString prompt;      // "Password:", "Verification code:", ...
  bool echo = false;   // whether the answer may be shown as typed
};

} // namespace tidewick::ftp
