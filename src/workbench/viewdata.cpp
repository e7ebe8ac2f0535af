#include "viewdata.h"

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

ViewData::ViewData(const CalibrationResult &result, double hm)
    : figure(figureOf(result, hm)), errors(normErrors(figure)), raw(figure, CloudSet::Raw),
      calibrated(figure, CloudSet::Calibrated)
{
}

} // namespace tavrin
