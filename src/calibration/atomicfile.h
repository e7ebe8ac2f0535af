// Writing a file so that an existing one is replaced only by a complete
// new one: the bytes go to a temporary file renamed over the target at the end.
#ifndef TAVRIN_ATOMICFILE_H
#define TAVRIN_ATOMICFILE_H

#include <QByteArray>
#include <QString>

enum class FileMode { Text, Binary };

/// False, with the target untouched, when the file cannot be written. In
/// Text mode line ends become the platform's.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes, FileMode mode = FileMode::Text);

#endif
