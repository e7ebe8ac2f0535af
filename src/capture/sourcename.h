// How a capture's source is named: a serial port at a baud rate, "-" for
// standard input, or "tcp://host:port". Checked before any source opens.
#ifndef TAVRIN_CAPTURE_SOURCENAME_H
#define TAVRIN_CAPTURE_SOURCENAME_H

#include <QString>

#include <optional>

namespace tavrin {

/// Baud rates a serial port is opened with.
constexpr int MinimumBaud = 9600, MaximumBaud = 921600, DefaultBaud = 115200;

/// A TCP source's host and port, from "tcp://host:port".
struct TcpAddress {
    QString host;
    quint16 port = 0;
};

/// Whether source names a TCP source, well formed or not.
bool isTcpSource(const QString &source);

/// The address of a well-formed "tcp://host:port" with a port from 1 to 65535.
std::optional<TcpAddress> tcpAddress(const QString &source);

} // namespace tavrin

#endif
