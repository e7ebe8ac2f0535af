#include "capturefault.h"

#include "printable.h"
#include "sourcename.h"

namespace tavrin {

bool CaptureFault::stops() const
{
    return kind != FaultKind::NoReadableLines && kind != FaultKind::NoReadings && !awaitsReturn;
}

QString CaptureFault::message() const
{
    const QString where = printable(source);
    const QString reason = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(printable(detail));
    switch (kind) {
    case FaultKind::PermissionDenied:
        return QStringLiteral("%1: permission denied. Serial ports belong to the dialout group: join it with "
                              "\"sudo usermod -aG dialout $USER\", then log out and in again.")
            .arg(where);
    case FaultKind::Busy:
        return QStringLiteral("%1: the port is busy: another program (a serial monitor, a plotter) holds "
                              "it; close that program and try again.")
            .arg(where);
    case FaultKind::Missing:
        return QStringLiteral("%1: no such port. Check that the board is plugged in and the name of its "
                              "port%2.")
            .arg(where, detail.isEmpty() ? QString() : QStringLiteral("; the ports now are %1").arg(detail));
    case FaultKind::NotSerial:
        return QStringLiteral("%1: not a serial device. Name the board's port, such as /dev/ttyUSB0.")
            .arg(where);
    case FaultKind::CannotOpen:
        return QStringLiteral("%1: cannot open%2.").arg(where, reason);
    case FaultKind::Unplugged: {
        const QString what =
            isTcpSource(source) ? QStringLiteral("connection ended") : QStringLiteral("port went away");
        if (awaitsReturn)
            return QStringLiteral("%1: the %2%3: waiting for it to return, to go on capturing; every reading "
                                  "received is kept, and Stop calibrates them.")
                .arg(where, what, reason);
        return QStringLiteral("%1: the %2%3: the capture stopped and keeps every reading received.")
            .arg(where, what, reason);
    }
    case FaultKind::NoReadableLines:
        return QStringLiteral("%1: no readable lines: check the baud rate.").arg(where);
    case FaultKind::NoReadings:
        return QStringLiteral("%1: lines arrive but none holds a reading; the last was \"%2\". Check what "
                              "the board prints and the format.")
            .arg(where, printable(detail));
    case FaultKind::BadLog:
        return QStringLiteral("%1: the rows cannot be read with these columns: %2.").arg(where, detail);
    case FaultKind::CannotRecord:
        return QStringLiteral("%1: the recording cannot be written%2; the capture stopped.")
            .arg(where, reason);
    }
    return {};
}

} // namespace tavrin
