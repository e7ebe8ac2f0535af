#include "outputpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// The same file however it was named, as far as the file system can tell.
QString identity(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString targets(const QString &path, const QStringList &inputs, const QString &suffix, const QString &option,
                QStringList &out)
{
    if (path.isEmpty()) {
        for (int k = 0; k < inputs.size(); k++)
            out << QString();
        return {};
    }
    const QFileInfo info(path);
    if (inputs.size() == 1 && !info.isDir()) {
        out << path;
        return {};
    }
    if (info.exists() && !info.isDir())
        return QStringLiteral("%1 must name a folder when several files are given, and \"%2\" is a file.")
            .arg(option, path);
    for (const QString &input : inputs)
        out << QDir(path).filePath(QFileInfo(input).completeBaseName() + suffix);
    return {};
}

} // namespace

OutputPaths planOutputs(const CliOptions &o)
{
    OutputPaths plan;
    plan.wrong = targets(o.output, o.files, QStringLiteral(".params.txt"), QStringLiteral("--output"),
                         plan.parameters);
    if (plan.wrong.isEmpty())
        plan.wrong = targets(o.apply, o.files, QStringLiteral(".calibrated.txt"), QStringLiteral("--apply"),
                             plan.calibrated);
    if (plan.wrong.isEmpty())
        plan.wrong = targets(o.plot, o.files, QStringLiteral(".png"), QStringLiteral("--plot"), plan.plots);
    if (!plan.wrong.isEmpty())
        return plan;

    QSet<QString> inputs;
    for (const QString &input : o.files)
        inputs.insert(identity(input));
    QSet<QString> written;
    for (const QString &target : plan.parameters + plan.calibrated + plan.plots) {
        if (target.isEmpty())
            continue;
        const QString id = identity(target);
        if (inputs.contains(id)) {
            plan.wrong = QStringLiteral("\"%1\" is an input; it would be overwritten.").arg(target);
            return plan;
        }
        if (written.contains(id)) {
            plan.wrong = QStringLiteral("Two outputs would go to \"%1\".").arg(target);
            return plan;
        }
        written.insert(id);
    }
    for (const QString &folder : {o.output, o.apply, o.plot})
        if (!folder.isEmpty() && (o.files.size() > 1 || QFileInfo(folder).isDir()))
            QDir().mkpath(folder);
    return plan;
}
