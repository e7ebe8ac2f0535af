// Every accepted reading appended to a recording, and optionally every
// received line with its time of arrival. Readings of the magnetometer alone
// make a raw file in the strict format; readings with the accelerometer and
// gyroscope make a CSV log with a header. A write that fails leaves files
// that end in a whole line.
#ifndef TAVRIN_CAPTURE_RECORDER_H
#define TAVRIN_CAPTURE_RECORDER_H

#include "readingparser.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>

#include <vector>

namespace tavrin {

class Recorder {
public:
    /// Readings that may wait in memory, lost if the program is killed
    /// outright: each is one write to the system less.
    static constexpr int MostWaiting = 20;
    /// Milliseconds fewer readings may wait.
    static constexpr int FlushInterval = 100;

    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    /// Makes the recording at path, which must not exist yet, and the line
    /// log at linesPath when it is not empty. On failure the reason goes to
    /// error and no file is left behind.
    bool open(const QString &path, const QString &linesPath, QString &error);

    /// The header of a recording with the accelerometer and gyroscope: the
    /// magnetometer in the capture's unit, then the others in the line's.
    static constexpr char InertialHeader[] = "mx,my,mz,ax,ay,az,gx,gy,gz";

    /// A reading of the magnetometer alone, as a strict line.
    void append(const Reading &reading);
    /// A reading with its accelerometer and gyroscope, as a row of the CSV
    /// log; the first one writes the header. A recording holds readings of one kind.
    void append(const Reading &reading, const Inertial &inertial);
    /// wholeSize: when line holds only the start of a longer line, that line's size in bytes; else 0.
    void appendLine(const QByteArray &line, const QDateTime &arrival, qint64 wholeSize = 0);

    /// Writes what waits; false, with the file and the system's reason in
    /// error(), when writing fails. The file is then cut back to its last
    /// whole line, and nothing more is written.
    bool flush();

    /// Keeps only the first readings appended; false, with the reason in error(), when the file cannot be
    /// cut.
    bool truncate(qsizetype readings);
    void close();

    /// Readings that the recording holds whole, or will once flushed.
    qsizetype readings() const { return qsizetype(readingEnds.size()); }
    /// Readings appended since the last flush.
    qsizetype waiting() const { return waitingReadings; }

    QString error() const { return writeError; }

    /// How the recording reads back: a log of the columns mx, my and mz, with
    /// the accelerometer's ax, ay and az so that its axes are checked, when it
    /// holds the accelerometer and gyroscope; empty for the strict format.
    std::optional<LogFormat> logFormat() const;

private:
    bool writeOut(QFile &file, qint64 &size, QByteArray &pending);
    bool fail(const QFile &file, const QString &reason);
    void appendText(const char *text, qsizetype size);

    QFile recording, lineLog;
    qint64 recordingSize = 0, lineLogSize = 0; ///< the bytes written, whole lines
    QByteArray pendingReadings, pendingLines;
    qint64 headerSize = 0;           ///< the CSV header's bytes; 0 for the strict format
    std::vector<qint64> readingEnds; ///< the recording's size after each reading
    qsizetype waitingReadings = 0;
    QString writeError;
};

} // namespace tavrin

#endif
