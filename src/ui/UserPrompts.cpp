#include "ui/UserPrompts.h"

#include "ui/TrustQuestion.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tidewick::ui {

UserPrompts::Button QtUserPrompts::message(QWidget* parent, const QString& title, const QString& text, int buttons,
                                           Icon icon) {
  QMessageBox box(parent);
  box.setWindowTitle(title);
  box.setText(text);
  switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
  }
  struct Map {
    Button ours;
    QMessageBox::StandardButton qt;
  };
  static const Map map[] = {{Ok, QMessageBox::Ok},        {Cancel, QMessageBox::Cancel}, {Yes, QMessageBox::Yes},
                            {No, QMessageBox::No},        {Abort, QMessageBox::Abort},   {Retry, QMessageBox::Retry},
                            {Ignore, QMessageBox::Ignore}};
  QMessageBox::StandardButtons standard;
  for (const Map& m : map)
    if (buttons & m.ours) standard |= m.qt;
  if (!standard) standard = QMessageBox::Ok;
  box.setStandardButtons(standard);
  if (buttons & Cancel) box.setEscapeButton(QMessageBox::Cancel);
  else if (buttons & No) box.setEscapeButton(QMessageBox::No);
  const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
  for (const Map& m : map)
    if (m.qt == pressed) return m.ours;
  if (buttons & Cancel) return Cancel;
  if (buttons & No) return No;
  return Ok;
}

QString QtUserPrompts::input(QWidget* parent, const QString& title, const QString& prompt, const QString& defaultText) {
  bool ok = false;
  QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
  return ok ? text : QString();
}

QString QtUserPrompts::passwordInput(QWidget* parent, const QString& title, const QString& prompt) {
  bool ok = false;
  QString text = QInputDialog::getText(parent, title, prompt, QLineEdit::Password, QString(), &ok);
  return ok ? text : QString();
}

QString QtUserPrompts::openFileName(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, folder, filter);
}

QString QtUserPrompts::saveFileName(QWidget* parent, const QString& title, const QString& folder,
                                    const QString& filter) {
  return QFileDialog::getSaveFileName(parent, title, folder, filter);
}

QString QtUserPrompts::existingFolder(QWidget* parent, const QString& title, const QString& folder) {
  return QFileDialog::getExistingDirectory(parent, title, folder);
}

int QtUserPrompts::showModal(QDialog* dialog) { return dialog->exec(); }

UserPrompts::CertificateAnswer QtUserPrompts::certificate(QWidget* parent, const QString& title, const QString& text,
                                                          Icon icon) {
  TrustQuestion question(parent, title, text, icon == Icon::Critical);
  question.exec();
  switch (question.answer()) {
    case TrustQuestion::Answer::TrustOnce: return CertificateAnswer::TrustOnce;
    case TrustQuestion::Answer::AlwaysTrust: return CertificateAnswer::AlwaysTrust;
    case TrustQuestion::Answer::Cancel: break;
  }
  return CertificateAnswer::Cancel;
}

} // namespace tidewick::ui
