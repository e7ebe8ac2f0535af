// A magnetometer board without the board: opens a pseudo-terminal, prints its
// path, and writes readings of a sensor turned by hand in one of the formats
// boards print, at a chosen rate, as a serial port would carry them. Its
// magnetometer can be mounted with other axes than its accelerometer, and
// the hand can shake the board and rest it.
#include "handmotion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Settings {
    QString format = QStringLiteral("raw");
    double rate = 100.0;
    double speed = 1.0;
    long long count = 0;
    long long unplugAfter = 0;
    int replugAfterMs = -1;
    QString link;
    unsigned seed = 1;
    SensorModel model;
};

std::optional<std::vector<double>> numbers(const QString &text, std::initializer_list<int> sizes)
{
    std::vector<double> values;
    for (const QString &part : text.split(',')) {
        bool ok = false;
        values.push_back(part.trimmed().toDouble(&ok));
        if (!ok || !std::isfinite(values.back()))
            return std::nullopt;
    }
    for (int size : sizes)
        if (int(values.size()) == size)
            return values;
    return std::nullopt;
}

QByteArray line(const QString &format, HandMotion &motion)
{
    const Vector3 h = motion.magnetometer();
    const Vector3 a = motion.accelerometer();
    const Vector3 g = motion.gyroscope();
    char text[256];
    if (format == QLatin1String("raw"))
        // 8192 counts per g, 16.4 counts per degree per second, 0.1 uT per count.
        std::snprintf(text, sizeof text, "Raw:%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld,%ld\r\n",
                      std::lround(a[0] / StandardGravity * 8192), std::lround(a[1] / StandardGravity * 8192),
                      std::lround(a[2] / StandardGravity * 8192), std::lround(g[0] * 180 / M_PI * 16.4),
                      std::lround(g[1] * 180 / M_PI * 16.4), std::lround(g[2] * 180 / M_PI * 16.4),
                      std::lround(h[0] * 10), std::lround(h[1] * 10), std::lround(h[2] * 10));
    else if (format == QLatin1String("uni"))
        std::snprintf(text, sizeof text, "Uni:%.2f,%.2f,%.2f,%.4f,%.4f,%.4f,%.2f,%.2f,%.2f\r\n", a[0], a[1],
                      a[2], g[0], g[1], g[2], h[0], h[1], h[2]);
    else if (format == QLatin1String("xyz"))
        std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f\n", h[0], h[1], h[2]);
    else
        std::snprintf(text, sizeof text, "X: %.2f  Y: %.2f  Z: %.2f  uT\n", h[0], h[1], h[2]);
    return text;
}

// A pseudo-terminal in raw mode, so that nothing is echoed or held back; its
// path is printed, or the link made to it.
bool openTerminal(int &master, int &slave, const QString &link)
{
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "sensor_simulator: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return false;
    }
    termios raw;
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    if (!link.isEmpty()) {
        const QByteArray target = QFile::encodeName(link);
        const QByteArray temporary = target + ".new";
        ::unlink(temporary.constData());
        if (::symlink(name, temporary.constData()) != 0 ||
            ::rename(temporary.constData(), target.constData()) != 0) {
            std::fprintf(stderr, "sensor_simulator: cannot link %s: %s\n", target.constData(),
                         std::strerror(errno));
            return false;
        }
    }
    std::printf("%s\n", link.isEmpty() ? name : qPrintable(link));
    std::fflush(stdout);
    return true;
}

