// tls_transfer_bench get|put HOST PORT USER PASSWORD REMOTE LOCAL SHA256
// One FTP-over-TLS transfer with QuickFtp, as the queue runner makes it (connect with TLS required,
// transfer, disconnect): get REMOTE into the file LOCAL, or put the file LOCAL to REMOTE. The
// server's certificate is taken when its SHA-256 fingerprint is SHA256, as one always trusted in the
// window would be. bench/tls.sh times it against curl and lftp.

#include "ftp/FtpTypes.h"
#include "ftp/QuickFtp.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

using tidewick::ftp::CertificateInfo;
using tidewick::ftp::FtpFailure;
using tidewick::ftp::QuickFtp;
using tidewick::ftp::Security;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 9) {
    std::fprintf(stderr, "usage: tls_transfer_bench get|put HOST PORT USER PASSWORD REMOTE LOCAL SHA256\n");
    return 2;
  }
  const QString host = QString::fromLocal8Bit(argv[2]);
  const int port = QString::fromLocal8Bit(argv[3]).toInt();
  const QString user = QString::fromLocal8Bit(argv[4]);
  const QString password = QString::fromLocal8Bit(argv[5]);
  const QString remote = QString::fromLocal8Bit(argv[6]);
  const QString local = QString::fromLocal8Bit(argv[7]);
  const QString fingerprint = QString::fromLocal8Bit(argv[8]).toUpper();
  QuickFtp quick;
  quick.setSecurity(static_cast<int>(Security::TlsRequired));
  QObject::connect(
      &quick, &QuickFtp::CertificateNotTrusted, &quick,
      [&fingerprint](const CertificateInfo& certificate, bool& trust) { trust = certificate.sha256 == fingerprint; },
      Qt::DirectConnection);
  try {
    const qint64 bytes = std::strcmp(argv[1], "get") == 0
                             ? quick.QuickReceiveFile(host, port, user, password, remote, local, false)
                             : quick.QuickSendFile(host, port, user, password, local, remote, false);
    std::printf("%lld\n", static_cast<long long>(bytes));
  } catch (const FtpFailure& failure) {
    std::fprintf(stderr, "Error: %s\n", qPrintable(failure.description()));
    return 1;
  }
  return 0;
}
