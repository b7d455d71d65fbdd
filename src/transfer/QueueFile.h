#pragma once
// Queue files: the rows of the transfer queue in one INI section, "LISTQUE".
//
//   LISTCOUNT = number of rows
//   ROW<i>.0  = row i's name, i from 1
//   ROW<i>.<j> = row i's column j, j from 1 to 11 (8 and 9, user name and password, shifted with
//                EncodeString; 11, how the site is reached, is missing from files written before
//                it existed, whose rows run in plain FTP as they always did)
//
// The file is read once, its section in one pass, and written once; values follow the rules of
// ReadIniString and WriteIniString. Saving updates an existing file key by key, so a file saved over an older, longer
// one keeps the older rows' keys; reading stops at LISTCOUNT and never sees them.
// The queue window and the headless runner share this model.

#include "settings/SettingsKeys.h"

#include <QString>

#include <optional>
#include <vector>

namespace tidewick::transfer {

// One queued transfer, all text, as the queue window shows it.
struct QueueRow {
  static constexpr int ColumnCount = 12; // the name and columns 1 to 11

  QString name;         // 0  "File / Dir Name"
  QString localPath;    // 1  "Local Path", a folder ending with "/"
  QString remotePath;   // 2  "Remote Path"
  QString hostAddress;  // 3  "Host Address"
  QString size;         // 4  "Size (Bytes)", decimal text
  QString command;      // 5  "Command": "Upload" or "Download"
  QString transferMode; // 6  "Transfer Mode": "Binary" or "Ascii"
  QString type;         // 7  "File / Dir Type": "File", "Dir" or "Link"
  QString userName;     // 8  "User Name", plain text here, encoded in the file
  QString password;     // 9  "Password", plain text here, encoded in the file
  QString port;         // 10 "Port Number", decimal text
  QString security;     // 11 "Security": the connection dialog's words ("SFTP (SSH)"); empty: plain FTP

  // Column j (0 is the name); out of range reads as empty and writes nothing.
  QString column(int j) const;
  void setColumn(int j, const QString& value);

  bool operator==(const QueueRow&) const = default;
};

// The caption of column j as the queue window shows it ("File / Dir Name" ... "Port Number").
QString QueueColumnCaption(int column);

inline const QString QueueSection = settings::keys::queue::Section;
inline const QString QueueCountKey = settings::keys::queue::Count;
// "ROW" + i + "." + j, decimal without padding.
QString QueueRowKey(int row, int column);

// The largest row count a queue file may hold (the row counters are 16-bit).
constexpr int MaxQueueRows = 32767;

// How LISTCOUNT is read. The queue window's Load takes the whole number nearest to its leading
// number; the headless runner, which runs whatever it is given unattended, takes only a whole number.
enum class QueueCount { Nearest, WholeOnly };

// Reads the rows of a queue file. Nothing when the file cannot be read (missing, unreadable, over
// the size limit) or is not a queue file: no "LISTCOUNT" (a missing section or key, or an empty
// value), or a count outside 0..MaxQueueRows. `problem`, when given, then says why; for a file that
// is not a queue file it begins with "Wrong Queue File". With QueueCount::Nearest a count without a
// leading number reads as 0 rows. Rows whose keys are missing read as empty columns.
std::optional<std::vector<QueueRow>> ReadQueueFile(const QString& file, QString* problem = nullptr,
                                                   QueueCount rule = QueueCount::Nearest);

// What the queue window's Load and Append read: the rows, and the rows whose keys were not all in
// the file (numbers from 1; their missing columns read as empty).
struct LoadedQueue {
  std::vector<QueueRow> rows;
  std::vector<int> incompleteRows;
};

// Reads a queue file for the window, more strictly than ReadQueueFile: LISTCOUNT must be a number
// (its nearest whole number is the count), and a user name or password that EncodeString cannot
// have written makes the file a wrong one. `problem` as for ReadQueueFile.
std::optional<LoadedQueue> LoadQueueFile(const QString& file, QString* problem = nullptr);

// Writes LISTCOUNT and every row into the file's text and replaces the file once. False when a
// value cannot be stored, the existing file cannot be read, or there are more than MaxQueueRows
// rows; nothing is written then.
bool WriteQueueFile(const QString& file, const std::vector<QueueRow>& rows, QString* problem = nullptr);

// The count as Load reads it: the whole number nearest to the text's leading number (halves to
// even), nothing for an empty text or one outside 0..MaxQueueRows.
std::optional<int> QueueRowCount(const QString& countText);

} // namespace tidewick::transfer
