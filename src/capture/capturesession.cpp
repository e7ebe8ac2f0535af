#include "capturesession.h"

#include <QDateTime>
#include <QStringDecoder>

#include <algorithm>

namespace tavrin {

namespace {

constexpr qint64 RateWindow = 2000; ///< milliseconds the rate is measured over

// Text a person could read: valid UTF-8 without control characters but tabs.
// At a wrong baud rate the bytes are neither.
bool isReadable(const QByteArray &line)
{
    if (std::any_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x20 && c != '\t'; }))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(line);
    return !decoder.hasError() && !text.trimmed().isEmpty();
}

} // namespace

CaptureSession::CaptureSession(CaptureSettings settings, QObject *parent)
    : QObject(parent), config(std::move(settings)), parser(config.format, config.unitInNt, config.log),
      coverage(config.hm)
{
    noiseTimer.setSingleShot(true);
    noiseTimer.setTimerType(Qt::PreciseTimer);
    noiseTimer.setInterval(NoiseTimeout);
    connect(&noiseTimer, &QTimer::timeout, this, &CaptureSession::onNoiseTimeout);
    reconnectTimer.setInterval(ReconnectInterval);
    connect(&reconnectTimer, &QTimer::timeout, this, &CaptureSession::reopen);
    flushTimer.setInterval(Recorder::FlushInterval);
    connect(&flushTimer, &QTimer::timeout, this, [this] {
        if (!recorder.flush())
            recordingFailed();
    });
}

CaptureSession::~CaptureSession()
{
    // The readings still waiting are recorded, but nobody is told any more.
    blockSignals(true);
    stop();
}

bool CaptureSession::start(QString &error)
{
    if (!recorder.open(config.recordPath, config.linesPath, error))
        return false;
    source = makeByteSource(config.source, config.baud);
    connect(source.get(), &ByteSource::opened, this, [this] {
        connected = true;
        if (reconnectTimer.isActive()) {
            reconnectTimer.stop();
            emit reconnected();
        }
    });
    connect(source.get(), &ByteSource::received, this, &CaptureSession::onReceived);
    connect(source.get(), &ByteSource::failed, this, &CaptureSession::onFailed);
    connect(source.get(), &ByteSource::ended, this, &CaptureSession::onEnded);
    clock.start();
    noiseTimer.start();
    flushTimer.start();
    source->open();
    return true;
}

void CaptureSession::stop()
{
    if (over || !source)
        return;
    Readings fresh;
    parser.finish(fresh);
    keep(fresh);
    end();
}

void CaptureSession::end()
{
    if (over)
        return;
    over = true;
    connected = false;
    noiseTimer.stop();
    reconnectTimer.stop();
    flushTimer.stop();
    if (source)
        source->close();
    // The last readings are written now; that may fail too, and must be said.
    const bool written = recorder.flush();
    recorder.close();
    if (!written && !recordingFaultSaid) {
        recordingFaultSaid = true;
        emit fault({FaultKind::CannotRecord, config.source, recorder.error()});
    }
    emit finished();
}

CaptureCounters CaptureSession::counters() const
{
    CaptureCounters c;
    c.lines = lines;
    c.ignored = parser.ignored();
    c.notFinite = parser.notFinite();
    c.lastIgnored = parser.lastIgnored();
    c.lastLine = lastLine;
    c.format = parser.format();
    c.connected = connected;
    c.paused = paused;
    c.pausedReadings = pausedReadings;
    const qint64 now = clock.isValid() ? clock.elapsed() : 0;
    int counted = 0;
    for (const auto &[at, count] : recent)
        if (now - at <= RateWindow)
            counted += count;
    // Over the time read so far when that is shorter than the window.
    const qint64 span = std::min(RateWindow, std::max<qint64>(now, 1));
    c.rate = 1000.0 * counted / double(span);
    return c;
}

void CaptureSession::onReceived(const QByteArray &bytes)
{
    if (over)
        return;
    receivedAny = true;
    std::vector<ReceivedLine> complete;
    splitter.feed(bytes, complete);
    takeLines(complete);
}

