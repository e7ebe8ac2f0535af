// Arbitrary bytes through the readers alone, so that they run at full speed:
// the strict raw data reader, the log reader with columns by number and
// by name, with and without its options, and a live capture's lines in
// pieces, their format found from them.
#include "linesplitter.h"
#include "logreader.h"
#include "rawdata.h"
#include "readingparser.h"

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
    ReadingParser parser(LineFormat::Auto, 1000.0);
    std::vector<QByteArray> lines;
    std::vector<Reading> readings;
    for (qsizetype at = 0; at < bytes.size(); at += 7)
        splitter.feed(bytes.mid(at, 7), lines);
    lines.push_back(splitter.rest());
    for (const QByteArray &line : lines)
        parser.take(line, readings);
    parser.finish(readings);
    return 0;
}
