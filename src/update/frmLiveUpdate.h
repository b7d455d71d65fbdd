#pragma once
// The upgrade check: a four-page wizard that checks the internet connection, fetches the maker's
// one-line version file over anonymous FTP and says whether a newer release exists. It downloads
// nothing else; when there is one, it only offers to open the maker's web site.
//
// Pages: 1 start, 2 about to check the connection, 3 the connection's answer, 4 the version's
// answer. Next on the last page (captioned "Finish") closes the wizard.

#include "update/InternetConnection.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace tidewick::ftp {
class QuickFtp;
}
namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::update {

// The window keeps the name the window contract gives it, as do its controls.
class frmLiveUpdate : public QDialog {
  Q_OBJECT

public:
  frmLiveUpdate(ui::UserPrompts& prompts, ConnectionProbe probe, QWidget* parent = nullptr);
  ~frmLiveUpdate() override;

  // The caption, page 1 and the stored placement.
  void Load();
  int page() const { return m_page; }

  // True when the maker's version file names another release than this one. Fetches the file into
  // VersionFilePath(); a failure to fetch or read it is shown and closes the wizard.
  bool CheckForUpgrade();

  // Where the maker keeps the version file, and where its copy goes.
  static QString RemoteVersionFile() { return QStringLiteral("/incoming/TidewickUpdate.txt"); }
  static QString VersionFilePath();
  // The last line of a version file, read as text with any line ends: a file that ends with an
  // empty line (or is empty) gives the empty text.
  static QString LastLine(const QByteArray& contents);

  QLabel* lblCaption = nullptr;
  QLabel* lblInfo = nullptr;
  QLabel* lblEnd = nullptr;
  QPushButton* cmdBack = nullptr;
  QPushButton* cmdNext = nullptr;
  QPushButton* cmdCancel = nullptr;
  QPushButton* cmdVisitWebSite = nullptr;
  QLabel* imgLogo = nullptr;
  ftp::QuickFtp* LiveUpdateQuickFtp = nullptr;

public Q_SLOTS:
  void done(int result) override;

private:
  void ShowPage();
  void cmdNext_Click();
  void cmdBack_Click();
  void cmdVisitWebSite_Click();
  void ShowMessage(const QString& text);
  void SetPage(const QString& caption, const QString& info, const QString& end);

  ui::UserPrompts& m_prompts;
  ConnectionProbe m_probe;
  int m_page = 0;
  bool m_checking = false;
  bool m_closed = false;
};

} // namespace tidewick::update
