// One run of tavrin-cli, from its arguments to its exit status.
#ifndef TAVRIN_CLI_CLIRUN_H
#define TAVRIN_CLI_CLIRUN_H

#include <QStringList>

#include <cstdio>

enum ExitStatus { Calibrated = 0, Refused = 1, NumericalFailure = 2, WrongCommandLine = 64 };

/// Parses the arguments, calibrates every file, writes the outputs asked for,
/// prints the reports on out and every message on err.
int runCli(const QStringList &arguments, std::FILE *out, std::FILE *err);

#endif
