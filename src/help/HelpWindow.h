#pragma once
// The help window over Tidewick's bundled manual: its contents (the pages and their sections), a
// search box, and the page being read.
//
// The manual is a folder of HTML pages. index.html is the first page and lists the others in
// reading order (its links); each page has a <title> and is divided into sections by
// <h2 id="..."> headings, which the contents and the search results point at.

#include <QString>
#include <QWidget>

#include <vector>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

namespace tidewick::help {

// The manual that comes with the program: share/tidewick/help beside the program's bin folder, as
// installed and as the build tree lays it out.
QString BundledHelpFolder();
// Whether a folder holds a manual (its first page).
bool HelpAvailable(const QString& folder);

struct HelpSection {
  QString page;   // file name below the folder
  QString anchor; // the heading's id; empty for the part before the first heading
  QString title;  // the heading, or the page's title for the part before it
  QString text;   // plain text of the section, heading included
};

// The manual's sections in reading order.
class HelpIndex {
public:
  static HelpIndex Load(const QString& folder);

  const std::vector<HelpSection>& sections() const { return m_sections; }
  // The title of a page, by its file name.
  QString PageTitle(const QString& page) const;
  // The sections holding every word of `query`, in any case, in reading order.
  std::vector<HelpSection> Search(const QString& query) const;

private:
  std::vector<HelpSection> m_sections;
};

class HelpWindow : public QWidget {
  Q_OBJECT

public:
  HelpWindow(const QString& folder, QWidget* parent = nullptr);

  // The contents, at the first page.
  void ShowContents();
  // The search box, ready for typing.
  void ShowSearch();
  // Shows a page, at a section when `anchor` is not empty.
  void ShowTopic(const QString& page, const QString& anchor = QString());
  // Fills the results for the search box's text.
  void RunSearch();

  const HelpIndex& index() const { return m_index; }

  QTabWidget* tabNavigation = nullptr;
  QTreeWidget* tvwContents = nullptr;
  QLineEdit* txtSearch = nullptr;
  QListWidget* lstResults = nullptr;
  QTextBrowser* txtTopic = nullptr;

private:
  void FillContents();

  QString m_folder;
  HelpIndex m_index;
  QString m_lastQuery;
};

} // namespace tidewick::help
