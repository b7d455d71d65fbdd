// The connection dialog: ShowForm's contract, the site commands and the selection logic.
#include "sites/SiteProfiles.h"
#include "sites/frmConnectionInfo.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using tidewick::ui::UserPrompts;
namespace sites = tidewick::sites;
using sites::frmConnectionInfo;

namespace {

template <typename T>
T* child(QWidget* dialog, const char* name) {
  T* found = dialog->findChild<T*>(QString::fromLatin1(name));
  if (!found) throw std::runtime_error(std::string("no control ") + name);
  return found;
}

QString text(QWidget* d, const char* name) { return child<QLineEdit>(d, name)->text(); }
void type(QWidget* d, const char* name, const QString& value) { child<QLineEdit>(d, name)->setText(value); }

struct Values {
  QString host = "ftp.example.org";
  QString port;
  QString user = "bob";
  QString pass = "pw";
  bool anonymous = false;
};

// Selects the tree node with the given text (the root is "Profiles").
void select(QWidget* d, const QString& nodeText) {
  auto* tree = child<QTreeWidget>(d, "TView1");
  auto found = tree->findItems(nodeText, Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(found.size(), 1) << nodeText.toStdString();
  tree->setCurrentItem(found.first());
}

TEST(ConnectionDialog, CancelAndCloseLeaveTheCallersValuesUntouched) {
  TempHome temp;
  ScriptedPrompts prompts;
  frmConnectionInfo dialog(prompts);
  Values v;
  prompts.modalAnswers.push_back([](QDialog* d) {
    EXPECT_EQ(text(d, "txtPort"), "21") << "an empty port shows 21";
    type(d, "txtHost", "changed");
    child<QPushButton>(d, "cmdCancel")->click();
    return d->result();
  });
  prompts.modalAnswers.push_back([](QDialog* d) {
    d->close();
    return d->result();
  });
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(dialog.ShowForm(v.host, v.port, v.user, v.pass, v.anonymous));
    EXPECT_EQ(v.host, "ftp.example.org");
    EXPECT_EQ(v.port, "");
    EXPECT_EQ(v.user, "bob");
  }
}

TEST(ConnectionDialog, ConnectHandsBackTrimmedValues) {
  TempHome temp;
  ScriptedPrompts prompts;
  frmConnectionInfo dialog(prompts);
  Values v;
  v.port = "21";
  auto security = tidewick::settings::SiteSecurity::TlsRequired;
  prompts.modalAnswers.push_back([](QDialog* d) {
    EXPECT_TRUE(child<QRadioButton>(d, "optNormal")->isChecked());
    auto* choice = child<QComboBox>(d, "cboSecurity");
    EXPECT_EQ(choice->currentText(), "Require FTP over TLS");
    // Implicit TLS and SFTP take the usual FTP port to their own and back; a port typed by hand
    // stays.
    auto choose = [choice](int index) {
      choice->setCurrentIndex(index);
      Q_EMIT choice->activated(index);
    };
    choose(3);
    EXPECT_EQ(text(d, "txtPort"), "990");
    choose(4);
    EXPECT_EQ(choice->currentText(), "SFTP (SSH)");
    EXPECT_EQ(text(d, "txtPort"), "22");
    choose(1);
    EXPECT_EQ(text(d, "txtPort"), "21");
    type(d, "txtPort", " 2121 ");
    choose(3);
    EXPECT_EQ(text(d, "txtPort"), " 2121");
    type(d, "txtHost", "  [fe80::1%eth0]  "); // brackets go through to the engine
    child<QPushButton>(d, "cmdConnect")->click();
    return d->result();
  });
  ASSERT_TRUE(dialog.ShowForm(v.host, v.port, v.user, v.pass, v.anonymous, security));
  EXPECT_EQ(security, tidewick::settings::SiteSecurity::TlsImplicit);
  EXPECT_EQ(v.host, "[fe80::1%eth0]");
  EXPECT_EQ(v.port, "2121");
  EXPECT_EQ(v.user, "bob");
  EXPECT_EQ(v.pass, "pw");
  EXPECT_FALSE(v.anonymous);
}

TEST(ConnectionDialog, SaveNewDeleteAndSelection) {
  TempHome temp;
  sites::SaveProfile({"anon site", "a.example", "anonymous", {}, "21"}, false);
  sites::SaveProfile({"work", "w.example", "me", "secret", "990"}, true);
  ScriptedPrompts prompts;
  frmConnectionInfo d(prompts);
  auto* remove = child<QPushButton>(&d, "cmdDeleteSite");

  select(&d, "work.Tidewick");
  EXPECT_EQ(text(&d, "txtSiteName"), "work");
  EXPECT_EQ(text(&d, "txtPassword"), "secret");
  EXPECT_TRUE(child<QRadioButton>(&d, "optNormal")->isChecked());
  EXPECT_TRUE(remove->isEnabled());

  // A user named "anonymous" without a password: Anonymous, with its password filled in; the
  // second test then finds that password and chooses Save Password.
  select(&d, "anon site.Tidewick");
  EXPECT_EQ(text(&d, "txtUserName"), "anonymous");
  EXPECT_EQ(text(&d, "txtPassword"), frmConnectionInfo::DefaultAnonymousPassword());
  EXPECT_TRUE(child<QRadioButton>(&d, "optNormal")->isChecked());
  EXPECT_TRUE(child<QLineEdit>(&d, "txtUserName")->isEnabled());

  select(&d, "Profiles");
  EXPECT_FALSE(remove->isEnabled());
  d.DeleteSite();
  EXPECT_TRUE(prompts.asked.empty()) << "Delete with the root selected does nothing";

  // New under Save Password empties the login; under Anonymous it refills it.
  child<QRadioButton>(&d, "optNormal")->click();
  child<QPushButton>(&d, "cmdNewSite")->click();
  EXPECT_EQ(text(&d, "txtUserName"), "");
  EXPECT_EQ(text(&d, "txtPort"), "21");
  child<QRadioButton>(&d, "optAnonymous")->click();
  child<QPushButton>(&d, "cmdNewSite")->click();
  EXPECT_EQ(text(&d, "txtUserName"), "anonymous");
  EXPECT_FALSE(child<QLineEdit>(&d, "txtPassword")->isEnabled());

  // Save checks the untrimmed fields, then saves an anonymous site without its password.
  child<QPushButton>(&d, "cmdSaveSite")->click();
  ASSERT_EQ(prompts.messages().back(), "Tidewick|Please check Site name and Server Address!");
  type(&d, "txtSiteName", "fresh");
  type(&d, "txtHost", "f.example");
  child<QPushButton>(&d, "cmdSaveSite")->click();
  EXPECT_EQ(prompts.messages().back(), "Tidewick|Profile Saved");
  EXPECT_EQ(sites::ReadProfile("fresh.Tidewick").password, "");
  EXPECT_FALSE(remove->isEnabled()) << "Save leaves Delete disabled";
  EXPECT_EQ(child<QTreeWidget>(&d, "TView1")->topLevelItem(0)->childCount(), 3);

  // A name that cannot be a file is refused with a message; nothing is written.
  type(&d, "txtSiteName", "a/b");
  child<QPushButton>(&d, "cmdSaveSite")->click();
  EXPECT_TRUE(prompts.messages().back().contains("cannot contain \"/\""));
  type(&d, "txtSiteName", "secret");
  child<QRadioButton>(&d, "optNormal")->click();
  type(&d, "txtPassword", QString("a") + QChar(3));
  child<QPushButton>(&d, "cmdSaveSite")->click();
  EXPECT_TRUE(prompts.messages().back().contains("The password holds a control character"));
  EXPECT_EQ(sites::ListProfiles().size(), 3);

  // Delete with the Delete key in the tree, after confirming.
  select(&d, "work.Tidewick");
  prompts.messageAnswers.push_back(UserPrompts::No);
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  auto* tree = child<QTreeWidget>(&d, "TView1");
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(tree, &release);
  EXPECT_EQ(prompts.messages().back(), "Tidewick|Are you sure you want to delete this profile: work.Tidewick?");
  EXPECT_EQ(sites::ListProfiles().size(), 3) << "No keeps the file";
  QApplication::sendEvent(tree, &release);
  EXPECT_EQ(sites::ListProfiles(), (QStringList{"anon site.Tidewick", "fresh.Tidewick"}));
}

} // namespace
