#include "partloader.h"

#include "printable.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace tavrin {

namespace {

// The running executable's folder, links resolved, so that a link to the
// tool from elsewhere still finds the parts installed with it.
QString executableFolder()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

template <typename Part>
Expected<const Part *> loadPart(const char *option, const QString &fileName, const char *entry)
{
    using Loaded = Expected<const Part *>;
    const QString folder = executableFolder();
    const QString installed = QDir::cleanPath(folder + QStringLiteral("/" TAVRIN_INSTALLED_PARTS));
    QString path;
    for (const QString &place : {folder, installed})
        if (path.isEmpty() && QFileInfo::exists(place + '/' + fileName))
            path = place + '/' + fileName;
    if (path.isEmpty())
        return Loaded::failure(
            QStringLiteral("%1 needs %2, which is neither in %3 nor in %4; reinstall tavrin-cli.")
                .arg(QLatin1String(option), fileName, printable(folder), printable(installed)));
    // The library stays loaded to the end of the process: QLibrary unloads only when asked.
    QLibrary library(path);
    const auto cannotLoad = [&](const QString &why) {
        return Loaded::failure(QStringLiteral("%1 needs %2, which cannot be loaded (%3).")
                                   .arg(QLatin1String(option), printable(path), printable(why)));
    };
    if (!library.load())
        return cannotLoad(library.errorString());
    const auto partOf = reinterpret_cast<const Part *(*)()>(library.resolve(entry));
    if (!partOf)
        return cannotLoad(QStringLiteral("it has no %1()").arg(QLatin1String(entry)));
    return partOf();
}

} // namespace

Expected<Parts> loadParts(const CommandLine &command)
{
    Parts parts;
    if (command.action != CommandLine::Action::Run)
        return parts;
    if (!command.options.plot.isEmpty()) {
        const Expected<const DrawingPart *> drawing =
            loadPart<DrawingPart>("--plot", QStringLiteral(TAVRIN_DRAWING_PART), "tavrinDrawingPart");
        if (!drawing)
            return Expected<Parts>::failure(drawing.error());
        parts.drawing = *drawing;
    }
    if (command.options.capture) {
        const Expected<const CapturePart *> capture =
            loadPart<CapturePart>("--port", QStringLiteral(TAVRIN_CAPTURE_PART), "tavrinCapturePart");
        if (!capture)
            return Expected<Parts>::failure(capture.error());
        parts.capture = *capture;
    }
    return parts;
}

} // namespace tavrin
