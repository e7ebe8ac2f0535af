#include "viewdata.h"
#include "ellipsoidfit.h"

#include <QFileInfo>

namespace tavrin {

FigureData figureOf(const CalibrationResult &result, double hm)
{
    return {QFileInfo(result.path).fileName(),
            hm,
            result.run.raw.points(),
            result.run.parameters,
            result.quality,
            result.run.robustFit()};
}

AngleSeries angleSeriesOf(const CalibrationResult &result)
{
    AngleSeries s;
    const RawData &raw = result.run.raw;
    if (!result.alignment || raw.Accel.nrows() != raw.numLines)
        return s;
    const align::AlignmentResult &alignment = *result.alignment;
    const size_t n = size_t(raw.numLines);
    std::vector<align::Vec3> accel(n);
    // The angles are those the alignment judged: of the accelerometer after
    // its own fit, when the readings at rest allowed one.
    for (size_t k = 0; k < n; k++)
        accel[k] = alignment.accelerometer.corrected(
            {raw.Accel[int(k)][0], raw.Accel[int(k)][1], raw.Accel[int(k)][2]});
    s.atRest = align::readingsAtRest(accel);
    s.before.resize(n);
    if (alignment.determined)
        s.after.resize(n);
    const Calibrator calibrate(result.run.parameters);
    for (size_t k = 0; k < n; k++) {
        align::Vec3 field;
        calibrate(raw.Mag[int(k)], field.data());
        s.before[k] = angleDegrees(accel[k].data(), field.data());
        if (alignment.determined)
            s.after[k] = angleDegrees(accel[k].data(), align::times(alignment.rotation, field).data());
    }
    return s;
}

ViewData::ViewData(const CalibrationResult &result, double hm)
    : figure(figureOf(result, hm)), errors(normErrors(figure)), raw(figure, CloudSet::Raw),
      calibrated(figure, CloudSet::Calibrated), angles(angleSeriesOf(result))
{
}

} // namespace tavrin
