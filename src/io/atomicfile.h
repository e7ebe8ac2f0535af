// Writing an output file without ever leaving a half-written one: a regular
// file is replaced only by a complete new one (the bytes go to a temporary
// file renamed over the target at the end). A target that exists and is no
// regular file, such as a device or a named pipe, is written in place: it
// must never be replaced by a regular file.
#ifndef TAVRIN_ATOMICFILE_H
#define TAVRIN_ATOMICFILE_H

#include <QByteArray>
#include <QString>

namespace tavrin {

enum class FileMode { Text, Binary };

/// False, with a regular target untouched, when the file cannot be written
/// in full; why is then in *reason when given. In Text mode line ends become
/// the platform's.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, FileMode mode = FileMode::Text,
                         QString *reason = nullptr);

} // namespace tavrin

#endif
