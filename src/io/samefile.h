// Whether two paths reach one existing file, through any link, hard or
// symbolic: a write to one would change the other.
#ifndef TAVRIN_SAMEFILE_H
#define TAVRIN_SAMEFILE_H

#include <QString>

namespace tavrin {

/// True when both paths exist and lead to the same device and inode.
bool IsSameFile(const QString &a, const QString &b);

} // namespace tavrin

#endif
