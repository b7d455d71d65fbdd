#include "transfer/QueueFile.h"

#include "settings/Globals.h"
#include "settings/IniFile.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace tidewick::transfer {

namespace ini = settings::ini;
using settings::DecodeString;
using settings::EncodeString;
using settings::LeadingNumber;
using settings::ReadIniString;

namespace {

constexpr int UserNameColumn = 8;
constexpr int PasswordColumn = 9;

bool isEncoded(int column) { return column == UserNameColumn || column == PasswordColumn; }

const char* const ColumnCaptions[QueueRow::ColumnCount] = {
    "File / Dir Name", "Local Path",      "Remote Path", "Host Address", "Size (Bytes)", "Command",
    "Transfer Mode",   "File / Dir Type", "User Name",   "Password",     "Port Number",  "Security"};

// The columns every queue file has had; a row without a later one is not incomplete.
constexpr int FirstColumns = 11;

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
    case 11: return security;
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
    case 11: security = value; break;
    default: break;
  }
}

QString QueueColumnCaption(int column) {
  return column >= 0 && column < QueueRow::ColumnCount ? QLatin1String(ColumnCaptions[column]) : QString();
}

QString QueueRowKey(int row, int column) {
  return QString(settings::keys::queue::RowPrefix) + QString::number(row) + QLatin1Char('.') + QString::number(column);
}

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
  // Halves round to even (2.5 is 2 rows, 3.5 is 4), as queue files have always been counted.
  count = std::nearbyint(count);
  if (!(count >= 0 && count <= MaxQueueRows)) return std::nullopt;
  return int(count);
}

namespace {

bool isWholeNumber(const QString& text) {
  const QString digits = text.trimmed();
  return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                          [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

bool isNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)\\s*$"));
  return number.match(text).hasMatch();
}

// Row i and column j of a key named "ROW<i>.<j>" in any case, both decimal without leading zeros
// (the names QueueRowKey makes); nothing for any other name.
std::optional<std::pair<int, int>> rowKeyCell(const QString& name) {
  if (name.size() < 6 || name.left(3).compare(settings::keys::queue::RowPrefix, Qt::CaseInsensitive) != 0)
    return std::nullopt;
  auto number = [&name](qsizetype& at, int digits) -> std::optional<int> {
    const qsizetype from = at;
    int value = 0;
    while (at < name.size() && name[at] >= QLatin1Char('0') && name[at] <= QLatin1Char('9') && at - from < digits)
      value = value * 10 + (name[at++].unicode() - '0');
    if (at == from || (name[from] == QLatin1Char('0') && at - from > 1)) return std::nullopt;
    return value;
  };
  qsizetype at = 3;
  const std::optional<int> row = number(at, 5);
  if (!row || *row < 1 || at >= name.size() || name[at] != QLatin1Char('.')) return std::nullopt;
  ++at;
  const std::optional<int> column = number(at, 2);
  if (!column || at != name.size() || *column >= QueueRow::ColumnCount) return std::nullopt;
  return std::pair{*row, *column};
}

enum class Strictness { AsWritten, Window };

// The one reader of queue files. `incomplete`, when given, collects the rows with missing keys.
std::optional<std::vector<QueueRow>> readRows(const QString& file, QString* problem, QueueCount rule,
                                              Strictness strictness, std::vector<int>* incomplete) {
  auto refuse = [problem](const QString& why) -> std::optional<std::vector<QueueRow>> {
    if (problem) *problem = why;
    return std::nullopt;
  };
  const ini::Document doc = ini::Document::load(file);
  if (doc.status() != ini::LoadStatus::Read) return refuse(doc.problem());
  const QString countText = ReadIniString(doc, QueueSection, QueueCountKey);
  if (rule == QueueCount::WholeOnly && !countText.isEmpty() && !isWholeNumber(countText))
    return refuse(QStringLiteral("Wrong Queue File: its LISTCOUNT \"%1\" is not a whole number").arg(countText));
  if (strictness == Strictness::Window && !countText.isEmpty()) {
    if (!isNumber(countText))
      return refuse(QStringLiteral("Wrong Queue File: its LISTCOUNT \"%1\" is not a number").arg(countText));
    if (!QueueRowCount(countText))
      return refuse(QStringLiteral("Wrong Queue File: its LISTCOUNT %1 is not a row count from 0 to %2")
                        .arg(countText.trimmed())
                        .arg(MaxQueueRows));
  }
  const std::optional<int> count = QueueRowCount(countText);
  if (!count) return refuse(QStringLiteral("Wrong Queue File"));

  // One pass over the section's lines; the first line of a key is the one that counts.
  std::vector<QueueRow> rows(static_cast<size_t>(*count));
  static_assert(QueueRow::ColumnCount <= 16, "a bit per column");
  std::vector<quint16> found(rows.size(), 0); // a bit per column read
  for (const auto& [name, stored] : doc.entries(QueueSection)) {
    const std::optional<std::pair<int, int>> cell = rowKeyCell(name);
    if (!cell || cell->first > *count) continue;
    const auto [i, j] = *cell;
    quint16& bits = found[size_t(i - 1)];
    if (bits & (1u << j)) continue;
    bits |= quint16(1u << j);
    const QString value = settings::IniStringOf(stored);
    if (!isEncoded(j)) {
      rows[size_t(i - 1)].setColumn(j, value);
      continue;
    }
    const QString decoded = DecodeString(value);
    // Only a text EncodeString wrote comes back whole; anything else would be saved back changed.
    if (strictness == Strictness::Window && EncodeString(decoded) != value)
      return refuse(QStringLiteral("Wrong Queue File: the %1 of row %2 cannot be decoded")
                        .arg(QueueColumnCaption(j).toLower())
                        .arg(i));
    rows[size_t(i - 1)].setColumn(j, decoded);
  }
  if (incomplete) {
    constexpr quint16 all = (1u << FirstColumns) - 1;
    for (size_t i = 0; i < found.size(); ++i)
      if ((found[i] & all) != all) incomplete->push_back(int(i + 1));
  }
  return rows;
}

} // namespace

