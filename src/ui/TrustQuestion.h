#pragma once
// The window that asks whether to trust a server we cannot vouch for (a TLS certificate, an SSH
// host key). The question's text is laid out for reading: paragraphs wrap, a block of "Name: value"
// lines becomes a two-column table, and a fingerprint is set in a fixed-width font, broken into
// even groups, and can be selected and copied. The answers are Trust once, Always trust and
// Cancel; Cancel is the default and what closing the window means.

#include <QDialog>

class QAbstractButton;

namespace tidewick::ui {

class TrustQuestion : public QDialog {
public:
  enum class Answer { Cancel, TrustOnce, AlwaysTrust };

  // `critical` shows the stop sign instead of the warning triangle.
  TrustQuestion(QWidget* parent, const QString& title, const QString& text, bool critical);

  Answer answer() const { return m_answer; }

  // A fingerprint as it is shown: SHA-256 in hexadecimal pairs goes sixteen pairs to a line, each
  // line but the last keeping its trailing colon so that the lines read (and copy) as one value.
  static QString fingerprintLines(const QString& fingerprint);
  static bool isFingerprint(const QString& value);

private:
  Answer m_answer = Answer::Cancel;
};

} // namespace tidewick::ui
