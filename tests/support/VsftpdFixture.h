#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tidewick::test {

// vsftpd on 127.0.0.1 with a temporary root, run in the foreground from a temporary
// configuration and stopped at destruction. It is the other real server the folder transfers are
// checked against: it speaks LIST only, hides dot-files from a bare LIST, answers PWD with the
// real path behind a link, and cannot set dates.
//
// Logins are anonymous ("anonymous", any password). vsftpd chroots into the root and then works as
// the system user "ftp", so it needs root (as the test machines run) and that user (the Debian
// package creates it). The server reads everything below the root and writes below /incoming;
// files the test puts there itself belong to root and cannot be replaced by the server.
struct VsftpdOptions {
  // TLS with this PEM certificate and key: required for logins and data, data connections must
  // resume the control connection's session (require_ssl_reuse), and uploads must end with TLS's
  // close_notify (strict_ssl_read_eof).
  QString tlsCertificate;
  QString tlsKey;
  bool tlsImplicit = false;
};

class VsftpdFixture {
public:
  explicit VsftpdFixture(VsftpdOptions options = {}) : m_options(std::move(options)) {}
  ~VsftpdFixture();
  VsftpdFixture(const VsftpdFixture&) = delete;
  VsftpdFixture& operator=(const VsftpdFixture&) = delete;

  ::testing::AssertionResult start();
  void stop();

  QString host() const { return "127.0.0.1"; }
  quint16 port() const { return m_port; }
  static QString userName() { return "anonymous"; }
  static QString password() { return "tidewick@"; }
  QString root() const { return m_dir.filePath("root"); }

private:
  ::testing::AssertionResult startOn(quint16 port);
  QString tlsConfig() const;

  VsftpdOptions m_options;
  QTemporaryDir m_dir;
  std::unique_ptr<QProcess> m_process;
  quint16 m_port = 0;
};

} // namespace tidewick::test
