// The serial ports of the machine, looked at again every second so that a
// board plugged in appears.
#ifndef TAVRIN_CAPTURE_PORTWATCHER_H
#define TAVRIN_CAPTURE_PORTWATCHER_H

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace tavrin {

/// The devices of the serial ports there are now, such as /dev/ttyUSB0.
QStringList availablePorts();

class PortWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int RescanInterval = 1000; ///< milliseconds

    explicit PortWatcher(QObject *parent = nullptr);

    QStringList ports() const { return known; }

signals:
    void portsChanged(const QStringList &ports);

private:
    void rescan();

    QStringList known;
    QTimer timer;
};

} // namespace tavrin

#endif
