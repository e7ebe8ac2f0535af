#include "pipeline.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavrin {

namespace {

// Where each step of a run ends, as a fraction of the whole; the bootstrap,
// when asked for, outweighs the rest.
struct Steps {
    explicit Steps(bool withUncertainty)
        : ends(withUncertainty ? std::array<double, 4>{0.1, 0.2, 0.25, 1.0}
                               : std::array<double, 4>{0.4, 0.8, 1.0, 1.0})
    {
    }

    double start(RunPhase phase) const
    {
        return phase == RunPhase::Reading ? 0.0 : end(RunPhase(int(phase) - 1));
    }
    double end(RunPhase phase) const { return ends[size_t(phase)]; }

    std::array<double, 4> ends;
};

// The run's steps as parts of one piece of work, whose progress never goes back.
class Run {
public:
    Run(const CalibrationOptions &options, const RunControl &control)
        : control(control), steps(options.resamples > 0),
          work(control.cancel, control.threads, [this](double fraction) { report(fraction); })
    {
    }

    bool cancelled() const { return work.cancelled(); }

    // The work of a step that begins.
    WorkControl begin(RunPhase phase)
    {
        this->phase = phase;
        WorkControl part = work.part(steps.start(phase), steps.end(phase));
        part.progress(0.0);
        return part;
    }

    void finish() { report(1.0); }

    int mostThreads() const { return work.mostThreads(); }

private:
    void report(double fraction)
    {
        reached = std::max(reached, fraction);
        if (control.progress)
            control.progress(reached, phase);
    }

    const RunControl &control;
    const Steps steps;
    WorkControl work;
    RunPhase phase = RunPhase::Reading;
    double reached = 0.0;
};

// The magnetometer's axes against the accelerometer read beside it.
align::AlignmentResult alignmentOf(const RawData &raw, const CalibrationParameters &p,
                                   const CalibrationOptions &options)
{
    align::AlignmentInput in;
    in.convention = options.accel;
    in.placeInclinationDegrees = options.placeInclinationDegrees;
    const Calibrator calibrate(p);
    for (int k = 0; k < raw.numLines; k++) {
        align::Vec3 h;
        calibrate(raw.Mag[k], h.data());
        in.field.push_back(h);
        in.accel.push_back({raw.Accel[k][0], raw.Accel[k][1], raw.Accel[k][2]});
    }
    return align::alignAxes(in);
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

RawData readMeasurements(const Input &input, std::optional<LogInput> &log, const WorkControl &control)
{
    if (input.measurements)
        return *input.measurements;
    if (!input.log)
        return ReadRawData(input.path, control);
    log.emplace();
    return ReadLog(input.path, *input.log, *log, control);
}

CalibrationParameters rotatedCalibration(const CalibrationParameters &p, const align::Mat3 &r)
{
    CalibrationParameters out = p;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            out.Ainv[i][j] = 0.0;
            out.A[i][j] = 0.0;
            for (int k = 0; k < 3; k++) {
                out.Ainv[i][j] += r[i][k] * p.Ainv[k][j];
                out.A[i][j] += p.A[i][k] * r[j][k];
            }
        }
    return out;
}

CalibrationResult runCalibration(const Input &input, const CalibrationOptions &options,
                                 const RunControl &control)
{
    CalibrationResult result;
    result.path = input.path;
    Run run(options, control);
    // A cancelled run keeps nothing but its input's name.
    const auto cancelled = [&] {
        CalibrationResult nothing;
        nothing.path = input.path;
        nothing.status = RunStatus::Cancelled;
        nothing.threadsUsed = run.mostThreads();
        return nothing;
    };

    WorkControl work = run.begin(RunPhase::Reading);
    RawData raw = options.hm == 0.0 ? RawData() : readMeasurements(input, result.log, work);
    if (run.cancelled())
        return cancelled();

    work = run.begin(RunPhase::Fitting);
    result.run = admitMeasurements(options.hm, std::move(raw));
    // What the fit finds of the points alone, the judgement takes as found.
    PointsOutline outline(result.run.raw.points());
    if (!result.run.error)
        fitMeasurements(result.run, options.hm, options.fit, outline, work);
    if (run.cancelled())
        return cancelled();
    // Said before a failure of the derivation too: the shape was seen first.
    if (result.run.fit.outlierWarning)
        result.warnings << outlierWarningMessage();
    result.threadsUsed = run.mostThreads();
    if (result.run.error)
        return result;

    if (options.assess) {
        work = run.begin(RunPhase::Assessing);
        result.quality = AssessCalibration(outline, judgedFitOf(result.run), options.hm, work);
        if (run.cancelled())
            return cancelled();
        if (result.quality.hmUnit.warns())
            result.warnings << hmUnitWarningMessage(result.quality.hmUnit);
    }

    if (const RawData &raw = result.run.raw; raw.Accel.nrows() > 0 && raw.Accel.nrows() == raw.numLines)
        result.alignment = alignmentOf(raw, result.run.parameters, options);

    if (options.resamples > 0) {
        work = run.begin(RunPhase::Uncertainty);
        result.uncertainty =
            BootstrapCalibration(result.run.raw.points(), options.hm, options.resamples, options.seed,
                                 result.run.robustFit(), result.run.requested == FitModel::Auto, work);
        if (run.cancelled())
            return cancelled();
    }
    result.status = RunStatus::Calibrated;
    result.threadsUsed = run.mostThreads();
    run.finish();
    return result;
}

} // namespace tavrin
