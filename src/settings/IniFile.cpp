#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewick::settings::ini {
namespace {

// A document keeps its text and, per key line, a hash of the names and the line's position. Names,
// values and the section a key belongs to are read from the text again when a lookup needs them,
// which keeps the index at 8 bytes a key however long the names are.

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isBreak(char c) { return c == '\n' || c == '\r'; }

struct Span {
  const char* begin = nullptr;
  const char* end = nullptr;
  qsizetype size() const { return end - begin; }
  bool empty() const { return begin == end; }
};

Span trimmed(Span s) {
  while (s.begin < s.end && isBlank(*s.begin)) ++s.begin;
  while (s.end > s.begin && isBlank(s.end[-1])) --s.end;
  return s;
}

struct Line {
  qsizetype begin = 0;
  qsizetype contentEnd = 0; // where the line break begins
  qsizetype end = 0;        // after the line break
};

// A line ends at LF, at CR LF, or at a CR that no LF follows.
Line lineAt(const QByteArray& text, qsizetype pos) {
  const char* data = text.constData();
  const qsizetype size = text.size();
  qsizetype e = pos;
  while (e < size && !isBreak(data[e])) ++e;
  Line line{pos, e, e};
  if (e < size) line.end = (data[e] == '\r' && e + 1 < size && data[e + 1] == '\n') ? e + 2 : e + 1;
  return line;
}

enum class Kind { Other, Section, Key };

struct Parsed {
  Kind kind = Kind::Other;
  Span name;
  Span value; // keys only: after the first "=", trimmed; empty when there is no "="
};

Parsed parse(Span line) {
  const Span content = trimmed(line);
  Parsed p;
  if (content.empty() || *content.begin == ';') return p;
  if (*content.begin == '[') {
    // An unclosed header still names its section.
    const char* close = content.end;
    for (const char* c = content.end - 1; c > content.begin; --c)
      if (*c == ']') {
        close = c;
        break;
      }
    p.kind = Kind::Section;
    p.name = trimmed({content.begin + 1, close});
    return p;
  }
  const char* eq = std::find(content.begin, content.end, '=');
  p.name = trimmed({content.begin, eq});
  if (p.name.empty()) return p;
  p.kind = Kind::Key;
  if (eq != content.end) p.value = trimmed({eq + 1, content.end});
  return p;
}

Parsed parseLine(const QByteArray& text, const Line& line) {
  return parse({text.constData() + line.begin, text.constData() + line.contentEnd});
}

Parsed parseBytes(const QByteArray& content) {
  return parse({content.constData(), content.constData() + content.size()});
}

// Calls f(line, parsed) for every line of text[from, to).
template <typename F>
void walk(const QByteArray& text, qsizetype from, qsizetype to, F&& f) {
  for (qsizetype pos = from; pos < to;) {
    const Line line = lineAt(text, pos);
    f(line, parseLine(text, line));
    pos = line.end;
  }
}

bool isAscii(Span s) {
  return std::all_of(s.begin, s.end, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Text from a file of ours is UTF-8. Older files may hold single-byte text; a value that is not valid
// UTF-8 is taken byte for byte (Latin-1) rather than mangled, so nothing read is lost.
QString decode(Span s) {
  const QByteArrayView bytes(s.begin, s.size());
  if (isAscii(s)) return QString::fromLatin1(bytes);
  auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (decoder.hasError()) return QString::fromLatin1(bytes);
  return text;
}

bool isAscii(const QString& s) {
  return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

// FNV-1a over the case-folded UTF-16 units of a name, so names that compare equal without regard to
// case hash alike whether they come from the file or from a caller.
constexpr quint32 HashSeed = 2166136261u;

quint32 mix(quint32 h, char16_t unit) {
  h = (h ^ (unit & 0xffu)) * 16777619u;
  return (h ^ (unit >> 8)) * 16777619u;
}

quint32 foldedHash(quint32 h, const QString& name) {
  if (isAscii(name)) {
    for (QChar c : name) h = mix(h, char16_t(asciiLower(char(c.unicode()))));
    return h;
  }
  for (QChar c : name.toCaseFolded()) h = mix(h, c.unicode());
  return h;
}

quint32 foldedHash(quint32 h, Span name) {
  if (!isAscii(name)) return foldedHash(h, decode(name));
  for (const char* c = name.begin; c < name.end; ++c) h = mix(h, char16_t(asciiLower(*c)));
  return h;
}

// The hash of a key within its section.
quint32 keyHash(quint32 sectionHash, quint32 keyOfSection) { return (sectionHash * 0x9E3779B1u) ^ keyOfSection; }

bool sameName(Span stored, const QString& wanted) {
  if (isAscii(stored) && isAscii(wanted)) {
    if (stored.size() != wanted.size()) return false;
    for (qsizetype i = 0; i < wanted.size(); ++i)
      if (asciiLower(stored.begin[i]) != asciiLower(char(wanted[i].unicode()))) return false;
    return true;
  }
  return decode(stored).compare(wanted, Qt::CaseInsensitive) == 0;
}

QString valueOf(const Parsed& p) {
  Span v = p.value;
  if (v.size() >= 2 && (*v.begin == '"' || *v.begin == '\'') && v.end[-1] == *v.begin) v = {v.begin + 1, v.end - 1};
  return decode(v);
}

bool safeText(const QString& text) {
  return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) && !text.contains(QChar(0));
}

bool validNames(const QString& section, const QString& key) {
  return !section.isEmpty() && !key.isEmpty() && !key.contains(QLatin1Char('=')) &&
         !section.contains(QLatin1Char(']')) && safeText(section) && safeText(key);
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

QString cannotRead(const QString& path, int error) {
  return QStringLiteral("Cannot read \"%1\": %2").arg(QDir::toNativeSeparators(path), qt_error_string(error));
}

QString cannotWrite(const QString& path, int error) {
  return QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), qt_error_string(error));
}

QString tooLarge(const QString& path, qint64 limit) {
  return QStringLiteral(
             "\"%1\" is larger than %2, the most a settings, profile or queue file may hold; it was not read")
      .arg(QDir::toNativeSeparators(path), sizeText(limit));
}

class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, -1); }

