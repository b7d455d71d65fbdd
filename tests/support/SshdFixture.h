#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tidewick::test {

// OpenSSH's sshd on 127.0.0.1 for the SFTP tests, run in the foreground as the test's own user from
// a temporary folder that holds its host key, configuration and authorized_keys; no system
// service or file is touched, except that sshd run by root insists on its empty privilege
// separation folder /run/sshd, which is created when missing.
//
// The fixture also makes a home for the client: HOME points there while a test runs (see
// ClientHome), with ~/.ssh/id_ed25519 authorised on the server and an empty known_hosts. Logins
// use the current user's name. start() accepts no password at all; startWithPassword() does.
class SshdFixture {
public:
  SshdFixture() = default;
  ~SshdFixture();
  SshdFixture(const SshdFixture&) = delete;
  SshdFixture& operator=(const SshdFixture&) = delete;

  // False where sshd is not installed; tests then skip, saying so.
  static bool installed();
  static constexpr const char* notInstalled =
      "sshd cannot run here: /usr/sbin/sshd is missing (scripts/deps installs openssh-server)";

  ::testing::AssertionResult start();
  // Starts sshd so that it accepts `password` for userName(), by password and by keyboard-interactive
  // login (through PAM). It runs in a mount namespace of its own whose PAM services check the
  // password against a file in the temporary folder, so nothing outside it changes. Needs root and
  // unshare; the result says why it cannot start otherwise.
  ::testing::AssertionResult startWithPassword(const QString& password);
  void stop();
  // An ssh-agent that holds the key `privateKey`; its socket, or nothing when it cannot start.
  QString startAgent(const QString& privateKey);

  QString host() const { return "127.0.0.1"; }
  quint16 port() const { return m_port; }
  static QString userName();
  QString root() const { return m_dir.filePath("files"); } // a folder for the test's files
  QString clientHome() const { return m_dir.filePath("home"); }
  QString knownHosts() const { return clientHome() + "/.ssh/known_hosts"; }
  // The server's host key line as ssh-keyscan shows it ("ssh-ed25519 AAAA...").
  QByteArray hostKeyLine() const { return m_hostKey; }
  // "[127.0.0.1]:port", as known_hosts names this server.
  QByteArray hostLabel() const;
  // Makes the client's known_hosts hold just this server's key, as if trusted before.
  bool trustHostKey() const;
  // "SHA256:..." of the server's host key.
  QString hostKeyFingerprint() const { return m_fingerprint; }
  // A freshly made ed25519 key pair at `path` (and `path`.pub); true when ssh-keygen made it.
  static bool makeKey(const QString& path, const QString& passphrase = {});
  static QString fingerprintOf(const QString& publicKeyFile);
  // Adds the public key of `privateKey` to what the server accepts.
  bool authorize(const QString& privateKey) const;

private:
  ::testing::AssertionResult startOn(quint16 port);

  QTemporaryDir m_dir;
  std::unique_ptr<QProcess> m_process;
  std::unique_ptr<QProcess> m_agent;
  bool m_withPassword = false;
  quint16 m_port = 0;
  QByteArray m_hostKey;
  QString m_fingerprint;
};

// Points HOME at the fixture's client home while alive, so ~/.ssh is the test's own, and hides the
// runner's SSH agent.
class ClientHome {
public:
  explicit ClientHome(const QString& home);
  ~ClientHome();
  ClientHome(const ClientHome&) = delete;
  ClientHome& operator=(const ClientHome&) = delete;

private:
  QByteArray m_saved;
  bool m_had;
  QByteArray m_agent;
  bool m_hadAgent;
};

// Tests that share one sshd, started with their suite. Each test runs with HOME at the client home
// and skips where sshd is not installed; a derived SetUp() calls this one first and returns when
// IsSkipped() or HasFatalFailure().
class SshdTest : public ::testing::Test {
protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override { home.reset(); }

  static SshdFixture* server;
  std::unique_ptr<ClientHome> home;

private:
  static ::testing::AssertionResult started;
};

} // namespace tidewick::test
