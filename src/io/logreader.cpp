#include "logreader.h"

#include "fieldscan.h"
#include "linesource.h"
#include "plainnumber.h"
#include "printable.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
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

bool opensWithQuote(const char *begin, const char *end)
{
    while (begin != end && isBlank(*begin))
        ++begin;
    return begin != end && *begin == '"';
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
    const char *p = begin;
    while (fields.size() < most) {
        const char *start = p;
        const char *next = static_cast<const char *>(std::memchr(p, separator, size_t(end - p)));
        p = next ? next : end;
        // A field that opens with a quote may hold the separator: it ends
        // after the closing quote. A quote further in is a character like
        // any other, as the quick reading of rows takes it.
        if (opensWithQuote(start, p)) {
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
        listed << QStringLiteral("%1 %2").arg(k + 1).arg(printable(header[k]));
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
        for (int c = 0; c < selectors(); c++) {
            input.columns[c] = ColumnNumber(wanted(c));
            byName = byName || input.columns[c] == 0;
            if (input.columns[c] < 0)
                refuse(QStringLiteral("columns are numbered from 1 to %1, and \"%2\" is none of them")
                           .arg(MostColumns)
                           .arg(printable(wanted(c))));
        }
        // Columns refused here refuse the input before any line is read.
        if (!refusedColumns() && distinctColumns() && !byName)
            mapAxes();
    }

    bool finish() override
    {
        if (refusedColumns())
            return false;
        if (input.delimiter == Delimiter::Detect && !decide())
            return false;
        if (!dataStarted && byName && !named)
            return columnsNotFound();
        if (selectors() == 6 && data.status == RawDataStatus::Loaded && data.numLines > 0) {
            data.Accel = MatDoub(data.numLines, 3);
            std::copy(accel.begin(), accel.begin() + 3 * long(data.numLines), data.Accel[0]);
        }
        return true;
    }

    // Once the data have started, every row is read alike, wherever it lies,
    // but for the window of rows kept, which counts them from the first.
    std::unique_ptr<LineSink> continuation(RawData &into) const override
    {
        if (!dataStarted || refusedColumns() || input.delimiter == Delimiter::Detect ||
            format.firstRow != 1 || format.lastRow != 0 || selectors() == 6)
            return nullptr;
        return std::unique_ptr<LineSink>(new LogSink(*this, into));
    }

    void addCounts(const LineSink &later, qint64 lineOffset) override
    {
        const LogInput &more = static_cast<const LogSink &>(later).input;
        input.rows += more.rows;
        input.commentLines += more.commentLines;
        input.skippedLines += more.skippedLines;
        for (const LogInput::Skipped &s : more.firstSkipped)
            if (input.firstSkipped.size() < LogInput::ShownSkippedLines)
                input.firstSkipped.append({lineOffset + s.line, s.text});
        if (more.remedy != LogInput::Remedy::None)
            input.remedy = more.remedy;
        rowNumber += static_cast<const LogSink &>(later).rowNumber;
    }

protected:
    bool line(const char *begin, const char *end, qint64 lineNumber) override
    {
        if (refusedColumns())
            return false;
        trimBlanks(begin, end);
        if (begin == end)
            return true;
        if (*begin == '#' || *begin == '%') {
            ++input.commentLines;
            return true;
        }
        if (input.delimiter == Delimiter::Detect) {
            // The delimiter shows in the first lines; they wait until it is known.
            constexpr size_t sampled = 10;
            waiting.push_back({QByteArray(begin, end - begin), lineNumber});
            return waiting.size() < sampled || decide();
        }
        return content(begin, end, lineNumber);
    }

    // Rows of plain numbers, no quotes, brackets or blanks around them, in
    // the window of rows kept: their selected fields are read where they
    // start, the others only skipped, and the line's end is found on the way.
    // Up to the chunk's last line end, a number surely ends before the chunk.
    const char *plainLines(const char *begin, const char *end) override
    {
        if (!dataStarted || input.delimiter == Delimiter::Space || format.decimalComma || selectors() == 6)
            return begin;
        const char *lastEnd = end;
        while (lastEnd != begin && !endsLine(lastEnd[-1]))
            --lastEnd;
        const char separator = delimiterChar(input.delimiter);
        const qint64 lines = std::min<qint64>(plainLineRoom(), plainPointRoom());
        const qint64 lastRow = format.lastRow > 0 ? format.lastRow : std::numeric_limits<qint64>::max();
        double *row = nextRow();
        qint64 taken = 0;
        const char *p = begin;
        for (; taken < lines && p != lastEnd && rowNumber + taken + 1 >= format.firstRow &&
               rowNumber + taken + 1 <= lastRow;
             ++taken, row += 3) {
            const char *q = plainRow(p, lastEnd, separator, row);
            if (!q)
                break;
            p = q;
        }
        rowNumber += taken;
        input.rows += taken;
        data.numLines += int(taken);
        data.linesRead += taken;
        return p;
    }

private:
    // The selected fields of the plain row at p into point; where the next
    // line begins, or nullptr when the row is not plain or its end is a
    // carriage return that may pair with a line feed after end.
    const char *plainRow(const char *p, const char *end, char separator, double point[3]) const
    {
        if (isBlank(*p) || *p == '#' || *p == '%' || endsLine(*p))
            return nullptr;
        for (size_t step = 0; step < plan.size(); step++) {
            if (plan[step].skip > 0) {
                p = afterFields(p, end, separator, plan[step].skip);
                if (!p)
                    return nullptr;
                ++p;
            }
            p = readPlainNumber(p, point[plan[step].axis]);
            if (!p)
                return nullptr;
            if (step + 1 < plan.size()) {
                if (*p != separator)
                    return nullptr;
                ++p;
            } else if (*p != separator && !endsLine(*p)) {
                return nullptr;
            }
        }
        if (!endsLine(*p))
            p = lineEndFrom(p, end);
        return afterLineEnd(p, end);
    }

    static bool endsLine(char c) { return c == '\n' || c == '\r'; }

    // A continuation of from, with counts of its own.
    LogSink(const LogSink &from, RawData &into)
        : LineSink(into, 0, true), format(from.format), ownInput(std::make_unique<LogInput>()),
          input(*ownInput), byName(from.byName), named(from.named), dataStarted(true),
          mostColumns(from.mostColumns), axes(from.axes), plan(from.plan)
    {
        input.delimiter = from.input.delimiter;
        input.columns = from.input.columns;
    }

    bool decide()
    {
        input.delimiter = sampledDelimiter();
        const std::vector<Waiting> lines = std::move(waiting);
        waiting.clear();
        for (const Waiting &w : lines)
            if (!content(w.text.constData(), w.text.constData() + w.text.size(), w.line))
                return false;
        return true;
    }

    // The delimiter that makes the most sampled lines rows of data, so that
    // a preamble above the header cannot decide it; failing that, the one
    // that most lines hold.
    Delimiter sampledDelimiter()
    {
        Delimiter best = Delimiter::Detect;
        qint64 mostRows = 0;
        for (const Delimiter d : {Delimiter::Tab, Delimiter::Semicolon, Delimiter::Comma, Delimiter::Space}) {
            if (d == Delimiter::Comma && format.decimalComma)
                continue;
            const qint64 rows = std::count_if(waiting.begin(), waiting.end(), [&](const Waiting &w) {
                split(w.text.constData(), w.text.constData() + w.text.size(), d, size_t(-1), fields);
                double point[6];
                return byName ? numberFields() >= 3 : selected(point);
            });
            if (rows > mostRows) {
                best = d;
                mostRows = rows;
            }
        }
        if (best != Delimiter::Detect)
            return best;
        QList<QByteArray> texts;
        for (const Waiting &w : waiting)
            texts << w.text;
        return detectDelimiter(texts, format.decimalComma);
    }

    // A line before the data: a header line, a row whose selected fields are
    // numbers (the first of the data), or a row whose selected fields are not.
    bool content(const char *begin, const char *end, qint64 lineNumber)
    {
        if (dataStarted)
            return row(begin, end, lineNumber);
        split(begin, end, input.delimiter, size_t(-1), fields);
        if (input.headerLines == 0 && indexHeader())
            return header(begin, end, lineNumber);
        if (byName && nameColumns())
            return distinctColumns() && header(begin, end, lineNumber);
        const bool columnsKnown = !byName || named;
        double point[6];
        if (columnsKnown && selected(point)) {
            dataStarted = true;
            return row(begin, end, lineNumber);
        }
        if (columnsKnown && !format.decimalComma && selected(point, true)) {
            input.remedy = LogInput::Remedy::DecimalComma;
            data.reason = QStringLiteral("its numbers are written with decimal commas");
            return fail(RawDataStatus::BadFormat, begin, end, lineNumber);
        }
        if (looksLikeRow(columnsKnown)) {
            if (!columnsKnown)
                return columnsNotFound();
            if (const int beyond = *std::max_element(input.columns.begin(), input.columns.end());
                size_t(beyond) > fields.size())
                return refuse(QStringLiteral("line %1 has %2 fields; column %3 is beyond them")
                                  .arg(lineNumber)
                                  .arg(fields.size())
                                  .arg(beyond));
            dataStarted = true;
            return row(begin, end, lineNumber);
        }
        return header(begin, end, lineNumber, numbersLineFields == 0);
    }

    // The first line of a table written with its index column: an empty
    // field, then the column numbers 0, 1, 2... It names the columns below.
    bool indexHeader() const
    {
        if (fields.size() < 4 || !nameText(fields[0]).isEmpty())
            return false;
        for (size_t k = 1; k < fields.size(); k++)
            if (nameText(fields[k]) != QString::number(k - 1))
                return false;
        return true;
    }

    // A line before the data: the names come from the last one that holds
    // them, and a line of three numbers or more holds none.
    bool header(const char *begin, const char *end, qint64 lineNumber, bool names = true)
    {
        if (names) {
            input.header.clear();
            for (const Field &f : fields)
                input.header << nameText(f);
        }
        if (++input.headerLines > LogInput::MaxHeaderLines)
            return fail(RawDataStatus::TooManyHeaderLines, begin, end, lineNumber);
        return true;
    }

    // Whether every name selects exactly one field of this line.
    bool nameColumns()
    {
        QStringList header;
        for (const Field &f : fields)
            header << nameText(f);
        std::array<int, 6> columns = input.columns;
        for (int c = 0; c < selectors(); c++)
            if (ColumnNumber(wanted(c)) == 0 &&
                findName(unquoted(wanted(c)), header, columns[c]) != Match::Found)
                return false;
        input.columns = columns;
        for (int c = 0; c < selectors(); c++)
            input.names[c] = header.value(columns[c] - 1);
        named = true;
        mapAxes();
        return true;
    }

    // Two axes read from one column would make them equal: such columns
    // refuse the input.
    bool distinctColumns()
    {
        static const char *const axis[] = {
            "x", "y", "z", "the accelerometer's x", "the accelerometer's y", "the accelerometer's z"};
        for (int c = 0; c < selectors(); c++)
            for (int d = c + 1; d < selectors(); d++)
                if (input.columns[c] > 0 && input.columns[c] == input.columns[d])
                    return refuse(QStringLiteral("%1 and %2 are both column %3")
                                      .arg(axis[c])
                                      .arg(axis[d])
                                      .arg(input.columns[c]));
        return true;
    }

    bool refusedColumns() const { return data.status == RawDataStatus::ColumnsNotFound; }

    bool refuse(const QString &reason)
    {
        data.status = RawDataStatus::ColumnsNotFound;
        data.reason = reason;
        data.numLines = 0;
        return false;
    }

    // A row of data, whatever its selected fields hold, rather than a header
    // line: three numbers or more, and nothing else; or, with the columns
    // known, also the selected fields, empty or not numbers; with names not
    // found, also a line above alike, as no header line is. A preamble line
    // such as "Offsets,0,0,0" above the header thus stays a header line.
    bool looksLikeRow(bool columnsKnown)
    {
        const size_t numbers = size_t(numberFields());
        const size_t fieldsAbove = std::exchange(numbersLineFields, numbers >= 3 ? fields.size() : 0);
        if (numbers < 3 || numbers == fields.size())
            return numbers >= 3;
        return columnsKnown
                   ? fields.size() >= size_t(*std::max_element(input.columns.begin(), input.columns.end()))
                   : fieldsAbove == fields.size();
    }

    qint64 numberFields()
    {
        return std::count_if(fields.begin(), fields.end(), [this](const Field &f) {
            double value;
            return number(f, value, format.decimalComma);
        });
    }

    bool columnsNotFound()
    {
        QStringList problems;
        for (int c = 0; c < selectors(); c++) {
            if (ColumnNumber(wanted(c)) != 0)
                continue;
            int column = 0;
            const Match m = findName(unquoted(wanted(c)), input.header, column);
            if (m == Match::None)
                problems << QStringLiteral("\"%1\" names no field").arg(printable(wanted(c)));
            else if (m == Match::Several)
                problems << QStringLiteral("\"%1\" names several fields").arg(printable(wanted(c)));
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

    bool number(Field f, double &value, bool decimalComma) const
    {
        f = numberText(f);
        if (!decimalComma || !std::memchr(f.first, ',', size_t(f.second - f.first)))
            return parseNumber(f.first, f.second, value);
        char text[64];
        const size_t length = size_t(f.second - f.first);
        if (length >= sizeof text)
            return false;
        std::replace_copy(f.first, f.second, text, ',', '.');
        return parseNumber(text, text + length, value);
    }

    // The selected fields of the line in fields, as numbers; read with
    // decimal commas when the format says so or when asked.
    bool selected(double point[6], bool decimalComma = false) const
    {
        for (int c = 0; c < selectors(); c++)
            if (size_t(input.columns[c]) > fields.size() ||
                !number(fields[size_t(input.columns[c] - 1)], point[c], decimalComma || format.decimalComma))
                return false;
        return true;
    }

    bool row(const char *begin, const char *end, qint64 lineNumber)
    {
        ++rowNumber;
        if (rowNumber < format.firstRow || (format.lastRow > 0 && rowNumber > format.lastRow))
            return true;
        double point[6];
        const Quick quick = quickRow(begin, end, point);
        if (quick == Quick::Unsure)
            split(begin, end, input.delimiter, mostColumns, fields);
        if (quick == Quick::Bad || (quick == Quick::Unsure && !selected(point))) {
            if (!format.skipBadLines) {
                input.remedy = LogInput::Remedy::SkipBadLines;
                return fail(RawDataStatus::BadFormat, begin, end, lineNumber);
            }
            if (input.firstSkipped.size() < LogInput::ShownSkippedLines)
                input.firstSkipped.append({lineNumber, shownLine(begin, end)});
            ++input.skippedLines;
            return true;
        }
        ++input.rows;
        if (!store(point, begin, end, lineNumber))
            return false;
        if (selectors() == 6)
            accel.insert(accel.end(), point + 3, point + 6);
        return true;
    }

    enum class Quick { Point, Bad, Unsure };

    // Most rows are plain: no quotes, no decimal commas, one delimiter
    // character. Their selected fields are read where they start, and the
    // others only skipped, with no list of fields: the log reader takes about
    // 1.5 instead of 1.7 times the strict reader's time (bench/log_bench).
    Quick quickRow(const char *begin, const char *end, double point[6])
    {
        if (input.delimiter == Delimiter::Space || format.decimalComma)
            return Quick::Unsure;
        const char separator = delimiterChar(input.delimiter);
        const char *p = begin;
        for (size_t column = 1, found = 0; found < size_t(selectors()); column++) {
            if (p > end)
                return Quick::Bad; // too few fields
            // A field that opens with a quote may hold the separator: the full split knows.
            if (opensWithQuote(p, end))
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
        for (int c = 0; c < selectors(); c++)
            axes[size_t(input.columns[c])] = c;
        plan.clear();
        int skip = 0;
        for (size_t column = 1; column <= mostColumns; column++) {
            if (axes[column] < 0) {
                skip++;
            } else {
                plan.push_back({skip, axes[column]});
                skip = 0;
            }
        }
    }

    struct Waiting {
        QByteArray text;
        qint64 line;
    };

    // The magnetometer's three selectors, then the accelerometer's when it is read.
    int selectors() const { return format.accelColumns[0].isEmpty() ? 3 : 6; }
    const QString &wanted(int c) const { return c < 3 ? format.columns[c] : format.accelColumns[c - 3]; }

    const LogFormat &format;
    std::unique_ptr<LogInput> ownInput; ///< a continuation's counts
    LogInput &input;
    bool byName = false;
    bool named = false;
    bool dataStarted = false;
    size_t mostColumns = 0;
    std::vector<int> axes;
    // A plain row read from its start: fields to skip, then an axis to read.
    struct Step {
        int skip;
        int axis;
    };
    std::vector<Step> plan;
    size_t numbersLineFields = 0; ///< the fields of the line above the data when it held three numbers
    qint64 rowNumber = 0;
    std::vector<Field> fields;
    std::vector<Waiting> waiting;
    std::vector<double> accel; ///< the accelerometer's readings of the points stored, three by three
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

// A header name as an axis: its prefix, its axis (0 to 2) and how much the
// prefix says it is a magnetometer's (0 best, 3 for another sensor's).
struct AxisName {
    QString prefix;
    int axis = -1;
    int rank = 3;
};

AxisName axisName(const QString &name)
{
    static const QRegularExpression unit(QStringLiteral("\\s*[\\(\\[\\{].*$"));
    static const QRegularExpression separators(QStringLiteral("[\\s_.:/-]+$"));
    static const QRegularExpression magnetometer(
        QStringLiteral("(^|[^a-z])(m|mag|magn|magnetic|magnetometer|compass|b|h|field)$"));
    static const QRegularExpression otherSensor(
        QStringLiteral("(^|[^a-z])(a|g|w|acc|accel|accelerometer|gyr|gyro|gyroscope|omega|lin|linear|grav|"
                       "gravity|euler|angle|rot|rotation|pos|position|vel|velocity)$"));
    AxisName found;
    QString text = name.toLower().remove(unit).trimmed();
    if (text.isEmpty() || !QStringLiteral("xyz").contains(text.back()))
        return found;
    found.axis = int(text.back().unicode() - 'x');
    found.prefix = text.chopped(1).remove(separators);
    found.rank = found.prefix.isEmpty()                        ? 1
                 : magnetometer.match(found.prefix).hasMatch() ? 0
                 : otherSensor.match(found.prefix).hasMatch()  ? 3
                                                               : 2;
    return found;
}

bool namesTimeOrCount(const QString &name)
{
    static const QRegularExpression word(
        QStringLiteral("^(t|ts|time|timestamp|time ?stamp|date|datetime|epoch|clock|ms|millis|us|micros|"
                       "index|idx|i|n|no|nr|number|sample|samples|seq|sequence|count|counter|id|line|row|"
                       "frame|tick|ticks)([\\s_.-]?\\(.*\\)|[\\s_.-]?\\[.*\\]|[\\s_.-]?(s|ms|us|ns))?$"));
    const QString text = name.toLower().trimmed();
    return word.match(text).hasMatch() || text.startsWith(QLatin1String("time")) ||
           text.startsWith(QLatin1String("date"));
}

} // namespace

std::array<int, 3> ProposedColumns(const QStringList &header, int fieldCount)
{
    // The best rank wins; among equals, the last prefix named with all three
    // axes. Another sensor's axes are never proposed.
    std::array<int, 3> best{0, 0, 0};
    int bestRank = 2;
    for (int k = 0; k < header.size() && k < fieldCount; k++) {
        const AxisName first = axisName(header[k]);
        if (first.axis != 0 || first.rank > bestRank)
            continue;
        std::array<int, 3> columns{k + 1, 0, 0};
        for (int j = 0; j < header.size() && j < fieldCount; j++) {
            const AxisName other = axisName(header[j]);
            if (other.axis > 0 && other.prefix == first.prefix && columns[size_t(other.axis)] == 0)
                columns[size_t(other.axis)] = j + 1;
        }
        if (columns[1] > 0 && columns[2] > 0) {
            best = columns;
            bestRank = first.rank;
        }
    }
    if (best[0] > 0)
        return best;
    std::array<int, 3> last{0, 0, 0};
    int found = 0;
    for (int k = fieldCount - 1; k >= 0 && found < 3; k--)
        if (k >= header.size() || !namesTimeOrCount(header[k]))
            last[size_t(2 - found++)] = k + 1;
    if (found < 3)
        return {std::max(1, fieldCount - 2), std::max(2, fieldCount - 1), std::max(3, fieldCount)};
    return last;
}

std::optional<LogGuess> GuessLog(const QString &filename)
{
    const QList<QByteArray> lines = firstLines(filename, 5);
    if (lines.isEmpty())
        return std::nullopt;
    const Delimiter d = detectDelimiter(lines, false);
    std::vector<Field> fields;
    const auto fieldsOf = [&](const QByteArray &line) {
        split(line.constData(), line.constData() + line.size(), d, size_t(-1), fields);
    };
    // The first line with three numbers or more holds the data, whatever its
    // other fields hold; what comes before is a header.
    int dataLine = -1;
    for (int k = 0; k < lines.size() && dataLine < 0; k++) {
        fieldsOf(lines[k]);
        double value;
        if (std::count_if(fields.begin(), fields.end(), [&](const Field &f) {
                const Field n = numberText(f);
                return parseNumber(n.first, n.second, value);
            }) >= 3)
            dataLine = k;
    }
    const bool delimited = d == Delimiter::Comma || d == Delimiter::Semicolon;
    if (dataLine < 0 || (dataLine == 0 && !delimited))
        return std::nullopt;
    fieldsOf(lines[dataLine]);
    if (fields.size() < 3)
        return std::nullopt;
    const int fieldCount = int(fields.size());
    LogGuess guess;
    QStringList header;
    if (dataLine > 0) {
        fieldsOf(lines[dataLine - 1]);
        for (const Field &f : fields)
            header << nameText(f);
        guess.fields = listFields(header);
    }
    guess.columns = ProposedColumns(header, fieldCount);
    return guess;
}

int ColumnNumber(const QString &selector)
{
    const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    if (selector.isEmpty() || !std::all_of(selector.begin(), selector.end(), digit))
        return 0;
    // Stopping past the limit keeps the value from ever overflowing.
    int number = 0;
    for (int k = 0; k < selector.size() && number <= MostColumns; k++)
        number = 10 * number + (selector[k].unicode() - '0');
    return number >= 1 && number <= MostColumns ? number : -1;
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

std::unique_ptr<LineSink> makeLogSink(RawData &data, const LogFormat &format, LogInput &input)
{
    return std::make_unique<LogSink>(data, 0, format, input);
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
