#include "stdinsource.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace tavrin {

void StdinSource::open()
{
    notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &StdinSource::readSome);
    emit opened();
}

void StdinSource::close()
{
    notifier.reset();
}

void StdinSource::readSome()
{
    QByteArray bytes(1 << 16, Qt::Uninitialized);
    ssize_t got;
    do
        got = ::read(STDIN_FILENO, bytes.data(), size_t(bytes.size()));
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        bytes.truncate(got);
        emit received(bytes);
        return;
    }
    if (got < 0 && errno == EAGAIN)
        return;
    const QString reason = got < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : QString();
    close();
    if (got == 0)
        emit ended();
    else
        emit failed({FaultKind::Unplugged, QStringLiteral("-"), reason});
}

} // namespace tavrin
