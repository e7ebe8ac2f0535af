// Arbitrary bytes through the raw data reader and, when they load, through
// the fit and the derivation of b and A, and through the fit that auto
// chooses; and through the log reader, with columns by number and by name.
#include "calibration.h"
#include "logreader.h"

#include "nr3.h"

using namespace tavrin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The library's error lines would drown the fuzzer's own output.
    const NrErrorSink silenced(nullptr);
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (const std::array<QString, 3> &columns :
         {std::array<QString, 3>{"3", "1", "2"}, {"x", "Y", "\"z\""}}) {
        LogFormat format;
        format.columns = columns;
        format.skipBadLines = size % 2 == 1;
        format.decimalComma = size % 3 == 1;
        LogInput input;
        ParseLog(bytes, format, input);
    }
    RawData raw = ParseRawData(bytes);
    if (raw.status != RawDataStatus::Loaded)
        return 0;
    CalibrateRawData(48.0, raw, {}, FitModel::Auto);
    std::optional<EllipsoidFit> fit = FitEllipsoid(raw.points());
    if (!fit)
        return 0;
    std::optional<CalibrationParameters> parameters = DeriveCalibration(*fit, 48.0);
    if (parameters)
        ResultTexts(*parameters);
    return 0;
}
