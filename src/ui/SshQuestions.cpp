#include "ui/SshQuestions.h"

#include "ui/UserPrompts.h"

#include <QStringList>

namespace tidewick::ui {

namespace {

const QString kQuery = QStringLiteral("Tidewick [Query]");

QString server(const QString& host, int port) {
  const QString name = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
  return name + QLatin1Char(':') + QString::number(port);
}

} // namespace

QString HostKeyQuestionText(const ftp::HostKeyInfo& key) {
  QStringList lines;
  lines << QStringLiteral("The SSH server %1 is not known yet: its host key is not in %2.")
               .arg(server(key.host, key.port), key.knownHostsFile)
        << QString() << QStringLiteral("Key type: ") + key.keyType
        << QStringLiteral("SHA-256 fingerprint: ") + key.fingerprint << QString()
        << QStringLiteral(
               "Compare the fingerprint with the one the server's administrator gives you. Trust once connects "
               "this time only; Always trust adds the key to %1.")
               .arg(key.knownHostsFile);
  return lines.join(QLatin1Char('\n'));
}

ftp::HostKeyAnswer DecideHostKey(UserPrompts& prompts, QWidget* parent, const ftp::HostKeyInfo& key) {
  switch (prompts.certificate(parent, kQuery, HostKeyQuestionText(key), UserPrompts::Icon::Warning)) {
    case UserPrompts::CertificateAnswer::AlwaysTrust: return ftp::HostKeyAnswer::AlwaysTrust;
    case UserPrompts::CertificateAnswer::TrustOnce: return ftp::HostKeyAnswer::TrustOnce;
    case UserPrompts::CertificateAnswer::Cancel: break;
  }
  return ftp::HostKeyAnswer::Cancel;
}

std::optional<QString> AskSecret(UserPrompts& prompts, QWidget* parent, const ftp::SecretRequest& request) {
  QString answer;
  if (request.kind == ftp::SecretRequest::Kind::Passphrase) {
    answer = prompts.passwordInput(parent, QStringLiteral("SSH Key Passphrase"),
                                   QStringLiteral("Passphrase for the key %1:").arg(request.title));
  } else {
    const QString title = request.title.isEmpty() ? QStringLiteral("SSH Login") : request.title;
    QString prompt = request.prompt.isEmpty() ? QStringLiteral("Answer:") : request.prompt;
    if (!request.instruction.isEmpty()) prompt = request.instruction + QLatin1Char('\n') + prompt;
    answer = request.echo ? prompts.input(parent, title, prompt) : prompts.passwordInput(parent, title, prompt);
  }
  if (answer.isEmpty()) return std::nullopt;
  return answer;
}

} // namespace tidewick::ui
