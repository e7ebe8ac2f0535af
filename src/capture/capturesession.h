// One live capture: a source read line by line, every reading recorded and
// kept, counters for the person turning the sensor, and the faults said.
#ifndef TAVRIN_CAPTURE_CAPTURESESSION_H
#define TAVRIN_CAPTURE_CAPTURESESSION_H

#include "bytesource.h"
#include "capturefault.h"
#include "coverage.h"
#include "linesplitter.h"
#include "readingparser.h"
#include "recorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>

namespace tavrin {

struct CaptureSettings {
    QString source; ///< a serial port's device, "-" for standard input, or "tcp://host:port"
    int baud = DefaultBaud;
    LineFormat format = LineFormat::Auto;
    std::optional<LogFormat> log; ///< the columns, with LineFormat::Log
    double unitInNt = 1000.0;     ///< readings that carry a unit are recorded in this one (uT by default)
    double hm = 0.0;              ///< the field norm in that unit, for the coverage; 0 when not known
    QString recordPath;           ///< the recording, a file that must not exist yet
    QString linesPath;            ///< the log of received lines; empty for none
    bool reconnect = false;       ///< after an unplug, reopen the same port when it returns
    int mostReadings = RawData::Capacity; ///< the capture stops with this many readings
};

/// What the person turning the sensor is shown.
struct CaptureCounters {
    qint64 lines = 0;                     ///< lines received
    qint64 ignored = 0;                   ///< lines without a reading, overlong ones included
    qint64 notFinite = 0;                 ///< of them, readings too large for the capture's unit
    QByteArray lastIgnored;               ///< the last of them
    QByteArray lastLine;                  ///< the last line received
    LineFormat format = LineFormat::Auto; ///< chosen or found; Auto while still searching
    double rate = 0.0;                    ///< readings per second over the last seconds
    bool connected = false;
    bool paused = false;
    qint64 pausedReadings = 0; ///< readings received while paused, and dropped
};

class CaptureSession : public QObject {
    Q_OBJECT
public:
    /// Milliseconds of only noise before a wrong baud rate is suspected.
    static constexpr int NoiseTimeout = 3000;
    /// Milliseconds between attempts to reopen an unplugged port.
    static constexpr int ReconnectInterval = 1000;

    explicit CaptureSession(CaptureSettings settings, QObject *parent = nullptr);
    ~CaptureSession() override;

    /// Makes the recording and opens the source. False, with the reason in
    /// error, when the recording cannot be made; a source's trouble comes
    /// as fault().
    bool start(QString &error);

    /// Ends the capture: the readings waiting for the format to be found are
    /// settled, everything recorded is flushed and the source closed.
    void stop();

    /// While paused, readings are received and dropped: the sensor can be
    /// put down or picked up without spoiling the recording.
    void setPaused(bool paused);

    /// Drops the readings received in the seconds up to the last one kept (a
    /// knock on the table), paused or not, from readings() and the
    /// recording; how many were dropped.
    int discardLast(double seconds);

    /// Whether the capture is over; finished() has been emitted.
    bool isOver() const { return over; }

    const std::vector<Reading> &readings() const { return coverage.readings(); }
    /// The accelerometer and gyroscope of each of readings(), for the formats
    /// that carry them (Raw:, Uni:); empty for the others.
    const std::vector<Inertial> &inertial() const { return inertialKept; }
    CoverageState coverageState() const { return coverage.state(); }
    CaptureCounters counters() const;

    /// Readings the recording holds: fewer than readings() when it could not be written.
    qsizetype recordedReadings() const { return recorder.readings(); }
    /// How the recording reads back: the log's columns when it holds the
    /// accelerometer and gyroscope; empty for the strict format.
    std::optional<LogFormat> recordingLog() const { return recorder.logFormat(); }

signals:
    /// Readings were appended to readings(), from index first on.
    void readingsAdded(int first, int count);
    /// Something to say; fault.stops() when the capture is over, or waits
    /// for the port to return with reconnect.
    void fault(const tavrin::CaptureFault &fault);
    /// Readings were dropped from the end of readings(), which holds count now.
    void readingsDiscarded(int count);
    /// An unplugged port returned and is read again.
    void reconnected();
    /// The capture is over: its input ended, or a fault stopped it.
    void finished();

private:
    void onReceived(const QByteArray &bytes);
    void onFailed(const CaptureFault &fault);
    void onEnded();
    void onNoiseTimeout();
    void takeLines(const std::vector<ReceivedLine> &lines);
    void keep(const Readings &fresh);
    void end();
    void recordingFailed();
    void reopen();

    CaptureSettings config;
    std::unique_ptr<ByteSource> source;
    LineSplitter splitter;
    ReadingParser parser;
    Recorder recorder;
    CoverageTracker coverage;
    QTimer noiseTimer, reconnectTimer, flushTimer;
    QElapsedTimer clock;
    std::deque<std::pair<qint64, int>> recent; ///< milliseconds and readings, for the rate
    std::vector<qint64> arrivals;              ///< the millisecond each reading arrived
    std::vector<Inertial> inertialKept;
    qint64 lines = 0;
    bool readableLine = false;
    bool receivedAny = false;
    bool connected = false;
    bool over = false;
    bool recordingFaultSaid = false;
    bool paused = false;
    qint64 pausedReadings = 0;
    QByteArray lastLine;
};

} // namespace tavrin

#endif
