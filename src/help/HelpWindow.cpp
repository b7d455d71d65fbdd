#include "help/HelpWindow.h"

#include "ui/Icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace tidewick::help {

namespace {

constexpr int kPageRole = Qt::UserRole;
constexpr int kAnchorRole = Qt::UserRole + 1;
const QString kFirstPage = QStringLiteral("index.html");

QString readPage(const QString& path) {
  QFile file(path);
  // A page of a manual is small; anything larger is not one of ours.
  if (!file.open(QIODevice::ReadOnly) || file.size() > 4 * 1024 * 1024) return {};
  return QString::fromUtf8(file.readAll());
}

QString plainText(const QString& html) { return QTextDocumentFragment::fromHtml(html).toPlainText().simplified(); }

} // namespace

QString BundledHelpFolder() {
  const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tidewick/help");
  return QDir::cleanPath(beside);
}

bool HelpAvailable(const QString& folder) {
  return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(kFirstPage)).isFile();
}

HelpIndex HelpIndex::Load(const QString& folder) {
  HelpIndex index;
  const QDir dir(folder);
  const QString first = readPage(dir.filePath(kFirstPage));
  QStringList pages{kFirstPage};
  static const QRegularExpression link(QStringLiteral("href=\"([A-Za-z0-9_-]+\\.html)[\"#]"));
  for (auto it = link.globalMatch(first); it.hasNext();) {
    const QString page = it.next().captured(1);
    if (!pages.contains(page)) pages << page;
  }

  static const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"),
                                        QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression heading(QStringLiteral("<h2 id=\"([^\"]+)\"[^>]*>(.*?)</h2>"),
                                          QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression body(QStringLiteral("<body[^>]*>(.*)</body>"),
                                       QRegularExpression::DotMatchesEverythingOption);
  for (const QString& page : pages) {
    const QString html = page == kFirstPage ? first : readPage(dir.filePath(page));
    if (html.isEmpty()) continue;
    const QString pageTitle = plainText(title.match(html).captured(1));
    const auto bodyMatch = body.match(html);
    const QString content = bodyMatch.hasMatch() ? bodyMatch.captured(1) : html;
    // The part before the first heading belongs to the page itself.
    QString anchor, sectionTitle = pageTitle;
    qsizetype start = 0;
    auto close = [&](qsizetype end) {
      index.m_sections.push_back({page, anchor, sectionTitle, plainText(content.mid(start, end - start))});
    };
    for (auto it = heading.globalMatch(content); it.hasNext();) {
      const auto match = it.next();
      close(match.capturedStart());
      anchor = match.captured(1);
      sectionTitle = plainText(match.captured(2));
      start = match.capturedStart();
    }
    close(content.size());
  }
  return index;
}

QString HelpIndex::PageTitle(const QString& page) const {
  for (const HelpSection& s : m_sections)
    if (s.page == page && s.anchor.isEmpty()) return s.title;
  return page;
}

std::vector<HelpSection> HelpIndex::Search(const QString& query) const {
  const QStringList words = query.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  std::vector<HelpSection> found;
  if (words.isEmpty()) return found;
  for (const HelpSection& s : m_sections) {
    const QString haystack = s.title + QLatin1Char(' ') + s.text;
    bool all = true;
    for (const QString& word : words) all = all && haystack.contains(word, Qt::CaseInsensitive);
    if (all) found.push_back(s);
  }
  return found;
}

HelpWindow::HelpWindow(const QString& folder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(folder), m_index(HelpIndex::Load(folder)) {
  setObjectName(QStringLiteral("frmHelp"));
  setWindowTitle(QStringLiteral("Tidewick Help"));
  setWindowIcon(ui::glyphIcon(ui::Glyph::App));

  tvwContents = new QTreeWidget(this);
  tvwContents->setObjectName(QStringLiteral("tvwContents"));
  tvwContents->setHeaderHidden(true);
  tvwContents->setAccessibleName(QStringLiteral("Contents"));

  auto* searchPage = new QWidget(this);
  txtSearch = new QLineEdit(searchPage);
  txtSearch->setObjectName(QStringLiteral("txtSearch"));
  txtSearch->setPlaceholderText(QStringLiteral("Words to look for"));
  txtSearch->setAccessibleName(QStringLiteral("Look for"));
  txtSearch->setClearButtonEnabled(true);
  auto* cmdSearch = new QPushButton(QStringLiteral("&List Topics"), searchPage);
  cmdSearch->setObjectName(QStringLiteral("cmdSearch"));
  cmdSearch->setAutoDefault(false);
  lstResults = new QListWidget(searchPage);
  lstResults->setObjectName(QStringLiteral("lstResults"));
  lstResults->setAccessibleName(QStringLiteral("Topics found"));
  auto* searchLayout = new QVBoxLayout(searchPage);
  searchLayout->setContentsMargins(4, 4, 4, 4);
  auto* prompt = new QLabel(QStringLiteral("&Type the words to look for:"), searchPage);
  prompt->setBuddy(txtSearch);
  searchLayout->addWidget(prompt);
  searchLayout->addWidget(txtSearch);
  searchLayout->addWidget(cmdSearch, 0, Qt::AlignRight);
  searchLayout->addWidget(lstResults, 1);

  tabNavigation = new QTabWidget(this);
  tabNavigation->setObjectName(QStringLiteral("tabNavigation"));
  tabNavigation->addTab(tvwContents, QStringLiteral("&Contents"));
  tabNavigation->addTab(searchPage, QStringLiteral("&Search"));

  txtTopic = new QTextBrowser(this);
  txtTopic->setObjectName(QStringLiteral("txtTopic"));
  txtTopic->setAccessibleName(QStringLiteral("Help topic"));
  txtTopic->setOpenExternalLinks(true);
  txtTopic->setSearchPaths({m_folder});

  auto* splitter = new QSplitter(this);
  splitter->addWidget(tabNavigation);
  splitter->addWidget(txtTopic);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({260, 640});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(splitter);
  resize(940, 640);

  FillContents();
  connect(tvwContents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    ShowTopic(item->data(0, kPageRole).toString(), item->data(0, kAnchorRole).toString());
  });
  connect(tvwContents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    ShowTopic(item->data(0, kPageRole).toString(), item->data(0, kAnchorRole).toString());
  });
  connect(txtSearch, &QLineEdit::returnPressed, this, &HelpWindow::RunSearch);
  connect(cmdSearch, &QPushButton::clicked, this, &HelpWindow::RunSearch);
  auto open = [this](QListWidgetItem* item) {
    ShowTopic(item->data(kPageRole).toString(), item->data(kAnchorRole).toString());
    // The first word found is marked on the page.
    const QString first = m_lastQuery.simplified().section(QLatin1Char(' '), 0, 0);
    if (!first.isEmpty()) txtTopic->find(first);
  };
  connect(lstResults, &QListWidget::itemActivated, this, open);
  connect(lstResults, &QListWidget::itemClicked, this, open);
}

