// Arbitrary bytes through the raw data reader and, when they load, through
// the fit and the derivation of b and A.
#include "calibration.h"

#include "nr3.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The library's error lines would drown the fuzzer's own output.
    const NrErrorSink silenced(nullptr);
    RawData raw = ParseRawData(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (raw.status != RawDataStatus::Loaded)
        return 0;
    std::optional<EllipsoidFit> fit = FitEllipsoid(raw.points());
    if (!fit)
        return 0;
    std::optional<CalibrationParameters> parameters = DeriveCalibration(*fit, 48.0);
    if (parameters)
        ResultTexts(*parameters);
    return 0;
}
