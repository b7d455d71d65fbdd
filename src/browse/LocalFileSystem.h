#pragma once
// Local file access for the local pane: lists a folder entry by entry, reports the roots (the
// file-system root, the home folder and mounted volumes), and makes single file-system changes,
// each reporting its own failure in a message box.

#include <QDateTime>
#include <QObject>
#include <QString>

class QWidget;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::browse {

// Attribute bits of a listed entry; -1 means they could not be read.
enum LocalAttribute : int {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrFolder = 16,
  kAttrArchive = 32,
};

class LocalFileSystem : public QObject {
  Q_OBJECT

public:
  LocalFileSystem(ui::UserPrompts& prompts, QWidget* dialogParent, QObject* parent = nullptr);

  // Lists the entries of `folder` (ending in "/") whose names match `pattern` ("*.gif"; empty, "*"
  // and "*.*" match all), compared without regard to case; folders are filtered too. Raises
  // entryListed per entry, then folderListed. False when the folder could not be read; the entries
  // reported so far stay reported and folderListed is not raised.
  bool list(const QString& folder, const QString& pattern = QString());
  // Raises rootFound for "/", the home folder, then every mounted volume, each once and ending in "/".
  void listRoots();

  bool deleteFile(const QString& path);
  // Never replaces an existing `to`.
  bool rename(const QString& from, const QString& to);
  bool removeFolder(const QString& path);
  bool createFolder(const QString& path);

signals:
  // `attributes` holds LocalAttribute bits, or -1 when they could not be read.
  void entryListed(const QString& name, const QDateTime& date, qint64 size, int attributes);
  void folderListed(const QString& folder);
  void rootFound(const QString& root);

private:
  void fail(const QString& text);

  ui::UserPrompts& m_prompts;
  QWidget* m_dialogParent;
};

} // namespace tidewick::browse
