// The workbench's command line: what to open and how, checked before the
// window shows.
#ifndef TAVRIN_WORKBENCH_STARTOPTIONS_H
#define TAVRIN_WORKBENCH_STARTOPTIONS_H

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

/// The options of the arguments, program name first; empty with the
/// problem when they are wrong.
std::optional<StartOptions> parseStartOptions(const QStringList &arguments, QString *problem);

/// The text of --help.
QString startHelp();

} // namespace tavrin

#endif
