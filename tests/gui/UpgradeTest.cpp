// The upgrade check: the connection state texts, the wizard's pages and buttons, and the version
// file fetched from a real FTP server standing in for the maker's.
#include "UrlRecorder.h"
#include "support/FtpServerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
#include "update/InternetConnection.h"
#include "update/frmLiveUpdate.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tidewick::update;
using tidewick::test::FtpServerFixture;

namespace {

TEST(ConnectionStateText, SentencesOfTheFlagsInTheirOrder) {
  const std::pair<ConnectionState, const char*> cases[] = {
      {{false, ViaLan | Configured}, "No internet connection."},
      {{true, ViaLan | ViaProxy}, "Connect via a LAN., and uses a proxy server."},
      {{true, Configured | ViaLan}, "Network connection configured.\nConnect via a LAN.."},
      {{true, ViaModem}, ".Connect via a Modem."},
      {{true, 0}, "."},
      {{true, ViaModem | ViaLan | ViaProxy | ModemBusy | RemoteAccessInstalled | Offline | Configured},
       "Network connection configured.\nConnect via a LAN., and uses a proxy server.Connect via a Modem."
       "Connection offline.Modem is busy with a non-Internet connection.Remote Access Services are installed."},
  };
  for (const auto& [state, text] : cases) EXPECT_EQ(connectionStateText(state), text) << text;
}

TEST(VersionFile, OnlyTheLastLineCountsWhateverEndsTheLines) {
  using Case = std::pair<QByteArray, const char*>;
  for (const auto& [contents, last] :
       {Case{"3.1", "3.1"}, Case{"3.0\n3.1\n", "3.1"}, Case{"3.0\r\n3.1\r\n", "3.1"}, Case{"3.0\r3.1\r", "3.1"},
        Case{"3.1\n\n", ""}, Case{"3.1\r\n\r\n", ""}, Case{"", ""}, Case{"3.1 \n", "3.1 "}, Case{"3.1\n3.0", "3.0"}})
    EXPECT_EQ(frmLiveUpdate::LastLine(contents), last) << contents.toStdString();
}

// The wizard on a temporary home whose update server is the test's, with the machine's connection
// answered by the test.
struct Wizard {
  TempHome home;
  ScriptedPrompts prompts;
  ConnectionState state;
  std::unique_ptr<frmLiveUpdate> window;
  std::unique_ptr<QSignalSpy> closed;

