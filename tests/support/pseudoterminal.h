// A pseudo-terminal for the capture tests: the test writes to its master
// as a board would, the capture reads its slave's path as a serial port.
#ifndef TAVRIN_TESTS_PSEUDOTERMINAL_H
#define TAVRIN_TESTS_PSEUDOTERMINAL_H

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <functional>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PseudoTerminal {
public:
    PseudoTerminal()
    {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios raw;
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        path = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal() { unplug(); }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool write(const QByteArray &bytes) const
    {
        return master >= 0 && ::write(master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    /// Both ends closed, as when a board is pulled out.
    void unplug()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
        master = slave = -1;
    }

    QString path;

private:
    int master = -1, slave = -1;
};

/// Runs the event loop until done() holds or ms milliseconds pass; whether it holds.
inline bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > ms)
            loop.quit();
    });
    tick.start(5);
    if (!done())
        loop.exec();
    return done();
}

#endif
