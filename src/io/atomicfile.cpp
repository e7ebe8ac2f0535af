#include "atomicfile.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>

namespace tavrin {

namespace {

// Devices and pipes; a missing target, a regular file or a link to one is not.
bool isSpecialFile(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode) &&
           !S_ISDIR(info.st_mode);
}

template <typename File> bool writeAll(File &file, const QByteArray &bytes, QIODevice::OpenMode mode)
{
    return file.open(mode) && file.write(bytes) == bytes.size();
}

bool failed(const QIODevice &file, QString *reason)
{
    if (reason)
        *reason = file.errorString();
    return false;
}

} // namespace

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, FileMode fileMode, QString *reason)
{
    if (path.isEmpty())
        return false;
    const QIODevice::OpenMode mode =
        fileMode == FileMode::Text ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly;
    if (isSpecialFile(path)) {
        QFile file(path);
        if (!writeAll(file, bytes, mode | QIODevice::Unbuffered | QIODevice::ExistingOnly))
            return failed(file, reason);
        return true;
    }
    QSaveFile file(path);
    if (!writeAll(file, bytes, mode) || !file.commit())
        return failed(file, reason);
    return true;
}

} // namespace tavrin
