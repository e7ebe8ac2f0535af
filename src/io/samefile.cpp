#include "samefile.h"

#include <QFile>

#include <sys/stat.h>

namespace tavrin {

bool IsSameFile(const QString &a, const QString &b)
{
    struct stat first, second;
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

} // namespace tavrin
