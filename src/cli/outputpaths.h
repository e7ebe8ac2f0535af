// Where each input's outputs go, checked before anything is read or written.
#ifndef TAVRIN_CLI_OUTPUTPATHS_H
#define TAVRIN_CLI_OUTPUTPATHS_H

#include "commandline.h"
#include "expected.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

struct OutputPaths {
    QStringList
        parameters; ///< per input, the parameters file or the export; empty strings when -o is not given
    QStringList calibrated; ///< per input; empty strings when --apply is not given
    QStringList plots;      ///< per input; empty strings when --plot is not given
};

/// Resolves -o, --apply and --plot for every input, touching nothing. A path
/// naming a folder, or any path when there are several inputs, is a folder
/// that receives one file per input. Outputs that would overwrite an input
/// (through any link) or each other are wrong.
Expected<OutputPaths> planOutputs(const CliOptions &options);

/// Makes the output folders that planOutputs planned, where missing, and
/// gives them; the failure names the folder and the system's reason.
Expected<QStringList> makeOutputFolders(const CliOptions &options);

} // namespace tavrin

#endif
