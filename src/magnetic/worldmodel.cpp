#include "worldmodel.h"

#include <QCoreApplication>
#include <QDir>

namespace tavrin {

QStringList ModelFolders()
{
    return {
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tavrin/magnetic")),
        QStringLiteral(TAVRIN_MAGNETIC_BUILD_DIR)};
}

Expected<std::shared_ptr<const FieldModel>> loadWorldModel()
{
    return FieldModel::load(QStringLiteral("wmm2025"), ModelFolders());
}

Expected<void> checkModelHolds(const FieldModel &m, const Place &place, double year, const QString &when)
{
    if (year < m.firstYear() || year >= m.endYear())
        return Expected<void>::failure(
            QStringLiteral("%1 is valid from %2-01-01 to %3-12-31, and %4 is not in it.")
                .arg(m.name())
                .arg(int(m.firstYear()))
                .arg(int(m.endYear()) - 1)
                .arg(when));
    if (place.height < m.lowestHeight() || place.height > m.highestHeight())
        return Expected<void>::failure(
            QStringLiteral("%1 holds from %2 to %3 m above the WGS84 ellipsoid, not at %4 m.")
                .arg(m.name())
                .arg(m.lowestHeight())
                .arg(m.highestHeight())
                .arg(place.height));
    return {};
}

} // namespace tavrin
