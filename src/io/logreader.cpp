#include "logreader.h"

#include "linesource.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace tavrin {

namespace {

using Field = std::pair<const char *, const char *>;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

void trimBlanks(const char *&begin, const char *&end)
{
    while (begin != end && isBlank(*begin))
        ++begin;
    while (end != begin && isBlank(end[-1]))
        --end;
}

bool wraps(char c)
{
    switch (c) {
    case ' ':
    case '\t':
    case '"':
    case '(':
    case ')':
    case '[':
    case ']':
    case '{':
    case '}':
        return true;
    default:
        return false;
    }
}

// A number may come quoted and wrapped in blanks and brackets: ((1.5, 2, 3)).
Field numberText(Field f)
{
    const auto wrapping = wraps;
    while (f.first != f.second && wrapping(*f.first))
        ++f.first;
    while (f.second != f.first && wrapping(f.second[-1]))
        --f.second;
    return f;
}

// A name keeps its brackets, "X (uT)"; only blanks and quotes go.
QString unquoted(QString name)
{
    name = name.trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2).trimmed();
    return name;
}

QString nameText(Field f)
{
    return unquoted(QString::fromUtf8(f.first, f.second - f.first));
}

char delimiterChar(Delimiter d)
{
    return d == Delimiter::Comma ? ',' : d == Delimiter::Semicolon ? ';' : d == Delimiter::Tab ? '\t' : ' ';
}

// The fields of a line, at most most of them; a delimited field may be
// quoted, and then holds the delimiter.
void split(const char *begin, const char *end, Delimiter d, size_t most, std::vector<Field> &fields)
{
    fields.clear();
    if (d == Delimiter::Space) {
        const char *p = begin;
        while (fields.size() < most) {
            while (p != end && isBlank(*p))
                ++p;
            if (p == end)
                break;
            const char *start = p;
            while (p != end && !isBlank(*p))
                ++p;
            fields.emplace_back(start, p);
        }
        return;
    }
    const char separator = delimiterChar(d);
    const bool quotes = std::memchr(begin, '"', size_t(end - begin)) != nullptr;
    const char *p = begin;
    while (fields.size() < most) {
        const char *start = p;
        const char *next = static_cast<const char *>(std::memchr(p, separator, size_t(end - p)));
        p = next ? next : end;
        // A quote before the separator may hide it: then the field ends after the closing quote.
        if (quotes && std::memchr(start, '"', size_t(p - start))) {
            bool quoted = false;
            for (p = start; p != end && (quoted || *p != separator); ++p)
                if (*p == '"')
                    quoted = !quoted;
        }
        fields.emplace_back(start, p);
        if (p == end)
            break;
        ++p;
    }
}

bool isAllDigits(const QString &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit(); });
}

enum class Match { Found, None, Several };

// A name selects the field equal to it, ignoring case; failing that, the one
// field that begins with it followed by a character that is no letter or digit.
Match findName(const QString &name, const QStringList &header, int &column)
{
    QList<int> equal, prefixed;
    for (int k = 0; k < header.size(); k++) {
        const QString &field = header[k];
        if (field.compare(name, Qt::CaseInsensitive) == 0)
            equal << k;
        else if (field.startsWith(name, Qt::CaseInsensitive) && field.size() > name.size() &&
                 !field[name.size()].isLetterOrNumber())
            prefixed << k;
    }
    const QList<int> &found = equal.isEmpty() ? prefixed : equal;
    if (found.size() == 1)
        column = found.first() + 1;
    return found.isEmpty() ? Match::None : found.size() == 1 ? Match::Found : Match::Several;
}

QString listFields(const QStringList &header)
{
    QStringList listed;
    for (int k = 0; k < header.size(); k++)
        listed << QStringLiteral("%1 %2").arg(k + 1).arg(header[k]);
    return listed.join(QStringLiteral(", "));
}

