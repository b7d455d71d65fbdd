// The Help menu's own actions: the manual in its window (and the two messages without one), the
// maker's web pages, the licence agreement and the about box. The manual is checked against the
// window too: every command the menus offer and every setting is described in it.
#include "UrlRecorder.h"
#include "app/frmMain.h"
#include "help/FrmLicense.h"
#include "help/HelpWindow.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
#include "tips/frmAbout.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using tidewick::app::frmMain;
using tidewick::help::HelpIndex;
using tidewick::update::ConnectionState;

namespace {

// The manual's sources.
QString manualFolder() { return QStringLiteral(TIDEWICK_SOURCE_DIR "/docs/help"); }

struct HelpMain {
  TempHome home;
  ScriptedPrompts prompts;
  ConnectionState state;
  std::unique_ptr<frmMain> window;

  HelpMain() {
    home.setSetting(QStringLiteral("SHOW CONNECTION ON STARTUP"), QStringLiteral("0"));
    window = std::make_unique<frmMain>(prompts, QStringList{QStringLiteral("tidewick")});
    window->setEndProgram([] {});
    window->setConnectionProbe([this] { return state; });
    window->setHelpFolder(manualFolder());
    window->Load();
    window->TipsTimer->stop();
  }
  void choose(const char* entry) const { window->menuEntry(QString::fromLatin1(entry))->trigger(); }
};

TEST(HelpMenu, ContentsAndSearchSayTheManualIsMissingOrOpenOneHelpWindow) {
  HelpMain m;
  m.window->setHelpFolder(m.home.root() + QStringLiteral("/no-help"));
  m.choose("mnuHelpContents");
  m.choose("mnuHelpLookForHelpOn");
  EXPECT_EQ(
      m.prompts.messages(),
      (std::vector<QString>{QStringLiteral("Tidewick - File not found error|Error, Help topics could not be found."),
                            QStringLiteral("Tidewick - File not found error|Error: Help topics could not be found.")}));
  EXPECT_EQ(m.prompts.asked[0].buttons, tidewick::ui::UserPrompts::OkOnly);
  EXPECT_FALSE(m.window->helpWindow());

  // With it, both open one help window.
  m.prompts.clear();
  m.window->setHelpFolder(manualFolder());
  m.choose("mnuHelpContents");
  tidewick::help::HelpWindow* help = m.window->helpWindow();
  ASSERT_TRUE(help);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->tabNavigation->currentIndex(), 0);
  EXPECT_TRUE(help->txtTopic->source().path().endsWith(QLatin1String("/index.html")));
  EXPECT_GE(help->tvwContents->topLevelItemCount(), 8);

  m.choose("mnuHelpLookForHelpOn");
  EXPECT_EQ(m.window->helpWindow(), help) << "the window is reused";
  EXPECT_EQ(help->tabNavigation->currentIndex(), 1);

  // Every section the search finds opens at its heading.
  help->txtSearch->setText(QStringLiteral("passive MODE"));
  help->RunSearch();
  ASSERT_GT(help->lstResults->count(), 0);
  QListWidgetItem* first = help->lstResults->item(0);
  emit help->lstResults->itemClicked(first);
  EXPECT_FALSE(help->txtTopic->source().fragment().isEmpty());
  EXPECT_TRUE(help->txtTopic->textCursor().hasSelection()) << "the word found is marked";

  help->txtSearch->setText(QStringLiteral("xyzzy-not-in-the-manual"));
  help->RunSearch();
  ASSERT_EQ(help->lstResults->count(), 1);
  EXPECT_EQ(help->lstResults->item(0)->flags(), Qt::NoItemFlags);
  EXPECT_TRUE(m.prompts.asked.empty());
}

QList<QAction*> entriesOf(const QMenu* menu) {
  QList<QAction*> out;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    out.append(action);
    if (action->menu()) out += entriesOf(action->menu());
  }
  return out;
}

