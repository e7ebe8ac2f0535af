#include "clirun.h"

#include <QFile>
#include <QGuiApplication>

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

QtMessageHandler qtHandler = nullptr;

// Without a desktop session Qt Gui warns that it has no runtime folder, which
// a figure drawn offscreen never needs; every other message passes.
void quietAboutRuntimeFolder(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        qtHandler(type, context, message);
}

// Qt Core alone starts in a few milliseconds; Qt Gui, which a figure needs,
// takes several more, so only a run that draws pays for it.
std::unique_ptr<QCoreApplication> application(bool drawing, int &argc, char **argv)
{
    if (!drawing)
        return std::make_unique<QCoreApplication>(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietAboutRuntimeFolder);
    return std::make_unique<QGuiApplication>(argc, argv);
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
    const std::unique_ptr<QCoreApplication> app =
        application(command && !command->options.plot.isEmpty(), argc, argv);
    return runCli(command, stdout, stderr);
}