private:
  int m_fd;
};

} // namespace

Document::Document() = default;

Document::Document(QByteArray text) : m_text(std::move(text)) { index(); }

void Document::index() {
  m_sections.clear();
  m_keys.clear();
  // Positions are kept in 32 bits; the size limit keeps files far below that.
  if (m_text.size() >= qsizetype(std::numeric_limits<quint32>::max())) {
    m_text.clear();
    m_status = LoadStatus::TooLarge;
    m_problem = tooLarge(QStringLiteral("(text)"), std::numeric_limits<quint32>::max());
    return;
  }
  m_start = m_text.startsWith("\xEF\xBB\xBF") ? 3 : 0;

  // Counted first, so the index is allocated once at its final size.
  size_t keyLines = 0, sectionLines = 0;
  bool inSection = false;
  walk(m_text, m_start, m_text.size(), [&](const Line&, const Parsed& p) {
    if (p.kind == Kind::Section) {
      ++sectionLines;
      inSection = true;
    } else if (p.kind == Kind::Key && inSection) {
      ++keyLines;
    }
  });
  m_sections.reserve(sectionLines);
  m_keys.reserve(keyLines);

  quint32 sectionHash = 0;
  walk(m_text, m_start, m_text.size(), [&](const Line& line, const Parsed& p) {
    if (p.kind == Kind::Section) {
      m_sections.push_back(quint32(line.begin));
      sectionHash = foldedHash(HashSeed, p.name);
    } else if (p.kind == Kind::Key && !m_sections.empty()) {
      m_keys.push_back({keyHash(sectionHash, foldedHash(HashSeed, p.name)), quint32(line.begin)});
    }
  });
  std::sort(m_keys.begin(), m_keys.end(),
            [](const KeyRef& a, const KeyRef& b) { return a.hash != b.hash ? a.hash < b.hash : a.line < b.line; });
}

