// TLS on the control and data connections (RFC 4217). Explicit TLS asks with AUTH TLS right after
// the greeting, so the user name and password never travel in clear; implicit TLS shakes hands
// before the greeting. After the login, PBSZ 0 and PROT P protect the data connections, as curl and
// FileZilla ask for them (some servers take them only from a logged-in user).
//
// Every data connection resumes a TLS session the server offered on this FTP session: servers such
// as vsftpd (require_ssl_reuse) take that as the proof that the data connection comes from the same
// client, and refuse a data connection without it.
//
// Certificates: what the system's certificate authorities and the host-name check vouch for is
// used without a word. Anything else is put to the user (through SessionEvents) before the login
// goes out; a data connection must then show the very certificate that was accepted.

#include "ftp/session/Session.h"

namespace tidewick::ftp {

namespace {

std::string toWire(const QString& text) { return text.toUtf8().toStdString(); }

QString fromWire(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDateTime fromEpoch(std::int64_t seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

} // namespace

void Session::negotiateTls() {
  const Security security = m_settings.security;
  if (security == Security::TlsIfAvailable || security == Security::TlsRequired) {
    const proto::Reply reply = commandRaw("AUTH", "TLS");
    if (reply.code == 234) {
      // Whatever came along with the agreement was sent in clear, by the server or by someone in
      // between, and would be read as if it had come encrypted.
      if (m_reader.hasPartial())
        throw FtpError(FailureKind::TlsFailed,
                       QStringLiteral("The server sent more after agreeing to TLS; the connection was closed"));
      secureControl();
    } else if (security == Security::TlsRequired) {
      throw FtpError(FailureKind::TlsFailed,
                     QStringLiteral("The server refused TLS (%1); the connection was closed without sending the "
                                    "user name or the password")
                         .arg(fromWire(reply.text())));
    } else {
      log(QStringLiteral("The server does not offer TLS; going on without encryption"));
    }
  }
  if (!m_controlTls) log(QStringLiteral("The connection is not encrypted: the password and the files travel in clear"));
}

void Session::protectDataConnections() {
  if (!m_controlTls) return;
  const proto::Reply pbsz = commandRaw("PBSZ", "0");
  const proto::Reply prot = pbsz.isPositive() ? commandRaw("PROT", "P") : pbsz;
  if (prot.isPositive()) {
    m_protectData = true;
    return;
  }
  if (m_settings.security == Security::TlsIfAvailable) {
    log(QStringLiteral("The server does not protect data connections; files travel in clear"));
    return;
  }
  refused("Protecting the data connections (PROT P)", prot, FailureKind::TlsFailed);
}

net::TlsStream* Session::startTls(std::unique_ptr<net::Stream>& connection, net::TlsOptions options,
                                  const QString& what) {
  net::TlsStream* tls = nullptr;
  try {
    // Under the lock requestAbort() takes, so that an abort always finds the layer in place.
    std::lock_guard lock(m_streamMutex);
    auto secured = m_connector.secure(std::move(connection), std::move(options));
    tls = secured.get();
    connection = std::move(secured);
  } catch (const net::NetError& e) {
    throw FtpError(FailureKind::TlsFailed, QString::fromStdString(e.what()));
  }
  if (m_abort.load()) tls->interrupt();
  try {
    tls->handshake();
  } catch (const net::NetError& e) {
    if (e.kind() == net::NetError::Kind::Interrupted) throw;
    throw FtpError(FailureKind::TlsFailed, QStringLiteral("%1 failed: %2").arg(what, QString::fromStdString(e.what())));
  }
  return tls;
}

void Session::secureControl() {
  const QString host = m_settings.host.trimmed();
  m_tlsSessions = std::make_shared<net::TlsSessionPool>();
  net::TlsStream* const tls =
      startTls(m_control, {toWire(host), m_tlsSessions, false, false}, QStringLiteral("TLS with %1").arg(host));
  {
    std::lock_guard lock(m_streamMutex);
    m_controlTls = tls;
  }

  const net::PeerCertificate peer = tls->peerCertificate();
  if (!peer.problems.empty()) {
    CertificateInfo certificate;
    certificate.host = host;
    certificate.port = m_settings.port;
    certificate.subject = fromWire(peer.subject);
    certificate.issuer = fromWire(peer.issuer);
    certificate.validFrom = fromEpoch(peer.notBefore);
    certificate.validUntil = fromEpoch(peer.notAfter);
    certificate.sha256 = QString::fromStdString(peer.sha256);
    for (const std::string& problem : peer.problems) {
      certificate.problems << fromWire(problem);
      log(QStringLiteral("The server's certificate is not trusted: %1").arg(fromWire(problem)));
    }
    const std::optional<bool> trusted = m_events.trustCertificate(certificate);
    if (!trusted) throw FtpError(FailureKind::Aborted, QStringLiteral("The connection was aborted"));
    if (!*trusted)
      throw FtpError(FailureKind::CertificateRejected,
                     QStringLiteral("The certificate of %1 was not trusted (%2); the connection was closed before "
                                    "the login")
                         .arg(host, certificate.problems.join(QStringLiteral("; "))));
    log(QStringLiteral("The certificate was accepted (SHA-256 %1)").arg(certificate.sha256));
  }
  m_trustedCertificate = peer.sha256;
  m_encryption = QString::fromStdString(tls->protocolVersion() + ", " + tls->cipher());
  log(QStringLiteral("The connection is encrypted: %1").arg(m_encryption));
}

void Session::secureData() {
  net::TlsStream* const tls = startTls(m_data, {toWire(m_settings.host.trimmed()), m_tlsSessions, true, true},
                                       QStringLiteral("TLS on the data connection"));
  const net::PeerCertificate peer = tls->peerCertificate();
  if (!peer.problems.empty() && peer.sha256 != m_trustedCertificate)
    throw FtpError(FailureKind::CertificateRejected,
                   QStringLiteral("The data connection showed another certificate than the control connection "
                                  "(SHA-256 %1); nothing was transferred")
                       .arg(QString::fromStdString(peer.sha256)));
}

} // namespace tidewick::ftp
