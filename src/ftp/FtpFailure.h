#pragma once

#include <QString>

#include <stdexcept>

// The failure an FtpClient or QuickFtp method raises in the caller's thread: a description meant
// for the log ("Error: " + description) and a number for code that must tell failures apart
// (see tidewick::ftp::FailureKind; 58 is "the target name exists").
class FtpFailure : public std::runtime_error {
public:
  FtpFailure(QString description, int number)
      : std::runtime_error(description.toStdString()), m_description(std::move(description)), m_number(number) {}

  const QString& description() const { return m_description; }
  int number() const { return m_number; }

private:
  QString m_description;
  int m_number;
};
