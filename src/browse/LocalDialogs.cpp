#include "browse/LocalDialogs.h"

#include "ui/Shell.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tidewick::browse {

namespace {

QString permissionText(QFileDevice::Permissions p) {
  QString text;
  const std::pair<QFileDevice::Permission, char> bits[] = {
      {QFileDevice::ReadOwner, 'r'}, {QFileDevice::WriteOwner, 'w'}, {QFileDevice::ExeOwner, 'x'},
      {QFileDevice::ReadGroup, 'r'}, {QFileDevice::WriteGroup, 'w'}, {QFileDevice::ExeGroup, 'x'},
      {QFileDevice::ReadOther, 'r'}, {QFileDevice::WriteOther, 'w'}, {QFileDevice::ExeOther, 'x'}};
  for (const auto& [bit, letter] : bits) text += (p & bit) ? QLatin1Char(letter) : QLatin1Char('-');
  return text;
}

} // namespace

QList<QPair<QString, QString>> PropertiesDialog::Describe(const QString& path) {
  const QFileInfo info(path);
  QString type;
  if (info.isSymLink()) type = QStringLiteral("Link to ") + info.symLinkTarget();
  else if (info.isDir()) type = QStringLiteral("Folder");
  else type = QMimeDatabase().mimeTypeForFile(info).comment();
  const QLocale locale;
  const QString size = info.isDir() ? QStringLiteral("—")
                                    : locale.formattedDataSize(info.size()) + QStringLiteral(" (") +
                                          locale.toString(info.size()) + QStringLiteral(" bytes)");
  return {{QStringLiteral("Name:"), info.fileName()},
          {QStringLiteral("Folder:"), info.absolutePath()},
          {QStringLiteral("Type:"), type},
          {QStringLiteral("Size:"), size},
          {QStringLiteral("Modified:"), locale.toString(info.lastModified(), QLocale::LongFormat)},
          {QStringLiteral("Permissions:"), permissionText(info.permissions())},
          {QStringLiteral("Owner:"), info.owner() + QStringLiteral(" / ") + info.group()}};
}

PropertiesDialog::PropertiesDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmProperties"));
  setWindowTitle(QStringLiteral("Properties of ") + QFileInfo(path).fileName());
  auto* form = new QFormLayout;
  for (const auto& [label, value] : Describe(path)) {
    auto* text = new QLabel(value, this);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setWordWrap(true);
    form->addRow(label, text);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

FindFilesDialog::FindFilesDialog(const QString& folder, QWidget* parent) : QDialog(parent), m_folder(folder) {
  setObjectName(QStringLiteral("frmFindFiles"));
  setWindowTitle(QStringLiteral("Find Files"));
  m_pattern = new QLineEdit(QStringLiteral("*"), this);
  m_pattern->setObjectName(QStringLiteral("txtPattern"));
  m_pattern->setToolTip(QStringLiteral("Name pattern, e.g. *.txt; several separated by \";\""));
  m_where = new QLineEdit(folder, this);
  m_where->setObjectName(QStringLiteral("txtFolder"));
  m_find = new QPushButton(QStringLiteral("&Find"), this);
  m_find->setDefault(true);
  m_open = new QPushButton(QStringLiteral("&Open"), this);
  m_reveal = new QPushButton(QStringLiteral("Show in &Folder"), this);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  m_results = new QTreeWidget(this);
  m_results->setObjectName(QStringLiteral("lstResults"));
  m_results->setAccessibleName(QStringLiteral("Files found"));
  m_results->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("In Folder"), QStringLiteral("Size")});
  m_results->setRootIsDecorated(false);
  m_results->setUniformRowHeights(true);
  m_results->header()->resizeSection(0, 200);
  m_status = new QLabel(this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Named:"), m_pattern);
  form->addRow(QStringLiteral("Look in:"), m_where);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_find);
  buttons->addWidget(m_open);
  buttons->addWidget(m_reveal);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(m_results, 1);
  layout->addWidget(m_status);
  layout->addLayout(buttons);
  resize(620, 420);

  connect(m_find, &QPushButton::clicked, this, [this] { searching() ? stop() : start(); });
  connect(m_open, &QPushButton::clicked, this, &FindFilesDialog::openSelected);
  connect(m_reveal, &QPushButton::clicked, this, &FindFilesDialog::revealSelected);
  connect(m_results, &QTreeWidget::itemDoubleClicked, this, &FindFilesDialog::openSelected);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

FindFilesDialog::~FindFilesDialog() = default;

void FindFilesDialog::setPattern(const QString& pattern) { m_pattern->setText(pattern); }

void FindFilesDialog::start() {
  m_results->clear();
  m_patterns.clear();
  for (const QString& part : m_pattern->text().split(QLatin1Char(';'), Qt::SkipEmptyParts))
    m_patterns << part.trimmed();
  if (m_patterns.isEmpty()) m_patterns << QStringLiteral("*");
  m_scanned = 0;
  m_iterator = std::make_unique<QDirIterator>(m_where->text(), m_patterns,
                                              QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDirIterator::Subdirectories);
  m_find->setText(QStringLiteral("&Stop"));
  QTimer::singleShot(0, this, &FindFilesDialog::searchSome);
}

void FindFilesDialog::stop() {
  if (!m_iterator) return;
  m_iterator.reset();
  m_find->setText(QStringLiteral("&Find"));
  m_status->setText(QStringLiteral("%1 found; search stopped.").arg(m_results->topLevelItemCount()));
  emit finished();
}

void FindFilesDialog::searchSome() {
  if (!m_iterator) return;
  // A slice at a time, so the window stays responsive and Stop works on large trees.
  QElapsedTimer slice;
  slice.start();
  while (m_iterator->hasNext() && slice.elapsed() < 30) {
    m_iterator->next();
    ++m_scanned;
    const QFileInfo info = m_iterator->fileInfo();
    auto* item = new QTreeWidgetItem(
        m_results, {info.fileName(), info.absolutePath(), info.isDir() ? QString() : QString::number(info.size())});
    item->setData(0, Qt::UserRole, info.absoluteFilePath());
  }
  if (m_iterator->hasNext()) {
    m_status->setText(QStringLiteral("Searching… %1 found").arg(m_results->topLevelItemCount()));
    QTimer::singleShot(0, this, &FindFilesDialog::searchSome);
    return;
  }
  m_iterator.reset();
  m_find->setText(QStringLiteral("&Find"));
  m_status->setText(QStringLiteral("%1 found.").arg(m_results->topLevelItemCount()));
  emit finished();
}

QStringList FindFilesDialog::results() const {
  QStringList paths;
  for (int i = 0; i < m_results->topLevelItemCount(); ++i)
    paths << m_results->topLevelItem(i)->data(0, Qt::UserRole).toString();
  return paths;
}

void FindFilesDialog::openSelected() {
  if (QTreeWidgetItem* item = m_results->currentItem())
    tidewick::ui::openWithShell(item->data(0, Qt::UserRole).toString());
}

void FindFilesDialog::revealSelected() {
  if (QTreeWidgetItem* item = m_results->currentItem())
    tidewick::ui::openWithShell(QFileInfo(item->data(0, Qt::UserRole).toString()).absolutePath());
}

} // namespace tidewick::browse
