// tavrin-cli's drawing part, a module of its own (parts.h): Qt Gui's
// application, offscreen, and the figure writer.
#include "figure.h"
#include "parts.h"

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

QCoreApplication *startDrawingApplication(int &argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietAboutRuntimeFolder);
    return new QGuiApplication(argc, argv);
}

} // namespace

extern "C" Q_DECL_EXPORT const tavrin::DrawingPart *tavrinDrawingPart()
{
    static const tavrin::DrawingPart part{startDrawingApplication, tavrin::WriteFigure};
    return &part;
}
