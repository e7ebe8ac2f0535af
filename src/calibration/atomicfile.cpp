#include "atomicfile.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}
