#pragma once
// Certificates made at test time with OpenSSL: self-signed ones for servers the system does not
// know, and a small authority for servers it can be told to trust (through SSL_CERT_FILE).

#include <QString>
#include <QStringList>

namespace tidewick::test {

struct TestCertificate {
  QString certificateFile; // PEM
  QString keyFile;         // PEM, unencrypted
  QString sha256;          // "AB:CD:...", as the engine shows it
  QString subject;         // "CN=..."
};

struct CertificateTerms {
  QString commonName = "Tidewick test server";
  QStringList dnsNames;
  QStringList addresses = {"127.0.0.1", "::1"};
  int validFromDays = -1; // relative to now
  int validUntilDays = 365;
  bool authority = false; // may sign others
};

// Writes <name>.pem and <name>.key into `folder`. Signed by `issuer` when given, else by itself.
// An empty certificateFile means OpenSSL failed.
TestCertificate makeCertificate(const QString& folder, const QString& name, const CertificateTerms& terms,
                                const TestCertificate* issuer = nullptr);

} // namespace tidewick::test
