#include "pipeline.h"

#include <utility>

namespace tavrin {

namespace {

// Where each step of a run starts and ends, as fractions of the whole; the
// bootstrap, when asked for, outweighs the rest.
struct Steps {
    explicit Steps(bool withUncertainty)
        : reading(withUncertainty ? 0.1 : 0.4), fitting(withUncertainty ? 0.2 : 0.8),
          assessing(withUncertainty ? 0.25 : 1.0)
    {
    }

    double start(RunPhase phase) const
    {
        switch (phase) {
        case RunPhase::Reading:
            return 0.0;
        case RunPhase::Fitting:
            return reading;
        case RunPhase::Assessing:
            return fitting;
        case RunPhase::Uncertainty:
            return assessing;
        }
        return 0.0;
    }

    double reading, fitting, assessing;
};

class Run {
public:
    Run(const CalibrationOptions &options, const RunControl &control)
        : control(control), steps(options.resamples > 0)
    {
    }

    // Says that a step begins; false when the run is to end here.
    bool begin(RunPhase phase)
    {
        if (control.cancel && control.cancel->load(std::memory_order_relaxed))
            return false;
        report(steps.start(phase), phase);
        return true;
    }

    void finish() { report(1.0, RunPhase::Assessing); }

private:
    void report(double fraction, RunPhase phase)
    {
        if (control.progress)
            control.progress(fraction, phase);
    }

    const RunControl &control;
    const Steps steps;
};

RawData read(const Input &input, std::optional<LogInput> &log)
{
    if (input.measurements)
        return *input.measurements;
    if (!input.log)
        return ReadRawData(input.path);
    log.emplace();
    return ReadLog(input.path, *input.log, *log);
}

} // namespace

const char *runPhaseName(RunPhase phase)
{
    switch (phase) {
    case RunPhase::Reading:
        return "reading";
    case RunPhase::Fitting:
        return "fitting";
    case RunPhase::Assessing:
        return "assessing";
    case RunPhase::Uncertainty:
        return "uncertainty";
    }
    return "";
}

Input Input::file(const QString &path, std::optional<LogFormat> log)
{
    Input input;
    input.path = path;
    input.log = std::move(log);
    return input;
}

Input Input::points(RawData measurements, const QString &name)
{
    Input input;
    input.path = name;
    input.measurements = std::move(measurements);
    return input;
}

CalibrationResult runCalibration(const Input &input, const CalibrationOptions &options,
                                 const RunControl &control)
{
    CalibrationResult result;
    result.path = input.path;
    Run run(options, control);
    const auto cancelled = [&] {
        result.status = RunStatus::Cancelled;
        return result;
    };

    if (!run.begin(RunPhase::Reading))
        return cancelled();
    RawData raw = options.hm == 0.0 ? RawData() : read(input, result.log);

    if (!run.begin(RunPhase::Fitting))
        return cancelled();
    result.run = CalibrateRawData(options.hm, std::move(raw), {}, options.fit);
    if (result.run.error) {
        result.status = RunStatus::Failed;
        return result;
    }
    if (result.run.fit.outlierWarning)
        result.warnings << outlierWarningMessage();

    if (!run.begin(RunPhase::Assessing))
        return cancelled();
    result.quality = AssessCalibration(result.run, options.hm);
    if (result.quality.hmUnit.warns())
        result.warnings << hmUnitWarningMessage(result.quality.hmUnit);

    if (options.resamples > 0) {
        if (!run.begin(RunPhase::Uncertainty))
            return cancelled();
        result.uncertainty = BootstrapCalibration(result.run.raw.points(), options.hm, options.resamples,
                                                  options.seed, result.run.robustFit(),
                                                  result.run.requested == FitModel::Auto, control.cancel);
    }
    if (control.cancel && control.cancel->load(std::memory_order_relaxed))
        return cancelled();
    result.status = RunStatus::Calibrated;
    run.finish();
    return result;
}

} // namespace tavrin
