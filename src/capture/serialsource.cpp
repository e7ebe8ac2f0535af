#include "serialsource.h"

#include "portwatcher.h"
#include "regularfile.h"

#include <QFile>

#include <unistd.h>

namespace tavrin {

SerialSource::SerialSource(const QString &path, int baud) : path(path)
{
    port.setPortName(path);
    port.setBaudRate(baud);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port, &QSerialPort::readyRead, this, [this] { emit received(port.readAll()); });
    connect(&port, &QSerialPort::errorOccurred, this, &SerialSource::onError);
}

void SerialSource::open()
{
    const FileKind kind = fileKindOf(path);
    if (kind == FileKind::Unknown) {
        emit failed({FaultKind::Missing, path, availablePorts().join(QStringLiteral(", "))});
        return;
    }
    // A file given by mistake is never opened as a port.
    if (kind != FileKind::CharacterDevice) {
        emit failed({FaultKind::NotSerial, path, {}});
        return;
    }
    if (!port.open(QIODevice::ReadOnly)) {
        emit failed(openFault());
        return;
    }
    emit opened();
}

void SerialSource::close()
{
    port.close();
}

CaptureFault SerialSource::openFault() const
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return {FaultKind::Missing, path, availablePorts().join(QStringLiteral(", "))};
    case QSerialPort::PermissionError:
        // Qt says "permission" both for a port this user may not open and for
        // one another program holds: the file's own rights tell them apart.
        if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0)
            return {FaultKind::PermissionDenied, path, {}};
        return {FaultKind::Busy, path, {}};
    default:
        return {FaultKind::CannotOpen, path, port.errorString()};
    }
}

void SerialSource::onError(QSerialPort::SerialPortError error)
{
    // A board unplugged, or a pseudo-terminal whose other end closed.
    if (port.isOpen() && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)) {
        const QString reason = port.errorString();
        port.close();
        emit failed({FaultKind::Unplugged, path, reason});
    }
}

} // namespace tavrin
