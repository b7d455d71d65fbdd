// The two synchronisations of the folders the panes show. One level only: no folder is entered or
// made, nothing is deleted, nothing is asked, and every file moves whole, replacing its target.
// A file moves when the other side lacks its name, or when the other side's file is older (dates
// compared in UTC at the precision both sides have) or, with "DIR SYNC BY FILE SIZE" on, of
// another size. The switch is read afresh at the start of each synchronisation.
//
// A synchronisation that stops on a failure says so: the completion text appears only when every
// file was handled; otherwise the status bar says it stopped and why, and so does the log.
#include "transfer/TransferController.h"

#include "browse/LocalFileSystem.h"
#include "ftp/FtpClient.h"
#include "settings/SettingsKeys.h"
#include "settings/Switches.h"
#include "transfer/FileDates.h"
#include "ui/BusyCursor.h"

#include <optional>
#include <unordered_map>

namespace tidewick::transfer {

using browse::kAttrFolder;
using browse::kAttrSystem;
using ftp::FolderItem;
using ftp::FtpFailure;
using ftp::ItemKind;

namespace {

// The local folder could not be listed; said in its own words rather than as "Error: ".
struct LocalFolderUnreadable {};

struct LocalEntry {
  QString name;
  QDateTime date;
  qint64 size = 0;
  int attributes = -1; // browse::LocalAttribute bits, -1 when unreadable
};

std::vector<LocalEntry> listLocalFolder(ui::UserPrompts& prompts, QWidget* window, const QString& folder) {
  std::vector<LocalEntry> entries;
  browse::LocalFileSystem fs(prompts, window);
  QObject::connect(&fs, &browse::LocalFileSystem::entryListed, &fs,
                   [&entries](const QString& name, const QDateTime& date, qint64 size, int attributes) {
                     entries.push_back({name, date, size, attributes});
                   });
  if (!fs.list(folder)) throw LocalFolderUnreadable{};
  return entries;
}

} // namespace

void TransferController::SyncLocalToRemote() { SyncStart(true); }
void TransferController::SyncRemoteToLocal() { SyncStart(false); }

bool TransferController::SyncStart(bool toRemote) {
  if (!BeginRun()) return false;
  const QString localFolder = m_localFolder;
  const QString remoteFolder = m_services.CurrentRemoteFolder();
  bool complete = false;
  QString reason;
  {
    ui::BusyCursor busy;
    try {
      if (toRemote) SyncUp(localFolder, remoteFolder);
      else SyncDown(localFolder, remoteFolder);
      complete = true;
    } catch (const FtpFailure& failure) {
      reason = failure.description();
      if (!reason.isEmpty()) Log(QStringLiteral("Error: ") + reason);
    } catch (const LocalFolderUnreadable&) {
      reason = QStringLiteral("Cannot read the contents of ") + localFolder;
      Log(reason);
    }
  }
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(false);
  RefreshRemote();
  if (m_services.RefreshLocalList) m_services.RefreshLocalList();
  ResetProgress();
  const QString what = toRemote ? QStringLiteral("Remote Directory Sync") : QStringLiteral("Local Directory Sync");
  Action(complete ? what + QStringLiteral(" Complete") : StoppedText(what, reason));
  m_running = false;
  return complete;
}

bool TransferController::IsMissingRemotely(const QString& name) const {
  for (const FolderItem& item : m_remoteSnapshot)
    if (item.name == name) return false;
  return true;
}

bool TransferController::LocalFileNeedsSending(const QString& name, const QDateTime& localDate, qint64 localSize,
                                               bool bySize) const {
  bool needed = false;
  for (const FolderItem& item : m_remoteSnapshot) {
    if (item.name != name) continue;
    if (bySize) needed = needed || item.size != localSize;
    else needed = needed || compareListedDate(item.date, item.datePrecision, localDate).value_or(0) < 0;
  }
  return needed;
}

void TransferController::SyncUp(const QString& localFolder, const QString& remoteFolder) {
  ResetProgress();
  const bool bySize = settings::switchIsOn(settings::keys::DirSyncByFileSize);
  m_ftp.ChangeCurrentFolder(remoteFolder);
  m_remoteSnapshot = m_ftp.GetFolderContents(QString(), 0);

  for (const LocalEntry& entry : listLocalFolder(*m_services.prompts, m_services.window, localFolder)) {
    // Folders stay where they are; so do entries that are no plain file (a pipe or a device would
    // never end, a dangling link has nothing to send).
    if (entry.attributes == -1 || (entry.attributes & (kAttrFolder | kAttrSystem))) continue;
    if (!LocalFileNeedsSending(entry.name, entry.date, entry.size, bySize) && !IsMissingRemotely(entry.name)) continue;
    if (SkipUnsafeName(entry.name)) continue;
    m_progress.beginFile(entry.size);
    m_ftp.SendFile(localFolder + entry.name, 0, entry.name, false);
  }
}

void TransferController::SyncDown(const QString& localFolder, const QString& remoteFolder) {
  ResetProgress();
  const bool bySize = settings::switchIsOn(settings::keys::DirSyncByFileSize);
  m_ftp.ChangeCurrentFolder(remoteFolder);
  m_remoteSnapshot = m_ftp.GetFolderContents(QString(), 0);

  // Names are unique in a folder, so one listing answers for every remote item.
  std::unordered_map<QString, LocalEntry> local;
  for (LocalEntry& entry : listLocalFolder(*m_services.prompts, m_services.window, localFolder))
    local.emplace(entry.name, std::move(entry));

  for (const FolderItem& item : m_remoteSnapshot) {
    if (item.name == QLatin1String(".") || item.name == QLatin1String("..")) continue;
    if (item.kind != int(ItemKind::File)) continue;
    const auto found = local.find(item.name);
    bool needed = found == local.end();
    if (!needed && bySize) needed = item.size != found->second.size;
    else if (!needed) needed = compareListedDate(item.date, item.datePrecision, found->second.date).value_or(0) > 0;
    if (!needed) continue;
    if (SkipUnsafeName(item.name)) continue;
    m_progress.beginFile(item.size);
    m_ftp.ReceiveFile(item.name, 0, localFolder + item.name);
  }
}

} // namespace tidewick::transfer
