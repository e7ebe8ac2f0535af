#include "lineformat.h"

#include "linesource.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tavrin {

namespace {

constexpr double MicroteslaInNt = 1000.0;
constexpr double RawCountInNt = 100.0; ///< a Raw: count is 0.1 uT

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isWordByte(char c)
{
    // µ is 0xC2 0xB5 in UTF-8.
    return std::isalpha(uchar(c)) || uchar(c) == 0xC2 || uchar(c) == 0xB5;
}

// The comma-separated fields after a prefix such as "Raw:", blanks around them dropped.
int splitCommas(const char *p, const char *end, const char *fields[][2], int most)
{
    int count = 0;
    while (true) {
        const char *next = static_cast<const char *>(std::memchr(p, ',', size_t(end - p)));
        const char *fieldEnd = next ? next : end;
        const char *b = p, *e = fieldEnd;
        while (b != e && isBlank(*b))
            ++b;
        while (e != b && isBlank(e[-1]))
            --e;
        if (count == most)
            return most + 1;
        fields[count][0] = b;
        fields[count][1] = e;
        ++count;
        if (!next)
            return count;
        p = next + 1;
    }
}

bool isInteger(const char *begin, const char *end)
{
    if (begin != end && (*begin == '-' || *begin == '+'))
        ++begin;
    return begin != end && std::all_of(begin, end, [](char c) { return c >= '0' && c <= '9'; });
}

// "Raw:" or "Uni:" and nine numbers: accelerometer, gyroscope and magnetometer.
std::optional<LineReading> readNine(const QByteArray &line, const char *prefix, bool integers,
                                    double unitInNt)
{
    if (!line.startsWith(prefix))
        return std::nullopt;
    const char *fields[10][2];
    const char *begin = line.constData() + std::strlen(prefix);
    if (splitCommas(begin, line.constData() + line.size(), fields, 9) != 9)
        return std::nullopt;
    double values[9];
    for (int k = 0; k < 9; k++)
        if ((integers && !isInteger(fields[k][0], fields[k][1])) ||
            !parseNumber(fields[k][0], fields[k][1], values[k]))
            return std::nullopt;
    return LineReading{{values[6], values[7], values[8]},
                       unitInNt,
                       Inertial{{values[0], values[1], values[2]}, {values[3], values[4], values[5]}}};
}

// Three numbers; between two of them blanks, or one comma with blanks around it.
std::optional<LineReading> readXyz(const QByteArray &line)
{
    const char *p = line.constData();
    const char *const end = p + line.size();
    LineReading reading{};
    for (int k = 0; k < 3; k++) {
        while (p != end && isBlank(*p))
            ++p;
        if (k > 0 && p != end && *p == ',') {
            ++p;
            while (p != end && isBlank(*p))
                ++p;
        }
        const char *start = p;
        while (p != end && !isBlank(*p) && *p != ',')
            ++p;
        if (!parseNumber(start, p, reading.field[size_t(k)]))
            return std::nullopt;
    }
    while (p != end && (isBlank(*p) || *p == ','))
        ++p;
    if (p != end)
        return std::nullopt;
    return reading;
}

enum class Label { None, Read, Refused };

// The number after the label x, y or z that ends at p, when ':' or '='
// follows it, into its axis of the reading; p moves past the number.
Label readLabel(const QByteArray &word, const char *&p, const char *end, LineReading &reading, bool found[3])
{
    if (word.size() != 1 || !std::strchr("xyzXYZ", word[0]))
        return Label::None;
    const char *q = p;
    while (q != end && isBlank(*q))
        ++q;
    if (q == end || (*q != ':' && *q != '='))
        return Label::None;
    ++q;
    while (q != end && isBlank(*q))
        ++q;
    const char *number = q;
    while (q != end && !isBlank(*q) && *q != '|' && *q != ',' && *q != ';')
        ++q;
    const int axis = std::tolower(uchar(word[0])) - 'x';
    if (found[axis] || !parseNumber(number, q, reading.field[size_t(axis)]))
        return Label::Refused;
    found[axis] = true;
    p = q;
    return Label::Read;
}

// Labels x, y and z, in any case and once each, each followed by ':' or '='
// and a number. A unit word names the unit only as the first word after one
// of those numbers, with no other number between: the G of "Range 8.1G"
// belongs to the range, not to the readings.
std::optional<LineReading> readLabelled(const QByteArray &line)
{
    const char *const begin = line.constData();
    const char *const end = begin + line.size();
    LineReading reading{};
    bool found[3] = {false, false, false};
    bool afterReading = false;
    const char *p = begin;
    while (p != end) {
        if (!isWordByte(*p)) {
            if (std::isdigit(uchar(*p)))
                afterReading = false;
            ++p;
            continue;
        }
        const char *word = p;
        while (p != end && isWordByte(*p))
            ++p;
        const QByteArray text(word, p - word);
        const Label label = readLabel(text, p, end, reading, found);
        if (label == Label::Refused)
            return std::nullopt;
        if (label == Label::None && afterReading && reading.unitInNt == 0.0)
            reading.unitInNt = unitWordInNt(text);
        afterReading = label == Label::Read;
    }
    if (!found[0] || !found[1] || !found[2])
        return std::nullopt;
    return reading;
}

} // namespace

QString lineFormatName(LineFormat format)
{
    switch (format) {
    case LineFormat::Auto:
        return QStringLiteral("auto");
    case LineFormat::Raw:
        return QStringLiteral("raw");
    case LineFormat::Uni:
        return QStringLiteral("uni");
    case LineFormat::Xyz:
        return QStringLiteral("xyz");
    case LineFormat::Labelled:
        return QStringLiteral("labelled");
    case LineFormat::Log:
        return QStringLiteral("log");
    }
    return {};
}

std::optional<LineFormat> lineFormatNamed(const QString &name)
{
    for (const LineFormat f :
         {LineFormat::Auto, LineFormat::Raw, LineFormat::Uni, LineFormat::Xyz, LineFormat::Labelled})
        if (name == lineFormatName(f))
            return f;
    return std::nullopt;
}

double unitWordInNt(const QByteArray &word)
{
    if (word == "uT" || word == "\xC2\xB5T" || word == "uTesla")
        return MicroteslaInNt;
    if (word == "mG")
        return 100.0;
    if (word == "G")
        return 100000.0;
    if (word == "nT")
        return 1.0;
    return 0.0;
}

std::optional<LineReading> readLine(LineFormat format, const QByteArray &line)
{
    switch (format) {
    case LineFormat::Raw:
        return readNine(line, "Raw:", true, RawCountInNt);
    case LineFormat::Uni:
        return readNine(line, "Uni:", false, MicroteslaInNt);
    case LineFormat::Xyz:
        return readXyz(line);
    case LineFormat::Labelled:
        return readLabelled(line);
    case LineFormat::Auto:
    case LineFormat::Log:
        break;
    }
    return std::nullopt;
}

} // namespace tavrin
