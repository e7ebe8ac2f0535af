#include "figures.h"

#include <QFileInfo>
#include <QLibrary>

#include <algorithm>
#include <cstring>

namespace {

QLibrary module; // loaded for the rest of the program
FigureApplicationFunction *makeApplication = nullptr;
WriteFigureFunction *writeFigure = nullptr;

QString programFolder(const char *program)
{
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    if (self.exists())
        return QFileInfo(self.canonicalFilePath()).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(program)).absolutePath();
}

} // namespace

bool Figures::asked(int argc, char **argv)
{
    return std::any_of(argv + 1, argv + argc,
                       [](const char *a) { return std::strncmp(a, "--plot", 6) == 0; });
}

QString Figures::load(const char *program)
{
    const QString folder = programFolder(program);
    QString why;
    for (const QString &place : {folder, folder + QStringLiteral("/../" TAVRIN_MODULE_DIR)}) {
        module.setFileName(place + QStringLiteral("/tavrin-figure"));
        if (module.load()) {
            makeApplication =
                reinterpret_cast<FigureApplicationFunction *>(module.resolve("tavrinFigureApplication"));
            writeFigure = reinterpret_cast<WriteFigureFunction *>(module.resolve("tavrinWriteFigure"));
            if (makeApplication && writeFigure)
                return {};
        }
        why = module.errorString();
    }
    return why;
}

QCoreApplication *Figures::application(int &argc, char **argv)
{
    return makeApplication(argc, argv);
}

bool Figures::write(const QString &path, const FigureData &data)
{
    return writeFigure && writeFigure(path, data);
}