Document Document::load(const QString& path, qint64 limit) {
  Document doc;
  auto fail = [&doc](LoadStatus status, const QString& problem) {
    doc.m_status = status;
    doc.m_problem = problem;
    return std::move(doc);
  };
  const QByteArray native = QFile::encodeName(path);
  if (native.isEmpty()) return fail(LoadStatus::Missing, cannotRead(path, ENOENT));
  // Non-blocking, so a FIFO at the name cannot stall the open; it is refused below.
  FileDescriptor fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    const int error = errno;
    return fail(error == ENOENT ? LoadStatus::Missing : LoadStatus::Unreadable, cannotRead(path, error));
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return fail(LoadStatus::Unreadable, cannotRead(path, errno));
  if (S_ISDIR(info.st_mode)) return fail(LoadStatus::Unreadable, cannotRead(path, EISDIR));
  if (!S_ISREG(info.st_mode))
    return fail(LoadStatus::Unreadable,
                QStringLiteral("Cannot read \"%1\": it is not a regular file").arg(QDir::toNativeSeparators(path)));
  if (info.st_size > limit) return fail(LoadStatus::TooLarge, tooLarge(path, limit));

  QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
  qsizetype got = 0;
  for (;;) {
    ssize_t n;
    if (got < data.size()) {
      n = ::read(fd.get(), data.data() + got, size_t(data.size() - got));
      if (n > 0) got += n;
    } else {
      // The file grew after fstat: take the rest, still within the limit.
      char more[65536];
      n = ::read(fd.get(), more, sizeof more);
      if (n > 0) {
        if (got + n > limit) return fail(LoadStatus::TooLarge, tooLarge(path, limit));
        data.append(more, n);
        got += n;
      }
    }
    if (n == 0) break;
    if (n < 0 && errno != EINTR) return fail(LoadStatus::Unreadable, cannotRead(path, errno));
  }
  data.truncate(got);
  doc.m_text = std::move(data);
  doc.index();
  return doc;
}

// Hashes spread evenly, so a key's place in the sorted index is close to hash / 2^32 of the way
// through it. Galloping out from there touches a few neighbouring cache lines, where a plain binary
// search over a large index misses the cache at nearly every step.
std::vector<Document::KeyRef>::const_iterator Document::firstWithHash(quint32 hash) const {
  const size_t n = m_keys.size();
  auto below = [&](size_t i) { return m_keys[i].hash < hash; };
  size_t lo = 0, hi = n; // the first entry not below `hash` is in [lo, hi]
  if (n > 64) {
    const size_t guess = size_t((quint64(hash) * n) >> 32);
    size_t step = 1;
    if (below(guess)) {
      lo = guess + 1;
      for (; lo + step - 1 < n && below(lo + step - 1); step *= 2) lo += step;
      hi = std::min(n, lo + step - 1);
    } else {
      hi = guess;
      for (; step <= hi && !below(hi - step); step *= 2) hi -= step;
      lo = step > hi ? 0 : hi - step + 1;
    }
  }
  return std::lower_bound(m_keys.begin() + qsizetype(lo), m_keys.begin() + qsizetype(hi), hash,
                          [](const KeyRef& ref, quint32 h) { return ref.hash < h; });
}

std::optional<quint32> Document::findLine(const QString& section, const QString& key) const {
  const quint32 hash = keyHash(foldedHash(HashSeed, section), foldedHash(HashSeed, key));
  auto it = firstWithHash(hash);
  for (; it != m_keys.end() && it->hash == hash; ++it) {
    const auto edit = m_lineEdits.constFind(it->line);
    if (edit != m_lineEdits.cend() && !edit.value()) continue; // removed
    if (!sameName(parseLine(m_text, lineAt(m_text, it->line)).name, key)) continue;
    // The section is the nearest header before the line; every indexed key has one.
    const quint32 header = *(std::upper_bound(m_sections.begin(), m_sections.end(), it->line) - 1);
    if (!sameName(parseLine(m_text, lineAt(m_text, header)).name, section)) continue;
    return it->line;
  }
  return std::nullopt;
}

const Document::NewKey* Document::findNew(const QString& section, const QString& key) const {
  const auto p = m_pendingIndex.constFind(section.toCaseFolded());
  if (p == m_pendingIndex.cend()) return nullptr;
  const Pending& pending = m_pending[p.value()];
  const QHash<QString, size_t>& index = pending.keyIndex();
  const auto k = index.constFind(key.toCaseFolded());
  if (k == index.cend() || pending.keys[k.value()].removed) return nullptr;
  return &pending.keys[k.value()];
}

Document::NewKey* Document::findNew(const QString& section, const QString& key) {
  return const_cast<NewKey*>(std::as_const(*this).findNew(section, key));
}

