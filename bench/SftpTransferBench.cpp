// sftp_transfer_bench get|put|mirror HOST PORT USER REMOTE LOCAL
// One SFTP transfer with QuickFtp, as the queue runner makes it (connect, transfer, disconnect):
// get REMOTE into the file LOCAL, put the file LOCAL to REMOTE, or mirror the folder REMOTE with
// its subfolders into LOCAL. The key and known_hosts come from $HOME/.ssh. bench/sftp.sh times it
// against OpenSSH's sftp and lftp.

#include "ftp/QuickFtp.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

using tidewick::ftp::FtpFailure;
using tidewick::ftp::Protocol;
using tidewick::ftp::QuickFtp;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 7) {
    std::fprintf(stderr, "usage: sftp_transfer_bench get|put|mirror HOST PORT USER REMOTE LOCAL\n");
    return 2;
  }
  const QString host = QString::fromLocal8Bit(argv[2]);
  const int port = QString::fromLocal8Bit(argv[3]).toInt();
  const QString user = QString::fromLocal8Bit(argv[4]);
  const QString remote = QString::fromLocal8Bit(argv[5]);
  const QString local = QString::fromLocal8Bit(argv[6]);
  QuickFtp quick;
  quick.setProtocol(static_cast<int>(Protocol::Sftp));
  try {
    qint64 bytes = 0;
    if (std::strcmp(argv[1], "get") == 0) bytes = quick.QuickReceiveFile(host, port, user, {}, remote, local, false);
    else if (std::strcmp(argv[1], "put") == 0) bytes = quick.QuickSendFile(host, port, user, {}, local, remote, false);
    else bytes = quick.QuickReceiveFiles(host, port, user, {}, remote + QStringLiteral("/*"), true, local, false);
    std::printf("%lld\n", static_cast<long long>(bytes));
  } catch (const FtpFailure& failure) {
    std::fprintf(stderr, "Error: %s\n", qPrintable(failure.description()));
    return 1;
  }
  return 0;
}
