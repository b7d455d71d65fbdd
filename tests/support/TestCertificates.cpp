#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace tidewick::test {

namespace {

struct Freer {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(X509* certificate) const { X509_free(certificate); }
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
  void operator()(std::FILE* file) const { std::fclose(file); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

Owned<std::FILE> openFile(const QString& path, const char* mode) {
  return Owned<std::FILE>(std::fopen(QFile::encodeName(path).constData(), mode));
}

bool addExtension(X509* certificate, X509* issuer, int nid, const QString& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.toUtf8().constData()));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

QString fingerprint(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(certificate, EVP_sha256(), digest, &length);
  QStringList pairs;
  for (unsigned int i = 0; i < length; ++i)
    pairs << QStringLiteral("%1").arg(digest[i], 2, 16, QLatin1Char('0')).toUpper();
  return pairs.join(QLatin1Char(':'));
}

} // namespace

TestCertificate makeCertificate(const QString& folder, const QString& name, const CertificateTerms& terms,
                                const TestCertificate* issuer) {
  TestCertificate out;
  Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
  Owned<X509> certificate(X509_new());
  if (!key || !certificate) return out;
  X509_set_version(certificate.get(), 2);
  unsigned char serial[8];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7f;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), long(terms.validFromDays) * 86400);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), long(terms.validUntilDays) * 86400);
  X509_set_pubkey(certificate.get(), key.get());
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Tidewick tests"), -1,
                             -1, 0);
  const QByteArray commonName = terms.commonName.toUtf8();
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.data()),
                             -1, -1, 0);

  Owned<X509> issuerCertificate;
  Owned<EVP_PKEY> issuerKey;
  if (issuer) {
    if (auto file = openFile(issuer->certificateFile, "r"))
      issuerCertificate.reset(PEM_read_X509(file.get(), nullptr, nullptr, nullptr));
    if (auto file = openFile(issuer->keyFile, "r"))
      issuerKey.reset(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
    if (!issuerCertificate || !issuerKey) return out;
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(issuerCertificate.get()));
  } else {
    X509_set_issuer_name(certificate.get(), subject);
  }
  X509* signer = issuer ? issuerCertificate.get() : certificate.get();

  QStringList names;
  for (const QString& dns : terms.dnsNames) names << "DNS:" + dns;
  for (const QString& address : terms.addresses) names << "IP:" + address;
  const bool ok =
      addExtension(certificate.get(), signer, NID_basic_constraints,
                   terms.authority ? "critical,CA:TRUE" : "CA:FALSE") &&
      addExtension(certificate.get(), signer, NID_key_usage,
                   terms.authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,keyAgreement") &&
      addExtension(certificate.get(), signer, NID_subject_key_identifier, "hash") &&
      (names.isEmpty() || addExtension(certificate.get(), signer, NID_subject_alt_name, names.join(QLatin1Char(','))));
  if (!ok || X509_sign(certificate.get(), issuer ? issuerKey.get() : key.get(), EVP_sha256()) == 0) return out;

  QDir().mkpath(folder);
  const QString certificatePath = QDir(folder).filePath(name + ".pem");
  const QString keyPath = QDir(folder).filePath(name + ".key");
  {
    auto file = openFile(certificatePath, "w");
    if (!file || PEM_write_X509(file.get(), certificate.get()) != 1) return out;
  }
  {
    auto file = openFile(keyPath, "w");
    if (!file || PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) return out;
  }
  out.certificateFile = certificatePath;
  out.keyFile = keyPath;
  out.sha256 = fingerprint(certificate.get());
  out.subject = "CN=" + terms.commonName + ",O=Tidewick tests";
  return out;
}

} // namespace tidewick::test