std::optional<QString> Document::value(const QString& section, const QString& key) const {
  const QString wantSection = section.trimmed();
  const QString wantKey = key.trimmed();
  if (const auto line = findLine(wantSection, wantKey)) {
    const auto edit = m_lineEdits.constFind(*line);
    if (edit != m_lineEdits.cend()) return valueOf(parseBytes(*edit.value()));
    return valueOf(parseLine(m_text, lineAt(m_text, *line)));
  }
  if (const NewKey* added = findNew(wantSection, wantKey)) return valueOf(parseBytes(added->line));
  return std::nullopt;
}

QStringList Document::keys(const QString& section) const {
  const QString wanted = section.trimmed();
  const QByteArray current = text();
  QStringList names;
  QSet<QString> seen;
  bool inSection = false;
  walk(current, m_start, current.size(), [&](const Line&, const Parsed& p) {
    if (p.kind == Kind::Section) {
      inSection = sameName(p.name, wanted);
    } else if (inSection && p.kind == Kind::Key) {
      const QString name = decode(p.name);
      if (!seen.contains(name.toCaseFolded())) {
        seen.insert(name.toCaseFolded());
        names.append(name);
      }
    }
  });
  return names;
}

// Where new keys of `section` go: after the last key of its first occurrence, or after its header
// when it has none. Comments and blank lines that trail a section usually introduce the next one.
std::optional<qsizetype> Document::sectionEnd(const QString& section) const {
  for (size_t i = 0; i < m_sections.size(); ++i) {
    const Line header = lineAt(m_text, m_sections[i]);
    if (!sameName(parseLine(m_text, header).name, section)) continue;
    const qsizetype next = i + 1 < m_sections.size() ? qsizetype(m_sections[i + 1]) : m_text.size();
    qsizetype insertAt = header.end;
    walk(m_text, header.end, next, [&](const Line& line, const Parsed& p) {
      if (p.kind == Kind::Key) insertAt = line.end;
    });
    return insertAt;
  }
  return std::nullopt;
}

bool Document::setValue(const QString& section, const QString& key, const QString& value) {
  const QString wantSection = section.trimmed();
  const QString wantKey = key.trimmed();
  if (!validNames(wantSection, wantKey) || !safeText(value)) return false;

  if (const auto line = findLine(wantSection, wantKey)) {
    const auto edit = m_lineEdits.constFind(*line);
    const Line raw = lineAt(m_text, *line);
    const QByteArray current =
        edit != m_lineEdits.cend() ? *edit.value() : m_text.mid(raw.begin, raw.contentEnd - raw.begin);
    // Keep the key as it was spelled.
    const qsizetype eq = current.indexOf('=');
    const QByteArray keyPart = eq < 0 ? current.trimmed() : current.left(eq);
    const QByteArray changed = keyPart + '=' + encodeValue(value);
    if (edit == m_lineEdits.cend() && changed == current) return true;
    m_lineEdits.insert(*line, changed);
    return true;
  }

  const QString sectionId = wantSection.toCaseFolded();
  auto p = m_pendingIndex.constFind(sectionId);
  if (p == m_pendingIndex.cend()) {
    p = m_pendingIndex.insert(sectionId, m_pending.size());
    m_pending.push_back({wantSection, sectionEnd(wantSection), {}, {}});
  }
  Pending& pending = m_pending[p.value()];
  const QString keyId = wantKey.toCaseFolded();
  const auto k = pending.keyIndex().constFind(keyId);
  if (k != pending.index.cend()) {
    // Set again: the key keeps the spelling it was first written with.
    NewKey& added = pending.keys[k.value()];
    added.line = added.line.left(added.line.indexOf('=') + 1) + encodeValue(value);
    added.removed = false;
  } else {
    pending.index.insert(keyId, pending.keys.size());
    pending.keys.push_back({wantKey.toUtf8() + '=' + encodeValue(value), false});
  }
  return true;
}

bool Document::setValues(const QString& section, const std::vector<std::pair<QString, QString>>& values) {
  const QString wantSection = section.trimmed();
  for (const auto& [key, value] : values)
    if (!validNames(wantSection, key.trimmed()) || !safeText(value)) return false;
  const QString sectionId = wantSection.toCaseFolded();
  if (sectionEnd(wantSection) || m_pendingIndex.contains(sectionId)) {
    for (const auto& [key, value] : values) setValue(wantSection, key, value);
    return true;
  }
  m_pendingIndex.insert(sectionId, m_pending.size());
  Pending pending{wantSection, std::nullopt, {}, {}};
  pending.keys.reserve(values.size());
  for (const auto& [key, value] : values)
    pending.keys.push_back({key.trimmed().toUtf8() + '=' + encodeValue(value), false});
  pending.indexed = false;
  m_pending.push_back(std::move(pending));
  return true;
}

