#include "browse/IconTable.h"

#include <initializer_list>

namespace tidewick::browse {

namespace {

struct Group {
  short index;
  std::initializer_list<const char*> extensions;
};

// Searched in this order; the first match wins. "vaw" is the table's own spelling, so .wav files
// fall through to "other".
const Group kGroups[] = {
    {kIconVideo, {"avi", "mpg", "mpeg", "mov"}},
    {kIconGif, {"gif"}},
    {kIconPicture, {"jpg", "jpeg", "jpe", "bmp", "tiff", "tif"}},
    {kIconWebPage, {"htm", "html", "xml", "asp", "shtml", "shtm"}},
    {kIconScript, {"js", "css", "cgi", "pl", "php", "php3", "php4"}},
    {kIconSound, {"mp3", "ram", "au", "vaw"}},
    {kIconArchive, {"zip", "arj"}},
    {kIconProgram, {"exe", "com", "bat"}},
    {kIconText, {"txt", "log", "doc", "rtf", "ftp", "ini", "dat", "xls"}},
};

} // namespace

short IconIndexForName(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString extension = (dot < 0 ? name : name.mid(dot + 1)).toLower();
  if (extension.isEmpty() || extension.size() > 5) return kIconOther;
  for (const Group& group : kGroups)
    for (const char* candidate : group.extensions)
      if (extension == QLatin1String(candidate)) return group.index;
  return kIconOther;
}

} // namespace tidewick::browse
