#pragma once

// Records what an FtpClient reports, and small helpers shared by the FTP tests.

#include "ftp/FtpClient.h"
#include "ftp/FtpTypes.h"
#include "support/QtPrint.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace tidewick::test {

using ftp::FailureKind;
using ftp::FtpClient;
using ftp::FtpFailure;

constexpr int NotConnected = 0;
constexpr int Idle = 2;

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
  static FtpFailure failureOf(Fn&& call) {
    try {
      call();
    } catch (const FtpFailure& failure) {
      return failure;
    }
    return FtpFailure(QString(), FailureKind::None);
  }

  // Runs `call`; holds when it raised a failure of `kind` whose description contains each of `texts`.
  template <typename Fn>
  static ::testing::AssertionResult fails(Fn&& call, FailureKind kind, const QStringList& texts = {}) {
    const FtpFailure failure = failureOf(call);
    bool holds = failure.kind() == kind;
    for (const QString& text : texts) holds = holds && failure.description().contains(text);
    if (holds) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "failure " << failure.number() << ": "
                                         << failure.description().toStdString();
  }

  bool logContains(const QString& text) const {
    return std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.contains(text); });
  }

  // Lets queued events in until `done` holds or 10 s pass (a guard against hanging, not a timing).
  static bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
  }

  // Aborts the running transfer once its first bytes have been reported.
  void abortOnFirstBytes() {
    onProgress = [this] {
      if (progress.back().bytes > 0) client.setAbort(true);
    };
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

// A client, what it reports, and a temporary folder of the test's own.
class ClientTest : public ::testing::Test {
protected:
  void connectOk() {
    ASSERT_NO_THROW(client.Connect());
    ASSERT_EQ(client.CurrentState(), Idle);
  }
  QString local(const QString& name) const { return dir.filePath(name); }

  QTemporaryDir dir;
  FtpClient client;
  ClientHarness harness{client};
};

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

// The names in a local folder, sorted, without "." and "..".
inline QStringList entriesOf(const QString& path) {
  return QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

} // namespace tidewick::test
