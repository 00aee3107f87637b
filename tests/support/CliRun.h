// Runs kelvra-cli as a user would, and keeps what it said.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kelvra::test {

struct CliRun {
    int exitCode = -1;  // -1: it did not finish within a minute
    QString out, err;
};

// With `environment` given, the program runs in it instead of the test's own.
CliRun runCli(const QStringList& args,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace kelvra::test
