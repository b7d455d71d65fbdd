// list_folder_bench HOST PORT USER PASSWORD FOLDER
// Connects with FtpClient, changes to FOLDER, fetches its items with GetFolderContents (LIST or
// MLSD, parsed) and prints how many there were. bench/run.sh times it against curl's raw LIST.
// With TIDEWICK_BENCH_LOG set, the protocol log goes to stderr with milliseconds since start.

#include "ftp/FtpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using tidewick::ftp::FtpClient;
using tidewick::ftp::FtpFailure;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 6) {
    std::fprintf(stderr, "usage: list_folder_bench HOST PORT USER PASSWORD FOLDER\n");
    return 2;
  }
  FtpClient ftp;
  QElapsedTimer clock;
  clock.start();
  if (qEnvironmentVariableIsSet("TIDEWICK_BENCH_LOG"))
    QObject::connect(&ftp, &FtpClient::LogMessage, [&clock](const QString& line) {
      std::fprintf(stderr, "%6lld ms  %s\n", static_cast<long long>(clock.elapsed()), qPrintable(line));
    });
  ftp.setServerAddress(QString::fromLocal8Bit(argv[1]));
  ftp.setServerPort(QString::fromLocal8Bit(argv[2]).toInt());
  ftp.setUserName(QString::fromLocal8Bit(argv[3]));
  ftp.setPassword(QString::fromLocal8Bit(argv[4]));
  try {
    ftp.Connect();
    ftp.ChangeCurrentFolder(QString::fromLocal8Bit(argv[5]));
    const std::vector<FtpClient::FolderItem> items = ftp.GetFolderContents(QString(), 0);
    if (qEnvironmentVariableIsSet("TIDEWICK_BENCH_LOG"))
      std::fprintf(stderr, "%6lld ms  %zu items\n", static_cast<long long>(clock.elapsed()), items.size());
    ftp.Disconnect();
    std::printf("%zu\n", items.size());
  } catch (const FtpFailure& failure) {
    std::fprintf(stderr, "Error: %s\n", qPrintable(failure.description()));
    return 1;
  }
  return 0;
}
