// The question about a server nobody vouches for, as the user sees it: every part of the text is
// there, a fingerprint reads as one value in even fixed-width groups, and each button answers
// what it says.
#include "ui/CertificateTrust.h"
#include "ui/TrustQuestion.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace {

using tidewick::ui::TrustQuestion;

QString pairs(int count, int from) {
  QStringList out;
  for (int i = 0; i < count; ++i)
    out << QStringLiteral("%1").arg((from + i * 7) % 256, 2, 16, QLatin1Char('0')).toUpper();
  return out.join(':');
}

QString shownText(const QWidget& dialog) {
  QStringList texts;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
  return texts.join('\n');
}

TEST(TrustQuestion, AChangedCertificateShowsBothFingerprintsWholeAndReadable) {
  tidewick::ftp::CertificateInfo certificate;
  certificate.host = "::1";
  certificate.port = 990;
  certificate.subject = "CN=ftp.example.org,O=Example";
  certificate.issuer = "CN=Example CA";
  certificate.validFrom = QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC);
  certificate.validUntil = QDateTime(QDate(2027, 1, 2), QTime(3, 4), Qt::UTC);
  certificate.sha256 = pairs(32, 1);
  certificate.problems = {"The certificate is self-signed"};
  const QString trusted = pairs(32, 100);
  const QString text = tidewick::ui::CertificateQuestionText(certificate, trusted);

  TrustQuestion question(nullptr, "Tidewick [Query]", text, true);
  const QString shown = shownText(question);
  for (const QString& line : text.split('\n')) {
    const QString value = line.section(": ", -1).trimmed();
    if (TrustQuestion::isFingerprint(value)) continue;
    EXPECT_TRUE(shown.contains(value)) << "lost: " << line.toStdString();
  }

  for (const auto& [name, fingerprint] :
       {std::pair{"lblFingerprint", certificate.sha256}, {"lblFingerprint2", trusted}}) {
    const QLabel* label = question.findChild<QLabel*>(name);
    ASSERT_TRUE(label) << name;
    EXPECT_TRUE(QFontInfo(label->font()).fixedPitch());
    EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
    const QStringList lines = label->text().split('\n');
    ASSERT_EQ(lines.size(), 2) << label->text().toStdString();
    EXPECT_EQ(lines[0].size(), lines[1].size() + 1) << "sixteen pairs a line, the first ending in its colon";
    EXPECT_EQ(lines.join(QString()), fingerprint);
  }
  // An SSH fingerprint is short enough for one line.
  const QString ssh = "SHA256:n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg";
  EXPECT_TRUE(TrustQuestion::isFingerprint(ssh));
  EXPECT_EQ(TrustQuestion::fingerprintLines(ssh), ssh);
  EXPECT_FALSE(TrustQuestion::isFingerprint("2026-01-02 03:04 UTC"));
}

TEST(TrustQuestion, EachButtonAnswersWhatItSaysAndEscapeCancels) {
  const QString text = QStringLiteral(
      "The SSH server h:22 is not known yet.\n\nKey type: ssh-ed25519\n"
      "SHA-256 fingerprint: SHA256:n4bQgYhMfWWaL+qgxVrQFaO/TxsrC4Is0V1sFbDwCgg");
  using enum TrustQuestion::Answer;
  for (const auto& [button, answer] :
       {std::pair{"cmdTrustOnce", TrustOnce}, {"cmdAlwaysTrust", AlwaysTrust}, {"cmdCancel", Cancel}}) {
    TrustQuestion question(nullptr, "Tidewick [Query]", text, false);
    question.show();
    auto* pressed = question.findChild<QPushButton*>(button);
    ASSERT_TRUE(pressed) << button;
    QTest::mouseClick(pressed, Qt::LeftButton);
    EXPECT_TRUE(question.isHidden());
    EXPECT_EQ(question.answer(), answer) << button;
  }
  TrustQuestion question(nullptr, "Tidewick [Query]", text, false);
  question.show();
  EXPECT_TRUE(question.findChild<QPushButton*>("cmdCancel")->isDefault());
  QTest::keyClick(&question, Qt::Key_Escape);
  EXPECT_EQ(question.answer(), Cancel);
  EXPECT_EQ(question.result(), QDialog::Rejected);
}

} // namespace
