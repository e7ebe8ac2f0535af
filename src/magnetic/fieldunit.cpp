#include "fieldunit.h"

namespace tavrin {

double fieldUnitInNt(const QString &units)
{
    if (units == QLatin1String("nT"))
        return 1.0;
    if (units == QLatin1String("uT"))
        return 1e3;
    if (units == QLatin1String("mG"))
        return 1e2;
    if (units == QLatin1String("G"))
        return 1e5;
    return 0.0;
}

} // namespace tavrin
