#include "hmunit.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavrin {

namespace {

QString shortNumber(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

HmUnitCheck CheckHmUnit(Points points, const CalibrationParameters &p, double Hm, const QStringList &shown)
{
    HmUnitCheck check;
    check.hm = Hm;
    std::vector<double> distances(size_t(points.size()));
    for (Int k = 0; k < points.size(); k++) {
        const double d[3] = {points[k][0] - p.Bias[0][0], points[k][1] - p.Bias[1][0],
                             points[k][2] - p.Bias[2][0]};
        distances[size_t(k)] = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    }
    const auto middle = distances.begin() + distances.size() / 2;
    std::nth_element(distances.begin(), middle, distances.end());
    check.medianDistance = *middle;
    const double hm = std::abs(Hm);
    check.scaleDiffers =
        check.medianDistance > MaxHmScaleFactor * hm || check.medianDistance * MaxHmScaleFactor < hm;
    const std::array<Doub, 12> values = p.values();
    double largestOfA = 0.0;
    for (size_t k = 3; k < 12; k++)
        largestOfA = std::max(largestOfA, std::abs(values[k]));
    for (int k = 0; k < shown.size() && k < 12; k++) {
        const double scale = k < 3 ? check.medianDistance : largestOfA;
        check.valuesVanish |=
            std::abs(values[size_t(k)]) > NegligibleShare * scale && shown[k].toDouble() == 0.0;
    }
    return check;
}

QString hmUnitWarningMessage(const HmUnitCheck &check)
{
    QString message = QCoreApplication::translate(
                          "Fen_Tavrin", "Hm is %1, and the measurements lie at a median distance of "
                                        "%2 from the bias b: Hm must be in the unit of the "
                                        "measurements.")
                          .arg(shortNumber(check.hm), shortNumber(check.medianDistance));
    if (check.valuesVanish)
        message += ' ' + QCoreApplication::translate("Fen_Tavrin",
                                                     "Some results are not zero but show as zero with four "
                                                     "decimals.");
    return message;
}

} // namespace tavrin
