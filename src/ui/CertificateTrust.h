#pragma once
// What to do with a server certificate that the system's certificate authorities or the host-name
// check do not vouch for. One the user chose to always trust for that server (host and port) goes
// without a word. Any other is put to the user with the reason, whom it names, who issued it, when
// it is valid and its SHA-256 fingerprint: Trust once, Always trust (stored for the host and port)
// or Cancel. A server that shows another certificate than the one always trusted for it is asked
// about again, and the question says loudly that the certificate changed. Without a user (the
// headless queue runner) only an always-trusted certificate goes.

#include "ftp/FtpTypes.h"

#include <QObject>
#include <QString>

class QWidget;

namespace tidewick::ui {

class UserPrompts;

// True to go on. `prompts` null means nobody can be asked; `refusal`, when given, then says why
// the certificate was refused and what to do about it.
bool DecideCertificate(UserPrompts* prompts, QWidget* parent, const ftp::CertificateInfo& certificate,
                       QString* refusal = nullptr);

// The question's text, as the user reads it.
QString CertificateQuestionText(const ftp::CertificateInfo& certificate, const QString& trustedSha256);

// Answers an FTP component's CertificateNotTrusted (FtpClient's or QuickFtp's) with DecideCertificate
// for as long as the component lives. `onRefusal`, when given, hears the refusal text of a headless
// decision.
template <typename FtpComponent, typename OnRefusal>
void AnswerCertificates(FtpComponent& ftp, UserPrompts* prompts, QWidget* parent, OnRefusal onRefusal) {
  QObject::connect(
      &ftp, &FtpComponent::CertificateNotTrusted, &ftp,
      [prompts, parent, onRefusal](const ftp::CertificateInfo& certificate, bool& trust) {
        QString refusal;
        trust = DecideCertificate(prompts, parent, certificate, &refusal);
        if (!trust && !refusal.isEmpty()) onRefusal(refusal);
      },
      Qt::DirectConnection);
}

template <typename FtpComponent>
void AnswerCertificates(FtpComponent& ftp, UserPrompts* prompts, QWidget* parent) {
  AnswerCertificates(ftp, prompts, parent, [](const QString&) {});
}

} // namespace tidewick::ui