void HelpWindow::FillContents() {
  tvwContents->clear();
  QTreeWidgetItem* pageItem = nullptr;
  for (const HelpSection& s : m_index.sections()) {
    if (s.anchor.isEmpty()) {
      pageItem = new QTreeWidgetItem(tvwContents, {s.title});
      pageItem->setData(0, kPageRole, s.page);
      continue;
    }
    auto* item = pageItem ? new QTreeWidgetItem(pageItem, {s.title}) : new QTreeWidgetItem(tvwContents, {s.title});
    item->setData(0, kPageRole, s.page);
    item->setData(0, kAnchorRole, s.anchor);
  }
}

void HelpWindow::ShowTopic(const QString& page, const QString& anchor) {
  QUrl url = QUrl::fromLocalFile(QDir(m_folder).filePath(page));
  if (!anchor.isEmpty()) url.setFragment(anchor);
  txtTopic->setSource(url);
}

void HelpWindow::ShowContents() {
  tabNavigation->setCurrentIndex(0);
  if (QTreeWidgetItem* first = tvwContents->topLevelItem(0)) tvwContents->setCurrentItem(first);
  ShowTopic(kFirstPage);
  tvwContents->setFocus();
}

void HelpWindow::ShowSearch() {
  tabNavigation->setCurrentIndex(1);
  if (txtTopic->source().isEmpty()) ShowTopic(kFirstPage);
  txtSearch->setFocus();
  txtSearch->selectAll();
}

void HelpWindow::RunSearch() {
  m_lastQuery = txtSearch->text();
  lstResults->clear();
  for (const HelpSection& s : m_index.Search(m_lastQuery)) {
    const QString pageTitle = m_index.PageTitle(s.page);
    auto* item =
        new QListWidgetItem(s.anchor.isEmpty() ? pageTitle : pageTitle + QStringLiteral(" › ") + s.title, lstResults);
    item->setData(kPageRole, s.page);
    item->setData(kAnchorRole, s.anchor);
  }
  if (lstResults->count() == 0) {
    auto* none = new QListWidgetItem(QStringLiteral("No topic holds these words."), lstResults);
    none->setFlags(Qt::NoItemFlags);
  }
}

} // namespace tidewick::help
