#pragma once
// What a file pane needs from the main window: the log, the status bar's action panel, the abort
// commands, the transfer requests, its context menu and the enabling of its commands. The main
// window fills these in; tests fill in recorders.

#include <QString>

#include <functional>

class QPoint;
class QWidget;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::browse {

struct PaneCommandStates {
  bool deleteFile = false;
  bool rename = false;
  bool removeFolder = false;
  bool transfer = false;    // download for the remote pane, upload for the local pane
  bool createFolder = true; // local pane only: always enabled
};

struct PaneServices {
  ui::UserPrompts* prompts = nullptr;
  QWidget* window = nullptr;
  std::function<void(const QString&)> DisplayMessage;
  std::function<void(const QString&)> UpdateAction;
  std::function<void(bool)> SetAbortEnabled;
  std::function<void()> SendSelection;
  std::function<void()> ReceiveSelection;
  std::function<void(const QPoint&)> PopupMenu;
  std::function<void(const PaneCommandStates&)> ApplyCommandStates;
};

} // namespace tidewick::browse
