#include "calibrationtask.h"
#include "viewdata.h"

namespace tavrin {

namespace {

// The shares of the task each step takes: the run, the comparison, the bootstrap.
constexpr double RunShare = 0.3, ComparisonShare = 0.3;

} // namespace

const std::vector<FitModel> &comparedModels()
{
    static const std::vector<FitModel> models = {FitModel::Exact, FitModel::Full, FitModel::Diagonal,
                                                 FitModel::Sphere, FitModel::Planar};
    return models;
}

void calibrateInSteps(const Input &input, const CalibrationOptions &options, const QString &unit,
                      TaskControl &control)
{
    CalibrationOptions first = options;
    first.resamples = 0;
    auto calibration = std::make_shared<Calibration>();
    calibration->input = input;
    calibration->options = options;
    calibration->unit = unit;
    calibration->result = std::make_shared<const CalibrationResult>(
        runCalibration(input, first, control.runControl(0, RunShare)));
    if (calibration->result->status == RunStatus::Cancelled)
        return;
    if (calibration->result->calibrated())
        calibration->views = std::make_shared<const ViewData>(*calibration->result, options.hm);
    control.publish(calibration);
    if (!calibration->result->calibrated())
        return;

    // The same points for every model: read once, never again.
    const CalibrationResult &run = *calibration->result;
    const Input same = Input::points(run.run.raw, run.path);
    auto compared = std::make_shared<Calibration>(*calibration);
    const std::vector<FitModel> &models = comparedModels();
    for (size_t m = 0; m < models.size(); m++) {
        CalibrationOptions o = first;
        o.fit = models[m];
        const double from = RunShare + ComparisonShare * double(m) / double(models.size());
        compared->comparison.push_back(runCalibration(
            same, o, control.runControl(from, from + ComparisonShare / double(models.size()))));
        if (compared->comparison.back().status == RunStatus::Cancelled)
            return;
    }
    control.publish(compared);

    if (options.resamples <= 0)
        return;
    const CalibrationResult bootstrapped =
        runCalibration(same, options, control.runControl(RunShare + ComparisonShare, 1.0));
    if (bootstrapped.status == RunStatus::Cancelled)
        return;
    auto whole = std::make_shared<Calibration>(*compared);
    whole->uncertainty = bootstrapped.uncertainty;
    control.publish(whole);
}

} // namespace tavrin
