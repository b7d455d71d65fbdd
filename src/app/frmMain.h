#pragma once
// The main window: owner of everything for the whole run. Load() runs the start sequence;
// closing the window (close box) runs the shutdown, and QuickExit() is the Exit command.

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>

class UserPrompts;

// Set by the main window's load and cleared when the user opens the splash window from the Help
// menu; the tip of the day reads it.
extern bool gStartupFlag;

// The public anonymous FTP server offered before the first connection.
inline constexpr const char* kDefaultHost = "ftp.gnu.org";

class frmMain : public QMainWindow {
  Q_OBJECT

public:
  // The connection data the connection dialog edits in place.
  struct ConnectionData {
    QString host;
    QString port = QStringLiteral("21");
    QString userName;
    QString password;
    bool anonymous = true;
  };

  frmMain(UserPrompts& prompts, QStringList commandLine, QWidget* parent = nullptr);
  ~frmMain() override;

  // The start sequence. Runs once, before the window is first shown.
  void Load();
  // True when "/STARTUP" asked for the window to stay hidden.
  bool StartsHidden() const { return m_startHidden; }

  // The Exit command: disconnect, release, remove the tray icon, end at once. The placement is
  // not saved on this way out.
  void QuickExit();

  // How the program ends; tests replace it.
  void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }

  UserPrompts& prompts() const { return m_prompts; }
  const QString& logFilePath() const { return m_logFilePath; }

  QString CurrentLocalFolder;
  QString CurrentRemoteFolder;
  ConnectionData Connection;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void ApplyLogFileRules();
  void CreateWorkingFolders();
  void ReleaseHelpers();
  void EndProgram();

  UserPrompts& m_prompts;
  QStringList m_commandLine;
  QString m_logFilePath;
  bool m_startHidden = false;
  bool m_ending = false;
  std::function<void()> m_endProgram;
};
