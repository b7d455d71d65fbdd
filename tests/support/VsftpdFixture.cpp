#include "support/VsftpdFixture.h"

#include "support/ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace tidewick::test {

namespace {

const QString kProgram = "/usr/sbin/vsftpd";

} // namespace

VsftpdFixture::~VsftpdFixture() { stop(); }

::testing::AssertionResult VsftpdFixture::start() {
  if (!QFileInfo(kProgram).isExecutable())
    return ::testing::AssertionFailure() << kProgram.toStdString() << " is missing (scripts/deps installs vsftpd)";
  if (::geteuid() != 0) return ::testing::AssertionFailure() << "vsftpd needs root to chroot into its test root";
  const passwd* ftp = ::getpwnam("ftp");
  if (!ftp) return ::testing::AssertionFailure() << "the system user \"ftp\" is missing (the vsftpd package adds it)";
  if (!m_dir.isValid()) return ::testing::AssertionFailure() << "cannot create a temporary folder";
  // vsftpd refuses a root its user could change, so only /incoming is the server's own; the
  // empty folder is where it locks away its unprivileged helper.
  const QString empty = m_dir.filePath("empty");
  const QString incoming = root() + "/incoming";
  if (!QDir().mkpath(incoming) || !QDir().mkpath(empty) ||
      ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) != 0 ||
      ::chown(QFile::encodeName(incoming).constData(), ftp->pw_uid, ftp->pw_gid) != 0)
    return ::testing::AssertionFailure() << "cannot prepare the root folder " << root().toStdString();

  // vsftpd cannot report a port it chose: take a free one, and another if it was taken meanwhile.
  ::testing::AssertionResult result = ::testing::AssertionFailure() << "no free port";
  for (int attempt = 0; attempt < 5 && !result; ++attempt) result = startOn(freeLoopbackPort());
  return result;
}

QString VsftpdFixture::tlsConfig() const {
  if (m_options.tlsCertificate.isEmpty()) return {};
  return QStringLiteral(
             "ssl_enable=YES\n"
             "allow_anon_ssl=YES\n"
             "force_anon_logins_ssl=YES\n"
             "force_anon_data_ssl=YES\n"
             "require_ssl_reuse=YES\n"
             "strict_ssl_read_eof=YES\n"
             "ssl_sslv2=NO\n"
             "ssl_sslv3=NO\n"
             "ssl_tlsv1=YES\n"
             "ssl_ciphers=HIGH\n"
             "rsa_cert_file=%1\n"
             "rsa_private_key_file=%2\n"
             "implicit_ssl=%3\n")
      .arg(m_options.tlsCertificate, m_options.tlsKey, m_options.tlsImplicit ? "YES" : "NO");
}

::testing::AssertionResult VsftpdFixture::startOn(quint16 port) {
  if (port == 0) return ::testing::AssertionFailure() << "no free port";
  const QString config = QStringLiteral(
                             "listen=YES\n"
                             "listen_ipv6=NO\n"
                             "listen_address=127.0.0.1\n"
                             "listen_port=%1\n"
                             "background=NO\n"
                             "anonymous_enable=YES\n"
                             "no_anon_password=YES\n"
                             "anon_root=%2\n"
                             "local_enable=NO\n"
                             "write_enable=YES\n"
                             "anon_upload_enable=YES\n"
                             "anon_mkdir_write_enable=YES\n"
                             "anon_other_write_enable=YES\n"
                             "anon_umask=022\n"
                             "allow_writeable_chroot=YES\n"
                             "secure_chroot_dir=%3\n"
                             "seccomp_sandbox=NO\n"
                             "isolate=NO\n"
                             "isolate_network=NO\n"
                             "xferlog_enable=NO\n"
                             "use_localtime=NO\n"
                             "connect_from_port_20=NO\n")
                             .arg(port)
                             .arg(root(), m_dir.filePath("empty")) +
                         tlsConfig();
  const QString configPath = m_dir.filePath("vsftpd.conf");
  if (!writeTextFile(configPath, config.toUtf8()))
    return ::testing::AssertionFailure() << "cannot write " << configPath.toStdString();
  ::testing::AssertionResult listening = startListening(m_process, kProgram, {configPath}, port, "vsftpd");
  if (listening) m_port = port;
  return listening;
}

void VsftpdFixture::stop() { stopServer(m_process); }

} // namespace tidewick::test
