#pragma once
// The server certificates the user chose to always trust, one per server: the file
// "trusted-certificates" in the Tidewick home, an INI file with one section per server named
// "host:port" (the host as the user gave it, in lower case) and the certificate's SHA-256
// fingerprint under "sha256". Its subject and end date are kept beside it for a reader of the file.
// Written owner-only and whole, like every stored file.

#include <QDateTime>
#include <QString>

namespace tidewick::settings {

struct TrustedCertificate {
  QString sha256; // "AB:CD:...", empty when none is stored
  QString subject;
  QDateTime validUntil;
};

QString TrustedCertificatesFile();

// What is stored for the server; an empty sha256 when nothing is.
TrustedCertificate TrustedCertificateFor(const QString& host, int port);
// Stores the certificate as the one to trust for the server, replacing any other; false when the
// file could not be written.
bool StoreTrustedCertificate(const QString& host, int port, const TrustedCertificate& certificate);

} // namespace tidewick::settings
