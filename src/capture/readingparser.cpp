#include "readingparser.h"

#include "linesource.h"

#include <algorithm>
#include <cmath>

namespace tavrin {

ReadingParser::ReadingParser(LineFormat format, double unitInNt, std::optional<LogFormat> log)
    : chosen(format), unitInNt(unitInNt), logFormat(std::move(log))
{
    if (chosen == LineFormat::Log) {
        // A live log keeps going past a bad row; the row is one ignored line.
        logFormat->skipBadLines = true;
        logSink = makeLogSink(logData, *logFormat, logInput);
    }
}

ReadingParser::~ReadingParser() = default;

void ReadingParser::take(const QByteArray &line, Readings &out)
{
    switch (chosen) {
    case LineFormat::Auto:
        detect(line, out);
        return;
    case LineFormat::Log:
        takeLogRow(line, out);
        return;
    default:
        break;
    }
    if (const std::optional<LineReading> reading = readLine(chosen, line))
        give(*reading, line, out);
    else
        ignore(line);
}

void ReadingParser::detect(const QByteArray &line, Readings &out)
{
    for (const LineFormat f : detectedLineFormats()) {
        const std::optional<LineReading> reading = readLine(f, line);
        if (!reading)
            continue;
        waiting.push_back({f, *reading, line});
        if (std::count_if(waiting.begin(), waiting.end(), [f](const Waiting &w) { return w.format == f; }) ==
            LinesToDecide)
            settle(f, out);
        return;
    }
    ignore(line);
}

void ReadingParser::finish(Readings &out)
{
    if (chosen == LineFormat::Log && logSink && logProblem.isEmpty()) {
        // The last lines may have waited for the delimiter until now.
        const qint64 before = logLinesNotRows();
        if (logSink->finish())
            drainLog(out);
        else
            logProblem = logData.reason;
        ignoredLines += logLinesNotRows() - before;
    }
    if (chosen != LineFormat::Auto || waiting.empty())
        return;
    LineFormat most = waiting.front().format;
    long mostLines = 0;
    for (const LineFormat f : detectedLineFormats()) {
        const long lines =
            std::count_if(waiting.begin(), waiting.end(), [f](const Waiting &w) { return w.format == f; });
        if (lines > mostLines) {
            most = f;
            mostLines = lines;
        }
    }
    settle(most, out);
}

// The lines that waited in that format give their readings; the others were no readings.
void ReadingParser::settle(LineFormat found, Readings &out)
{
    chosen = found;
    for (const Waiting &w : waiting)
        if (w.format == found)
            give(w.reading, w.line, out);
        else
            ignore(w.line);
    waiting.clear();
}

void ReadingParser::takeLogRow(const QByteArray &line, Readings &out)
{
    if (!logProblem.isEmpty()) {
        ignore(line);
        return;
    }
    const qint64 notRowsBefore = logLinesNotRows();
    if (!logSink->lines(line.constData(), line.constData() + line.size())) {
        logProblem = logData.status == RawDataStatus::TooManyHeaderLines
                         ? QStringLiteral("no row holds the columns within the first %1 lines")
                               .arg(LogInput::MaxHeaderLines)
                         : logData.reason;
        ignore(line);
        return;
    }
    // The first rows wait until their delimiter is known; a header found
    // then is told against the line that settled it.
    const qint64 notRows = logLinesNotRows();
    if (notRows > notRowsBefore) {
        ignoredLines += notRows - notRowsBefore - 1;
        ignore(line);
    }
    drainLog(out);
}

qint64 ReadingParser::logLinesNotRows() const
{
    return logInput.skippedLines + logInput.headerLines + logInput.commentLines;
}

// The log reader fills its table; the rows move out and the table is reused.
void ReadingParser::drainLog(Readings &out)
{
    for (int k = 0; k < logData.numLines; k++)
        out.fields.push_back({logData.Mag[k][0], logData.Mag[k][1], logData.Mag[k][2]});
    logData.numLines = 0;
}

void ReadingParser::ignore(const QByteArray &line)
{
    ++ignoredLines;
    lastIgnoredLine = line;
}

// The reading in the capture's unit. A reading already in it keeps the
// double it was read as; another is converted with one rounding only: 618
// counts of 0.1 uT are 61.8 uT, not 61.800000000000004. The accelerometer
// and gyroscope keep the line's units.
void ReadingParser::give(const LineReading &reading, const QByteArray &line, Readings &out)
{
    Reading field = reading.field;
    if (reading.unitInNt != 0.0 && reading.unitInNt != unitInNt) {
        const auto inUnit = [&](double v) { return v * reading.unitInNt / unitInNt; };
        field = {inUnit(field[0]), inUnit(field[1]), inUnit(field[2])};
        if (!std::all_of(field.begin(), field.end(), [](double v) { return std::isfinite(v); })) {
            ++notFiniteLines;
            ignore(line);
            return;
        }
    }
    out.fields.push_back(field);
    if (reading.inertial)
        out.inertial.push_back(*reading.inertial);
}

} // namespace tavrin
