// The permission change: the dialog's value kept in step by box clicks, OK, Cancel and the close
// box, and the SITE chmod commands against a real server, refused values and refused items.
#include "ConnectedMain.h"

#include "commands/RemoteCommands.h"
#include "commands/frmRemoteChangeMode.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

namespace {

using tidewick::commands::frmRemoteChangeMode;

class ChangeMode : public ConnectedMain {
protected:
  // The next showing of the dialog runs `act` on it.
  void answer(std::function<void(frmRemoteChangeMode&)> act) {
    prompts.modalAnswers.push_back([act](QDialog* d) {
      auto* dialog = qobject_cast<frmRemoteChangeMode*>(d);
      EXPECT_TRUE(dialog);
      if (dialog) act(*dialog);
      return 0;
    });
  }
  void select(std::initializer_list<const char*> rows) {
    window->lstRemoteFileList->clearSelection();
    for (const char* name : rows) {
      const auto* model = window->lstRemoteFileList->model();
      for (int r = 0; r < model->rowCount(); ++r)
        if (model->row(r).name == name) window->lstRemoteFileList->selectRow(r, true);
    }
  }
  QStringList chmods() const { return sent().filter("SITE chmod"); }
  // The log line after the last one that says `line` (the window's own, after the server's echo).
  QString lineAfter(const QString& line) const {
    const QStringList log = logLines();
    const qsizetype at = log.lastIndexOf(line);
    return at >= 0 && at + 1 < log.size() ? log[at + 1] : QString();
  }
  bool listedAgain(qsizetype from = 0) const {
    return !sent().mid(from).filter(QRegularExpression("^(MLSD|LIST)")).isEmpty();
  }
};

TEST_F(ChangeMode, BoxesAddUpTo755EachSelectedRowGetsItsCommandAndTheListIsRefreshed) {
  select({"a.txt", "b"});
  answer([](frmRemoteChangeMode& d) {
    EXPECT_EQ(d.txtNumericValue->text(), "0");
    for (QCheckBox* box : {d.chkOwnerRead, d.chkOwnerWrite, d.chkOwnerExecute, d.chkGroupRead, d.chkGroupExecute,
                           d.chkOtherRead, d.chkOtherExecute})
      box->click();
    d.chkGroupWrite->click();
    d.chkGroupWrite->click();
    EXPECT_EQ(d.txtNumericValue->text(), "755") << "checking and clearing a box returns to where it was";
    d.CmdOK->click();
  });
  window->ChangeRemoteMode();
  EXPECT_EQ(chmods(), (QStringList{"SITE chmod 755 b", "SITE chmod 755 a.txt"})) << "in list order";
  for (const QString& command : chmods()) EXPECT_EQ(lineAfter(command), "Change Permission Complete");
  // Qt spells rwxr-xr-x for user, group and others as 0x755, beside the owner's own bits.
  EXPECT_EQ(int(QFileInfo(server.path("a.txt")).permissions() & 0x777), 0x755);
  EXPECT_TRUE(listedAgain());

  // With no row selected nothing is sent, but the list is still refreshed.
  window->lstRemoteFileList->clearSelection();
  const qsizetype before = sent().size();
  answer([](frmRemoteChangeMode& d) { d.CmdOK->click(); });
  window->ChangeRemoteMode();
  EXPECT_EQ(chmods().size(), 2);
  EXPECT_TRUE(listedAgain(before));
}

TEST_F(ChangeMode, ATypedValueChangesOnlyByLaterClicksAndOkKeepsTheDialogForNextTime) {
  select({"a.txt"});
  answer([](frmRemoteChangeMode& d) {
    d.txtNumericValue->setText("0644");
    d.chkOtherExecute->click();
    EXPECT_EQ(d.txtNumericValue->text(), "645");
    EXPECT_FALSE(d.chkOwnerRead->isChecked()) << "the boxes never follow the value";
    d.CmdOK->click();
  });
  window->ChangeRemoteMode();
  EXPECT_EQ(chmods(), QStringList{"SITE chmod 645 a.txt"});

  // Cancel sends nothing and lists nothing; the dialog comes back as it was left.
  const qsizetype before = sent().size();
  answer([](frmRemoteChangeMode& d) {
    EXPECT_EQ(d.txtNumericValue->text(), "645");
    EXPECT_TRUE(d.chkOtherExecute->isChecked());
    d.cmdCancel->click();
  });
  window->ChangeRemoteMode();
  EXPECT_EQ(sent().size(), before);

  // The close box ends it: the next use starts clear.
  answer([](frmRemoteChangeMode& d) { d.close(); });
  window->ChangeRemoteMode();
  answer([](frmRemoteChangeMode& d) {
    EXPECT_EQ(d.txtNumericValue->text(), "0");
    EXPECT_FALSE(d.chkOtherExecute->isChecked());
    EXPECT_EQ(d.chmodResult, 0);
    d.reject();
  });
  window->ChangeRemoteMode();
  EXPECT_EQ(sent().size(), before);
}

TEST_F(ChangeMode, ARefusedItemIsNamedAndTheNextOneStillChanges) {
  select({"a.txt", "readme.txt"});
  QFile::remove(server.path("a.txt")); // gone since the listing
  answer([](frmRemoteChangeMode& d) {
    d.txtNumericValue->setText("600");
    d.CmdOK->click();
  });
  window->ChangeRemoteMode();
  EXPECT_TRUE(lineAfter("SITE chmod 600 a.txt").startsWith("Error: 550")) << logLines().join('\n').toStdString();
  EXPECT_EQ(lineAfter("SITE chmod 600 readme.txt"), "Change Permission Complete");
  EXPECT_EQ(logLines().filter("Change Permission Complete").size(), 1);
}

TEST_F(ChangeMode, AValueThatIsNoPermissionIsRefusedBeforeAnythingIsSent) {
  select({"a.txt"});
  struct Case {
    const char* typed;
    QCheckBox* frmRemoteChangeMode::*clicked; // ticked after typing, or nothing
    const char* named;                        // the value the message names, or nothing when it is sent
  };
  const Case cases[] = {
      {"777", &frmRemoteChangeMode::chkOwnerRead, "1177"}, // carried into a fourth digit
      {"644", &frmRemoteChangeMode::chkOwnerRead, "1044"}, // looks like a permission, is not the boxes'
      {"9", nullptr, "9"},
      {"17777", nullptr, "17777"},
      {"7.5", nullptr, "7.5"},
      {"1777", nullptr, nullptr}, // typed in full: sent as it is
  };
  for (const Case& c : cases) {
    answer([c](frmRemoteChangeMode& d) {
      d.txtNumericValue->clear();
      QTest::keyClicks(d.txtNumericValue, QString::fromLatin1(c.typed));
      if (c.clicked) (d.*c.clicked)->click();
      d.CmdOK->click();
    });
    prompts.clear();
    const qsizetype before = chmods().size();
    window->ChangeRemoteMode();
    if (!c.named) {
      EXPECT_TRUE(prompts.messages().empty()) << c.typed;
      EXPECT_EQ(chmods().size(), before + 1) << c.typed;
      continue;
    }
    ASSERT_EQ(prompts.messages().size(), 1u) << c.typed;
    EXPECT_TRUE(prompts.messages().front().contains(QString::fromLatin1(c.named) + " is not "))
        << prompts.messages().front().toStdString();
    EXPECT_EQ(chmods().size(), before) << c.typed;
    // Close the dialog so the next case starts with every box clear.
    answer([](frmRemoteChangeMode& d) { d.close(); });
    window->ChangeRemoteMode();
  }
}

} // namespace
