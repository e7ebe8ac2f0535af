// Lines to readings: the format chosen or found from the first lines, units
// converted to the capture's, and the lines that hold no reading counted.
#ifndef TAVRIN_CAPTURE_READINGPARSER_H
#define TAVRIN_CAPTURE_READINGPARSER_H

#include "lineformat.h"
#include "logreader.h"
#include "rawdata.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace tavrin {

class LineSink;

/// A magnetometer reading in the capture's unit.
using Reading = std::array<double, 3>;

/// Readings as lines give them: the magnetometer of each, and, when the
/// format carries them, the accelerometer and gyroscope of each at the same
/// index. Formats of the magnetometer alone leave inertial empty.
struct Readings {
    std::vector<Reading> fields;
    std::vector<Inertial> inertial;

    size_t size() const { return fields.size(); }
    bool empty() const { return fields.empty(); }
};

class ReadingParser {
public:
    /// Lines of one format that settle the format when it is found.
    static constexpr int LinesToDecide = 3;

    /// unitInNt: the size in nT of the unit readings are given in, for the
    /// formats that carry a unit; plain numbers pass as they come. log: the
    /// columns, for LineFormat::Log.
    ReadingParser(LineFormat format, double unitInNt, std::optional<LogFormat> log = std::nullopt);
    ~ReadingParser();
    ReadingParser(const ReadingParser &) = delete;
    ReadingParser &operator=(const ReadingParser &) = delete;

    /// Reads one line. Its reading goes to out; while the format is being
    /// found, readings wait, and go out in their order once it is.
    void take(const QByteArray &line, Readings &out);

    /// At the end of the input: an undecided search settles on the format of
    /// most lines, and the log's last rows come out.
    void finish(Readings &out);

    /// The format chosen or found; Auto while it is not known.
    LineFormat format() const { return chosen; }

    /// Counts a line that is no reading for sure, such as one too long to read.
    void ignore(const QByteArray &line);

    /// Lines that held no reading, and the last of them.
    qint64 ignored() const { return ignoredLines; }
    const QByteArray &lastIgnored() const { return lastIgnoredLine; }

    /// Of the ignored lines, those whose reading is no finite number in the
    /// capture's unit, such as 1e307 uT in nT: they would spoil the recording.
    qint64 notFinite() const { return notFiniteLines; }

    /// Why the log's rows cannot be read at all; empty while they can.
    const QString &problem() const { return logProblem; }

private:
    void detect(const QByteArray &line, Readings &out);
    void settle(LineFormat found, Readings &out);
    void takeLogRow(const QByteArray &line, Readings &out);
    void drainLog(Readings &out);
    /// Header, comment and bad lines of the log so far.
    qint64 logLinesNotRows() const;
    void give(const LineReading &reading, const QByteArray &line, Readings &out);

    struct Waiting {
        LineFormat format;
        LineReading reading;
        QByteArray line;
    };

    LineFormat chosen;
    double unitInNt;
    std::vector<Waiting> waiting;
    qint64 ignoredLines = 0;
    qint64 notFiniteLines = 0;
    QByteArray lastIgnoredLine;

    std::optional<LogFormat> logFormat;
    RawData logData;
    LogInput logInput;
    std::unique_ptr<LineSink> logSink;
    QString logProblem;
};

} // namespace tavrin

#endif
