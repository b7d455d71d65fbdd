#pragma once
// The settings store. Values are named texts in sections; nothing is kept in memory, so a value that
// another process changed is seen by the next read.
//
// Two roots exist. The machine root holds the program's settings section, kept in an INI file
// ($TIDEWICK_HOME/config/tidewick.conf, or $XDG_CONFIG_HOME/Tidewick/tidewick.conf). The user root
// holds the start-up entry, which the desktop's autostart folder realises as a .desktop file whose
// command line is the stored value.

#include <QString>

enum class RegRoot { LocalMachine, CurrentUser };

class CRegister {
public:
  // The stored text, or `sDefault` when the key or value is absent or holds the empty text.
  QString REGGetSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey, const QString& sDefault) const;
  // Stores the text, creating what is missing; true when the store accepted it.
  bool REGSaveSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey, const QString& sValue) const;
  // Deletes the value; true exactly when it existed and was deleted.
  bool REGDeleteSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey) const;

  // The section path of the program's settings and of the start-up entries.
  static QString SettingsSection(); // "\Software\Tidewick\Settings"
  static QString StartupSection();  // "\Software\Microsoft\Windows\CurrentVersion\Run"

  static QString SettingsFilePath();
  static QString AutostartFolder();
};

// Shorthand for the settings section of the machine root, which is all most callers need.
QString GetSetting(const QString& key, const QString& missing);
bool SaveSetting(const QString& key, const QString& value);
bool DeleteSetting(const QString& key);
