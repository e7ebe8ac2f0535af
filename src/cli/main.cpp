#include "clirun.h"
#include "figures.h"

#include "nr3.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <memory>

namespace {

// Arguments are decoded as UTF-8; a file name in another encoding would come
// back as another name, and the file would seem to be missing.
const char *undecodableArgument(int argc, char **argv)
{
    for (int k = 1; k < argc; k++)
        if (QFile::encodeName(QFile::decodeName(argv[k])) != argv[k])
            return argv[k];
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    // A closed pipe on standard output is a write error to end on, not a signal to die of.
    std::signal(SIGPIPE, SIG_IGN);
    std::unique_ptr<QCoreApplication> app;
    if (Figures::asked(argc, argv)) {
        const QString why = Figures::load(argv[0]);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "tavrin-cli: The figure module could not be loaded: %s\n",
                         qUtf8Printable(why));
            return Refused;
        }
        app.reset(Figures::application(argc, argv));
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    // Standard output carries the reports, which a library error line would break.
    nrerrfile = stderr;
    if (const char *argument = undecodableArgument(argc, argv)) {
        QString shown;
        for (const char *c = argument; *c; c++)
            shown += QChar(*c).unicode() < 0x80 && *c >= 0x20 ? QString(QChar(*c))
                                                                : QStringLiteral("\\x%1").arg(uchar(*c), 2, 16, QChar('0'));
        std::fprintf(stderr, "tavrin-cli: \"%s\" is not valid UTF-8 (%s); name the file in UTF-8.\n",
                     qUtf8Printable(shown), std::strerror(EILSEQ));
        return WrongCommandLine;
    }
    return runCli(QCoreApplication::arguments(), stdout, stderr);
}
