#pragma once
// The File Exists dialog: shown while a transfer runs, when a file to be transferred exists at the
// target with another size or date. The transfer fills in the two lines, shows it modally and
// reads the answer afterwards; the dialog knows nothing about files.
//
// Its buttons hide it rather than close it, so "Apply To All" keeps its mark from one showing to
// the next. Only the close box unloads it: that answers Cancel and saves its placement, and the
// next conflict loads a fresh dialog with the box clear.

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tidewick::ui {
class ControlResizer;
}

namespace tidewick::transfer {

// The window and its controls keep the names the dialog contract gives them.
class frmExist : public QDialog {
  Q_OBJECT

public:
  // The answers, as the numbers callers have always read.
  enum Answer : int { Overwrite = 0, Resume = -1, Cancel = -2, Skip = -3 };

  explicit frmExist(QWidget* parent = nullptr);
  // Unloads (saves the placement) unless the close box did so already.
  ~frmExist() override;

  // The answer of the last showing, and whether it holds for the rest of the run.
  int answer() const { return m_answer; }
  bool applyToAll() const { return m_applyToAll; }
  // True once the close box has unloaded the dialog; it is then not shown again.
  bool unloaded() const { return m_unloaded; }
  // Marks the start of a showing; answeredThisShowing() tells whether a button or the close box
  // ended it.
  void BeginShowing() { m_answered = false; }
  bool answeredThisShowing() const { return m_answered; }

  QLabel* Label1 = nullptr;
  QLabel* lblSource = nullptr;
  QLabel* lblDestination = nullptr;
  QLabel* imgSource = nullptr;
  QLabel* imgDestination = nullptr;
  QPushButton* cmdOverwrite = nullptr;
  QPushButton* cmdResume = nullptr;
  QPushButton* cmdSkip = nullptr;
  QPushButton* cmdCancel = nullptr;
  QCheckBox* chkAll = nullptr;

public Q_SLOTS:
  // Escape is the Cancel button.
  void reject() override;

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void Answered(int answer);
  void Unload();

  int m_answer = Overwrite;
  bool m_applyToAll = false;
  bool m_unloaded = false;
  bool m_answered = false;
  std::unique_ptr<ui::ControlResizer> m_resizer;
};

} // namespace tidewick::transfer
