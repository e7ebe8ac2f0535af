#include "atomicfile.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, FileMode mode)
{
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(mode == FileMode::Text ? QIODevice::WriteOnly | QIODevice::Text : QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}
