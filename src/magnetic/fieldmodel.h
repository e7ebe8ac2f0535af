// The Earth's main magnetic field from the World Magnetic Model, evaluated
// offline by GeographicLib: the field norm Hm for a place and a date.
#ifndef TAVRIN_FIELDMODEL_H
#define TAVRIN_FIELDMODEL_H

#include "expected.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>

namespace GeographicLib {
class MagneticModel;
}

namespace tavrin {

/// The degrees a place is given in: latitudes from the south pole to the
/// north, longitudes east from -180 and up to a whole turn east of Greenwich.
constexpr double LowestLatitude = -90.0, HighestLatitude = 90.0;
constexpr double LowestLongitude = -180.0, HighestLongitude = 360.0;

/// A place on the WGS84 ellipsoid.
struct Place {
    double latitude = 0.0;  ///< degrees north, LowestLatitude..HighestLatitude
    double longitude = 0.0; ///< degrees east, LowestLongitude..HighestLongitude
    double height = 0.0;    ///< metres above the ellipsoid
};

/// The main field at a place and a time, as magnetic observatories give it.
struct Field {
    double X = 0.0, Y = 0.0, Z = 0.0; ///< north, east and down components, nT
    double H = 0.0, F = 0.0;          ///< horizontal and total intensity, nT
    double D = 0.0, I = 0.0; ///< declination (east of north) and inclination (below the horizon), degrees
};

/// Where Hm comes from when the model gives it.
struct HmFromModel {
    QString model;                   ///< e.g. "WMM2025", once the model is loaded
    double fieldNt = 0;              ///< the model's total intensity F there, nT
    QString units;                   ///< the unit of the measurements: nT, uT, mG or G
    double inclinationDegrees = 0.0; ///< the model's inclination I there, degrees, positive below the horizon
};

class FieldModel {
public:
    /// The model's file (NAME.wmm and NAME.wmm.cof) in the first of the
    /// folders that holds it, or why there is none.
    static Expected<std::shared_ptr<const FieldModel>> load(const QString &name, const QStringList &folders);
    ~FieldModel();

    /// The field at place at the decimal year, e.g. 2027.5.
    Field at(const Place &place, double year) const;

    QString name() const;         ///< e.g. "WMM2025"
    double firstYear() const;     ///< the model is valid from this decimal year...
    double endYear() const;       ///< ...up to, not including, this one
    double lowestHeight() const;  ///< metres
    double highestHeight() const; ///< metres

private:
    explicit FieldModel(std::unique_ptr<GeographicLib::MagneticModel> model);

    std::unique_ptr<GeographicLib::MagneticModel> model;
};

/// The decimal year at the start of a day: 2028-07-02 is 2028.5.
double decimalYear(const QDate &date);

/// The day a decimal year falls in: 2028.5 is 2028-07-02. The year must lie
/// within the model's years.
QDate dayOfDecimalYear(double year);

} // namespace tavrin

#endif
