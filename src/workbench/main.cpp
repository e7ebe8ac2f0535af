#include "mainwindow.h"
#include "startoptions.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool asked(int argc, char **argv, const char *shortName, const char *longName)
{
    for (int k = 1; k < argc; k++)
        if (std::strcmp(argv[k], shortName) == 0 || std::strcmp(argv[k], longName) == 0)
            return true;
    return false;
}

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// Without a display, Qt would abort with a core dump; a platform named by
// the user (QT_QPA_PLATFORM, -platform) is theirs to answer for.
bool hasDisplay(int argc, char **argv)
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM") ||
           asked(argc, argv, "-platform", "--platform");
}

} // namespace

int main(int argc, char *argv[])
{
    if (asked(argc, argv, "-h", "--help")) {
        std::fputs(tavrin::startHelp().toUtf8().constData(), stdout);
        return 0;
    }
    if (asked(argc, argv, "-v", "--version")) {
        std::printf("tavrin-workbench %s\n", TAVRIN_VERSION);
        return 0;
    }
    if (!hasDisplay(argc, argv)) {
        std::fprintf(
            stderr,
            "tavrin-workbench: needs a graphical display (none is set in DISPLAY or "
            "WAYLAND_DISPLAY); without one, use tavrin-cli, for example: tavrin-cli --hm 48 data.txt\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tavrin"));
    QApplication::setApplicationName(QStringLiteral("tavrin-workbench"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QString problem;
    const std::optional<tavrin::StartOptions> options = tavrin::parseStartOptions(app.arguments(), &problem);
    if (!options) {
        std::fprintf(stderr, "tavrin-workbench: %s\n", problem.toUtf8().constData());
        return 2;
    }
    tavrin::MainWindow window;
    if (options->hm)
        window.setHmSource(*options->hm);
    if (options->fit)
        window.setFit(*options->fit);
    window.show();
    if (!options->file.isEmpty())
        window.open(options->file, options->log);
    if (!options->port.isEmpty())
        window.startCapture(options->port);
    return app.exec();
}
