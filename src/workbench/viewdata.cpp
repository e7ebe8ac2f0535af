#include "viewdata.h"

#include <QFileInfo>

#include <algorithm>

namespace tavrin {

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    return values[middle];
}

} // namespace

FigureData figureOf(const CalibrationResult &result, double hm)
{
    return {QFileInfo(result.path).fileName(),
            hm,
            result.run.raw.points(),
            result.run.parameters,
            result.quality,
            result.run.robustFit()};
}

ViewData::ViewData(const CalibrationResult &result, double hm)
    : figure(figureOf(result, hm)), errors(normErrors(figure)), raw(figure, CloudSet::Raw),
      calibrated(figure, CloudSet::Calibrated), dataNorm(median(errors.before) + figure.quality.hm)
{
}

} // namespace tavrin
