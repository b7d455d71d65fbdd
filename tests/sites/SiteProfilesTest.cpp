// Site profile files: the format on disk, files written by hand, and names that cannot be files.
#include "settings/Globals.h"
#include "sites/SiteProfiles.h"
#include "support/TempHome.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace sites = tidewick::sites;
using sites::SiteProfile;
using tidewick::settings::EncodeString;

namespace {

TEST(SiteProfiles, SaveWritesTheKeysInOrderWithOnlyTheSecretsOfSavePasswordSites) {
  TempHome temp;
  ASSERT_EQ(sites::SaveProfile({" Public mirror ", "ftp.example.org", "abc", "s3cret", "2121",
                                tidewick::settings::SiteSecurity::TlsRequired},
                               true),
            sites::SaveResult::Saved);
  const QString path = temp.home() + "Profiles/ Public mirror .Tidewick";
  ASSERT_TRUE(QFileInfo(path).isFile()) << "the name is used as typed, blanks included";
  EXPECT_EQ(TempHome::readFile(path),
            QByteArray("[PROFILE]\nsname=\" Public mirror \"\nadresa=ftp.example.org\nID=klm\npass=") +
                EncodeString("s3cret").toUtf8() + "\nport=2121\nsecurity=Require FTP over TLS\n")
      << "blanks at the ends are kept by quoting, which reading removes";
  EXPECT_FALSE(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup));

  const SiteProfile back = sites::ReadProfile(" Public mirror .Tidewick");
  EXPECT_EQ(back.siteName, " Public mirror ");
  EXPECT_EQ(back.host, "ftp.example.org");
  EXPECT_EQ(back.userName, "abc");
  EXPECT_EQ(back.password, "s3cret");
  EXPECT_EQ(back.port, "2121");
  EXPECT_EQ(back.security, tidewick::settings::SiteSecurity::TlsRequired);

  // Passwords are stored only for Save Password sites.
  sites::SaveProfile({"anon", "h", "anonymous", "me@example.org", "21"}, false);
  EXPECT_EQ(sites::ReadProfile("anon.Tidewick").password, "");
  EXPECT_TRUE(TempHome::readFile(temp.home() + "Profiles/anon.Tidewick").contains("\npass=\n"));

  // Saving again replaces the values of the one file; a new name makes a second file.
  sites::SaveProfile({"anon", "h2", "u", "p", "21"}, true);
  sites::SaveProfile({"other", "h3", {}, {}, {}}, true);
  EXPECT_EQ(sites::ReadProfile("anon.Tidewick").host, "h2");
  EXPECT_EQ(sites::ListProfiles(), (QStringList{" Public mirror .Tidewick", "anon.Tidewick", "other.Tidewick"}));
}

TEST(SiteProfiles, ReadsFilesWrittenByHand) {
  TempHome temp;
  // An older save: CRLF lines, a long host read whole, keys in another case, a value cut at a NUL.
  const QByteArray longHost(80, 'h');
  temp.writeFile("home/Profiles/Old Site.Tidewick", "[Profile]\r\nSNAME=Old Site\r\nadresa=" + longHost +
                                                        "\r\nid=klm\r\nPASS=" + QByteArray("zk}}\0trailing", 13) +
                                                        "\r\nport=21\r\n");
  temp.writeFile("home/Profiles/notes.txt", "not a profile");
  EXPECT_EQ(sites::ListProfiles(), QStringList{"Old Site.Tidewick"});
  const SiteProfile p = sites::ReadProfile("Old Site.Tidewick");
  EXPECT_EQ(p.siteName, "Old Site");
  EXPECT_EQ(p.host, QString::fromLatin1(longHost)) << "values are read whole";
  EXPECT_EQ(p.userName, "abc");
  EXPECT_EQ(p.password, "pass") << "cut at the first NUL, then decoded";
  EXPECT_EQ(p.security, tidewick::settings::SiteSecurity::Plain) << "written before the choice existed";

  // The choice in any case; one this version does not know never protects less than TLS required.
  const std::pair<QByteArray, tidewick::settings::SiteSecurity> choices[] = {
      {" implicit ftp over TLS ", tidewick::settings::SiteSecurity::TlsImplicit},
      {"sftp (ssh)", tidewick::settings::SiteSecurity::Sftp},
      {"SFTP over the moon", tidewick::settings::SiteSecurity::TlsRequired}};
  for (const auto& [stored, expected] : choices) {
    temp.writeFile("home/Profiles/s.Tidewick", "[PROFILE]\nadresa=h\nsecurity=" + stored + "\n");
    EXPECT_EQ(sites::ReadProfile("s.Tidewick").security, expected) << stored.constData();
  }

  const SiteProfile missing = sites::ReadProfile("gone.Tidewick");
  EXPECT_TRUE(missing.host.isEmpty() && missing.port.isEmpty());
}

