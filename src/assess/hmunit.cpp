#include "hmunit.h"

#include "pointspread.h"

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

// The upper median of |h - b| over the points, exactly: the median of an
// even sample brackets it, a pass counts the points below the bracket and
// keeps those in it, and the median is picked among those kept. The pass
// compares squares, which the square root orders alike, and takes the root
// of the one picked alone. Points the bracket misses, or a NaN, which no
// bracket holds, take the long way: all distances, reordered around the
// middle.
double medianDistance(Points points, const double b[3])
{
    const int n = points.size();
    const auto squared = [&](int k) {
        const double d[3] = {points[k][0] - b[0], points[k][1] - b[1], points[k][2] - b[2]};
        return d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    };
    const auto all = [&] {
        std::vector<double> distances(static_cast<size_t>(n));
        for (int k = 0; k < n; k++)
            distances[size_t(k)] = std::sqrt(squared(k));
        return medianOf(distances);
    };
    const int stride = evenSampleStride(n);
    if (stride < 4)
        return all();
    std::vector<double> sample;
    for (int k = 0; k < n; k += stride)
        sample.push_back(squared(k));
    // A quantile of a sample of about 20000 strays by about 0.4 % of the
    // values: 3 % on either side holds the median but in rare samples.
    const size_t margin = sample.size() * 3 / 100;
    const auto at = [&](size_t rank) {
        std::nth_element(sample.begin(), sample.begin() + ptrdiff_t(rank), sample.end());
        return sample[rank];
    };
    const double low = at(sample.size() / 2 - margin), high = at(sample.size() / 2 + margin);
    int below = 0, above = 0;
    std::vector<double> within;
    // The points fall in and out of the bracket in no order: each square is
    // written to the next free place of a block whether it is kept or not,
    // and only a kept one moves the place on, so that no branch mispredicts.
    constexpr int Block = 1024;
    double kept[Block];
    for (int from = 0; from < n; from += Block) {
        int count = 0;
        for (int k = from; k < std::min(n, from + Block); k++) {
            const double s = squared(k);
            kept[count] = s;
            count += (s >= low) & (s <= high);
            below += s < low;
            above += s > high;
        }
        within.insert(within.end(), kept, kept + count);
    }
    const size_t middle = size_t(n / 2);
    if (below + above + within.size() != size_t(n) || middle < size_t(below) ||
        middle >= below + within.size())
        return all();
    const auto m = within.begin() + ptrdiff_t(middle - size_t(below));
    std::nth_element(within.begin(), m, within.end());
    return std::sqrt(*m);
}

// The median of | |h_cal| - Hm | / |Hm| over an even sample of the points,
// each rest counted as RestCounts counts it.
double medianNormError(Points points, const CalibrationParameters &p, double Hm)
{
    const Calibrator calibrate(p);
    const std::vector<int> counts = RestCounts(points);
    std::vector<double> errors;
    for (int k = 0; k < points.size(); k += evenSampleStride(points.size()))
        if (counts.empty() || counts[size_t(k)] > 0)
            errors.push_back(std::abs(calibrate.calibratedNorm(points[k]) - std::abs(Hm)) / std::abs(Hm));
    return errors.empty() ? 0.0 : medianOf(errors);
}

} // namespace

HmUnitCheck CheckHmUnit(Points points, const CalibrationParameters &p, double Hm, const QStringList &shown)
{
    HmUnitCheck check;
    check.hm = Hm;
    const double b[3] = {p.Bias[0][0], p.Bias[1][0], p.Bias[2][0]};
    check.medianDistance = medianDistance(points, b);
    const double hm = std::abs(Hm);
    if (check.medianDistance > MaxHmScaleFactor * hm || check.medianDistance * MaxHmScaleFactor < hm) {
        check.medianNormError = medianNormError(points, p, Hm);
        check.fitFails = !(check.medianNormError <= MaxUnitNormError);
        check.scaleDiffers = !check.fitFails;
    }
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
                          "HmUnitCheck", "Hm is %1, and the measurements lie at a median distance of "
                                         "%2 from the bias b: Hm must be in the unit of the "
                                         "measurements.")
                          .arg(shortNumber(check.hm), shortNumber(check.medianDistance));
    if (check.valuesVanish)
        message += ' ' + QCoreApplication::translate("HmUnitCheck",
                                                     "Some results are not zero but show as zero with four "
                                                     "decimals.");
    return message;
}

} // namespace tavrin
