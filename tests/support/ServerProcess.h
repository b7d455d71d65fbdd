#pragma once

#include <gtest/gtest.h>

#include <QFileDevice>
#include <QProcess>

#include <memory>

namespace tidewick::test {

// For the server fixtures that run a program which cannot report a port it chose.

// A port that was free on 127.0.0.1 a moment ago; 0 when none could be had.
quint16 freeLoopbackPort();

// Waits up to 10 s for `process` to accept connections on 127.0.0.1:`port`; fails with what it
// printed when it stops first.
::testing::AssertionResult waitUntilListening(QProcess& process, quint16 port, const char* name);

// Starts `program` in `process`, then waits as waitUntilListening(); stops it again on failure.
::testing::AssertionResult startListening(std::unique_ptr<QProcess>& process, const QString& program,
                                          const QStringList& arguments, quint16 port, const char* name);

// Asks the process to end, kills it when it does not, and forgets it.
void stopServer(std::unique_ptr<QProcess>& process);

// Runs a helper program to its end with `input` on its standard input; true when it exited with 0.
// Its output, both channels, goes to `output` when given.
bool runProgram(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
                const QByteArray& input = {});

// Writes a whole file and gives it `permissions`.
bool writeTextFile(const QString& path, const QByteArray& text,
                   QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner);

} // namespace tidewick::test
