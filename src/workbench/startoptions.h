// The workbench's command line: what to open and how, checked before the
// window shows.
#ifndef TAVRIN_WORKBENCH_STARTOPTIONS_H
#define TAVRIN_WORKBENCH_STARTOPTIONS_H

#include "expected.h"
#include "hmsource.h"
#include "logreader.h"
#include "robustfit.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

struct StartOptions {
    std::optional<HmSource> hm;
    std::optional<LogFormat> log;
    std::optional<FitModel> fit;
    QString file;
    QString port; ///< capture from this source at once, in place of a file
};

/// The options of the arguments, program name first, read as tavrin-cli
/// reads the options it shares; when they are wrong, the words that refuse
/// them, as tavrin-cli words them after its name, and exit status
/// WrongCommandLineStatus.
Expected<StartOptions> parseStartOptions(const QStringList &arguments);

/// The text of --help.
QString startHelp();

} // namespace tavrin

#endif
