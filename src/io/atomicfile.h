// Writing an output file without ever leaving a half-written one: a regular
// file is replaced only by a complete new one (the bytes go to a temporary
// file beside it, renamed over the target at the end). A target that exists
// and is no regular file, such as a device or a named pipe, is written in
// place: it must never be replaced by a regular file.
#ifndef TAVRIN_ATOMICFILE_H
#define TAVRIN_ATOMICFILE_H

#include <QByteArray>
#include <QString>

namespace tavrin {

/// Writes bytes as they are. False, with a regular target untouched, when
/// the file cannot be written in full; the system's reason ("No space left
/// on device") is then in *reason when given. Every write, the flush to the
/// disk and the close are checked before the new file takes the target's
/// place, which keeps the permissions of the file it replaces.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString *reason = nullptr);

/// Writes every byte to fd: 0, or the errno of the write that failed; the
/// bytes that went out before it go to *written when given.
int WriteAll(int fd, const QByteArray &bytes, qint64 *written = nullptr);

} // namespace tavrin

#endif
