#pragma once
// The settings store. Values are named texts in sections; nothing is kept in memory, so a value that
// another process changed is seen by the next read.
//
// Two roots exist. The machine root holds the program's settings section, kept in an INI file
// ($TIDEWICK_HOME/config/tidewick.conf, or $XDG_CONFIG_HOME/Tidewick/tidewick.conf). The user root
// holds the start-up entry, which the desktop's autostart folder realises as a .desktop file whose
// command line is the stored value.

#include <QString>

namespace tidewick::settings {

enum class Root { Machine, User };

class Registry {
public:
  explicit Registry(Root root = Root::Machine) : m_root(root) {}

  // A section is a key path such as "\Software\Tidewick\Settings"; one leading and one trailing
  // backslash are ignored.

  // The stored text, or `missing` when the key or value is absent or holds the empty text.
  QString value(const QString& section, const QString& key, const QString& missing = {}) const;
  // Stores the text, creating what is missing; true when the store accepted it.
  bool setValue(const QString& section, const QString& key, const QString& value) const;
  // Deletes the value; true exactly when it existed and was deleted.
  bool removeValue(const QString& section, const QString& key) const;

  // The section of the program's settings (machine root) and of the start-up entries (user root).
  static QString settingsSection();
  static QString startupSection();

  static QString settingsFilePath();
  static QString autostartFolder();

private:
  Root m_root;
};

// The program's settings section, which is all most callers need. Keys are the constants of
// SettingsKeys.h.
QString value(const QString& key, const QString& missing = {});
bool setValue(const QString& key, const QString& value);
bool removeValue(const QString& key);

} // namespace tidewick::settings
