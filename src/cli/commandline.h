// The command line of tavrin-cli: its options, help and validation.
#ifndef TAVRIN_CLI_COMMANDLINE_H
#define TAVRIN_CLI_COMMANDLINE_H

#include <QString>
#include <QStringList>

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
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Wrong;
    CliOptions options;
    QString text; ///< the help, the version line, or what is wrong
};

/// Parses the arguments, program name first. Checks the form of every option
/// but touches no file.
CommandLine parseCommandLine(const QStringList &arguments);

#endif
