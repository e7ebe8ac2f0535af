// Every accepted reading appended to a raw file in the strict format, and
// optionally every received line with its time of arrival, flushed often
// enough that a crash or an unplugged board loses at most the last moment.
#ifndef TAVRIN_CAPTURE_RECORDER_H
#define TAVRIN_CAPTURE_RECORDER_H

#include "readingparser.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <vector>

namespace tavrin {

class Recorder : public QObject {
    Q_OBJECT
public:
    /// Milliseconds between flushes.
    static constexpr int FlushInterval = 500;

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    /// Makes the recording at path, which must not exist yet, and the line
    /// log at linesPath when it is not empty. On failure the reason goes to
    /// error and no file is left behind.
    bool open(const QString &path, const QString &linesPath, QString &error);

    void append(const Reading &reading);
    void appendLine(const QByteArray &line, const QDateTime &arrival);

    /// Writes what waits; false, with the file and the system's reason in error(), when writing fails.
    bool flush();

    /// Keeps only the first readings appended; false, with the reason in error(), when the file cannot be
    /// cut.
    bool truncate(qsizetype readings);
    void close();

    QString error() const { return writeError; }

signals:
    /// A timed flush failed; error() says why.
    void failed();

private:
    QFile recording, lineLog;
    QByteArray pendingReadings, pendingLines;
    std::vector<qint64> readingEnds; ///< the recording's size after each reading
    QTimer flushTimer;
    QString writeError;
};

} // namespace tavrin

#endif
