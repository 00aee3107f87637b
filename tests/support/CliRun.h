// Runs kelvra-cli as a user would, and keeps what it said.
#pragma once

#include <QString>
#include <QStringList>

namespace kelvra::test {

struct CliRun {
    int exitCode = -1;  // -1: it did not finish within a minute
    QString out, err;
};

CliRun runCli(const QStringList& args);

}  // namespace kelvra::test
