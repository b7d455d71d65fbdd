#include "ftp/client/Worker.h"

#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <csignal>

namespace tidewick::ftp {

void Question::answer(const QString& text) {
  {
    std::lock_guard lock(m_mutex);
    if (m_done) return;
    m_answer = text;
    m_done = true;
  }
  m_cv.notify_all();
}

void Question::cancel() {
  {
    std::lock_guard lock(m_mutex);
    if (m_done) return;
    m_cancelled = true;
    m_done = true;
  }
  m_cv.notify_all();
}

std::optional<QString> Question::wait() {
  std::unique_lock lock(m_mutex);
  m_cv.wait(lock, [this] { return m_done; });
  if (m_cancelled) return std::nullopt;
  return m_answer;
}

namespace {

// The worker thread allocates from a heap of its own, which the allocator otherwise makes usable
// a page or two at a time, one mprotect() call each: about 1,500 calls while a folder of 100,000
// entries arrives. Asking for 16 MiB of headroom whenever a heap grows or is made takes that to a
// few dozen. Only address space is taken; pages cost memory once they are written. (Blocks from
// 128 KiB up keep getting mappings of their own, as at start-up.)
void reserveHeapHeadroom() {
  static const bool done = [] { return ::mallopt(M_TOP_PAD, 16 * 1024 * 1024) == 1; }();
  (void)done;
}

} // namespace

Worker::Worker(std::function<void()> notify)
    : m_notify(std::move(notify)), m_session(*this), m_sftp(*this, *this),
      m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_thread([this] {
        reserveHeapHeadroom();
        threadMain();
      }) {}

Worker::~Worker() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_jobs.clear();
    if (m_question) m_question->cancel();
    if (m_running) m_active->requestAbort();
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
  m_thread.join();
  ::close(m_wakeFd);
}

quint64 Worker::post(const SessionSettings& settings, std::function<void(RemoteSession&)> job) {
  quint64 id = 0;
  {
    std::lock_guard lock(m_mutex);
    id = m_nextJob++;
    m_jobs.push_back({id, settings, std::move(job)});
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
  return id;
}

void Worker::abort(quint64 job) {
  std::lock_guard lock(m_mutex);
  if (job == 0 || job != m_running) return;
  if (m_question) m_question->cancel();
  m_active->requestAbort();
}

std::deque<WorkerEvent> Worker::take(std::size_t max) {
  std::lock_guard lock(m_mutex);
  std::deque<WorkerEvent> out;
  if (m_events.size() <= max) {
    out.swap(m_events);
  } else {
    for (std::size_t i = 0; i < max; ++i) {
      out.push_back(std::move(m_events.front()));
      m_events.pop_front();
    }
  }
  // Events left over stay "notified": the UI drains them in its next round without being told.
  m_notified = !m_events.empty();
  return out;
}

void Worker::waitForEvents(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  m_eventsReady.wait_for(lock, wait, [this] { return m_notified; });
}

void Worker::push(WorkerEvent&& event) {
  bool tell = false;
  {
    std::lock_guard lock(m_mutex);
    // While a job runs the UI looks for events on its progress tick anyway, so log lines and
    // listed items wait for it: waking the UI thread for each of them would cost more than the
    // work of a small file. The end of a job, a question, a lost connection and a large backlog
    // are told at once, as is anything that happens between jobs.
    const bool urgent = m_running == 0 || event.type == WorkerEvent::Type::Done ||
                        event.type == WorkerEvent::Type::Question || event.type == WorkerEvent::Type::Disconnected ||
                        m_events.size() + 1 >= backlogNotice;
    m_events.push_back(std::move(event));
    if (urgent && !m_notified) {
      m_notified = true;
      tell = true;
    }
  }
  if (tell) {
    m_eventsReady.notify_all();
    if (m_notify) m_notify();
  }
}

void Worker::threadMain() {
  // Writing to a socket the server closed must fail with EPIPE, never kill the program. Asio
  // sends with MSG_NOSIGNAL already; this mask covers any other write on this thread.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  for (;;) {
    std::optional<PendingJob> job;
    {
      std::lock_guard lock(m_mutex);
      if (m_stop) break;
      if (!m_jobs.empty()) {
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = job->id;
      }
    }
    if (job) {
      JobResult result;
      RemoteSession& wanted =
          job->settings.protocol == Protocol::Sftp ? static_cast<RemoteSession&>(m_sftp) : m_session;
      if (&wanted != m_active) {
        // A connection of the other protocol ends before this one starts.
        if (m_active->isConnected()) m_active->shutdown(net::Millis(1000));
        std::lock_guard lock(m_mutex);
        m_active = &wanted;
      }
      RemoteSession& session = *m_active;
      session.applySettings(job->settings);
      session.beginOperation();
      try {
        job->run(session);
      } catch (const FtpError& e) {
        result.kind = e.kind();
        result.description = e.description();
      } catch (const std::exception& e) {
        result.kind = FailureKind::TransferFailed;
        result.description = QString::fromUtf8(e.what());
      }
      // Whatever the server sent after the last answer (a goodbye, a hang-up) counts now,
      // so the state handed back is the true one.
      session.checkIdle();
      result.connected = session.isConnected();
      result.encryption = session.encryption();
      {
        std::lock_guard lock(m_mutex);
        m_running = 0;
      }
      WorkerEvent done;
      done.type = WorkerEvent::Type::Done;
      done.job = job->id;
      done.result = std::move(result);
      push(std::move(done));
      continue;
    }

    // Idle: sleep until a job arrives or the server says something (or hangs up). What TLS holds
    // decrypted already would never wake the poll.
    if (m_active->controlHasBuffered()) {
      m_active->checkIdle();
      continue;
    }
    pollfd fds[2] = {};
    fds[0].fd = m_wakeFd;
    fds[0].events = POLLIN;
    fds[1].fd = m_active->controlHandle();
    fds[1].events = POLLIN;
    const int count = fds[1].fd >= 0 ? 2 : 1;
    if (::poll(fds, count, -1) < 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t value = 0;
      [[maybe_unused]] const auto n = ::read(m_wakeFd, &value, sizeof value);
    }
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      bool jobWaiting = false;
      {
        std::lock_guard lock(m_mutex);
        jobWaiting = !m_jobs.empty() || m_stop;
      }
      if (!jobWaiting) m_active->checkIdle();
    }
  }
  m_session.shutdown(net::Millis(1000));
  m_sftp.shutdown(net::Millis(1000));
}

