#pragma once
// Two small windows of the local pane: the properties of one item, and a search for files by
// name below a folder.

#include <QDialog>
#include <QElapsedTimer>

#include <memory>

class QDirIterator;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tidewick::browse {

class PropertiesDialog : public QDialog {
  Q_OBJECT
public:
  PropertiesDialog(const QString& path, QWidget* parent = nullptr);
  // The values shown, as label/value pairs in order (name, path, type, size, modified, permissions, owner).
  static QList<QPair<QString, QString>> Describe(const QString& path);
};

class FindFilesDialog : public QDialog {
  Q_OBJECT
public:
  FindFilesDialog(const QString& folder, QWidget* parent = nullptr);
  ~FindFilesDialog() override;

  void setPattern(const QString& pattern);
  void start();
  void stop();
  bool searching() const { return m_iterator != nullptr; }
  QStringList results() const;

signals:
  void finished();

private:
  void searchSome();
  void openSelected();
  void revealSelected();

  QString m_folder;
  QLineEdit* m_pattern;
  QLineEdit* m_where;
  QPushButton* m_find;
  QPushButton* m_open;
  QPushButton* m_reveal;
  QTreeWidget* m_results;
  QLabel* m_status;
  std::unique_ptr<QDirIterator> m_iterator;
  QStringList m_patterns;
  int m_scanned = 0;
};

} // namespace tidewick::browse