const QHash<QString, size_t>& Document::Pending::keyIndex() const {
  if (!indexed) {
    index.clear();
    index.reserve(qsizetype(keys.size()));
    for (size_t i = 0; i < keys.size(); ++i) {
      const QByteArray& line = keys[i].line;
      index.insert(QString::fromUtf8(line.left(line.indexOf('='))).toCaseFolded(), i);
    }
    indexed = true;
  }
  return index;
}

bool Document::remove(const QString& section, const QString& key) {
  const QString wantSection = section.trimmed();
  const QString wantKey = key.trimmed();
  if (!validNames(wantSection, wantKey)) return false;
  if (const auto line = findLine(wantSection, wantKey)) {
    m_lineEdits.insert(*line, std::nullopt);
    return true;
  }
  if (NewKey* added = findNew(wantSection, wantKey)) {
    added->removed = true;
    return true;
  }
  return false;
}

QByteArray Document::lineBreak() const {
  for (qsizetype i = m_start; i < m_text.size(); ++i) {
    if (m_text[i] == '\n') break;
    if (m_text[i] == '\r') return (i + 1 < m_text.size() && m_text[i + 1] == '\n') ? "\r\n" : "\n";
  }
  return "\n";
}

QByteArray Document::text() const {
  if (!isChanged()) return m_text;
  const QByteArray br = lineBreak();

  // New lines go after a complete line: one that ends without a break gets one first, and in a CR LF
  // file a line ended by a lone CR gets its LF, so no reader sees two lines glued into one.
  QByteArray out;
  auto endLine = [&] {
    if (out.size() <= m_start) return;
    if (!isBreak(out.back())) out += br;
    else if (out.back() == '\r' && br == "\r\n") out += '\n';
  };
  auto appendKeys = [&](const Pending& pending) {
    for (const NewKey& key : pending.keys)
      if (!key.removed) out += key.line + br;
  };
  auto hasKeys = [](const Pending& pending) {
    return std::any_of(pending.keys.begin(), pending.keys.end(), [](const NewKey& k) { return !k.removed; });
  };

  struct Edit {
    qsizetype pos;
    int order; // an insertion belongs to the line before pos, so it goes before a change at pos
    const Pending* pending;
  };
  std::vector<Edit> edits;
  edits.reserve(size_t(m_lineEdits.size()) + m_pending.size());
  qsizetype added = 0;
  for (auto it = m_lineEdits.cbegin(); it != m_lineEdits.cend(); ++it) {
    edits.push_back({qsizetype(it.key()), 1, nullptr});
    if (it.value()) added += it.value()->size();
  }
  for (const Pending& pending : m_pending) {
    for (const NewKey& key : pending.keys) added += key.line.size() + br.size();
    if (pending.insertAt && hasKeys(pending)) edits.push_back({*pending.insertAt, 0, &pending});
  }
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.pos != b.pos ? a.pos < b.pos : a.order < b.order; });

  out.reserve(m_text.size() + added + 64);
  qsizetype cursor = 0;
  for (const Edit& edit : edits) {
    out.append(m_text.constData() + cursor, edit.pos - cursor);
    cursor = edit.pos;
    if (edit.pending) {
      endLine();
      appendKeys(*edit.pending);
      continue;
    }
    const Line line = lineAt(m_text, edit.pos);
    const std::optional<QByteArray>& content = m_lineEdits.constFind(quint32(edit.pos)).value();
    if (content) {
      out += *content;
      cursor = line.contentEnd; // the line keeps its own break
    } else {
      cursor = line.end;
    }
  }
  out.append(m_text.constData() + cursor, m_text.size() - cursor);

  for (const Pending& pending : m_pending) {
    if (pending.insertAt || !hasKeys(pending)) continue;
    endLine();
    out += '[' + pending.section.toUtf8() + ']' + br;
    appendKeys(pending);
  }
  return out;
}

