#include "fieldmodel.h"

#include <GeographicLib/MagneticModel.hpp>

#include <QDir>
#include <QFile>

#include <cmath>
#include <exception>

namespace tavrin {

Expected<std::shared_ptr<const FieldModel>> FieldModel::load(const QString &name, const QStringList &folders)
{
    using Loaded = Expected<std::shared_ptr<const FieldModel>>;
    for (const QString &folder : folders) {
        if (!QFile::exists(QDir(folder).filePath(name + ".wmm")))
            continue;
        try {
            return std::shared_ptr<const FieldModel>(
                new FieldModel(std::make_unique<GeographicLib::MagneticModel>(
                    name.toStdString(), QFile::encodeName(folder).toStdString())));
        } catch (const std::exception &e) {
            return Loaded::failure(QStringLiteral("%1: %2").arg(QDir(folder).filePath(name + ".wmm"),
                                                                QString::fromUtf8(e.what())));
        }
    }
    return Loaded::failure(QStringLiteral("The magnetic model %1 is in none of %2.")
                               .arg(name, folders.join(QStringLiteral(", "))));
}

FieldModel::FieldModel(std::unique_ptr<GeographicLib::MagneticModel> model) : model(std::move(model)) {}

FieldModel::~FieldModel() = default;

Field FieldModel::at(const Place &place, double year) const
{
    // GeographicLib gives east, north and up.
    double east, north, up;
    (*model)(year, place.latitude, place.longitude, place.height, east, north, up);
    Field f;
    f.X = north;
    f.Y = east;
    f.Z = -up;
    GeographicLib::MagneticModel::FieldComponents(east, north, up, f.H, f.F, f.D, f.I);
    return f;
}

QString FieldModel::name() const
{
    return QString::fromStdString(model->MagneticModelName());
}

double FieldModel::firstYear() const
{
    return model->MinTime();
}

double FieldModel::endYear() const
{
    return model->MaxTime();
}

double FieldModel::lowestHeight() const
{
    return model->MinHeight();
}

double FieldModel::highestHeight() const
{
    return model->MaxHeight();
}

double decimalYear(const QDate &date)
{
    return date.year() + double(date.dayOfYear() - 1) / date.daysInYear();
}

QDate dayOfDecimalYear(double year)
{
    const double whole = std::floor(year);
    const QDate first(int(whole), 1, 1);
    // A year that decimalYear gave falls a hair short of its day's start.
    constexpr double Hair = 1e-9;
    return first.addDays(qint64(std::floor((year - whole) * first.daysInYear() + Hair)));
}

} // namespace tavrin