TEST(SiteProfiles, NamesThatCannotBeFilesAreRefused) {
  TempHome temp;
  // 247 bytes and the extension pass the file system's 255.
  for (const QString& name :
       QStringList{"a/b", "   ", QString(), "x\ny", QString(247, QLatin1Char('n')), QString(123, QChar(0xE9)) + "nn"}) {
    EXPECT_FALSE(sites::SiteNameProblem(name).isEmpty()) << name.toStdString();
    EXPECT_EQ(sites::SaveProfile({name, "h", {}, {}, {}}, false), sites::SaveResult::BadSiteName);
  }
  EXPECT_TRUE(sites::SiteNameProblem("C:\\odd: but fine").isEmpty());
  EXPECT_TRUE(sites::ListProfiles().isEmpty());
  // 246 bytes fit, and the name comes back whole.
  const QString fits = QString(120, QChar(0xE9)) + QString(6, QLatin1Char('n'));
  EXPECT_TRUE(sites::SiteNameProblem(fits).isEmpty());
  ASSERT_EQ(sites::SaveProfile({fits, "h", {}, {}, {}}, false), sites::SaveResult::Saved);
  EXPECT_EQ(sites::ReadProfile(fits + sites::kProfileExtension).siteName, fits);
  // Deleting goes by listed file name only, never a path.
  const QString outside = temp.writeFile("home/victim.Tidewick", "x");
  EXPECT_FALSE(sites::DeleteProfile("../victim.Tidewick"));
  EXPECT_TRUE(QFile::exists(outside));
}

TEST(SiteProfiles, ASecretThatWouldBreakItsLineIsRefusedAndNothingWritten) {
  TempHome temp;
  // Encoded, U+0003 is CR and U+0000 is LF.
  const SiteProfile saved{"site", "h", "u", "p", "21"};
  ASSERT_EQ(sites::SaveProfile(saved, true), sites::SaveResult::Saved);
  const QString path = temp.home() + "Profiles/site.Tidewick";
  const QByteArray before = TempHome::readFile(path);
  SiteProfile badPassword = saved;
  badPassword.password = QString("pa") + QChar(3) + "ss";
  SiteProfile badUser = saved;
  badUser.userName = QString(QChar(0)) + "u";
  SiteProfile badHost = saved;
  badHost.host = "h\n[PROFILE]";
  for (const SiteProfile& bad : {badPassword, badUser, badHost}) {
    EXPECT_FALSE(sites::ProfileProblem(bad, true).isEmpty());
    EXPECT_EQ(sites::SaveProfile(bad, true), sites::SaveResult::BadField);
    EXPECT_EQ(TempHome::readFile(path), before);
    SiteProfile renamed = bad;
    renamed.siteName = "other";
    EXPECT_EQ(sites::SaveProfile(renamed, true), sites::SaveResult::BadField);
  }
  EXPECT_EQ(sites::ListProfiles(), QStringList{"site.Tidewick"});
  // An anonymous site stores no password, so its password cannot be in the way.
  EXPECT_EQ(sites::SaveProfile(badPassword, false), sites::SaveResult::Saved);
}

} // namespace
