#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <vector>

namespace tidewick::ini {
namespace {

// One physical line of the file. `begin`/`end` delimit the raw bytes including the line break, so
// untouched lines are copied back byte for byte.
struct Line {
  qsizetype begin = 0;
  qsizetype end = 0;        // one past the line break (or the end of the file)
  qsizetype contentEnd = 0; // before "\r\n" or "\n"
  enum Kind { Other, Section, Key } kind = Other;
  QString name;        // section or key name, trimmed
  QByteArray rawValue; // for keys: the bytes after "=", untrimmed
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray trimmed(QByteArray bytes) {
  qsizetype b = 0, e = bytes.size();
  while (b < e && isBlank(bytes[b])) ++b;
  while (e > b && isBlank(bytes[e - 1])) --e;
  return bytes.mid(b, e - b);
}

// Text from a file of ours is UTF-8. Older files may hold single-byte text; a value that is not valid
// UTF-8 is taken byte for byte (Latin-1) rather than mangled, so nothing read is lost.
QString decode(const QByteArray& bytes) {
  auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return QString::fromLatin1(bytes);
  return text;
}

std::vector<Line> split(const QByteArray& text) {
  std::vector<Line> lines;
  qsizetype pos = 0;
  const qsizetype size = text.size();
  while (pos < size) {
    Line line;
    line.begin = pos;
    qsizetype nl = text.indexOf('\n', pos);
    line.end = nl < 0 ? size : nl + 1;
    line.contentEnd = nl < 0 ? size : nl;
    if (line.contentEnd > line.begin && text[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos = line.end;

    QByteArray content = trimmed(text.mid(line.begin, line.contentEnd - line.begin));
    if (content.startsWith('[')) {
      qsizetype close = content.lastIndexOf(']');
      QByteArray name = close < 0 ? content.mid(1) : content.mid(1, close - 1);
      line.kind = Line::Section;
      line.name = decode(trimmed(name));
    } else if (!content.isEmpty() && !content.startsWith(';')) {
      qsizetype eq = content.indexOf('=');
      QByteArray name = trimmed(eq < 0 ? content : content.left(eq));
      if (!name.isEmpty()) {
        line.kind = Line::Key;
        line.name = decode(name);
        if (eq >= 0) line.rawValue = content.mid(eq + 1);
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString valueOf(const Line& line) {
  QByteArray value = trimmed(line.rawValue);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.mid(1, value.size() - 2);
  return decode(value);
}

// Where a key lives: the index of its line, or of the line after which a new key belongs.
struct Place {
  std::optional<size_t> keyLine;
  std::optional<size_t> sectionLine; // first occurrence of the section
  std::optional<size_t> insertAfter; // last non-blank line of that first occurrence
};

Place locate(const std::vector<Line>& lines, const QString& section, const QString& key) {
  Place place;
  bool inSection = false;
  bool inFirstOccurrence = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    if (line.kind == Line::Section) {
      inSection = sameName(line.name, section);
      inFirstOccurrence = inSection && !place.sectionLine;
      if (inFirstOccurrence) {
        place.sectionLine = i;
        place.insertAfter = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (inFirstOccurrence && line.contentEnd > line.begin) place.insertAfter = i;
    if (line.kind == Line::Key && !place.keyLine && sameName(line.name, key)) place.keyLine = i;
  }
  // Comments and blank lines that trail a section usually introduce the next one; a new key goes
  // right after the section's last key, or after its header when it has none.
  if (place.sectionLine && place.insertAfter) {
    size_t last = *place.sectionLine;
    for (size_t i = *place.sectionLine + 1; i < lines.size() && lines[i].kind != Line::Section; ++i)
      if (lines[i].kind == Line::Key) last = i;
    place.insertAfter = last;
  }
  return place;
}

bool safeText(const QString& text) {
  return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) && !text.contains(QChar(0));
}

// A value that would not read back as written (blanks at either end, or enclosing quotes of its own)
// is written inside double quotes, which reading removes again.
QByteArray encodeValue(const QString& value) {
  QByteArray bytes = value.toUtf8();
  bool needsQuotes = false;
  if (!bytes.isEmpty()) {
    needsQuotes = isBlank(bytes.front()) || isBlank(bytes.back());
    if (bytes.size() >= 2 && (bytes.front() == '"' || bytes.front() == '\'') && bytes.back() == bytes.front())
      needsQuotes = true;
  }
  return needsQuotes ? '"' + bytes + '"' : bytes;
}

QByteArray lineBreakOf(const QByteArray& text) {
  qsizetype nl = text.indexOf('\n');
  return (nl > 0 && text[nl - 1] == '\r') ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
}

enum class Load { Ok, Missing, Unreadable };

Load loadFile(const QString& path, QByteArray* data) {
  QFileInfo info(path);
  if (!info.exists()) return Load::Missing;
  if (!info.isFile()) return Load::Unreadable;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return Load::Unreadable;
  *data = file.readAll();
  if (file.error() != QFileDevice::NoError) return Load::Unreadable;
  return Load::Ok;
}

bool change(const QString& path, const QString& section, const QString& key, const std::optional<QString>& value) {
  QByteArray data;
  Load state = loadFile(path, &data);
  if (state == Load::Unreadable) return false;
  if (state == Load::Missing && !value) return false;
  std::optional<QByteArray> updated = withValue(data, section, key, value);
  if (!updated) return false;
  if (state == Load::Ok && *updated == data) return true;
  return writeFileAtomically(path, *updated);
}

} // namespace

std::optional<QString> find(const QByteArray& text, const QString& section, const QString& key) {
  const QString wantSection = section.trimmed();
  const QString wantKey = key.trimmed();
  std::vector<Line> lines = split(text);
  Place place = locate(lines, wantSection, wantKey);
  if (!place.keyLine) return std::nullopt;
  return valueOf(lines[*place.keyLine]);
}

QStringList keys(const QByteArray& text, const QString& section) {
  QStringList names;
  bool inSection = false;
  for (const Line& line : split(text)) {
    if (line.kind == Line::Section) inSection = sameName(line.name, section.trimmed());
    else if (inSection && line.kind == Line::Key && !names.contains(line.name, Qt::CaseInsensitive))
      names.append(line.name);
  }
  return names;
}

std::optional<QByteArray> withValue(const QByteArray& text, const QString& section, const QString& key,
                                    const std::optional<QString>& value) {
  const QString wantSection = section.trimmed();
  const QString wantKey = key.trimmed();
  if (wantSection.isEmpty() || wantKey.isEmpty() || wantKey.contains(QLatin1Char('=')) ||
      wantSection.contains(QLatin1Char(']')) || !safeText(wantSection) || !safeText(wantKey) ||
      (value && !safeText(*value)))
    return std::nullopt;

  std::vector<Line> lines = split(text);
  Place place = locate(lines, wantSection, wantKey);
  const QByteArray br = lineBreakOf(text);

  if (place.keyLine) {
    const Line& line = lines[*place.keyLine];
    QByteArray out = text.left(line.begin);
    if (value) {
      // Keep the key as it was spelled and the line's own line break.
      QByteArray original = text.mid(line.begin, line.contentEnd - line.begin);
      qsizetype eq = original.indexOf('=');
      QByteArray keyPart = eq < 0 ? trimmed(original) : original.left(eq);
      out += keyPart + '=' + encodeValue(*value) + text.mid(line.contentEnd, line.end - line.contentEnd);
    }
    out += text.mid(line.end);
    return out;
  }
  if (!value) return text; // nothing to remove

  const QByteArray newLine = wantKey.toUtf8() + '=' + encodeValue(*value);
  if (place.sectionLine) {
    const Line& after = lines[*place.insertAfter];
    QByteArray out = text.left(after.end);
    if (after.end == after.contentEnd) out += br; // the file ended without a line break
    out += newLine + br;
    out += text.mid(after.end);
    return out;
  }
  QByteArray out = text;
  if (!out.isEmpty() && !out.endsWith('\n')) out += br;
  out += '[' + wantSection.toUtf8() + ']' + br + newLine + br;
  return out;
}

std::optional<QString> read(const QString& path, const QString& section, const QString& key) {
  QByteArray data;
  if (loadFile(path, &data) != Load::Ok) return std::nullopt;
  return find(data, section, key);
}

bool write(const QString& path, const QString& section, const QString& key, const QString& value) {
  return change(path, section, key, value);
}

bool remove(const QString& path, const QString& section, const QString& key) {
  return change(path, section, key, std::nullopt);
}

bool writeFileAtomically(const QString& path, const QByteArray& data) {
  QSaveFile file(path);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  if (file.write(data) != data.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

} // namespace tidewick::ini
