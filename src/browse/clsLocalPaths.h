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

// Attribute bits of a listed entry; -1 means they could not be read.
enum LocalAttribute : int {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrFolder = 16,
  kAttrArchive = 32,
};

class clsLocalPaths : public QObject {
  Q_OBJECT

public:
  clsLocalPaths(tidewick::ui::UserPrompts& prompts, QWidget* dialogParent, QObject* parent = nullptr);

  // Lists every entry of `sPath` (a folder ending in "/"): UpdateLocalEntry per entry, then
  // AddToLocalPaths. False when the folder could not be read; the entries reported so far stay
  // reported and AddToLocalPaths is not raised.
  bool RetrieveLocalFolderContents(const QString& sPath);
  // The same for the entries whose names match `definedType` ("*.gif"; "*" and "*.*" match all),
  // compared without regard to case. Folders are filtered too.
  bool RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType);
  // "/", the home folder, then every mounted volume, each once and ending in "/".
  void RetreiveLogicalDrives();

  bool DeleteLocalFile(const QString& sFileToDelete);
  bool RenameLocalFile(const QString& sCurrentName, const QString& sNewName);
  bool RemoveLocalFolder(const QString& sFolderToDelete);
  bool CreateLocalFolder(const QString& sFolderToCreate);

signals:
  void UpdateLocalEntry(const QString& sname, const QDateTime& dtDate, qint64 lSize, int nAttrib);
  void AddToLocalPaths(const QString& sPathToAdd);
  void LogicalDriveFound(const QString& sDriveToAdd);

private:
  bool list(const QString& path, const QString& pattern);
  void fail(const QString& text);

  tidewick::ui::UserPrompts& m_prompts;
  QWidget* m_dialogParent;
};
