#pragma once
// UserPrompts for tests: records every question and answers from queues. A question with no queued
// answer gets the "cancel" answer (Cancel/No, empty text, a rejected dialog), so an unexpected
// question never blocks a test; check `asked` to see it.

#include "support/QtPrint.h"
#include "ui/UserPrompts.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class ScriptedPrompts final : public tidewick::ui::UserPrompts {
public:
  enum class Kind { Message, Input, Password, OpenFile, SaveFile, Folder, Modal, Certificate };
  struct Asked {
    Kind kind;
    QString title;
    QString text; // message text or input prompt; the dialog's objectName for Modal
    int buttons = 0;
    Icon icon = Icon::None;
  };

  std::vector<Asked> asked;
  std::deque<Button> messageAnswers;
  std::deque<QString> textAnswers; // input and password prompts and file dialogs, in order
  // Each modal dialog is handed to the next function, which may fill and press its controls; its
  // return value is the dialog's result.
  std::deque<std::function<int(QDialog*)>> modalAnswers;
  std::deque<CertificateAnswer> certificateAnswers;

  Button message(QWidget* parent, const QString& title, const QString& text, int buttons, Icon icon) override;
  QString input(QWidget* parent, const QString& title, const QString& prompt, const QString& defaultText) override;
  QString passwordInput(QWidget* parent, const QString& title, const QString& prompt) override;
  QString openFileName(QWidget* parent, const QString& title, const QString& folder, const QString& filter) override;
  QString saveFileName(QWidget* parent, const QString& title, const QString& folder, const QString& filter) override;
  QString existingFolder(QWidget* parent, const QString& title, const QString& folder) override;
  int showModal(QDialog* dialog) override;
  CertificateAnswer certificate(QWidget* parent, const QString& title, const QString& text, Icon icon) override;

  // The messages asked so far, as "title|text", for compact assertions.
  std::vector<QString> messages() const;
  void clear() { asked.clear(); }

private:
  QString nextText();
};