// Tab, semicolon or comma when it is in at least half of the first lines; blanks otherwise.
template <typename Lines> Delimiter detectDelimiter(const Lines &lines, bool decimalComma)
{
    for (const Delimiter d : {Delimiter::Tab, Delimiter::Semicolon, Delimiter::Comma}) {
        if (d == Delimiter::Comma && decimalComma)
            continue;
        const auto holding = std::count_if(lines.begin(), lines.end(), [&](const QByteArray &line) {
            return line.contains(delimiterChar(d));
        });
        if (holding > 0 && 2 * size_t(holding) >= size_t(lines.size()))
            return d;
    }
    return Delimiter::Space;
}

class LogSink : public LineSink {
public:
    LogSink(RawData &data, qint64 size, const LogFormat &format, LogInput &input)
        : LineSink(data, size, true), format(format), input(input)
    {
        input = LogInput();
        input.delimiter = format.delimiter;
        for (int c = 0; c < 3; c++) {
            if (isAllDigits(format.columns[c]))
                input.columns[c] = format.columns[c].toInt();
            else
                byName = true;
        }
        if (!byName)
            mapAxes();
    }

    bool finish() override
    {
        if (input.delimiter == Delimiter::Detect && !decide())
            return false;
        if (!dataStarted && byName && !named)
            return columnsNotFound();
        return true;
    }

protected:
    bool line(const char *begin, const char *end, qint64 lineNumber) override
    {
        trimBlanks(begin, end);
        if (begin == end)
            return true;
        if (*begin == '#' || *begin == '%') {
            ++input.commentLines;
            return true;
        }
        if (input.delimiter == Delimiter::Detect) {
            // The delimiter shows in the first lines; they wait until it is known.
            constexpr size_t sampled = 5;
            waiting.push_back({QByteArray(begin, end - begin), lineNumber});
            return waiting.size() < sampled || decide();
        }
        return content(begin, end, lineNumber);
    }

private:
    bool decide()
    {
        QList<QByteArray> texts;
        for (const Waiting &w : waiting)
            texts << w.text;
        input.delimiter = detectDelimiter(texts, format.decimalComma);
        const std::vector<Waiting> lines = std::move(waiting);
        waiting.clear();
        for (const Waiting &w : lines)
            if (!content(w.text.constData(), w.text.constData() + w.text.size(), w.line))
                return false;
        return true;
    }

    bool content(const char *begin, const char *end, qint64 lineNumber)
    {
        if (dataStarted)
            return row(begin, end, lineNumber);
        split(begin, end, input.delimiter, size_t(-1), fields);
        if (byName && nameColumns())
            return header();
        double point[3];
        if ((!byName || named) && selected(point)) {
            dataStarted = true;
            return row(begin, end, lineNumber);
        }
        if (fields.size() >= 3 &&
            std::all_of(fields.begin(), fields.end(), [this](const Field &f) { return isNumber(f); })) {
            // A line of numbers only is data, whatever the columns make of it.
            if (byName && !named)
                return columnsNotFound();
            return columnsBeyond(fields.size(), lineNumber);
        }
        if (!header())
            return fail(RawDataStatus::TooManyHeaderLines, begin, end, lineNumber);
        return true;
    }

    // A line before the data: the names come from the last one that holds them.
    bool header()
    {
        input.header.clear();
        for (const Field &f : fields)
            input.header << nameText(f);
        return ++input.headerLines <= LogInput::MaxHeaderLines;
    }

    // Whether every name selects exactly one field of this line.
    bool nameColumns()
    {
        QStringList header;
        for (const Field &f : fields)
            header << nameText(f);
        std::array<int, 3> columns = input.columns;
        for (int c = 0; c < 3; c++)
            if (!isAllDigits(format.columns[c]) &&
                findName(unquoted(format.columns[c]), header, columns[c]) != Match::Found)
                return false;
        input.columns = columns;
        for (int c = 0; c < 3; c++)
            input.names[c] = header.value(columns[c] - 1);
        named = true;
        mapAxes();
        return true;
    }

