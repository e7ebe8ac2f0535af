// One run of tavrin-cli, from its command line to its exit status.
#ifndef TAVRIN_CLI_CLIRUN_H
#define TAVRIN_CLI_CLIRUN_H

#include "calibration.h"
#include "commandline.h"
#include "parts.h"
#include "sharedoptions.h"

#include <cstdio>

namespace tavrin {

enum ExitStatus {
    Calibrated = 0,
    Refused = 1,
    NumericalFailure = 2,
    WrongCommandLine = WrongCommandLineStatus
};

/// Calibrates every file, writes the outputs asked for, prints the reports
/// on out and every message on err; or prints the help, the version or what
/// is wrong with the command line. parts holds those the command needs.
int runCli(const Expected<CommandLine> &command, const Parts &parts, std::FILE *out, std::FILE *err);

/// The message a user reads for a file that failed: its name, the line where
/// it applies, the error's text and the system's reason.
QString failureMessage(const QString &path, const CalibrationRun &run);

} // namespace tavrin

#endif
