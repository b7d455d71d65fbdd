#include "support/ScriptedPrompts.h"

#include <QDialog>

ScriptedPrompts::Button ScriptedPrompts::message(QWidget*, const QString& title, const QString& text, int buttons,
                                                 Icon icon) {
  asked.push_back({Kind::Message, title, text, buttons, icon});
  if (!messageAnswers.empty()) {
    Button answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }
  if (buttons & Cancel) return Cancel;
  if (buttons & No) return No;
  return Ok;
}

QString ScriptedPrompts::nextText() {
  if (textAnswers.empty()) return {};
  QString answer = textAnswers.front();
  textAnswers.pop_front();
  return answer;
}

QString ScriptedPrompts::input(QWidget*, const QString& title, const QString& prompt, const QString&) {
  asked.push_back({Kind::Input, title, prompt});
  return nextText();
}

QString ScriptedPrompts::passwordInput(QWidget*, const QString& title, const QString& prompt) {
  asked.push_back({Kind::Password, title, prompt});
  return nextText();
}

QString ScriptedPrompts::openFileName(QWidget*, const QString& title, const QString&, const QString&) {
  asked.push_back({Kind::OpenFile, title, {}});
  return nextText();
}

QString ScriptedPrompts::saveFileName(QWidget*, const QString& title, const QString&, const QString&) {
  asked.push_back({Kind::SaveFile, title, {}});
  return nextText();
}

QString ScriptedPrompts::existingFolder(QWidget*, const QString& title, const QString&) {
  asked.push_back({Kind::Folder, title, {}});
  return nextText();
}

int ScriptedPrompts::showModal(QDialog* dialog) {
  asked.push_back({Kind::Modal, dialog->windowTitle(), dialog->objectName()});
  if (modalAnswers.empty()) return QDialog::Rejected;
  auto answer = std::move(modalAnswers.front());
  modalAnswers.pop_front();
  return answer(dialog);
}

ScriptedPrompts::CertificateAnswer ScriptedPrompts::certificate(QWidget*, const QString& title, const QString& text,
                                                                Icon icon) {
  asked.push_back({Kind::Certificate, title, text, 0, icon});
  if (certificateAnswers.empty()) return CertificateAnswer::Cancel;
  const CertificateAnswer answer = certificateAnswers.front();
  certificateAnswers.pop_front();
  return answer;
}

std::vector<QString> ScriptedPrompts::messages() const {
  std::vector<QString> out;
  for (const Asked& a : asked)
    if (a.kind == Kind::Message) out.push_back(a.title + QLatin1Char('|') + a.text);
  return out;
}
