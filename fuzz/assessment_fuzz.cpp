// Arbitrary bytes that the raw data reader loads, through every fit, the
// derivation of b and A, the quality report with the Hm unit check, and, on
// small inputs, the bootstrap. Hm comes from the input's length, so that it
// spans the units a user may mix up.
#include "bootstrap.h"
#include "calibration.h"

#include "nr3.h"

using namespace tavrin;

namespace {

// A bootstrap refits every resample: a few of them on a few points keep an
// input fast enough for the fuzzer to try many.
constexpr int MostBootstrapPoints = 64;
constexpr int BootstrapResamples = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The library's error lines would drown the fuzzer's own output.
    const NrErrorSink silenced(nullptr);
    const RawData raw = ParseRawData(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (raw.status != RawDataStatus::Loaded)
        return 0;
    const double hms[] = {48.0, 48000.0, 0.048};
    const double Hm = hms[size % 3];
    for (const FitModel model : {FitModel::Exact, FitModel::Auto}) {
        const CalibrationRun run = CalibrateRawData(Hm, raw, model);
        if (run.error)
            continue;
        AssessCalibration(run, Hm);
        CheckHmUnit(raw.points(), run.parameters, Hm, ResultTexts(run.parameters));
        if (raw.numLines <= MostBootstrapPoints)
            BootstrapCalibration(raw.points(), Hm, BootstrapResamples, BootstrapSeed, run.robustFit());
    }
    return 0;
}