TEST(Manual, DescribesEveryCommandSettingAndWindowAndItsLinksHold) {
  const HelpIndex index = HelpIndex::Load(manualFolder());
  QString all;
  for (const auto& section : index.sections()) all += section.text + QLatin1Char('\n');
  ASSERT_FALSE(all.isEmpty());
  auto described = [&](QString text) {
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1String("..."))) text.chop(3);
    return all.contains(text, Qt::CaseInsensitive);
  };

  HelpMain m;
  for (QMenu* menu : {m.window->miConnection, m.window->miTransfer, m.window->miLocal, m.window->miRemote,
                      m.window->mnuTools, m.window->mnuView, m.window->mnuHelp, m.window->mnuPopup})
    for (QAction* entry : entriesOf(menu)) EXPECT_TRUE(described(entry->text())) << entry->text().toStdString();

  for (const char* text :
       {// settings, as stored
        "SAVE WINDOW POSITION", "SAVE WINDOW SIZE", "SHOW CONNECTION ON STARTUP", "ADD TO STARTUP",
        "DIR SYNC BY FILE SIZE", "FTP PASV", "LOG FILE NAME", "DELETE LOG ON STARTUP", "DELETE LOG IF SIZE EXCEEDS",
        "LOG FILE SIZE", "Firewall Use", "Firewall Type", "Firewall Host Name", "Firewall Proxy Port",
        "Firewall User Name", "Firewall Password", "Keep File Dates", "UPDATE HOST", "UPDATE PORT", "WEB ADDRESS",
        "ONLINE HELP ADDRESS", "TipSettings",
        // windows
        "Tidewick - Options / Settings", "Tidewick - License Agreement", "Tidewick Upgrade Availability Check",
        "Tidewick - Tip of the Day", "File Exists",
        // the command line
        "--run-queue", "--verbose", "/STARTUP", "--version"})
    EXPECT_TRUE(described(QString::fromUtf8(text))) << text;

  // Links between pages name pages and headings that exist.
  const QDir folder(manualFolder());
  static const QRegularExpression link(QStringLiteral("href=\"([A-Za-z0-9_-]+\\.html)(?:#([A-Za-z0-9_-]+))?\""));
  for (const QString& page : folder.entryList({QStringLiteral("*.html")})) {
    QFile file(folder.filePath(page));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    for (auto it = link.globalMatch(html); it.hasNext();) {
      const auto match = it.next();
      const QString target = match.captured(1), anchor = match.captured(2);
      bool found = false;
      for (const auto& section : index.sections())
        found = found || (section.page == target && (anchor.isEmpty() || section.anchor == anchor));
      EXPECT_TRUE(found) << page.toStdString() << " links to " << match.captured(0).toStdString();
    }
  }
}

TEST(HelpMenu, WebPagesLicenceAgreementAboutBoxAndUpgradeCheck) {
  HelpMain m;
  UrlRecorder urls;
  // The web pages go to the desktop from the settings, or their defaults.
  m.choose("mnuOnlineHelp");
  m.choose("mnuVisitOurSite");
  m.home.setSetting(QStringLiteral("WEB ADDRESS"), QStringLiteral("https://example.org/"));
  m.home.setSetting(QStringLiteral("ONLINE HELP ADDRESS"), QStringLiteral("https://example.org/help"));
  m.choose("mnuOnlineHelp");
  m.choose("mnuVisitOurSite");
  EXPECT_EQ(urls.opened, (QStringList{"https://www.tidewick.org/help/", "https://www.tidewick.org/",
                                      "https://example.org/help", "https://example.org/"}));
  urls.opened.clear();
  m.home.setSetting(QStringLiteral("WEB ADDRESS"), QStringLiteral("https://www.tidewick.org/"));

  m.prompts.modalAnswers.push_back([](QDialog* dialog) {
    auto* license = static_cast<tidewick::help::FrmLicense*>(dialog);
    EXPECT_TRUE(license->LicenseText->isReadOnly());
    EXPECT_TRUE(license->LicenseText->toPlainText().contains(QStringLiteral("Tidewick")));
    license->OKCmd->click();
    return license->result();
  });
  m.choose("mnuHelpLicenseAgreement");
  EXPECT_TRUE(m.home.setting(QStringLiteral("LICENSE WIDTH")));

  // The about box: its links open the pages only while the machine is connected.
  m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
    auto* about = static_cast<tidewick::tips::frmAbout*>(dialog);
    EXPECT_TRUE(about->lblContact->text().contains(QStringLiteral("https://www.tidewick.org/")));
    emit about->lblContact->linkActivated(QStringLiteral("https://www.tidewick.org/"));
    m.state = {false, 0};
    emit about->lblContact->linkActivated(QStringLiteral("https://www.tidewick.org/help/"));
    about->cmdOK->click();
    return about->result();
  });
  m.choose("mnuAboutUs");
  EXPECT_EQ(urls.opened, QStringList{QStringLiteral("https://www.tidewick.org/")});
  EXPECT_EQ(m.prompts.messages(), std::vector<QString>{QStringLiteral("Tidewick|No internet connection.")});
  EXPECT_TRUE(m.home.setting(QStringLiteral("ABOUT TOP")));

  // The upgrade check opens its wizard.
  m.choose("mnuHelpCheckForNewerVersion");
  EXPECT_EQ(m.prompts.asked.back().text, "frmLiveUpdate");
}

} // namespace