  explicit Wizard(const FtpServerFixture* server = nullptr) {
    if (server) {
      home.setSettings({{"UPDATE HOST", server->host()}, {"UPDATE PORT", QString::number(server->port())}});
    }
    window = std::make_unique<frmLiveUpdate>(prompts, [this] { return state; });
    closed = std::make_unique<QSignalSpy>(window.get(), &QDialog::finished);
    window->Load();
  }
  void next(int times = 1) {
    while (times--) window->cmdNext->click();
  }
  QString heading() const { return window->lblCaption->text(); }
  QString buttons() const {
    QString out;
    for (QPushButton* b : {window->cmdBack, window->cmdNext, window->cmdCancel, window->cmdVisitWebSite})
      out += QStringLiteral("%1%2%3 ").arg(b->objectName(), b->isEnabled() ? QString() : "-",
                                           b->isVisibleTo(window.get()) ? QString() : "(hidden)");
    return out.trimmed();
  }
};

TEST(UpgradeWizard, PagesAndButtonsUpToTheConnectionCheck) {
  Wizard w;
  EXPECT_EQ(w.buttons(), "cmdBack- cmdNext cmdCancel cmdVisitWebSite-(hidden)");
  w.next();
  EXPECT_EQ(w.buttons(), "cmdBack cmdNext cmdCancel cmdVisitWebSite-(hidden)");
  w.next();
  EXPECT_EQ(w.heading(), "You are connected to the Internet");
  EXPECT_EQ(w.buttons(), "cmdBack cmdNext cmdCancel cmdVisitWebSite-(hidden)");
  w.window->cmdBack->click();
  w.window->cmdBack->click();
  EXPECT_EQ(w.window->page(), 1);
  EXPECT_EQ(w.buttons(), "cmdBack- cmdNext cmdCancel cmdVisitWebSite-(hidden)");

  // Not connected: only Finish is left, and it closes the wizard.
  w.state = {false, ViaLan};
  w.next(2);
  EXPECT_EQ(w.heading(), "Connection Error !");
  EXPECT_EQ(w.window->lblEnd->text(), "No internet connection.");
  EXPECT_EQ(w.buttons(), "cmdBack- cmdNext cmdCancel- cmdVisitWebSite-(hidden)");
  w.next();
  EXPECT_EQ(w.closed->count(), 1);
  EXPECT_TRUE(w.home.setting("LIVE UPDATE TOP")) << "closing keeps the placement";
}

TEST(UpgradeWizard, TheLastLineOfTheMakersVersionFileDecidesAnUpgradeLinksToTheSiteAndAFailureCloses) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  const QString check = "Tidewick|Please check your internet connection and try again.";
  using Case = std::tuple<QByteArray, bool, std::vector<QString>>; // the file, an upgrade, the messages on the way
  for (const auto& [file, upgrade, messages] :
       {Case{"3.0\n3.1\n", false, {}}, Case{"3.0\n", true, {}}, Case{"4.0.1", true, {}},
        Case{"3.1\n\n", false, {check}}, Case{"", false, {check}}}) {
    server.writeFile("incoming/TidewickUpdate.txt", file);
    Wizard w(&server);
    w.next(3);
    const std::string name = file.toStdString();
    EXPECT_EQ(w.closed->count(), 0) << name;
    EXPECT_EQ(TempHome::readFile(frmLiveUpdate::VersionFilePath()), file) << name;
    EXPECT_EQ(w.heading(), upgrade ? "Tidewick - Upgrade Available" : "Tidewick - Current Version Is Upto Date")
        << name;
    EXPECT_EQ(w.buttons(), upgrade ? "cmdBack- cmdNext cmdCancel- cmdVisitWebSite"
                                   : "cmdBack- cmdNext cmdCancel- cmdVisitWebSite-(hidden)")
        << name;
    EXPECT_EQ(w.prompts.messages(), messages) << name;
    if (upgrade) {
      EXPECT_TRUE(w.window->lblInfo->text().startsWith(
          "An upgrade version is available on the internet! at: https://www.tidewick.org/\n"));
      // The site's button opens the page only while the machine is connected.
      UrlRecorder urls;
      w.home.setSetting("WEB ADDRESS", "https://example.org/tidewick/");
      w.window->cmdVisitWebSite->click();
      EXPECT_EQ(urls.opened, QStringList{"https://example.org/tidewick/"});
      w.state = {false, ViaLan};
      w.window->cmdVisitWebSite->click();
      EXPECT_EQ(urls.opened.size(), 1);
      EXPECT_EQ(w.prompts.messages(), std::vector<QString>{"Tidewick|No internet connection."});
    }
    w.next();
    EXPECT_EQ(w.closed->count(), 1) << "Finish closes";
  }
  const QString commands = server.receivedCommands().join('\n');
  EXPECT_TRUE(commands.contains("USER anonymous")) << commands.toStdString();
  EXPECT_TRUE(commands.contains("/incoming/TidewickUpdate.txt")) << commands.toStdString();

  // A failed download is shown and closes the wizard.
  ASSERT_TRUE(QFile::remove(server.path("incoming/TidewickUpdate.txt")));
  Wizard w(&server);
  w.next(3);
  ASSERT_EQ(w.prompts.messages().size(), 1u);
  EXPECT_TRUE(w.prompts.messages()[0].startsWith("Tidewick|"));
  EXPECT_GT(w.prompts.messages()[0].size(), 12) << "the failure's description";
  EXPECT_EQ(w.closed->count(), 1);

  // A port just outside 1 to 65535 is refused before anything connects.
  for (const char* port : {"0", "65536"}) {
    Wizard badPort;
    badPort.home.setSetting("UPDATE PORT", port);
    badPort.next(3);
    EXPECT_EQ(badPort.closed->count(), 1);
    EXPECT_EQ(badPort.prompts.messages(),
              std::vector<QString>{QStringLiteral("Tidewick|The update server's port \"%1\" is not a whole number "
                                                  "from 1 to 65535.")
                                       .arg(port)});
  }
}

} // namespace