void waitUntil(const timespec &start, double seconds)
{
    timespec at = start;
    const long long ns = (long long)(seconds * 1e9) + start.tv_nsec;
    at.tv_sec += time_t(ns / 1000000000);
    at.tv_nsec = long(ns % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

int run(const Settings &s)
{
    int master = -1, slave = -1;
    if (!openTerminal(master, slave, s.link))
        return 1;
    HandMotion motion(s.model, s.seed);
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long long k = 0; s.count == 0 || k < s.count; k++) {
        waitUntil(start, double(k) / s.rate);
        motion.advance(s.speed / s.rate);
        if (!writeAll(master, line(s.format, motion)))
            return 1;
        if (s.unplugAfter > 0 && k + 1 == s.unplugAfter) {
            ::close(master);
            ::close(slave);
            if (s.replugAfterMs < 0)
                return 0;
            usleep(useconds_t(s.replugAfterMs) * 1000);
            if (!openTerminal(master, slave, s.link))
                return 1;
            clock_gettime(CLOCK_MONOTONIC, &start);
            start.tv_sec -= time_t(double(k + 1) / s.rate);
        }
    }
    // The reader takes the last lines before the terminal closes.
    tcdrain(master);
    usleep(200000);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes the readings of a magnetometer turned by hand to a pseudo-terminal, whose path it prints.");
    parser.addHelpOption();
    const QCommandLineOption format("format", "raw, uni, xyz or labelled (default raw).", "FORMAT", "raw");
    const QCommandLineOption rate("rate", "Readings per second (default 100).", "N", "100");
    const QCommandLineOption speed("speed", "The hand turns this many times faster (default 1).", "F", "1");
    const QCommandLineOption count("count", "Readings to write, then close (default: without end).", "N",
                                   "0");
    const QCommandLineOption hm("hm", "The field norm, uT (default 48).", "HM", "48");
    const QCommandLineOption bias("bias", "The hard-iron bias b, uT (default 12.5,-7.3,20.1).", "BX,BY,BZ");
    const QCommandLineOption matrix("matrix", "A: nine values row by row, or its diagonal.", "A11,...");
    const QCommandLineOption noise("noise", "Noise on each axis, uT (default 0.2).", "SD", "0.2");
    const QCommandLineOption seed("seed", "Seed of the motion and the noise (default 1).", "N", "1");
    const QCommandLineOption link("link", "Make PATH a link to the terminal and print it instead.", "PATH");
    const QCommandLineOption unplug("unplug-after", "Close the terminal after N readings.", "N", "0");
    const QCommandLineOption replug(
        "replug-after",
        "With --unplug-after and --link: open a new terminal MS milliseconds later, "
        "under the same link, and go on.",
        "MS", "-1");
    const QCommandLineOption mount(
        "mount",
        "How the magnetometer is mounted against the accelerometer: for the accelerometer's x, y and z "
        "axes, the magnetometer axis, with its sign, that lies along each. -y,x,z is a quarter turn, "
        "x,-y,z a mirror (default x,y,z).",
        "MAP", "x,y,z");
    const QCommandLineOption shake("shake",
                                   "The hand's accelerations beside gravity, up to about A m/s^2 on each "
                                   "axis (default 0).",
                                   "A", "0");
    const QCommandLineOption rests("rests",
                                   "Turn for MOVE seconds, then hold the board still for STILL seconds, "
                                   "in turn (default: no rests).",
                                   "MOVE,STILL");
    const QCommandLineOption accelDown("accel-down",
                                       "The accelerometer reports gravity's direction, -1 g on the axis that "
                                       "points up at rest, instead of +1 g.");
    parser.addOptions({format, rate, speed, count, hm, bias, matrix, noise, seed, link, unplug, replug, mount,
                       shake, rests, accelDown});
    parser.process(app);

    Settings s;
    bool ok = true;
    const auto check = [&](bool fine, const char *what) {
        if (!fine && ok)
            std::fprintf(stderr, "sensor_simulator: bad %s; see --help.\n", what);
        ok = ok && fine;
    };
    s.format = parser.value(format);
    check(QStringList{"raw", "uni", "xyz", "labelled"}.contains(s.format), "--format");
    bool number = false;
    s.rate = parser.value(rate).toDouble(&number);
    check(number && s.rate > 0 && s.rate <= 100000, "--rate");
    s.speed = parser.value(speed).toDouble(&number);
    check(number && s.speed > 0 && s.speed <= 1000, "--speed");
    s.count = parser.value(count).toLongLong(&number);
    check(number && s.count >= 0, "--count");
    s.model.hm = parser.value(hm).toDouble(&number);
    check(number && s.model.hm > 0, "--hm");
    s.model.noise = parser.value(noise).toDouble(&number);
    check(number && s.model.noise >= 0, "--noise");
    s.seed = parser.value(seed).toUInt(&number);
    check(number, "--seed");
    s.unplugAfter = parser.value(unplug).toLongLong(&number);
    check(number && s.unplugAfter >= 0, "--unplug-after");
    s.replugAfterMs = parser.value(replug).toInt(&number);
    check(number && (s.replugAfterMs < 0 || parser.isSet(link)), "--replug-after");
    s.link = parser.value(link);
    if (parser.isSet(bias)) {
        const auto b = numbers(parser.value(bias), {3});
        check(b.has_value(), "--bias");
        if (b)
            s.model.b = {(*b)[0], (*b)[1], (*b)[2]};
    }
    if (parser.isSet(matrix)) {
        const auto a = numbers(parser.value(matrix), {3, 9});
        check(a.has_value(), "--matrix");
        for (int i = 0; a && i < 3; i++)
            for (int j = 0; j < 3; j++)
                s.model.A[i][j] = a->size() == 9 ? (*a)[size_t(3 * i + j)] : i == j ? (*a)[size_t(i)] : 0.0;
    }
    const std::optional<Mount> mounted = mountNamed(parser.value(mount).toStdString());
    check(mounted.has_value(), "--mount");
    s.model.mount = mounted.value_or(Mount{});
    s.model.shake = parser.value(shake).toDouble(&number);
    check(number && s.model.shake >= 0 && s.model.shake <= 100, "--shake");
    if (parser.isSet(rests)) {
        const auto r = numbers(parser.value(rests), {2});
        check(r && (*r)[0] > 0 && (*r)[1] > 0, "--rests");
        if (r) {
            s.model.moveSeconds = (*r)[0];
            s.model.restSeconds = (*r)[1];
        }
    }
    s.model.accelDown = parser.isSet(accelDown);
    if (!ok)
        return 64;
    return run(s);
}
