#pragma once
// The questions an SFTP connection puts to the user. An SSH server whose host key is not in
// ~/.ssh/known_hosts shows its key type and SHA-256 fingerprint: Trust once, Always trust (the
// engine adds the key to known_hosts) or Cancel. A key that differs from the known one is refused
// by the engine without a question. A key file's passphrase and the server's keyboard-interactive
// prompts are asked for masked, unless the server says the answer may be shown. Without a user
// (the headless queue runner) nothing is answered and the connection fails saying why.

#include "ftp/SshTypes.h"

#include <QObject>
#include <QString>

#include <optional>

class QWidget;

namespace tidewick::ui {

class UserPrompts;

QString HostKeyQuestionText(const ftp::HostKeyInfo& key);
ftp::HostKeyAnswer DecideHostKey(UserPrompts& prompts, QWidget* parent, const ftp::HostKeyInfo& key);
// Nothing when the user cancelled or typed nothing.
std::optional<QString> AskSecret(UserPrompts& prompts, QWidget* parent, const ftp::SecretRequest& request);

// Answers an FTP component's HostKeyUnknown and SecretRequired (FtpClient's or QuickFtp's) through
// `prompts` for as long as the component lives.
template <typename FtpComponent>
void AnswerSshQuestions(FtpComponent& ftp, UserPrompts& prompts, QWidget* parent) {
  QObject::connect(
      &ftp, &FtpComponent::HostKeyUnknown, &ftp,
      [&prompts, parent](const ftp::HostKeyInfo& key, int& answer) {
        answer = static_cast<int>(DecideHostKey(prompts, parent, key));
      },
      Qt::DirectConnection);
  QObject::connect(
      &ftp, &FtpComponent::SecretRequired, &ftp,
      [&prompts, parent](const ftp::SecretRequest& request, QString& answer, bool& given) {
        const std::optional<QString> secret = AskSecret(prompts, parent, request);
        given = secret.has_value();
        if (secret) answer = *secret;
      },
      Qt::DirectConnection);
}

} // namespace tidewick::ui
