// Arbitrary bytes through the readers alone, so that they run at full speed:
// the strict raw data reader, and the log reader with columns by number and
// by name, with and without its options.
#include "logreader.h"
#include "rawdata.h"

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
    return 0;
}