bool Document::save(const QString& path, QString* error) const {
  if (m_status == LoadStatus::Unreadable || m_status == LoadStatus::TooLarge) {
    if (error) *error = m_problem;
    return false;
  }
  return writeFileAtomically(path, text(), error);
}

std::vector<std::pair<QString, QString>> Document::entries(const QString& section) const {
  const QString wanted = section.trimmed();
  const QByteArray current = text();
  std::vector<std::pair<QString, QString>> out;
  bool inSection = false;
  walk(current, m_start, current.size(), [&](const Line&, const Parsed& p) {
    if (p.kind == Kind::Section) inSection = sameName(p.name, wanted);
    else if (inSection && p.kind == Kind::Key) out.emplace_back(decode(p.name), valueOf(p));
  });
  return out;
}

std::optional<QString> find(const QByteArray& text, const QString& section, const QString& key) {
  return Document(text).value(section, key);
}

QStringList keys(const QByteArray& text, const QString& section) { return Document(text).keys(section); }

std::optional<QByteArray> withValue(const QByteArray& text, const QString& section, const QString& key,
                                    const std::optional<QString>& value) {
  Document doc(text);
  if (value) {
    if (!doc.setValue(section, key, *value)) return std::nullopt;
  } else if (!validNames(section.trimmed(), key.trimmed())) {
    return std::nullopt;
  } else {
    doc.remove(section, key);
  }
  return doc.text();
}

std::optional<QString> read(const QString& path, const QString& section, const QString& key) {
  return Document::load(path).value(section, key);
}

bool write(const QString& path, const QString& section, const QString& key, const QString& value) {
  Document doc = Document::load(path);
  if (!doc.setValue(section, key, value)) return false;
  // Saving refuses a file that could not be read.
  return (doc.status() == LoadStatus::Read && !doc.isChanged()) || doc.save(path);
}

bool remove(const QString& path, const QString& section, const QString& key) {
  Document doc = Document::load(path);
  if (doc.status() != LoadStatus::Read || !doc.remove(section, key)) return false;
  return doc.save(path);
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
  auto fail = [&](int code) {
    if (error) *error = cannotWrite(path, code);
    return false;
  };
  // A symlink at the name is followed, so a settings file kept elsewhere and linked stays linked.
  QString target = path;
  for (int hops = 0; hops < 40 && QFileInfo(target).isSymLink(); ++hops) target = QFileInfo(target).symLinkTarget();
  if (QFileInfo(target).isSymLink()) return fail(ELOOP);
  const QByteArray native = QFile::encodeName(target);
  if (native.isEmpty()) return fail(ENOENT);

  struct stat info {};
  if (::stat(native.constData(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return fail(EISDIR);
    if (!S_ISREG(info.st_mode)) return fail(EINVAL);
    // A file its owner made read-only stays as it is.
    if (::access(native.constData(), W_OK) != 0) return fail(errno);
  }

  // A short name of our own: the target's name plus a suffix could pass the 255-byte limit.
  const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
  QByteArray temporary = folder + "/.tidewick-XXXXXX";
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0) return fail(errno);
  auto abandon = [&](int code) {
    ::close(fd.release());
    ::unlink(temporary.constData());
    return fail(code);
  };
  if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0) return abandon(errno);
  for (qsizetype done = 0; done < data.size();) {
    const ssize_t n = ::write(fd.get(), data.constData() + done, size_t(data.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return abandon(n < 0 ? errno : EIO);
    done += n;
  }
  if (::fsync(fd.get()) != 0) return abandon(errno);
  if (::close(fd.release()) != 0) {
    const int code = errno;
    ::unlink(temporary.constData());
    return fail(code);
  }
  if (::rename(temporary.constData(), native.constData()) != 0) {
    const int code = errno;
    ::unlink(temporary.constData());
    return fail(code);
  }
  // The rename reaches the disk with its folder.
  FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

QString sizeText(qint64 bytes) {
  constexpr qint64 KiB = 1024, MiB = 1024 * 1024;
  if (bytes >= MiB && bytes % MiB == 0) return QStringLiteral("%1 MiB").arg(bytes / MiB);
  if (bytes >= KiB && bytes % KiB == 0) return QStringLiteral("%1 KiB").arg(bytes / KiB);
  return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace tidewick::settings::ini
