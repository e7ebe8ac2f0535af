#include "regularfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrin {

namespace {

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

} // namespace

FileKind fileKindOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? kindOf(st.st_mode) : FileKind::Unknown;
}

FileOpening openRegularFile(QFile &file, const QString &path)
{
    // Without O_NONBLOCK, opening a named pipe waits for a writer; the kind
    // is then taken from what was opened, so that a path swapped after a
    // look is no danger either.
    FileOpening opening;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        opening.reason = QString::fromLocal8Bit(std::strerror(errno));
        return opening;
    }
    struct stat st;
    opening.kind = ::fstat(fd, &st) == 0 ? kindOf(st.st_mode) : FileKind::Unknown;
    if (opening.kind != FileKind::Regular || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        if (opening.kind == FileKind::Regular)
            opening.reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return opening;
    }
    opening.opened = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    if (!opening.opened)
        opening.reason = file.errorString();
    return opening;
}

} // namespace tavrin