std::optional<std::vector<QueueRow>> ReadQueueFile(const QString& file, QString* problem, QueueCount rule) {
  return readRows(file, problem, rule, Strictness::AsWritten, nullptr);
}

std::optional<LoadedQueue> LoadQueueFile(const QString& file, QString* problem) {
  LoadedQueue loaded;
  std::optional<std::vector<QueueRow>> rows =
      readRows(file, problem, QueueCount::Nearest, Strictness::Window, &loaded.incompleteRows);
  if (!rows) return std::nullopt;
  loaded.rows = std::move(*rows);
  return loaded;
}

bool WriteQueueFile(const QString& file, const std::vector<QueueRow>& rows, QString* problem) {
  auto refuse = [problem](const QString& why) {
    if (problem) *problem = why;
    return false;
  };
  // A file that Load would refuse is not written at all.
  if (rows.size() > size_t(MaxQueueRows))
    return refuse(QStringLiteral("A queue file holds at most %1 rows").arg(MaxQueueRows));
  ini::Document doc = ini::Document::load(file);
  if (doc.status() == ini::LoadStatus::Unreadable || doc.status() == ini::LoadStatus::TooLarge)
    return refuse(doc.problem());
  std::vector<std::pair<QString, QString>> values;
  values.reserve(1 + rows.size() * QueueRow::ColumnCount);
  values.emplace_back(QueueCountKey, QString::number(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int j = 0; j < QueueRow::ColumnCount; ++j) {
      const QString value = rows[i].column(j);
      values.emplace_back(QueueRowKey(int(i + 1), j), isEncoded(j) ? EncodeString(value) : value);
    }
  }
  // Every value is checked before anything changes, so a refused row leaves the file as it was.
  if (!doc.setValues(QueueSection, values)) {
    for (size_t v = 1; v < values.size(); ++v) {
      if (ini::Document().setValue(QueueSection, values[v].first, values[v].second)) continue;
      const size_t row = (v - 1) / QueueRow::ColumnCount;
      const int column = int((v - 1) % QueueRow::ColumnCount);
      return refuse(QStringLiteral("Row %1 cannot be saved: its %2 holds a character that would break the line")
                        .arg(row + 1)
                        .arg(QueueColumnCaption(column)));
    }
    return refuse(QStringLiteral("The queue cannot be saved"));
  }
  QString error;
  if (!doc.save(file, &error)) return refuse(error);
  return true;
}

} // namespace tidewick::transfer
