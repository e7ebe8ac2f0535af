#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

// The file as the system names it.
QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool failed(QString *reason, int error)
{
    if (reason)
        *reason = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

// Devices and pipes take the bytes where they are.
bool writeInPlace(const QByteArray &target, const QByteArray &bytes, QString *reason)
{
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(reason, errno);
    const int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        return failed(reason, errno);
    return error == 0 || failed(reason, error);
}

// A new file beside the target, made with the permissions a new target
// would get; no other writer can have it.
int createBeside(const QByteArray &target, QByteArray &temporary)
{
    const int slash = target.lastIndexOf('/');
    // Kept short enough that the longest name still leaves room for the rest.
    const QByteArray folder = target.left(slash + 1), name = target.mid(slash + 1).left(200);
    for (int attempt = 0;; attempt++) {
        temporary = folder + '.' + name + '.' +
                    QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || attempt == 100)
            return fd;
    }
}

// The temporary file complete on the disk, with the mode of the file it replaces.
int completeFile(int fd, const QByteArray &target, const QByteArray &bytes)
{
    struct stat old;
    if (::stat(target.constData(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0)
        return errno;
    if (const int error = WriteAll(fd, bytes))
        return error;
    // A file system may tell only now that the bytes do not fit.
    return ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
}

bool replace(const QByteArray &target, const QByteArray &bytes, QString *reason)
{
    QByteArray temporary;
    const int fd = createBeside(target, temporary);
    if (fd < 0)
        return failed(reason, errno);
    int error = completeFile(fd, target, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return failed(reason, error);
    }
    return true;
}

} // namespace

// A write that takes nothing (a full disk on some systems) is a full disk.
int WriteAll(int fd, const QByteArray &bytes, qint64 *written)
{
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    int error = 0;
    while (left > 0 && error == 0) {
        const ssize_t taken = ::write(fd, p, size_t(left));
        if (taken < 0 && errno == EINTR)
            continue;
        if (taken <= 0) {
            error = taken < 0 ? errno : ENOSPC;
            break;
        }
        p += taken;
        left -= taken;
    }
    if (written)
        *written = p - bytes.constData();
    return error;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *reason)
{
    if (path.isEmpty())
        return failed(reason, ENOENT);
    struct stat info;
    if (::stat(native(path).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return failed(reason, EISDIR);
        if (!S_ISREG(info.st_mode))
            return writeInPlace(native(path), bytes, reason);
    }
    // A link is followed, so that the file it leads to is replaced, not the link.
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return replace(native(resolved.isEmpty() ? path : resolved), bytes, reason);
}

} // namespace tavrin
