#pragma once

#include "ftp/FtpTypes.h"

#include <QString>

#include <stdexcept>

namespace tidewick::ftp {

// The failure an FtpClient or QuickFtp method raises in the caller's thread: a description meant
// for the log ("Error: " + description) and the kind of failure for code that must tell failures
// apart.
class FtpFailure : public std::runtime_error {
public:
  FtpFailure(QString description, FailureKind kind)
      : std::runtime_error(description.toStdString()), m_description(std::move(description)), m_kind(kind) {}

  const QString& description() const { return m_description; }
  FailureKind kind() const { return m_kind; }
  // The kind as the number shown in texts that give one (the abort notice, the runner's line for a
  // failure without a description).
  int number() const { return static_cast<int>(m_kind); }

private:
  QString m_description;
  FailureKind m_kind;
};

} // namespace tidewick::ftp
