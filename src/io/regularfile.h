// What a path names. Files that must be regular files: a named pipe or a device would block the
// reader or never end, and a folder holds no bytes, so they are told apart
// before anything is read from them.
#ifndef TAVRIN_REGULARFILE_H
#define TAVRIN_REGULARFILE_H

#include <QFile>
#include <QString>

namespace tavrin {

/// What a path names, links followed.
enum class FileKind { Regular, Directory, Fifo, CharacterDevice, BlockDevice, Socket, Other, Unknown };

/// What path names, from stat() alone: nothing is opened. Unknown when it
/// cannot be looked at (missing, or not allowed); opening it then says why.
FileKind fileKindOf(const QString &path);

/// How opening a path went: what it names and, when it could not be
/// opened, the system's words.
struct FileOpening {
    bool opened = false;
    FileKind kind = FileKind::Unknown;
    QString reason; ///< empty when opened, or when the path names no regular file
};

/// Opens file on path read-only when path names a regular file, never
/// waiting for a named pipe's writer or a device.
FileOpening openRegularFile(QFile &file, const QString &path);

} // namespace tavrin

#endif