    bool columnsNotFound()
    {
        QStringList problems;
        for (int c = 0; c < 3; c++) {
            if (isAllDigits(format.columns[c]))
                continue;
            int column = 0;
            const Match m = findName(unquoted(format.columns[c]), input.header, column);
            if (m == Match::None)
                problems << QStringLiteral("\"%1\" names no field").arg(format.columns[c]);
            else if (m == Match::Several)
                problems << QStringLiteral("\"%1\" names several fields").arg(format.columns[c]);
        }
        data.status = RawDataStatus::ColumnsNotFound;
        data.reason =
            input.header.isEmpty()
                ? QStringLiteral("the file has no header line to take names from; give column numbers")
                : problems.join(QStringLiteral(", ")) + QStringLiteral(" of the header: ") +
                      listFields(input.header);
        data.numLines = 0;
        return false;
    }

    bool columnsBeyond(size_t count, qint64 lineNumber)
    {
        data.status = RawDataStatus::ColumnsNotFound;
        data.reason = QStringLiteral("line %1 holds %2 fields, fewer than column %3")
                          .arg(lineNumber)
                          .arg(count)
                          .arg(*std::max_element(input.columns.begin(), input.columns.end()));
        data.numLines = 0;
        return false;
    }

    bool isNumber(const Field &f)
    {
        double value;
        return number(f, value);
    }

    bool number(Field f, double &value)
    {
        f = numberText(f);
        if (!format.decimalComma || !std::memchr(f.first, ',', size_t(f.second - f.first)))
            return parseNumber(f.first, f.second, value);
        char text[64];
        const size_t length = size_t(f.second - f.first);
        if (length >= sizeof text)
            return false;
        std::replace_copy(f.first, f.second, text, ',', '.');
        return parseNumber(text, text + length, value);
    }

    // The selected fields of the line in fields, as numbers.
    bool selected(double point[3])
    {
        for (int c = 0; c < 3; c++)
            if (size_t(input.columns[c]) > fields.size() ||
                !number(fields[size_t(input.columns[c] - 1)], point[c]))
                return false;
        return true;
    }

    bool row(const char *begin, const char *end, qint64 lineNumber)
    {
        ++rowNumber;
        if (rowNumber < format.firstRow || (format.lastRow > 0 && rowNumber > format.lastRow))
            return true;
        double point[3];
        const Quick quick = quickRow(begin, end, point);
        if (quick == Quick::Unsure)
            split(begin, end, input.delimiter, mostColumns, fields);
        if (quick == Quick::Bad || (quick == Quick::Unsure && !selected(point))) {
            if (!format.skipBadLines)
                return fail(RawDataStatus::BadFormat, begin, end, lineNumber);
            if (input.firstSkipped.size() < LogInput::ShownSkippedLines)
                input.firstSkipped.append({lineNumber, shownLine(begin, end)});
            ++input.skippedLines;
            return true;
        }
        ++input.rows;
        return store(point, begin, end, lineNumber);
    }

    enum class Quick { Point, Bad, Unsure };

    // Most rows are plain: no quotes, no decimal commas, one delimiter
    // character. Their selected fields are read where they start, and the
    // others only skipped, with no list of fields: the log reader takes about
    // 1.5 instead of 1.7 times the strict reader's time (bench/log_bench).
    Quick quickRow(const char *begin, const char *end, double point[3])
    {
        if (input.delimiter == Delimiter::Space || format.decimalComma)
            return Quick::Unsure;
        const char separator = delimiterChar(input.delimiter);
        const char *p = begin;
        for (size_t column = 1, found = 0; found < 3; column++) {
            if (p > end)
                return Quick::Bad; // too few fields
            // A field that opens with a quote may hold the separator: the full split knows.
            const char *q = p;
            while (q != end && isBlank(*q))
                ++q;
            if (q != end && *q == '"')
                return Quick::Unsure;
            const char *next = static_cast<const char *>(std::memchr(p, separator, size_t(end - p)));
            const char *fieldEnd = next ? next : end;
            if (const int axis = axes[column]; axis >= 0) {
                const Field f = numberText({p, fieldEnd});
                if (!parseNumber(f.first, f.second, point[axis]))
                    return Quick::Bad;
                ++found;
            }
            p = fieldEnd + 1;
        }
        return Quick::Point;
    }

