#pragma once
// Queue files: the rows of the transfer queue in one INI section, "LISTQUE".
//
//   LISTCOUNT = number of rows
//   ROW<i>.0  = row i's name, i from 1
//   ROW<i>.<j> = row i's column j, j from 1 to 10 (8 and 9, user name and password, shifted with
//                EncodeString)
//
// Every value goes through ReadIniString/WriteIniString one at a time, so a file saved over an
// older, longer one keeps the older rows' keys; reading stops at LISTCOUNT and never sees them.
// The queue window and the headless runner share this model.

#include <QString>

#include <optional>
#include <vector>

namespace tidewick::transfer {

// One queued transfer, all text, as the queue window shows it.
struct QueueRow {
  static constexpr int ColumnCount = 11; // the name and columns 1 to 10

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

  // Column j (0 is the name); out of range reads as empty and writes nothing.
  QString column(int j) const;
  void setColumn(int j, const QString& value);

  bool operator==(const QueueRow&) const = default;
};

inline const QString QueueSection = QStringLiteral("LISTQUE");
inline const QString QueueCountKey = QStringLiteral("LISTCOUNT");
// "ROW" + i + "." + j, decimal without padding.
QString QueueRowKey(int row, int column);

// The largest row count a queue file may hold (the row counters are 16-bit).
constexpr int MaxQueueRows = 32767;

// Reads the rows of a queue file. Nothing when the file is not a queue file: no "LISTCOUNT" (a
// missing file, section or key, or an empty value), or a count that rounds to below 0 or above
// MaxQueueRows. The caller shows "Error: Wrong Queue File" then. A count without a leading number
// reads as 0 rows; rows whose keys are missing read as empty columns.
std::optional<std::vector<QueueRow>> ReadQueueFile(const QString& file);

// Writes LISTCOUNT and every row, key by key. False when a value could not be written (the file
// is then partly updated), and when there are more than MaxQueueRows rows (nothing is written).
bool WriteQueueFile(const QString& file, const std::vector<QueueRow>& rows);

// The count as Load reads it: the whole number nearest to the text's leading number (halves to
// even), nothing for an empty text or one outside 0..MaxQueueRows.
std::optional<int> QueueRowCount(const QString& countText);

} // namespace tidewick::transfer
