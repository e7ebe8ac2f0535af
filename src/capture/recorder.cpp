#include "recorder.h"

#include "atomicfile.h"
#include "printable.h"

#include <charconv>
#include <cstring>

namespace tavrin {

namespace {

bool openNew(QFile &file, const QString &path, QString &error)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return true;
    error = QStringLiteral("%1: %2").arg(path, file.exists() ? QStringLiteral("the file exists already")
                                                             : file.errorString());
    return false;
}

// The shortest text that reads back as the same double: a number keeps its
// digits. Each is followed by its separator, the last by a line end.
char *writeNumbers(char *p, char *end, const double *values, int count, char separator)
{
    for (int k = 0; k < count; k++) {
        p = std::to_chars(p, end, values[k]).ptr;
        *p++ = k < count - 1 ? separator : '\n';
    }
    return p;
}

} // namespace

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
    return true;
}

void Recorder::append(const Reading &reading)
{
    char text[3 * 32];
    appendText(text, writeNumbers(text, text + sizeof text, reading.data(), 3, '\t') - text);
}

void Recorder::append(const Reading &reading, const Inertial &inertial)
{
    if (headerSize == 0) {
        headerSize = qint64(sizeof InertialHeader); // with its line end in place of the terminator
        pendingReadings.append(InertialHeader).append('\n');
    }
    const double values[9] = {reading[0],        reading[1],        reading[2],
                              inertial.accel[0], inertial.accel[1], inertial.accel[2],
                              inertial.gyro[0],  inertial.gyro[1],  inertial.gyro[2]};
    char text[9 * 32];
    appendText(text, writeNumbers(text, text + sizeof text, values, 9, ',') - text);
}

void Recorder::appendText(const char *text, qsizetype size)
{
    pendingReadings.append(text, size);
    ++waitingReadings;
    readingEnds.push_back((readingEnds.empty() ? headerSize : readingEnds.back()) + size);
}

std::optional<LogFormat> Recorder::logFormat() const
{
    if (headerSize == 0)
        return std::nullopt;
    LogFormat f;
    f.columns = {QStringLiteral("mx"), QStringLiteral("my"), QStringLiteral("mz")};
    f.accelColumns = {QStringLiteral("ax"), QStringLiteral("ay"), QStringLiteral("az")};
    f.delimiter = Delimiter::Comma;
    return f;
}

void Recorder::appendLine(const QByteArray &line, const QDateTime &arrival, qint64 wholeSize)
{
    if (!lineLog.isOpen())
        return;
    // Escaped as messages show lines: noise and control bytes cannot garble a terminal that shows the log.
    QString shown = printable(QString::fromUtf8(line));
    if (wholeSize > 0)
        shown += QStringLiteral("%1 (%2 bytes)").arg(QChar(0x2026)).arg(wholeSize);
    pendingLines += arrival.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\t' + shown.toUtf8() + '\n';
}

bool Recorder::flush()
{
    if (!writeError.isEmpty())
        return false;
    if (!writeOut(recording, recordingSize, pendingReadings))
        return false;
    waitingReadings = 0;
    return !lineLog.isOpen() || writeOut(lineLog, lineLogSize, pendingLines);
}

bool Recorder::writeOut(QFile &file, qint64 &size, QByteArray &pending)
{
    qint64 written = 0;
    const int error = WriteAll(file.handle(), pending, &written);
    if (error == 0) {
        size += pending.size();
        pending.clear();
        return true;
    }
    // A full disk takes part of a line: the file ends with the last line that
    // went out whole, and stays a file that can be read.
    size += written > 0 ? pending.lastIndexOf('\n', written - 1) + 1 : 0;
    pending.clear();
    while (!readingEnds.empty() && readingEnds.back() > recordingSize)
        readingEnds.pop_back();
    file.resize(size);
    return fail(file, QString::fromLocal8Bit(std::strerror(error)));
}

bool Recorder::fail(const QFile &file, const QString &reason)
{
    writeError = QStringLiteral("%1: %2").arg(file.fileName(), reason);
    return false;
}

bool Recorder::truncate(qsizetype readings)
{
    if (readings >= qsizetype(readingEnds.size()))
        return true;
    if (!flush())
        return false;
    readingEnds.resize(size_t(readings));
    recordingSize = readingEnds.empty() ? headerSize : readingEnds.back();
    if (!recording.resize(recordingSize))
        return fail(recording, recording.errorString());
    return true;
}

void Recorder::close()
{
    if (!recording.isOpen())
        return;
    flush();
    recording.close();
    lineLog.close();
}

} // namespace tavrin
