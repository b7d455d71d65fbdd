#include "transfer/QueueFile.h"

#include "settings/Globals.h"

#include <cmath>

namespace tidewick::transfer {

namespace {

constexpr int UserNameColumn = 8;
constexpr int PasswordColumn = 9;

bool isEncoded(int column) { return column == UserNameColumn || column == PasswordColumn; }

} // namespace

QString QueueRow::column(int j) const {
  switch (j) {
    case 0: return name;
    case 1: return localPath;
    case 2: return remotePath;
    case 3: return hostAddress;
    case 4: return size;
    case 5: return command;
    case 6: return transferMode;
    case 7: return type;
    case 8: return userName;
    case 9: return password;
    case 10: return port;
    default: return {};
  }
}

void QueueRow::setColumn(int j, const QString& value) {
  switch (j) {
    case 0: name = value; break;
    case 1: localPath = value; break;
    case 2: remotePath = value; break;
    case 3: hostAddress = value; break;
    case 4: size = value; break;
    case 5: command = value; break;
    case 6: transferMode = value; break;
    case 7: type = value; break;
    case 8: userName = value; break;
    case 9: password = value; break;
    case 10: port = value; break;
    default: break;
  }
}

QString QueueRowKey(int row, int column) { return QStringLiteral("ROW%1.%2").arg(row).arg(column); }

std::optional<int> QueueRowCount(const QString& countText) {
  if (countText.isEmpty()) return std::nullopt;
  double count = LeadingNumber(countText);
  // LeadingNumber reads a number too large for a double as 0; such a count is no count at all.
  if (count == 0) {
    const QString digits = countText.trimmed();
    qsizetype i = (digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-'))) ? 1 : 0;
    while (i < digits.size() && (digits[i] == QLatin1Char('0') || digits[i] == QLatin1Char('.'))) ++i;
    if (i < digits.size() && digits[i].isDigit()) return std::nullopt;
  }
  // nearbyint rounds halves to even, as the whole-number conversion of the classic runtime does.
  count = std::nearbyint(count);
  if (!(count >= 0 && count <= MaxQueueRows)) return std::nullopt;
  return int(count);
}

std::optional<std::vector<QueueRow>> ReadQueueFile(const QString& file) {
  const std::optional<int> count = QueueRowCount(ReadIniString(file, QueueSection, QueueCountKey));
  if (!count) return std::nullopt;
  std::vector<QueueRow> rows(static_cast<size_t>(*count));
  for (int i = 1; i <= *count; ++i) {
    QueueRow& row = rows[size_t(i - 1)];
    for (int j = 0; j < QueueRow::ColumnCount; ++j) {
      const QString value = ReadIniString(file, QueueSection, QueueRowKey(i, j));
      row.setColumn(j, isEncoded(j) ? DecodeString(value) : value);
    }
  }
  return rows;
}

bool WriteQueueFile(const QString& file, const std::vector<QueueRow>& rows) {
  // A file that Load would refuse is not written at all.
  if (rows.size() > size_t(MaxQueueRows)) return false;
  bool ok = WriteIniString(QueueSection, QueueCountKey, QString::number(rows.size()), file) != 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int j = 0; j < QueueRow::ColumnCount; ++j) {
      const QString value = rows[i].column(j);
      ok = WriteIniString(QueueSection, QueueRowKey(int(i + 1), j), isEncoded(j) ? EncodeString(value) : value, file) !=
               0 &&
           ok;
    }
  }
  return ok;
}

} // namespace tidewick::transfer
