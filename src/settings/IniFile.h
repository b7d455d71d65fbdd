#pragma once
// Private-profile (INI) files: a file is read once into a Document, queried and changed in memory,
// and written back whole.
//
// Our site profiles, queue files, tips file and settings file all follow these rules:
//   - section and key names compare without regard to case, and are trimmed of blanks;
//   - a value is the text after the first "=", trimmed of blanks, with one pair of enclosing quotes
//     removed; it is returned whole, however long;
//   - lines starting with ";" are comments; lines before the first section belong to none;
//   - the first occurrence of a key wins, and a section written twice is searched in file order;
//   - changing a value changes only that key's line (or adds one at the end of the section's first
//     occurrence) and keeps every other byte of the file, comments, order and line endings included.
// LF, CR LF and a lone CR all end a line. A leading UTF-8 byte-order mark is skipped when reading
// and kept when the file is written again.
//
// Files are replaced atomically (temporary file, fsync, rename) and are readable by their owner
// only. Nothing is cached between documents: a document loaded now sees the file as it is now.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tidewick::settings::ini {

// The largest settings, profile or queue file that is read. A larger one is refused whole, so a
// stray or hostile file cannot take the memory of the machine.
inline constexpr qint64 DefaultSizeLimit = qint64(64) * 1024 * 1024;

enum class LoadStatus {
  Read,       // the file was read (or the document was made from text)
  Missing,    // no such file: the document is empty
  Unreadable, // the file exists but could not be read: the document is empty and cannot be saved
  TooLarge,   // the file is larger than the limit: the same
};

class Document {
public:
  Document();
  explicit Document(QByteArray text);

  // Reads `path` whole. Reading holds the file's bytes and about 8 bytes per key line.
  static Document load(const QString& path, qint64 limit = DefaultSizeLimit);

  LoadStatus status() const { return m_status; }
  // Why the file could not be read, naming it: the system's reason or the size limit. Empty
  // when it was read.
  const QString& problem() const { return m_problem; }

  // The value of `key` in `section`, or nothing when the section or key is absent.
  std::optional<QString> value(const QString& section, const QString& key) const;
  // The names of the keys of `section`, in file order, each once.
  QStringList keys(const QString& section) const;
  // Every key line of `section` as name and value, in file order, in one pass over the text: for
  // readers of a whole section, where a lookup per key would cost a search each. A name may come
  // more than once; its first entry is the one value() gives.
  std::vector<std::pair<QString, QString>> entries(const QString& section) const;

  // Sets `key` in `section`. False, changing nothing, when the change cannot be expressed safely
  // (a name or value holding a line break or NUL, an empty key, a key holding "=").
  bool setValue(const QString& section, const QString& key, const QString& value);
  // Sets many keys of `section`, as setValue() would one after the other; the names must differ from
  // one another. False, changing nothing, when one of them could not be set. A section that neither
  // the file nor an earlier change holds gets its keys in one block, without a lookup per key.
  bool setValues(const QString& section, const std::vector<std::pair<QString, QString>>& values);
  // Removes the first occurrence of `key` in `section`; false when there was none.
  bool remove(const QString& section, const QString& key);

  bool isChanged() const { return !m_lineEdits.isEmpty() || !m_pending.empty(); }
  // The whole text with every change applied.
  QByteArray text() const;
  // Replaces `path` with text(). Refused for a document whose file could not be read, so such a
  // file is never replaced by one holding a few keys.
  bool save(const QString& path, QString* error = nullptr) const;

private:
  struct KeyRef {
    quint32 hash; // of the section and key names, case-folded
    quint32 line; // where the key's line begins in m_text
  };
  struct NewKey {
    QByteArray line; // "key=value", without the line break
    bool removed = false;
  };
  // Keys added to one section, written where the section's first occurrence ends, or in a new
  // section at the end of the file.
  struct Pending {
    QString section;
    std::optional<qsizetype> insertAt;
    std::vector<NewKey> keys;
    // Case-folded key name -> position in keys; made when first needed after setValues().
    mutable QHash<QString, size_t> index;
    mutable bool indexed = true;
    const QHash<QString, size_t>& keyIndex() const;
  };

  void index();
  std::vector<KeyRef>::const_iterator firstWithHash(quint32 hash) const;
  std::optional<quint32> findLine(const QString& section, const QString& key) const;
  NewKey* findNew(const QString& section, const QString& key);
  const NewKey* findNew(const QString& section, const QString& key) const;
  std::optional<qsizetype> sectionEnd(const QString& section) const;
  QByteArray lineBreak() const;

  QByteArray m_text;
  qsizetype m_start = 0;                                 // after the byte-order mark, if any
  std::vector<quint32> m_sections;                       // where each section header begins, in file order
  std::vector<KeyRef> m_keys;                            // sorted by hash, then by position
  QHash<quint32, std::optional<QByteArray>> m_lineEdits; // changed line -> new content, or removed
  std::vector<Pending> m_pending;
  QHash<QString, size_t> m_pendingIndex; // case-folded section name -> position in m_pending
  LoadStatus m_status = LoadStatus::Read;
  QString m_problem;
};

// One-value helpers over text in memory, for callers that hold one.
std::optional<QString> find(const QByteArray& text, const QString& section, const QString& key);
// The text with `key` set to `value`, or removed when `value` is nothing; nothing when the change
// cannot be expressed safely.
std::optional<QByteArray> withValue(const QByteArray& text, const QString& section, const QString& key,
                                    const std::optional<QString>& value);
QStringList keys(const QByteArray& text, const QString& section);

// File-level helpers: each reads the file once and writes it at most once. A missing or unreadable
// file reads as empty. Writing refuses (returns false) when the file exists but cannot be read.
std::optional<QString> read(const QString& path, const QString& section, const QString& key);
bool write(const QString& path, const QString& section, const QString& key, const QString& value);
bool remove(const QString& path, const QString& section, const QString& key);

// Replaces `path` with `data`: a temporary file beside it, flushed to disk, renamed over it, owner
// read/write only. A symlink at `path` is followed, so the file it names is the one replaced. Used
// by every file of ours that holds settings, profiles or queues.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// "64 MiB" for the default limit.
QString sizeText(qint64 bytes);

} // namespace tidewick::settings::ini
