#include "outputpaths.h"

#include "printable.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

namespace tavrin {

namespace {

// The same file however it is reached: an existing file by its device and
// inode, so that hard links meet; a missing one by where its links lead and
// its folder's canonical path.
QString identity(const QString &path, int linksFollowed = 0)
{
    constexpr int mostLinks = 40;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return QStringLiteral("inode %1 %2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
    const QFileInfo info(path);
    if (info.isSymLink() && linksFollowed < mostLinks)
        return identity(info.symLinkTarget(), linksFollowed + 1);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : folder + '/' + info.fileName();
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
            .arg(option, printable(path));
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
            plan.wrong = QStringLiteral("\"%1\" is an input; it would be overwritten.").arg(printable(target));
            return plan;
        }
        if (written.contains(id)) {
            plan.wrong = QStringLiteral("Two outputs would go to \"%1\".").arg(printable(target));
            return plan;
        }
        written.insert(id);
    }
    for (const QString &folder : {o.output, o.apply, o.plot})
        if (!folder.isEmpty() && (o.files.size() > 1 || QFileInfo(folder).isDir()))
            QDir().mkpath(folder);
    return plan;
}

} // namespace tavrin