std::optional<QString> Worker::ask(std::shared_ptr<Question> question) {
  {
    std::lock_guard lock(m_mutex);
    if (m_stop) return std::nullopt;
    m_question = question;
  }
  WorkerEvent event;
  event.type = WorkerEvent::Type::Question;
  event.question = question;
  push(std::move(event));
  std::optional<QString> answer = question->wait();
  std::lock_guard lock(m_mutex);
  m_question.reset();
  return answer;
}

void Worker::logLine(const QString& line) {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Log;
  event.text = line;
  push(std::move(event));
}

void Worker::listingItem(const FolderItem& item) {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Item;
  event.item = item;
  push(std::move(event));
}

void Worker::progress(qint64 fileBytes, int percent, qint64 total) {
  std::lock_guard lock(m_mutex);
  m_progress = {fileBytes, percent, total};
  ++m_progressSequence;
}

std::array<qint64, 3> Worker::latestProgress(quint64* sequence) {
  std::lock_guard lock(m_mutex);
  *sequence = m_progressSequence;
  return m_progress;
}

void Worker::receivingFile(const QString& name) {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Receiving;
  event.text = name;
  push(std::move(event));
}

void Worker::sendingFile(const QString& name) {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Sending;
  event.text = name;
  push(std::move(event));
}

void Worker::fileSkipped(const QString& remoteName, const QString& localName, SkipReason reason) {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Skipped;
  event.text = remoteName;
  event.text2 = localName;
  event.code = static_cast<int>(reason);
  push(std::move(event));
}

std::optional<QString> Worker::askAccount() { return ask(std::make_shared<Question>(Question::Kind::Account)); }

std::optional<QString> Worker::askPassword() { return ask(std::make_shared<Question>(Question::Kind::Password)); }

std::optional<HostKeyAnswer> Worker::askHostKey(const HostKeyInfo& key) {
  const std::optional<QString> answer = ask(std::make_shared<Question>(key));
  if (!answer) return std::nullopt;
  bool ok = false;
  const int value = answer->toInt(&ok);
  if (!ok || value < static_cast<int>(HostKeyAnswer::Cancel) || value > static_cast<int>(HostKeyAnswer::AlwaysTrust))
    return HostKeyAnswer::Unanswered;
  return static_cast<HostKeyAnswer>(value);
}

std::optional<QString> Worker::askSecret(const SecretRequest& request) {
  // The UI answers "-" for cancel and "+" before a given answer, so an empty answer can be given.
  const std::optional<QString> answer = ask(std::make_shared<Question>(request));
  if (!answer || !answer->startsWith(QLatin1Char('+'))) return std::nullopt;
  return answer->mid(1);
}

std::optional<bool> Worker::trustCertificate(const CertificateInfo& certificate) {
  const std::optional<QString> answer = ask(std::make_shared<Question>(certificate));
  if (!answer) return std::nullopt;
  return !answer->isEmpty();
}

void Worker::disconnected() {
  WorkerEvent event;
  event.type = WorkerEvent::Type::Disconnected;
  push(std::move(event));
}

} // namespace tidewick::ftp
