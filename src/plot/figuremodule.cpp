#include "figuremodule.h"

#include <QGuiApplication>

namespace {

QtMessageHandler qtHandler = nullptr;

// Without a desktop session Qt Gui warns that it has no runtime folder, which
// a figure drawn offscreen never needs; every other message passes.
void quietAboutRuntimeFolder(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        qtHandler(type, context, message);
}

} // namespace

extern "C" Q_DECL_EXPORT QCoreApplication *tavrinFigureApplication(int &argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietAboutRuntimeFolder);
    return new QGuiApplication(argc, argv);
}

extern "C" Q_DECL_EXPORT bool tavrinWriteFigure(const QString &path, const FigureData &data)
{
    return WriteFigure(path, data);
}
