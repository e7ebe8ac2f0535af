#include "recorder.h"

#include <charconv>

namespace tavrin {

namespace {

bool openNew(QFile &file, const QString &path, QString &error)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    error = QStringLiteral("%1: %2").arg(path, file.exists() ? QStringLiteral("the file exists already")
                                                             : file.errorString());
    return false;
}

bool writeAll(QFile &file, QByteArray &pending, QString &error)
{
    if (pending.isEmpty())
        return true;
    if (file.write(pending) != pending.size() || !file.flush()) {
        error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    pending.clear();
    return true;
}

} // namespace

Recorder::Recorder(QObject *parent) : QObject(parent)
{
    flushTimer.setInterval(FlushInterval);
    connect(&flushTimer, &QTimer::timeout, this, [this] {
        if (!flush())
            emit failed();
    });
}

Recorder::~Recorder()
{
    close();
}

bool Recorder::open(const QString &path, const QString &linesPath, QString &error)
{
    if (!openNew(recording, path, error))
        return false;
    if (!linesPath.isEmpty() && !openNew(lineLog, linesPath, error)) {
        recording.remove();
        return false;
    }
    flushTimer.start();
    return true;
}

void Recorder::append(const Reading &reading)
{
    // The shortest text that reads back as the same double: a number keeps its digits.
    char text[3 * 32];
    char *p = text;
    for (int k = 0; k < 3; k++) {
        p = std::to_chars(p, text + sizeof text, reading[size_t(k)]).ptr;
        *p++ = k < 2 ? '\t' : '\n';
    }
    pendingReadings.append(text, p - text);
    readingEnds.push_back((readingEnds.empty() ? 0 : readingEnds.back()) + (p - text));
}

void Recorder::appendLine(const QByteArray &line, const QDateTime &arrival)
{
    if (!lineLog.isOpen())
        return;
    pendingLines += arrival.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\t' + line + '\n';
}

bool Recorder::flush()
{
    if (!writeError.isEmpty())
        return false;
    const bool written = writeAll(recording, pendingReadings, writeError) &&
                         (!lineLog.isOpen() || writeAll(lineLog, pendingLines, writeError));
    if (!written)
        flushTimer.stop();
    return written;
}

bool Recorder::truncate(qsizetype readings)
{
    if (readings >= qsizetype(readingEnds.size()))
        return true;
    if (!flush())
        return false;
    readingEnds.resize(size_t(readings));
    if (!this->recording.resize(readingEnds.empty() ? 0 : readingEnds.back())) {
        writeError = QStringLiteral("%1: %2").arg(this->recording.fileName(), this->recording.errorString());
        return false;
    }
    return true;
}

void Recorder::close()
{
    if (!recording.isOpen())
        return;
    flush();
    flushTimer.stop();
    recording.close();
    lineLog.close();
}

} // namespace tavrin
