// Local folder access in a temporary tree.
#include "browse/LocalFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <map>

using namespace tidewick::browse;
using tidewick::ui::UserPrompts;

namespace {

struct Listing {
  std::map<QString, int> attributes;
  std::map<QString, qint64> sizes;
  QStringList paths;
  bool ok = false;
};

Listing list(LocalFileSystem& local, const QString& path, const QString& pattern = {}) {
  Listing out;
  auto a = QObject::connect(&local, &LocalFileSystem::entryListed,
                            [&](const QString& name, const QDateTime&, qint64 size, int attrib) {
                              out.attributes[name] = attrib;
                              out.sizes[name] = size;
                            });
  auto b = QObject::connect(&local, &LocalFileSystem::folderListed, [&](const QString& p) { out.paths << p; });
  out.ok = local.list(path, pattern);
  QObject::disconnect(a);
  QObject::disconnect(b);
  return out;
}

class LocalFiles : public ::testing::Test {
protected:
  void SetUp() override {
    root = temp.root() + "/tree/";
    temp.writeFile("tree/notes.txt", "hello");
    temp.writeFile("tree/.hidden.TXT", "");
    temp.writeFile("tree/photo.jpg", QByteArray(5000, 'x'));
    temp.writeFile("tree/docs.txt/inner", "folder named like a file");
    temp.writeFile("tree/Folder/a", "a");
    QFile::link(root + "missing", root + "dangling");
  }
  TempHome temp;
  ScriptedPrompts prompts;
  LocalFileSystem local{prompts, nullptr};
  QString root;
};

TEST_F(LocalFiles, ListsEveryEntryOnceWithoutDotRowsAndAPatternFiltersFoldersToo) {
  Listing l = list(local, root);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.attributes.size(), 6u);
  EXPECT_FALSE(l.attributes.count(".") || l.attributes.count(".."));
  EXPECT_EQ(l.attributes["Folder"] & kAttrFolder, kAttrFolder);
  EXPECT_EQ(l.attributes["notes.txt"] & kAttrFolder, 0);
  EXPECT_EQ(l.attributes[".hidden.TXT"] & kAttrHidden, kAttrHidden);
  EXPECT_EQ(l.attributes["dangling"], -1) << "unreadable attributes still list";
  EXPECT_EQ(l.sizes["photo.jpg"], 5000);
  EXPECT_EQ(l.paths, QStringList{root});

  l = list(local, root, "*.txt");
  ASSERT_TRUE(l.ok);
  QStringList names;
  for (const auto& [name, attrib] : l.attributes) names << name;
  EXPECT_EQ(names, (QStringList{".hidden.TXT", "docs.txt", "notes.txt"}));
  EXPECT_EQ(list(local, root, "*.*").attributes.size(), 6u);

  // A folder that cannot be read reports the failure and no path.
  for (const QString& bad : {root + "nope/", root + "notes.txt/"}) {
    l = list(local, bad);
    EXPECT_FALSE(l.ok);
    EXPECT_TRUE(l.paths.isEmpty());
  }
}

TEST_F(LocalFiles, ChangesReportTheirOwnFailures) {
  EXPECT_TRUE(local.createFolder(root + "new"));
  EXPECT_FALSE(local.createFolder(root + "new"));
  EXPECT_EQ(prompts.messages().back(), "Tidewick [Notice]|Cannot create " + root + "new");
  EXPECT_EQ(prompts.asked.back().buttons, UserPrompts::OkCancel);

  // Removing a folder with files and deleting a folder as a file are the file commands' tests.
  EXPECT_TRUE(local.removeFolder(root + "new"));

  // Renaming onto an existing name is refused and both files stay as they were.
  EXPECT_FALSE(local.rename(root + "photo.jpg", root + ".hidden.TXT"));
  EXPECT_EQ(QFile(root + "photo.jpg").size(), 5000);
  EXPECT_EQ(prompts.messages().back(), "Tidewick [Notice]|Cannot rename " + root + "photo.jpg");
  EXPECT_TRUE(local.rename(root + "photo.jpg", root + "Photo.jpg"));
  EXPECT_TRUE(QFile::exists(root + "Photo.jpg"));
}

TEST_F(LocalFiles, RootsComeFirstEachOnce) {
  QStringList roots;
  QObject::connect(&local, &LocalFileSystem::rootFound, [&](const QString& r) { roots << r; });
  local.listRoots();
  ASSERT_GE(roots.size(), 2);
  EXPECT_EQ(roots[0], "/");
  EXPECT_EQ(roots[1], QDir::homePath() + "/");
  EXPECT_EQ(roots.removeDuplicates(), 0);
  for (const QString& r : roots) EXPECT_TRUE(r.endsWith(QLatin1Char('/')));
}

} // namespace
