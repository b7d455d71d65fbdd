#include "ui/CertificateTrust.h"

#include "settings/TrustedCertificates.h"
#include "ui/UserPrompts.h"

#include <QStringList>

namespace tidewick::ui {

namespace {

const QString kQuery = QStringLiteral("Tidewick [Query]");

QString server(const ftp::CertificateInfo& certificate) {
  const QString host = certificate.host.contains(QLatin1Char(':'))
                           ? QLatin1Char('[') + certificate.host + QLatin1Char(']')
                           : certificate.host;
  return host + QLatin1Char(':') + QString::number(certificate.port);
}

QString dateText(const QDateTime& date) {
  return date.isValid() ? date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")) : QStringLiteral("unknown");
}

} // namespace

QString CertificateQuestionText(const ftp::CertificateInfo& certificate, const QString& trustedSha256) {
  QStringList lines;
  if (!trustedSha256.isEmpty()) {
    lines << QStringLiteral("WARNING: THE CERTIFICATE OF %1 HAS CHANGED.").arg(server(certificate))
          << QStringLiteral(
                 "You chose to always trust another certificate for this server (its fingerprint "
                 "is below the new one).")
          << QStringLiteral(
                 "Someone may be listening in on the connection, or the server's certificate was "
                 "replaced. Trust the new one only if you know why it changed.")
          << QString();
  }
  lines << QStringLiteral("The certificate of %1 is not trusted:").arg(server(certificate));
  for (const QString& problem : certificate.problems) lines << QStringLiteral("  - ") + problem;
  lines << QString() << QStringLiteral("Subject: ") + certificate.subject
        << QStringLiteral("Issuer: ") + certificate.issuer
        << QStringLiteral("Valid from: ") + dateText(certificate.validFrom)
        << QStringLiteral("Valid until: ") + dateText(certificate.validUntil)
        << QStringLiteral("SHA-256 fingerprint: ") + certificate.sha256;
  if (!trustedSha256.isEmpty()) lines << QStringLiteral("Fingerprint trusted until now: ") + trustedSha256;
  lines << QString()
        << QStringLiteral("Trust once connects this time only; Always trust remembers this certificate for %1.")
               .arg(server(certificate));
  return lines.join(QLatin1Char('\n'));
}

bool DecideCertificate(UserPrompts* prompts, QWidget* parent, const ftp::CertificateInfo& certificate,
                       QString* refusal) {
  const settings::TrustedCertificate trusted = settings::TrustedCertificateFor(certificate.host, certificate.port);
  if (!trusted.sha256.isEmpty() && trusted.sha256 == certificate.sha256.toUpper()) return true;
  if (!prompts) {
    if (refusal)
      *refusal = (trusted.sha256.isEmpty()
                      ? QStringLiteral("The certificate of %1 is not trusted (%2), and nobody is here to decide. "
                                       "Connect to the site once in Tidewick's window and choose Always trust.")
                      : QStringLiteral("The certificate of %1 has changed since it was always trusted (%2). "
                                       "Connect to the site in Tidewick's window to decide about the new one."))
                     .arg(server(certificate), certificate.problems.join(QStringLiteral("; ")));
    return false;
  }
  const UserPrompts::Icon icon = trusted.sha256.isEmpty() ? UserPrompts::Icon::Warning : UserPrompts::Icon::Critical;
  switch (prompts->certificate(parent, kQuery, CertificateQuestionText(certificate, trusted.sha256), icon)) {
    case UserPrompts::CertificateAnswer::AlwaysTrust:
      if (!settings::StoreTrustedCertificate(
              certificate.host, certificate.port,
              {certificate.sha256.toUpper(), certificate.subject, certificate.validUntil}))
        prompts->message(parent, QStringLiteral("Tidewick [Notice]"),
                         QStringLiteral("The certificate could not be remembered in %1; it is trusted this time only.")
                             .arg(settings::TrustedCertificatesFile()),
                         UserPrompts::OkOnly, UserPrompts::Icon::Warning);
      return true;
    case UserPrompts::CertificateAnswer::TrustOnce: return true;
    case UserPrompts::CertificateAnswer::Cancel: break;
  }
  return false;
}

} // namespace tidewick::ui
