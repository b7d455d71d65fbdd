#pragma once

#include "ftp/FtpTypes.h"

#include <QString>

#include <stdexcept>

namespace tidewick::ftp {

// A failed operation inside the worker thread. It never leaves the worker: the job runner turns it
// into a plain result, and the facade raises FtpFailure in the caller's thread.
class FtpError : public std::runtime_error {
public:
  FtpError(FailureKind kind, const QString& description)
      : std::runtime_error(description.toStdString()), m_kind(kind), m_description(description) {}

  FailureKind kind() const { return m_kind; }
  const QString& description() const { return m_description; }

private:
  FailureKind m_kind;
  QString m_description;
};

} // namespace tidewick::ftp
