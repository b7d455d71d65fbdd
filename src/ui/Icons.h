#pragma once
// The program's pictures: toolbar buttons, menu pictures and the file-type pictures of the panes.
//
// Every picture is drawn with QPainter on a 32-unit grid and scaled to whatever size is asked, so
// the set looks the same on any desktop, with or without an icon theme, at any screen density.

#include <QIcon>

namespace tidewick::ui {

enum class Glyph {
  App,
  Connect,
  Disconnect,
  Reconnect,
  Abort,
  Upload,
  Download,
  Send,    // local to remote
  Receive, // remote to local
  NewFolder,
  DeleteFolder,
  DeleteFile,
  Rename,
  Refresh,
  SyncToRemote,
  SyncToLocal,
  Exit,
  GoUp,
  Delete,
  ViewLargeIcons,
  ViewSmallIcons,
  ViewList,
  ViewDetails,
  Document,
  Save,
  Properties,
  FindFiles,
  Transfer,
  WindowButtons,
};

QIcon glyphIcon(Glyph glyph);

// The file-type pictures, by the panes' icon index: 1 picture, 2 web page, 3 text or document,
// 4 GIF picture, 5 script, 6 sound, 7 archive, 8 video, 9 program, 10 any other file, 11 folder.
// An index outside 1 to 11 gets the picture of index 10.
constexpr int kFileTypeIconCount = 11;
QIcon fileTypeIcon(int index);

} // namespace tidewick::ui
