#pragma once
// The file-type icon table: a name's extension picks one of ten file pictures. The panes read the
// index back (below 10 a file, 10 a link or unreadable entry, 11 a folder), so it is more than looks.

#include <QString>

namespace tidewick::browse {

enum IconIndex : short {
  kIconPicture = 1,
  kIconWebPage = 2,
  kIconText = 3,
  kIconGif = 4,
  kIconScript = 5,
  kIconSound = 6,
  kIconArchive = 7,
  kIconVideo = 8,
  kIconProgram = 9,
  kIconOther = 10,
  kIconFolder = 11,
};

// 1 to 10. The extension is the text after the last "." (the whole name when there is none),
// compared without case.
short IconIndexForName(const QString& name);

} // namespace tidewick::browse
