#pragma once
// Private-profile (INI) files, read and changed one value at a time.
//
// The rules are those of the classic Windows profile API, which our site profiles, queue files, tips
// file and settings file all follow:
//   - section and key names compare without regard to case, and are trimmed of blanks;
//   - a value is the text after the first "=", trimmed of blanks, with one pair of enclosing quotes
//     removed; it is returned whole, however long;
//   - lines starting with ";" are comments; lines before the first section belong to none;
//   - the first occurrence of a key wins, and a section written twice is searched in file order;
//   - writing a value changes only that key's line (or adds one) and keeps every other byte of the
//     file, comments, order and line endings included.
// Files are replaced atomically (temporary file, then rename) and are readable by their owner only.
// Nothing is cached: every call reads the file as it is now.

#include <QByteArray>
#include <QString>
#include <optional>

namespace tidewick::ini {

// The value of `key` in `section` of the profile text, or nothing when the section or key is absent.
std::optional<QString> find(const QByteArray& text, const QString& section, const QString& key);

// The profile text with `key` in `section` set to `value`, or removed when `value` is nothing.
// Returns nothing when the change cannot be expressed safely (a name or value holding a line break
// or NUL, an empty key, a key holding "=").
std::optional<QByteArray> withValue(const QByteArray& text, const QString& section, const QString& key,
                                    const std::optional<QString>& value);

// The names of the keys of `section`, in file order, each once.
QStringList keys(const QByteArray& text, const QString& section);

// File-level wrappers. A missing or unreadable file reads as empty. Writing refuses (returns false)
// when the file exists but cannot be read, so a file we could not read is never replaced by one
// holding a single key.
std::optional<QString> read(const QString& path, const QString& section, const QString& key);
bool write(const QString& path, const QString& section, const QString& key, const QString& value);
bool remove(const QString& path, const QString& section, const QString& key);

// Replaces `path` atomically with `data`, owner read/write only. Used by every file of ours that
// holds settings, profiles, queues or logs.
bool writeFileAtomically(const QString& path, const QByteArray& data);

} // namespace tidewick::ini
