#pragma once
// Every question the program asks the user goes through here: message boxes, input prompts, file
// dialogs and the modal showing of our own dialogs. The Qt implementation shows real dialogs; tests
// use a scripted one that records what was asked and answers from a queue.

#include <QString>

class QDialog;
class QWidget;

namespace tidewick::ui {

class UserPrompts {
public:
  enum Button {
    NoButton = 0,
    Ok = 0x1,
    Cancel = 0x2,
    Yes = 0x4,
    No = 0x8,
    Abort = 0x10,
    Retry = 0x20,
    Ignore = 0x40,
  };
  enum Buttons {
    OkOnly = Ok,
    OkCancel = Ok | Cancel,
    YesNo = Yes | No,
    YesNoCancel = Yes | No | Cancel,
    RetryCancel = Retry | Cancel,
    AbortRetryIgnore = Abort | Retry | Ignore
  };
  enum class Icon { None, Information, Warning, Critical, Question };
  enum class CertificateAnswer { Cancel, TrustOnce, AlwaysTrust };

  virtual ~UserPrompts() = default;

  // A message box; returns the button pressed (Cancel, or No when there is no Cancel, when closed).
  virtual Button message(QWidget* parent, const QString& title, const QString& text, int buttons, Icon icon) = 0;

  // A one-line input prompt; returns the empty text when cancelled.
  virtual QString input(QWidget* parent, const QString& title, const QString& prompt,
                        const QString& defaultText = QString()) = 0;
  // The same for a password: what is typed is masked. Every password question goes here.
  virtual QString passwordInput(QWidget* parent, const QString& title, const QString& prompt) = 0;

  // File dialogs; the empty text when cancelled.
  virtual QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                               const QString& filter = QString()) = 0;
  virtual QString saveFileName(QWidget* parent, const QString& title, const QString& folder,
                               const QString& filter = QString()) = 0;
  virtual QString existingFolder(QWidget* parent, const QString& title, const QString& folder) = 0;

  // Shows one of our dialogs modally and returns its result (QDialog::Accepted or Rejected).
  virtual int showModal(QDialog* dialog) = 0;

  // The question about a server certificate nobody vouches for: "Trust once", "Always trust" or
  // "Cancel" (also when the box is closed; it is the default).
  virtual CertificateAnswer certificate(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;

  // Shorthands for the common boxes.
  void notice(QWidget* parent, const QString& title, const QString& text, Icon icon = Icon::Information) {
    message(parent, title, text, OkOnly, icon);
  }
  bool confirm(QWidget* parent, const QString& title, const QString& text) {
    return message(parent, title, text, YesNo, Icon::Question) == Yes;
  }
};

// The real dialogs.
class QtUserPrompts final : public UserPrompts {
public:
  Button message(QWidget* parent, const QString& title, const QString& text, int buttons, Icon icon) override;
  QString input(QWidget* parent, const QString& title, const QString& prompt, const QString& defaultText) override;
  QString passwordInput(QWidget* parent, const QString& title, const QString& prompt) override;
  QString openFileName(QWidget* parent, const QString& title, const QString& folder, const QString& filter) override;
  QString saveFileName(QWidget* parent, const QString& title, const QString& folder, const QString& filter) override;
  QString existingFolder(QWidget* parent, const QString& title, const QString& folder) override;
  int showModal(QDialog* dialog) override;
  CertificateAnswer certificate(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
};

} // namespace tidewick::ui
