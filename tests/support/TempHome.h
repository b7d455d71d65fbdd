#pragma once
// A temporary Tidewick home for one test: TIDEWICK_HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point
// into a fresh folder, so no test reads or writes the real user's settings, profiles or autostart
// entry. The previous environment comes back when the object goes.

#include "support/QtPrint.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>
#include <map>
#include <optional>

class TempHome {
public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  QString root() const { return m_dir.path(); }
  QString home() const;          // the Tidewick home (AppFilePath's folder, with a trailing "/")
  QString settingsFile() const;  // the settings store's file
  QString autostartFile() const; // the start-up entry

  // Raw access to the settings section, bypassing the code under test.
  void setSetting(const QString& key, const QString& value) const;
  std::optional<QString> setting(const QString& key) const;
  void setSettings(std::initializer_list<std::pair<QString, QString>> values) const {
    for (const auto& [key, value] : values) setSetting(key, value);
  }

  // Writes bytes to a file below the root, creating folders; returns its path.
  QString writeFile(const QString& relative, const QByteArray& bytes) const;
  static QByteArray readFile(const QString& path);
  // Every file below `root` (hidden ones too), by its path relative to `root`, with its contents.
  static std::map<QString, QByteArray> filesBelow(const QString& root);

private:
  QTemporaryDir m_dir;
  std::map<QByteArray, std::optional<QByteArray>> m_saved;
};
