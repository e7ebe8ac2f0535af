#include "outputpaths.h"

#include "printable.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

QString inode(const struct stat &st)
{
    return QStringLiteral("inode %1 %2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
}

// The same file however it is reached: an existing file by its device and
// inode, so that hard links meet, and standard input too when a file is
// redirected to it; a missing one by where its links lead and its folder's
// canonical path.
QString identity(const QString &path, int linksFollowed = 0)
{
    constexpr int mostLinks = 40;
    struct stat st;
    if (path == QLatin1String("-"))
        return ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) ? inode(st) : QStringLiteral("stdin");
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return inode(st);
    const QFileInfo info(path);
    if (info.isSymLink() && linksFollowed < mostLinks)
        return identity(info.symLinkTarget(), linksFollowed + 1);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : folder + '/' + info.fileName();
}

// Whether an output option names a folder: several inputs, or a folder already.
bool namesFolder(const QString &path, const QStringList &inputs)
{
    return !path.isEmpty() && (inputs.size() > 1 || QFileInfo(path).isDir());
}

// The output of every input for one option, or why there is none.
Expected<QStringList> targets(const QString &path, const QStringList &inputs, const QString &suffix,
                              const QString &option)
{
    QStringList out;
    if (path.isEmpty()) {
        for (int k = 0; k < inputs.size(); k++)
            out << QString();
    } else if (!namesFolder(path, inputs)) {
        out << path;
    } else if (QFileInfo::exists(path) && !QFileInfo(path).isDir()) {
        return Expected<QStringList>::failure(
            QStringLiteral("%1 must name a folder when several files are given, and \"%2\" is a file.")
                .arg(option, printable(path)));
    } else {
        for (const QString &input : inputs)
            out << QDir(path).filePath((input == QLatin1String("-") ? QStringLiteral("stdin")
                                                                    : QFileInfo(input).completeBaseName()) +
                                       suffix);
    }
    return out;
}

} // namespace

Expected<OutputPaths> planOutputs(const CliOptions &o)
{
    const QString suffix = o.exportFormat && !o.exportC() ? o.exportFormat->suffix : ".params.txt";
    const Expected<QStringList> parameters = targets(o.output, o.files, suffix, "--output");
    const Expected<QStringList> calibrated = targets(o.apply, o.files, ".calibrated.txt", "--apply");
    const Expected<QStringList> plots = targets(o.plot, o.files, ".png", "--plot");
    for (const Expected<QStringList> *planned : {&parameters, &calibrated, &plots})
        if (!*planned)
            return Expected<OutputPaths>::failure(planned->error());

    QSet<QString> inputs;
    for (const QString &input : o.files)
        inputs.insert(identity(input));
    QSet<QString> written;
    for (const QString &target : *parameters + *calibrated + *plots) {
        if (target.isEmpty())
            continue;
        const QString id = identity(target);
        if (inputs.contains(id))
            return Expected<OutputPaths>::failure(
                QStringLiteral("\"%1\" is an input; it would be overwritten.").arg(printable(target)));
        if (written.contains(id))
            return Expected<OutputPaths>::failure(
                QStringLiteral("Two outputs would go to \"%1\".").arg(printable(target)));
        written.insert(id);
    }
    return OutputPaths{*parameters, *calibrated, *plots};
}

namespace {

// Makes the folder and those above it that are missing: 0, or the errno of
// the first that cannot be made.
int makeFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    struct stat st;
    if (errno == EEXIST)
        return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const int slash = path.lastIndexOf('/');
    if (errno != ENOENT || slash <= 0)
        return errno;
    if (const int error = makeFolder(path.left(slash)))
        return error;
    return ::mkdir(path.constData(), 0777) == 0 || errno == EEXIST ? 0 : errno;
}

} // namespace

Expected<QStringList> makeOutputFolders(const CliOptions &o)
{
    QStringList folders;
    for (const QString &folder : {o.output, o.apply, o.plot}) {
        if (!namesFolder(folder, o.files))
            continue;
        if (const int error = makeFolder(QFile::encodeName(QDir::cleanPath(folder))))
            return Expected<QStringList>::failure(
                QStringLiteral("The folder \"%1\" could not be made (%2).")
                    .arg(printable(folder), QString::fromLocal8Bit(std::strerror(error))));
        folders << folder;
    }
    return folders;
}

} // namespace tavrin
