#include "calibrationtask.h"
#include "fitchoice.h"
#include "savedwork.h"
#include "viewdata.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// The shares of the task each step takes: the run, the input's fingerprint,
// the comparison, the bootstrap.
constexpr double RunShare = 0.3, FingerprintShare = 0.05, ComparisonShare = 0.25;

// The fits auto weighs, weighed as it weighs them, from the fewest
// parameters to the most, as PredictedErrors wants them.
std::vector<std::optional<double>> predictedBiasErrors(Points points, double Hm,
                                                       const std::vector<CalibrationResult> &fits)
{
    const std::vector<FitModel> &models = comparedModels();
    std::vector<const RobustFit *> weighed;
    std::vector<size_t> rows;
    for (const FitModel model : autoCandidateModels()) {
        const size_t row = size_t(std::find(models.begin(), models.end(), model) - models.begin());
        const RobustFit *fit = fits[row].calibrated() ? fits[row].run.robustFit() : nullptr;
        if (!fit)
            continue;
        weighed.push_back(fit);
        rows.push_back(row);
    }
    const std::vector<Candidate> candidates = WeighedCandidates(points, Hm, weighed);
    std::vector<std::optional<double>> errors(fits.size());
    const std::vector<double> squared = PredictedErrors(candidates);
    for (size_t k = 0; k < rows.size() && k < squared.size(); k++)
        errors[rows[k]] = std::sqrt(std::max(0.0, squared[k]));
    return errors;
}

} // namespace

const std::vector<FitModel> &comparedModels()
{
    static const std::vector<FitModel> models = [] {
        std::vector<FitModel> all;
        for (const FitModelInfo &info : FitModels())
            if (info.model != FitModel::Auto)
                all.push_back(info.model);
        return all;
    }();
    return models;
}

void calibrateInSteps(const Input &input, const CalibrationOptions &options, const QString &unit,
                      TaskControl &control, const QByteArray &fingerprint)
{
    CalibrationOptions first = options;
    first.resamples = 0;
    auto calibration = std::make_shared<Calibration>();
    calibration->input = input;
    calibration->options = options;
    calibration->unit = unit;
    calibration->fingerprint = fingerprint;
    calibration->result = std::make_shared<const CalibrationResult>(
        runCalibration(input, first, control.runControl(0, RunShare)));
    if (calibration->result->status == RunStatus::Cancelled)
        return;
    if (calibration->result->calibrated())
        calibration->views = std::make_shared<const ViewData>(*calibration->result, options.hm);
    control.publish(calibration);
    if (!calibration->result->calibrated())
        return;

    // The input's fingerprint, for saved work, after the results show: a
    // large input takes a while to hash.
    auto compared = std::make_shared<Calibration>(*calibration);
    if (compared->fingerprint.isEmpty() && !input.measurements) {
        compared->fingerprint =
            fingerprintOf(input.path, control.runControl(RunShare, RunShare + FingerprintShare));
        if (control.cancel.load())
            return;
    }

    // The same points for every model: read once, never again.
    const CalibrationResult &run = *calibration->result;
    const Input same = Input::points(run.run.raw, run.path);
    const std::vector<FitModel> &models = comparedModels();
    const double comparisonFrom = RunShare + FingerprintShare;
    for (size_t m = 0; m < models.size(); m++) {
        CalibrationOptions o = first;
        o.fit = models[m];
        const double from = comparisonFrom + ComparisonShare * double(m) / double(models.size());
        compared->comparison.push_back(runCalibration(
            same, o, control.runControl(from, from + ComparisonShare / double(models.size()))));
        if (compared->comparison.back().status == RunStatus::Cancelled)
            return;
    }
    compared->predictedBiasError = predictedBiasErrors(run.run.raw.points(), first.hm, compared->comparison);
    control.publish(compared);

    if (options.resamples <= 0)
        return;
    const CalibrationResult bootstrapped =
        runCalibration(same, options, control.runControl(comparisonFrom + ComparisonShare, 1.0));
    if (bootstrapped.status == RunStatus::Cancelled)
        return;
    auto whole = std::make_shared<Calibration>(*compared);
    whole->uncertainty = bootstrapped.uncertainty;
    control.publish(whole);
}

} // namespace tavrin
