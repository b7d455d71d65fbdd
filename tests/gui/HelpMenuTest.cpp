// The Help menu's own actions: the manual in its window (and the two messages without one), the
// maker's web pages, the licence agreement and the about box; and the manual describing every
// command the menus offer and every setting.
#include "RecordingMain.h"
#include "UrlRecorder.h"
#include "help/FrmLicense.h"
#include "help/HelpWindow.h"
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

#include <algorithm>
#include <memory>

using tidewick::app::frmMain;
using tidewick::help::HelpIndex;
using tidewick::update::ConnectionState;

namespace {

// The manual's sources.
QString manualFolder() { return QStringLiteral(TIDEWICK_SOURCE_DIR "/docs/help"); }

struct HelpMain : QuietMain {
  ConnectionState state;

  HelpMain() {
    window->setConnectionProbe([this] { return state; });
    window->setHelpFolder(manualFolder());
    window->Load();
    window->TipsTimer->stop();
  }
  void choose(const char* entry) const { window->menuEntry(entry)->trigger(); }
};

TEST(HelpMenu, EachEntryOpensItsWindowOrPageAndSaysWhatIsMissing) {
  HelpMain m;
  m.window->setHelpFolder(m.home.root() + "/no-help");
  m.choose("mnuHelpContents");
  m.choose("mnuHelpLookForHelpOn");
  EXPECT_EQ(m.prompts.messages(),
            (std::vector<QString>{"Tidewick - File not found error|Error, Help topics could not be found.",
                                  "Tidewick - File not found error|Error: Help topics could not be found."}));
  EXPECT_FALSE(m.window->helpWindow());

  // With it, both open one help window.
  m.prompts.clear();
  m.window->setHelpFolder(manualFolder());
  m.choose("mnuHelpContents");
  tidewick::help::HelpWindow* help = m.window->helpWindow();
  ASSERT_TRUE(help);
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->tabNavigation->currentIndex(), 0);
  EXPECT_TRUE(help->txtTopic->source().path().endsWith("/index.html"));
  EXPECT_GE(help->tvwContents->topLevelItemCount(), 8);

  m.choose("mnuHelpLookForHelpOn");
  EXPECT_EQ(m.window->helpWindow(), help) << "the window is reused";
  EXPECT_EQ(help->tabNavigation->currentIndex(), 1);

  // Every section the search finds opens at its heading.
  help->txtSearch->setText("passive MODE");
  help->RunSearch();
  ASSERT_GT(help->lstResults->count(), 0);
  emit help->lstResults->itemClicked(help->lstResults->item(0));
  EXPECT_FALSE(help->txtTopic->source().fragment().isEmpty());
  EXPECT_TRUE(help->txtTopic->textCursor().hasSelection()) << "the word found is marked";

  help->txtSearch->setText("xyzzy-not-in-the-manual");
  help->RunSearch();
  ASSERT_EQ(help->lstResults->count(), 1);
  EXPECT_EQ(help->lstResults->item(0)->flags(), Qt::NoItemFlags);
  EXPECT_TRUE(m.prompts.asked.empty());

  UrlRecorder urls;
  // The web pages go to the desktop from the settings, or their defaults.
  m.choose("mnuOnlineHelp");
  m.choose("mnuVisitOurSite");
  m.home.setSettings({{"WEB ADDRESS", "https://example.org/"}, {"ONLINE HELP ADDRESS", "https://example.org/help"}});
  m.choose("mnuOnlineHelp");
  m.choose("mnuVisitOurSite");
  EXPECT_EQ(urls.opened, (QStringList{"https://www.tidewick.org/help/", "https://www.tidewick.org/",
                                      "https://example.org/help", "https://example.org/"}));
  urls.opened.clear();
  m.home.setSetting("WEB ADDRESS", "https://www.tidewick.org/");

  m.prompts.modalAnswers.push_back([](QDialog* dialog) {
    auto* license = static_cast<tidewick::help::FrmLicense*>(dialog);
    EXPECT_TRUE(license->LicenseText->toPlainText().contains("Tidewick"));
    license->OKCmd->click();
    return license->result();
  });
  m.choose("mnuHelpLicenseAgreement");
  EXPECT_TRUE(m.home.setting("LICENSE WIDTH"));

  // The about box: its links open the pages only while the machine is connected.
  m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
    auto* about = static_cast<tidewick::tips::frmAbout*>(dialog);
    emit about->lblContact->linkActivated("https://www.tidewick.org/");
    m.state = {false, 0};
    emit about->lblContact->linkActivated("https://www.tidewick.org/help/");
    about->cmdOK->click();
    return about->result();
  });
  m.choose("mnuAboutUs");
  EXPECT_EQ(urls.opened, QStringList{"https://www.tidewick.org/"});
  EXPECT_EQ(m.prompts.messages(), std::vector<QString>{"Tidewick|No internet connection."});
  EXPECT_TRUE(m.home.setting("ABOUT TOP"));

  // The upgrade check opens its wizard.
  m.choose("mnuHelpCheckForNewerVersion");
  EXPECT_EQ(m.prompts.asked.back().text, "frmLiveUpdate");
}

TEST(Manual, DescribesEveryCommandSettingAndWindowAndItsLinksHold) {
  const HelpIndex index = HelpIndex::Load(manualFolder());
  QString all;
  for (const auto& section : index.sections()) all += section.text + '\n';
  ASSERT_FALSE(all.isEmpty());
  auto described = [&](QString text) {
    text.remove('&');
    if (text.endsWith("...")) text.chop(3);
    return all.contains(text, Qt::CaseInsensitive);
  };

  HelpMain m;
  for (QMenu* menu : menusOf(*m.window))
    for (QAction* entry : entriesOf(menu)) EXPECT_TRUE(described(entry->text())) << entry->text().toStdString();

  // The settings as stored, the windows and the command line.
  const char* named =
      "SAVE WINDOW POSITION|SAVE WINDOW SIZE|SHOW CONNECTION ON STARTUP|ADD TO STARTUP|DIR SYNC BY FILE SIZE|FTP PASV|"
      "LOG FILE NAME|DELETE LOG ON STARTUP|DELETE LOG IF SIZE EXCEEDS|LOG FILE SIZE|Firewall Use|Firewall Type|"
      "Firewall Host Name|Firewall Proxy Port|Firewall User Name|Firewall Password|Keep File Dates|UPDATE HOST|"
      "UPDATE PORT|WEB ADDRESS|ONLINE HELP ADDRESS|TipSettings|Tidewick - Options / Settings|"
      "Tidewick - License Agreement|Tidewick Upgrade Availability Check|Tidewick - Tip of the Day|File Exists|"
      "--run-queue|--verbose|/STARTUP|--version";
  for (const QString& text : QString::fromLatin1(named).split('|')) EXPECT_TRUE(described(text)) << text.toStdString();

  // Links between pages name pages and headings that exist.
  const QDir folder(manualFolder());
  static const QRegularExpression link("href=\"([A-Za-z0-9_-]+\\.html)(?:#([A-Za-z0-9_-]+))?\"");
  for (const QString& page : folder.entryList({"*.html"})) {
    QFile file(folder.filePath(page));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    for (auto it = link.globalMatch(html); it.hasNext();) {
      const auto match = it.next();
      const QString target = match.captured(1), anchor = match.captured(2);
      EXPECT_TRUE(std::ranges::any_of(index.sections(),
                                      [&](const auto& section) {
                                        return section.page == target && (anchor.isEmpty() || section.anchor == anchor);
                                      }))
          << page.toStdString() << " links to " << match.captured(0).toStdString();
    }
  }
}

} // namespace
