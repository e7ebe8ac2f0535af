// Arbitrary bytes through the readers alone, so that they run at full speed:
// the strict raw data reader, the log reader with columns by number and
// by name, with and without its options, a live capture's lines in
// pieces, their format found from them or chosen, converted to a unit, and
// every export format's reader applied to a few points with their
// directions compared.
#include "exportformat.h"
#include "linesplitter.h"
#include "logreader.h"
#include "rawdata.h"
#include "readingparser.h"

#include <cmath>
#include <cstdlib>

using namespace tavrin;

namespace {

// Six readings about a bias, and the calibration that centres them.
struct Reference {
    MatDoub points{6, 3};
    CalibrationParameters parameters{MatDoub(3, 1), MatDoub(3, 3), MatDoub(3, 3)};
    Reference()
    {
        for (Int n = 0; n < 6; n++)
            for (int i = 0; i < 3; i++)
                points[n][i] = (i == n / 2 ? (n % 2 ? -48.0 : 48.0) : 0.0) + 10.0 * (i + 1);
        for (int i = 0; i < 3; i++) {
            parameters.Bias[i][0] = 10.0 * (i + 1);
            for (int j = 0; j < 3; j++)
                parameters.A[i][j] = parameters.Ainv[i][j] = i == j ? 1.0 : 0.0;
        }
    }
};

void checkExports(const QByteArray &bytes, size_t size)
{
    static const Reference reference;
    for (const ExportFormat &format : exportFormats())
        if (format.read)
            checkExport(format, bytes, reference.points, 48.0, 1000.0, int(size % 4) + 1,
                        &reference.parameters);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (const std::array<QString, 3> &columns :
         {std::array<QString, 3>{"3", "1", "2"}, {"x", "Y", "\"z\""}}) {
        LogFormat format;
        format.columns = columns;
        format.skipBadLines = size % 2 == 1;
        format.decimalComma = size % 3 == 1;
        LogInput input;
        ParseLog(bytes, format, input);
        // With the accelerometer beside it, every point keeps its reading.
        format.accelColumns = {"4", "ay", "6"};
        const RawData both = ParseLog(bytes, format, input);
        if (both.status == RawDataStatus::Loaded && both.Accel.nrows() != both.numLines)
            std::abort();
    }
    ParseRawData(bytes);
    LineSplitter splitter;
    std::vector<ReceivedLine> lines;
    for (qsizetype at = 0; at < bytes.size(); at += 7)
        splitter.feed(bytes.mid(at, 7), lines);
    const QByteArray rest = splitter.rest();
    lines.push_back({rest, rest.size()});
    // Whatever a line holds and whatever the unit, a kept reading is finite
    // in it: the recording must stay a file that can be read back.
    constexpr double unitsInNt[] = {1.0, 1000.0, 100000.0};
    for (const LineFormat format : {LineFormat::Auto, LineFormat::Uni, LineFormat::Labelled}) {
        ReadingParser parser(format, unitsInNt[size % 3]);
        Readings readings;
        for (const ReceivedLine &line : lines) {
            if (line.bytes.size() > LineSplitter::LongestLine)
                std::abort();
            if (line.cut())
                parser.ignore(line.bytes);
            else
                parser.take(line.bytes, readings);
        }
        parser.finish(readings);
        for (const Reading &reading : readings.fields)
            if (!std::isfinite(reading[0]) || !std::isfinite(reading[1]) || !std::isfinite(reading[2]))
                std::abort();
        // The accelerometer and gyroscope go with every reading or none.
        if (!readings.inertial.empty() && readings.inertial.size() != readings.size())
            std::abort();
    }
    checkExports(bytes, size);
    return 0;
}
