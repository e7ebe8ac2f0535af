#include "clirun.h"
#include "figures.h"

#include "nr3.h"

#include <QCoreApplication>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
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
    return runCli(QCoreApplication::arguments(), stdout, stderr);
}