    // The axis (0, 1, 2) of each 1-based column up to the last selected, or -1.
    void mapAxes()
    {
        mostColumns = size_t(*std::max_element(input.columns.begin(), input.columns.end()));
        axes.assign(mostColumns + 1, -1);
        for (size_t c = 0; c < 3; c++)
            axes[size_t(input.columns[c])] = int(c);
    }

    struct Waiting {
        QByteArray text;
        qint64 line;
    };

    const LogFormat &format;
    LogInput &input;
    bool byName = false;
    bool named = false;
    bool dataStarted = false;
    size_t mostColumns = 0;
    std::vector<int> axes;
    qint64 rowNumber = 0;
    std::vector<Field> fields;
    std::vector<Waiting> waiting;
};

// The first lines of a file that are neither blank nor comments.
QList<QByteArray> firstLines(const QString &filename, int count)
{
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines;
    const QByteArray head = file.read(64 * 1024);
    for (QByteArray line : head.split('\n')) {
        line = line.trimmed();
        if (!line.isEmpty() && !line.startsWith('#') && !line.startsWith('%'))
            lines << line;
        if (lines.size() == count)
            break;
    }
    return lines;
}

} // namespace

QString LogHint(const QString &filename)
{
    const QList<QByteArray> lines = firstLines(filename, 5);
    if (lines.isEmpty())
        return {};
    const Delimiter d = detectDelimiter(lines, false);
    std::vector<Field> fields;
    const auto fieldsOf = [&](const QByteArray &line) {
        split(line.constData(), line.constData() + line.size(), d, size_t(-1), fields);
    };
    // The first line all of whose fields are numbers holds the data; what comes before is a header.
    int dataLine = -1;
    for (int k = 0; k < lines.size() && dataLine < 0; k++) {
        fieldsOf(lines[k]);
        double value;
        if (std::all_of(fields.begin(), fields.end(), [&](const Field &f) {
                const Field n = numberText(f);
                return parseNumber(n.first, n.second, value);
            }))
            dataLine = k;
    }
    const bool delimited = d == Delimiter::Comma || d == Delimiter::Semicolon;
    if (dataLine < 0 || (dataLine == 0 && !delimited))
        return {};
    fieldsOf(lines[dataLine]);
    if (fields.size() < 3)
        return {};
    // The example takes the last three columns, or the last three header
    // names that end in x, y and z ("mx", "X (uT)").
    size_t first = fields.size() - 3;
    QString hint = QStringLiteral("It looks like a log");
    if (dataLine > 0) {
        fieldsOf(lines[dataLine - 1]);
        QStringList header, axes;
        for (const Field &f : fields) {
            header << nameText(f);
            axes << header.last()
                        .section(QRegularExpression(QStringLiteral("[ (\\[]")), 0, 0)
                        .right(1)
                        .toLower();
        }
        for (int k = 0; k + 2 < axes.size(); k++)
            if (axes[k] == "x" && axes[k + 1] == "y" && axes[k + 2] == "z")
                first = size_t(k);
        hint += QStringLiteral(" with the fields ") + listFields(header);
    }
    return hint + QStringLiteral("; read it with --columns, for example --columns %1,%2,%3.")
                      .arg(first + 1)
                      .arg(first + 2)
                      .arg(first + 3);
}

QString delimiterName(Delimiter delimiter)
{
    switch (delimiter) {
    case Delimiter::Detect:
        return QStringLiteral("detect");
    case Delimiter::Comma:
        return QStringLiteral("comma");
    case Delimiter::Semicolon:
        return QStringLiteral("semicolon");
    case Delimiter::Tab:
        return QStringLiteral("tab");
    case Delimiter::Space:
        return QStringLiteral("space");
    }
    return {};
}

RawData ParseLog(const QByteArray &bytes, const LogFormat &format, LogInput &input)
{
    return parseBytes(bytes, [&](RawData &data, qint64 size) {
        return std::make_unique<LogSink>(data, size, format, input);
    });
}

RawData ReadLog(const QString &filename, const LogFormat &format, LogInput &input, const WorkControl &control)
{
    return readInput(
        filename,
        [&](RawData &data, qint64 size) { return std::make_unique<LogSink>(data, size, format, input); },
        control);
}

} // namespace tavrin
