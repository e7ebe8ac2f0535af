#include "displaycheck.h"
#include "mainwindow.h"
#include "sharedoptions.h"
#include "startarguments.h"
#include "startoptions.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (tavrin::asked(argc, argv, "-h", "--help")) {
        std::fputs(tavrin::startHelp().toUtf8().constData(), stdout);
        return 0;
    }
    if (tavrin::asked(argc, argv, "-v", "--version")) {
        std::printf("tavrin-workbench %s\n", TAVRIN_VERSION);
        return 0;
    }
    if (const tavrin::Expected<void> display = tavrin::checkDisplay("tavrin-workbench", argc, argv);
        !display) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(display.error()));
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tavrin"));
    QApplication::setApplicationName(QStringLiteral("tavrin-workbench"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    const tavrin::Expected<tavrin::StartOptions> options = tavrin::parseStartOptions(app.arguments());
    if (!options) {
        std::fprintf(stderr, "tavrin-workbench: %s\n", qUtf8Printable(options.error()));
        return tavrin::WrongCommandLineStatus;
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