void CaptureSession::takeLines(const std::vector<ReceivedLine> &complete)
{
    const QDateTime arrival = QDateTime::currentDateTimeUtc();
    Readings fresh;
    for (const ReceivedLine &line : complete) {
        ++lines;
        lastLine = line.bytes;
        recorder.appendLine(line.bytes, arrival, line.cut() ? line.length : 0);
        readableLine = readableLine || isReadable(line.bytes);
        if (line.cut())
            parser.ignore(line.bytes);
        else
            parser.take(line.bytes, fresh);
    }
    keep(fresh);
    // A program killed outright loses only the readings still waiting.
    if (!over && recorder.waiting() >= Recorder::MostWaiting && !recorder.flush()) {
        recordingFailed();
        return;
    }
    if (!over && !parser.problem().isEmpty()) {
        emit fault({FaultKind::BadLog, config.source, parser.problem()});
        end();
    }
}

void CaptureSession::keep(const Readings &fresh)
{
    if (paused) {
        pausedReadings += qint64(fresh.size());
        return;
    }
    const int first = int(readings().size());
    const int count = std::min(int(fresh.size()), config.mostReadings - first);
    if (count <= 0)
        return;
    for (int k = 0; k < count; k++)
        coverage.add(fresh.fields[size_t(k)]);
    if (fresh.inertial.empty())
        for (int k = 0; k < count; k++)
            recorder.append(fresh.fields[size_t(k)]);
    else
        for (int k = 0; k < count; k++) {
            recorder.append(fresh.fields[size_t(k)], fresh.inertial[size_t(k)]);
            inertialKept.push_back(fresh.inertial[size_t(k)]);
        }
    const qint64 now = clock.elapsed();
    arrivals.insert(arrivals.end(), size_t(count), now);
    recent.emplace_back(now, count);
    while (!recent.empty() && now - recent.front().first > RateWindow)
        recent.pop_front();
    emit readingsAdded(first, count);
    if (int(readings().size()) == config.mostReadings && !over)
        end();
}

void CaptureSession::recordingFailed()
{
    recordingFaultSaid = true;
    emit fault({FaultKind::CannotRecord, config.source, recorder.error()});
    end();
}

void CaptureSession::setPaused(bool pause)
{
    paused = pause;
}

int CaptureSession::discardLast(double seconds)
{
    if (arrivals.empty())
        return 0;
    // Counted back from the last reading kept, not from now: after a pause
    // or a silence, the knock is still the readings that came just before.
    const qint64 since = arrivals.back() - qint64(seconds * 1000);
    const int kept = int(std::lower_bound(arrivals.begin(), arrivals.end(), since) - arrivals.begin());
    const int dropped = int(arrivals.size()) - kept;
    if (dropped == 0)
        return 0;
    arrivals.resize(size_t(kept));
    coverage.truncate(kept);
    if (!inertialKept.empty())
        inertialKept.resize(size_t(kept));
    recent.clear();
    if (!recorder.truncate(kept))
        recordingFailed();
    emit readingsDiscarded(kept);
    return dropped;
}

void CaptureSession::onFailed(const CaptureFault &failure)
{
    const bool wasConnected = connected;
    connected = false;
    // While waiting for an unplugged port, a port still missing is no news.
    if (reconnectTimer.isActive())
        return;
    // A line cut by the unplug is no reading.
    splitter.rest();
    if (!recorder.flush()) {
        recordingFailed();
        return;
    }
    if (failure.kind == FaultKind::Unplugged && wasConnected && config.reconnect) {
        CaptureFault waiting = failure;
        waiting.awaitsReturn = true;
        emit fault(waiting);
        reconnectTimer.start();
        return;
    }
    emit fault(failure);
    end();
}

void CaptureSession::reopen()
{
    source->open();
}

void CaptureSession::onEnded()
{
    // Standard input ends as a file does: its last line needs no line end.
    const QByteArray last = splitter.rest();
    if (!last.isEmpty())
        takeLines({{last, last.size()}});
    stop();
}

void CaptureSession::onNoiseTimeout()
{
    if (over || !readings().empty() || !receivedAny)
        return;
    if (readableLine)
        emit fault({FaultKind::NoReadings, config.source, QString::fromUtf8(parser.lastIgnored())});
    else
        emit fault({FaultKind::NoReadableLines, config.source, {}});
}

} // namespace tavrin
