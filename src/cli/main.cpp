#include "clirun.h"

#include "nr3.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    // Standard output carries the reports, which a library error line would break.
    nrerrfile = stderr;
    return runCli(app.arguments(), stdout, stderr);
}
