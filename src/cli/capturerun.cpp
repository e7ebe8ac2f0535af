#include "capturerun.h"

#include "capturesession.h"
#include "clirun.h"
#include "linesource.h"
#include "printable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <iterator>

#include <unistd.h>

namespace tavrin {

namespace {

/// The signal that ended the capture; 0 while none came.
std::atomic<int> interruptedBy{0};

extern "C" void onInterrupt(int signal)
{
    interruptedBy = signal;
}

// The first Ctrl-C ends the capture and lets the recording be calibrated; a
// second one, during the calibration, ends the program as usual. A kill or a
// closed terminal ends it the same way: neither may lose the last readings.
class InterruptCatcher {
public:
    static constexpr int Caught[] = {SIGINT, SIGTERM, SIGHUP};

    InterruptCatcher()
    {
        interruptedBy = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (size_t k = 0; k < std::size(Caught); k++)
            sigaction(Caught[k], &action, &previous[k]);
    }
    ~InterruptCatcher()
    {
        for (size_t k = 0; k < std::size(Caught); k++)
            sigaction(Caught[k], &previous[k], nullptr);
    }
    InterruptCatcher(const InterruptCatcher &) = delete;
    InterruptCatcher &operator=(const InterruptCatcher &) = delete;

private:
    struct sigaction previous[std::size(Caught)]{};
};

// What the recording is when it is no strict raw file, for the line that names it.
QString recordingForm(const std::optional<LogFormat> &log)
{
    return log ? QStringLiteral(" (CSV, header %1)").arg(QLatin1String(Recorder::InertialHeader)) : QString();
}

class CaptureDriver {
public:
    CaptureDriver(const CaptureRequest &request, double hm, Stream &err)
        : request(request), err(err), terminal(::isatty(STDERR_FILENO) == 1), session(settings(request, hm))
    {
    }

    int run()
    {
        QEventLoop loop;
        QObject::connect(&session, &CaptureSession::finished, &loop, &QEventLoop::quit);
        QObject::connect(&session, &CaptureSession::fault, &loop, [this](const CaptureFault &fault) {
            endProgressLine();
            say(fault.message());
            stoppedBy = fault.kind;
            // Only noise, or lines without readings, will not mend themselves.
            if (!fault.stops())
                session.stop();
        });
        QTimer progress;
        QObject::connect(&progress, &QTimer::timeout, &loop, [this] { showProgress(); });
        QTimer interruptPoll;
        QObject::connect(&interruptPoll, &QTimer::timeout, &loop, [this] {
            if (interruptedBy != 0)
                session.stop();
        });
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, [this] { session.stop(); });

        const InterruptCatcher catcher;
        QString error;
        if (!session.start(error)) {
            say(printable(error) + QStringLiteral("; name another file with --record."));
            return Refused;
        }
        if (!session.isOver()) {
            say(QStringLiteral("recording to %1").arg(printable(request.record)));
            progress.start(ProgressInterval);
            interruptPoll.start(InterruptPollInterval);
            if (request.seconds > 0)
                deadline.start(int(request.seconds * 1000));
            loop.exec();
            showProgress();
            endProgressLine();
        }
        return conclude();
    }

    std::optional<LogFormat> recordingLog() const { return session.recordingLog(); }

private:
    static constexpr int ProgressInterval = 1000;     ///< milliseconds
    static constexpr int InterruptPollInterval = 100; ///< milliseconds

    static CaptureSettings settings(const CaptureRequest &r, double hm)
    {
        CaptureSettings s;
        s.source = r.source;
        s.baud = r.baud;
        s.format = r.format;
        s.log = r.log;
        s.unitInNt = r.unitInNt;
        s.hm = hm;
        s.recordPath = r.record;
        s.linesPath = r.recordLines;
        s.mostReadings = r.points > 0 ? r.points : RawData::Capacity;
        return s;
    }

    void say(const QString &message)
    {
        err.write(QCoreApplication::applicationName().toUtf8() + ": " + message.toUtf8() + '\n');
    }

    void showProgress()
    {
        const CaptureCounters c = session.counters();
        const CoverageState coverage = session.coverageState();
        QString line = QStringLiteral("capture: %1 points, %2/s, coverage %3/%4 cells")
                           .arg(session.readings().size())
                           .arg(c.rate, 0, 'f', 0)
                           .arg(coverage.cellsHit)
                           .arg(CoverageTracker::Cells);
        if (request.untilCovered && coverage.enough && !session.isOver()) {
            covered = true;
            session.stop();
        }
        if (c.ignored > 0)
            line += QStringLiteral(", %1 ignored%2, the last \"%3\"")
                        .arg(c.ignored)
                        .arg(c.notFinite > 0 ? QStringLiteral(" (%1 too large for the unit)").arg(c.notFinite)
                                             : QString())
                        .arg(printable(shownLine(c.lastIgnored.constData(),
                                                 c.lastIgnored.constData() + c.lastIgnored.size())));
        err.write(line.toUtf8() + (terminal ? "\x1b[K\r" : "\n"));
        progressOpen = terminal;
    }

    void endProgressLine()
    {
        if (progressOpen)
            err.write("\n");
        progressOpen = false;
    }

    // What ended the capture, when it was no fault and not the end of the input.
    QString why(qsizetype count) const
    {
        switch (interruptedBy) {
        case SIGINT:
            return QStringLiteral(", interrupted");
        case SIGTERM:
            return QStringLiteral(", stopped by SIGTERM");
        case SIGHUP:
            return QStringLiteral(", stopped by SIGHUP");
        default:
            break;
        }
        if (covered)
            return QStringLiteral(", covered enough");
        if (count == RawData::Capacity && request.points != RawData::Capacity)
            return QStringLiteral(", the most a calibration takes");
        return {};
    }

    int conclude()
    {
        const qsizetype count = qsizetype(session.readings().size());
        // What reached the file is not all that was read: no calibration pretends it is.
        if (stoppedBy == FaultKind::CannotRecord) {
            if (session.recordedReadings() == 0)
                QFile::remove(request.record);
            else
                say(QStringLiteral("%1 keeps the first %2 readings, not calibrated: the others could not be "
                                   "written.")
                        .arg(printable(request.record))
                        .arg(session.recordedReadings()));
            return Refused;
        }
        if (count == 0) {
            // Nothing was read: no empty recording is left behind.
            QFile::remove(request.record);
            if (!stoppedBy)
                say(QStringLiteral("no reading came from %1; no recording is kept.")
                        .arg(printable(request.source)));
            return Refused;
        }
        say(QStringLiteral("%1 readings recorded to %2%3%4")
                .arg(count)
                .arg(printable(request.record), recordingForm(session.recordingLog()), why(count)));
        return Calibrated;
    }

    const CaptureRequest &request;
    Stream &err;
    const bool terminal;
    CaptureSession session;
    std::optional<FaultKind> stoppedBy;
    bool progressOpen = false;
    bool covered = false;
};

} // namespace

int captureToRecording(const CaptureRequest &request, double hm, Stream &err,
                       std::optional<LogFormat> &recordingLog)
{
    CaptureDriver driver(request, hm, err);
    const int status = driver.run();
    recordingLog = driver.recordingLog();
    return status;
}

} // namespace tavrin
