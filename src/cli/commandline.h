// The command line of tavrin-cli: its options, help and validation.
#ifndef TAVRIN_CLI_COMMANDLINE_H
#define TAVRIN_CLI_COMMANDLINE_H

#include "expected.h"

#include <QString>
#include <QStringList>

namespace tavrin {

struct CliOptions {
    double hm = 0.0;
    QStringList files;
    QString output; ///< parameters file, or folder with several files; empty for none
    QString apply;  ///< calibrated measurements file, or folder; empty for none
    bool json = false;
    bool exportC = false;
    int resamples = 0; ///< bootstrap resamples for --uncertainty; 0 for none
    QString plot;      ///< figure to draw, .png or .svg; empty for none
};

struct CommandLine {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    CliOptions options;
};

/// Parses the arguments, program name first. Checks the form of every option
/// but touches no file; the failure says what is wrong and how to get help.
Expected<CommandLine> parseCommandLine(const QStringList &arguments);

/// The text of --help; it names the program, so it wants the application object.
QString helpText();

} // namespace tavrin

#endif
