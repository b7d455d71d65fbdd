#include "browse/IconTable.h"

#include <gtest/gtest.h>

using namespace tidewick::browse;

TEST(IconTable, ExtensionsPickTheirGroup) {
  struct Case {
    const char* name;
    short index;
  };
  for (const Case& c :
       {Case{"Index.HTML", kIconWebPage}, Case{"archive.tar.gz", kIconOther}, Case{"photo.", kIconOther},
        Case{"README", kIconOther}, Case{"song.wav", kIconOther}, Case{"song.vaw", kIconSound},
        Case{"zip", kIconArchive}, Case{"movie.MPEG", kIconVideo}, Case{"a.b.GIF", kIconGif},
        Case{"setup.exe", kIconProgram}, Case{"notes.ftp", kIconText}, Case{".php4", kIconScript},
        Case{"scan.tif", kIconPicture}, Case{"", kIconOther}, Case{"x.jpg.", kIconOther},
        Case{"dir/with.dots/file", kIconOther}, Case{"Ünïcödé.TXT", kIconText}}) {
    EXPECT_EQ(IconIndexForName(QString::fromUtf8(c.name)), c.index) << c.name;
  }
}
