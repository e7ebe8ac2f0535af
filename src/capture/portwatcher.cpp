#include "portwatcher.h"

#include <QSerialPortInfo>

namespace tavrin {

QStringList availablePorts()
{
    QStringList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << info.systemLocation();
    ports.sort();
    return ports;
}

PortWatcher::PortWatcher(QObject *parent) : QObject(parent), known(availablePorts())
{
    connect(&timer, &QTimer::timeout, this, &PortWatcher::rescan);
    timer.start(RescanInterval);
}

void PortWatcher::rescan()
{
    const QStringList now = availablePorts();
    if (now == known)
        return;
    known = now;
    emit portsChanged(known);
}

} // namespace tavrin
