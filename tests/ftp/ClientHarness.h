#pragma once

// Records what an FtpClient reports, and small helpers shared by the FTP tests.

#include "ftp/FtpClient.h"
#include "ftp/FtpTypes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <vector>

namespace tidewick::test {

using ftp::FtpClient;
using ftp::FtpFailure;

struct ListedItem {
  QString name;
  QDateTime date;
  qint64 size;
  int kind;
};

struct Skipped {
  QString remote;
  QString local;
  int reason;
};

class ClientHarness {
public:
  explicit ClientHarness(FtpClient& client) : client(client) {
    static const bool verbose = qEnvironmentVariableIsSet("TIDEWICK_TEST_VERBOSE");
    clock.start();
    QObject::connect(&client, &FtpClient::LogMessage, [this](const QString& line) {
      log << line;
      if (verbose) fprintf(stderr, "%6lld ms  %s\n", static_cast<long long>(clock.elapsed()), qPrintable(line));
    });
    QObject::connect(&client, &FtpClient::Disconnected, [this] { ++disconnects; });
    QObject::connect(&client, &FtpClient::ListingFolderItem,
                     [this](const QString& name, const QDateTime& date, qint64 size, int kind) {
                       items.push_back({name, date, size, kind});
                     });
    QObject::connect(&client, &FtpClient::TransferProgress, [this](qint64 bytes, int percent, qint64 total) {
      progress.push_back({bytes, percent, total});
      if (onProgress) onProgress();
    });
    QObject::connect(&client, &FtpClient::ReceivingFile, [this](const QString& name) { receiving << name; });
    QObject::connect(&client, &FtpClient::SendingFile, [this](const QString& name) { sending << name; });
    QObject::connect(&client, &FtpClient::FileSkipped, [this](const QString& a, const QString& b, int reason) {
      skipped.push_back({a, b, reason});
    });
    QObject::connect(&client, &FtpClient::PasswordRequired, [this](QString& answer) {
      ++passwordQuestions;
      answer = passwordAnswer;
    });
    QObject::connect(&client, &FtpClient::AccountRequired, [this](QString& answer) {
      ++accountQuestions;
      answer = accountAnswer;
    });
  }

  // Runs `call` and returns the failure it raised (FailureKind::None and an empty text when none).
  template <typename Fn>
  FtpFailure failureOf(Fn&& call) {
    try {
      call();
    } catch (const FtpFailure& failure) {
      return failure;
    }
    return FtpFailure(QString(), ftp::FailureKind::None);
  }

  bool logContains(const QString& text) const {
    for (const QString& line : log)
      if (line.contains(text)) return true;
    return false;
  }

  // Lets queued events in until `done` holds or 10 s pass (a guard against hanging, not a timing).
  static bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
  }

  FtpClient& client;
  QElapsedTimer clock;
  QStringList log;
  int disconnects = 0;
  std::vector<ListedItem> items;
  struct Progress {
    qint64 bytes;
    int percent;
    qint64 total;
  };
  std::vector<Progress> progress;
  std::function<void()> onProgress;
  QStringList receiving;
  QStringList sending;
  std::vector<Skipped> skipped;
  int passwordQuestions = 0;
  int accountQuestions = 0;
  QString passwordAnswer;
  QString accountAnswer;
};

inline int kindOf(const FtpFailure& failure) { return failure.number(); }

inline constexpr int failureNumber(tidewick::ftp::FailureKind kind) { return static_cast<int>(kind); }

inline QByteArray randomBytes(qsizetype size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator generator(seed);
  generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
  for (qsizetype i = size / 4 * 4; i < size; ++i) bytes[i] = static_cast<char>(generator.generate());
  return bytes;
}

inline bool writeLocal(const QString& path, const QByteArray& content) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray readLocal(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace tidewick::test
