#include "lineformat.h"

#include "linesource.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

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

struct FormatRow;

// A line as one format reads it; empty when it is no line of that format.
using ReadLine = std::optional<LineReading> (*)(const FormatRow &, const QByteArray &);

// Where the readings lie among the numbers of a line of fixed fields: the
// first of each three, -1 for none.
struct FieldPlaces {
    int count;
    int field, accel, gyro;
};

// One line format: its name, how a line of it is recognised and read, and
// what that line holds.
struct FormatRow {
    LineFormat format;
    const char *name;
    bool byName;        ///< chosen by its name alone: a log goes with its columns
    ReadLine read;      ///< null for the formats that read no line alone
    bool detected;      ///< tried by a search for the format, in the table's order
    const char *prefix; ///< what a line of fixed fields opens with
    bool integers;      ///< whether its numbers are whole numbers
    double unitInNt;    ///< the unit of its readings; 0 when the line names it, or has none
    FieldPlaces places;
};

std::array<double, 3> threeAt(const double *values, int first)
{
    return {values[first], values[first + 1], values[first + 2]};
}

// A prefix such as "Raw:", then comma-separated numbers in fixed places.
std::optional<LineReading> readFixedFields(const FormatRow &row, const QByteArray &line)
{
    constexpr int mostFields = 9;
    const FieldPlaces &places = row.places;
    if (!line.startsWith(row.prefix) || places.count > mostFields)
        return std::nullopt;
    const char *fields[mostFields + 1][2];
    const char *begin = line.constData() + std::strlen(row.prefix);
    if (splitCommas(begin, line.constData() + line.size(), fields, places.count) != places.count)
        return std::nullopt;
    double values[mostFields];
    for (int k = 0; k < places.count; k++)
        if ((row.integers && !isInteger(fields[k][0], fields[k][1])) ||
            !parseNumber(fields[k][0], fields[k][1], values[k]))
            return std::nullopt;
    LineReading reading{threeAt(values, places.field), row.unitInNt, std::nullopt};
    if (places.accel >= 0 && places.gyro >= 0)
        reading.inertial = Inertial{threeAt(values, places.accel), threeAt(values, places.gyro)};
    return reading;
}

// Three numbers; between two of them blanks, or one comma with blanks around it.
std::optional<LineReading> readXyz(const FormatRow &, const QByteArray &line)
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
std::optional<LineReading> readLabelled(const FormatRow &, const QByteArray &line)
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

constexpr FieldPlaces NoFields{0, -1, -1, -1};
// Accelerometer, gyroscope, magnetometer.
constexpr FieldPlaces NineFields{9, 6, 0, 3};

// Every format, those searched for in the order a line is tried against
// them: those with a prefix or labels first, so that plain numbers are the
// last guess.
constexpr FormatRow Formats[] = {
    {LineFormat::Auto, "auto", true, nullptr, false, "", false, 0.0, NoFields},
    {LineFormat::Raw, "raw", true, readFixedFields, true, "Raw:", true, RawCountInNt, NineFields},
    {LineFormat::Uni, "uni", true, readFixedFields, true, "Uni:", false, MicroteslaInNt, NineFields},
    {LineFormat::Labelled, "labelled", true, readLabelled, true, "", false, 0.0, NoFields},
    {LineFormat::Xyz, "xyz", true, readXyz, true, "", false, 0.0, NoFields},
    {LineFormat::Log, "log", false, nullptr, false, "", false, 0.0, NoFields},
};

// Null for a value that names no format.
const FormatRow *rowOf(LineFormat format)
{
    const auto row = std::find_if(std::begin(Formats), std::end(Formats),
                                  [format](const FormatRow &r) { return r.format == format; });
    return row == std::end(Formats) ? nullptr : row;
}

} // namespace

QString lineFormatName(LineFormat format)
{
    const FormatRow *row = rowOf(format);
    return row ? QString::fromLatin1(row->name) : QString();
}

std::optional<LineFormat> lineFormatNamed(const QString &name)
{
    for (const FormatRow &row : Formats)
        if (row.byName && name == QLatin1String(row.name))
            return row.format;
    return std::nullopt;
}

namespace {

std::vector<LineFormat> formatsWhere(bool FormatRow::*property)
{
    std::vector<LineFormat> formats;
    for (const FormatRow &row : Formats)
        if (row.*property)
            formats.push_back(row.format);
    return formats;
}

} // namespace

const std::vector<LineFormat> &namedLineFormats()
{
    static const std::vector<LineFormat> named = formatsWhere(&FormatRow::byName);
    return named;
}

const std::vector<LineFormat> &detectedLineFormats()
{
    static const std::vector<LineFormat> detected = formatsWhere(&FormatRow::detected);
    return detected;
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
    const FormatRow *row = rowOf(format);
    return row && row->read ? row->read(*row, line) : std::nullopt;
}

} // namespace tavrin
