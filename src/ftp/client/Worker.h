#pragma once

#include "ftp/FtpTypes.h"
#include "ftp/SshTypes.h"
#include "ftp/session/Session.h"
#include "ftp/sftp/SftpSession.h"

#include <QString>

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tidewick::ftp {

struct JobResult {
  FailureKind kind = FailureKind::None;
  QString description;
  bool connected = false;
  QString encryption; // Session::encryption() at the end of the job
};

// A question the session waits on (account, password, an unknown SSH host key, a passphrase or
// a keyboard-interactive prompt, an untrusted TLS certificate). The UI thread answers; an abort
// cancels.
class Question {
public:
  enum class Kind { Account, Password, HostKey, Secret, Certificate };
  explicit Question(Kind kind) : m_kind(kind) {}
  explicit Question(HostKeyInfo key) : m_kind(Kind::HostKey), m_hostKey(std::move(key)) {}
  explicit Question(SecretRequest secret) : m_kind(Kind::Secret), m_secret(std::move(secret)) {}
  explicit Question(CertificateInfo certificate) : m_kind(Kind::Certificate), m_certificate(std::move(certificate)) {}
  Kind kind() const { return m_kind; }
  const HostKeyInfo& hostKey() const { return m_hostKey; }
  const SecretRequest& secret() const { return m_secret; }
  const CertificateInfo& certificate() const { return m_certificate; }
  void answer(const QString& text);
  // The answer to a certificate question: "yes" is any non-empty text.
  void trust(bool trusted) { answer(trusted ? QStringLiteral("trust") : QString()); }
  void cancel();
  // Worker side: waits for the answer; nothing when cancelled.
  std::optional<QString> wait();

private:
  Kind m_kind;
  HostKeyInfo m_hostKey;
  SecretRequest m_secret;
  CertificateInfo m_certificate;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  bool m_cancelled = false;
  QString m_answer;
};

// Something the worker reports to the UI thread. Kept in one queue so the UI sees events in the
// order they happened, the end of an operation last.
struct WorkerEvent {
  enum class Type { Log, Item, Receiving, Sending, Skipped, Disconnected, Question, Done };
  Type type = Type::Log;
  QString text;
  QString text2;
  qint64 number = 0;
  qint64 number2 = 0;
  int code = 0;
  FolderItem item;
  std::shared_ptr<Question> question;
  quint64 job = 0;
  JobResult result;
};

// The worker thread that owns the sessions, one per protocol; each job runs on the one its
// settings name. Jobs run one after the other; between jobs the thread watches the connection so a
// server that hangs up is noticed at once.
class Worker final : private SessionEvents, private sftp::SshPrompts {
public:
  // `notify` is called on the worker thread when events wait and the UI has not been told yet.
  explicit Worker(std::function<void()> notify);
  ~Worker() override;

  quint64 post(const SessionSettings& settings, std::function<void(RemoteSession&)> job);
  // Stops the given job if it is still the running one; a stale request does nothing.
  void abort(quint64 job);

  // UI side: up to `max` waiting events, oldest first. While a job runs, the UI is told only of
  // events that cannot wait (see push()); it takes the rest on its own progress tick.
  std::deque<WorkerEvent> take(std::size_t max);
  // Blocks until events that cannot wait are there or `wait` passes (for callers without an
  // event loop).
  void waitForEvents(std::chrono::milliseconds wait);
  // The newest progress figures {file bytes, percent, total} and a counter that changes with
  // them. The session updates them on every block it moves; the UI looks at its own pace, so a
  // fast transfer never floods the queue or wakes the UI thread per block.
  std::array<qint64, 3> latestProgress(quint64* sequence);

private:
  struct PendingJob {
    quint64 id;
    SessionSettings settings;
    std::function<void(RemoteSession&)> run;
  };

  // Waiting events beyond which the UI is told at once, whatever they are.
  static constexpr std::size_t backlogNotice = 1000;

  void threadMain();
  void push(WorkerEvent&& event);
  std::optional<QString> ask(std::shared_ptr<Question> question);

  // SessionEvents
  void logLine(const QString& line) override;
  void listingItem(const FolderItem& item) override;
  void progress(qint64 fileBytes, int percent, qint64 total) override;
  void receivingFile(const QString& name) override;
  void sendingFile(const QString& name) override;
  void fileSkipped(const QString& remoteName, const QString& localName, SkipReason reason) override;
  std::optional<QString> askAccount() override;
  std::optional<QString> askPassword() override;
  std::optional<bool> trustCertificate(const CertificateInfo& certificate) override;
  void disconnected() override;

  // SshPrompts
  std::optional<HostKeyAnswer> askHostKey(const HostKeyInfo& key) override;
  std::optional<QString> askSecret(const SecretRequest& request) override;

  std::function<void()> m_notify;
  Session m_session;
  sftp::SftpSession m_sftp;
  RemoteSession* m_active = &m_session; // changed on the worker thread under m_mutex
  int m_wakeFd = -1;

  std::mutex m_mutex;
  std::condition_variable m_eventsReady;
  std::deque<PendingJob> m_jobs;
  std::deque<WorkerEvent> m_events;
  bool m_notified = false;
  bool m_stop = false;
  quint64 m_nextJob = 1;
  quint64 m_running = 0;
  std::shared_ptr<Question> m_question;
  std::array<qint64, 3> m_progress{};
  quint64 m_progressSequence = 0;

  std::thread m_thread; // last: starts after everything above exists
};

} // namespace tidewick::ftp
