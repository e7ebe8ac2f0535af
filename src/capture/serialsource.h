// A serial port as a byte source: a board on USB, Bluetooth or a
// pseudo-terminal, 8N1 at a chosen baud rate.
#ifndef TAVRIN_CAPTURE_SERIALSOURCE_H
#define TAVRIN_CAPTURE_SERIALSOURCE_H

#include "bytesource.h"

#include <QSerialPort>

namespace tavrin {

class SerialSource : public ByteSource {
    Q_OBJECT
public:
    /// path: the port's device, such as /dev/ttyUSB0 or a pseudo-terminal.
    SerialSource(const QString &path, int baud);

    void open() override;
    void close() override;

private:
    CaptureFault openFault() const;
    void onError(QSerialPort::SerialPortError error);

    QString path;
    QSerialPort port;
};

} // namespace tavrin

#endif
