#include "settings/TrustedCertificates.h"

#include "settings/Globals.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"

namespace tidewick::settings {

namespace {

QString sectionOf(const QString& host, int port) {
  QString name = host.trimmed().toLower();
  name.remove(QLatin1Char('[')).remove(QLatin1Char(']')); // "[::1]" is ::1, and "]" would end the section name
  return name + QLatin1Char(':') + QString::number(port);
}

} // namespace

QString TrustedCertificatesFile() { return AppFilePath(keys::trust::File); }

TrustedCertificate TrustedCertificateFor(const QString& host, int port) {
  const ini::Document file = ini::Document::load(TrustedCertificatesFile());
  const QString section = sectionOf(host, port);
  TrustedCertificate out;
  out.sha256 = file.value(section, keys::trust::Sha256).value_or(QString()).trimmed().toUpper();
  out.subject = file.value(section, keys::trust::Subject).value_or(QString());
  out.validUntil = QDateTime::fromString(file.value(section, keys::trust::ValidUntil).value_or(QString()), Qt::ISODate);
  return out;
}

bool StoreTrustedCertificate(const QString& host, int port, const TrustedCertificate& certificate) {
  const QString path = TrustedCertificatesFile();
  ini::Document file = ini::Document::load(path);
  const QString section = sectionOf(host, port);
  // A subject could hold a line break; the fingerprint is what counts, so such a subject is dropped.
  QString subject = certificate.subject;
  if (subject.contains(QLatin1Char('\n')) || subject.contains(QLatin1Char('\r')) || subject.contains(QChar(0)))
    subject.clear();
  return file.setValue(section, keys::trust::Sha256, certificate.sha256) &&
         file.setValue(section, keys::trust::Subject, subject) &&
         file.setValue(section, keys::trust::ValidUntil, certificate.validUntil.toUTC().toString(Qt::ISODate)) &&
         file.save(path);
}

} // namespace tidewick::settings
