#pragma once

#include <gtest/gtest.h>

#include <QProcess>

#include <memory>

namespace tidewick::test {

// For the server fixtures that run a program which cannot report a port it chose.

// A port that was free on 127.0.0.1 a moment ago; 0 when none could be had.
quint16 freeLoopbackPort();

// Waits up to 10 s for `process` to accept connections on 127.0.0.1:`port`; fails with what it
// printed when it stops first.
::testing::AssertionResult waitUntilListening(QProcess& process, quint16 port, const char* name);

// Asks the process to end, kills it when it does not, and forgets it.
void stopServer(std::unique_ptr<QProcess>& process);

} // namespace tidewick::test
