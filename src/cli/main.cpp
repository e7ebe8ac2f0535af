#include "clirun.h"
#include "partloader.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    using namespace tavrin;
    // A closed pipe on standard output is a write error to end on, not a signal to die of.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    if (const char *argument = undecodableArgument(argc, argv)) {
        QString shown;
        for (const char *c = argument; *c; c++)
            shown += uchar(*c) < 0x80 && uchar(*c) >= 0x20
                         ? QString(QChar(*c))
                         : QStringLiteral("\\x%1").arg(uchar(*c), 2, 16, QChar('0'));
        std::fprintf(stderr, "tavrin-cli: \"%s\" is not valid UTF-8 (%s); name the file in UTF-8.\n",
                     qUtf8Printable(shown), std::strerror(EILSEQ));
        return WrongCommandLine;
    }
    QStringList arguments;
    for (int k = 0; k < argc; k++)
        arguments << QFile::decodeName(argv[k]);
    const Expected<CommandLine> command = parseCommandLine(arguments);
    Parts parts;
    if (command) {
        const Expected<Parts> loaded = loadParts(*command);
        if (!loaded) {
            std::fprintf(stderr, "tavrin-cli: %s\n", qUtf8Printable(loaded.error()));
            return Refused;
        }
        parts = *loaded;
    }
    // Qt Core alone starts in a few milliseconds; Qt Gui, which a figure
    // needs, takes several more, so only a run that draws pays for it.
    const std::unique_ptr<QCoreApplication> app(parts.drawing ? parts.drawing->startApplication(argc, argv)
                                                              : new QCoreApplication(argc, argv));
    return runCli(command, parts, stdout, stderr);
}
