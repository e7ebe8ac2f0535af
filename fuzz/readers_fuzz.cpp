// Arbitrary bytes through the readers alone, so that they run at full speed:
// the strict raw data reader, the log reader with columns by number and
// by name, with and without its options, and a live capture's lines in
// pieces, their format found from them or chosen, converted to a unit.
#include "linesplitter.h"
#include "logreader.h"
#include "rawdata.h"
#include "readingparser.h"

#include <cmath>
#include <cstdlib>

using namespace tavrin;

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
        std::vector<Reading> readings;
        for (const ReceivedLine &line : lines) {
            if (line.bytes.size() > LineSplitter::LongestLine)
                std::abort();
            if (line.cut())
                parser.ignore(line.bytes);
            else
                parser.take(line.bytes, readings);
        }
        parser.finish(readings);
        for (const Reading &reading : readings)
            if (!std::isfinite(reading[0]) || !std::isfinite(reading[1]) || !std::isfinite(reading[2]))
                std::abort();
    }
    return 0;
}
