// Where a capture's bytes come from: a serial port, a TCP connection or
// standard input, all seen the same way.
#ifndef TAVRIN_CAPTURE_BYTESOURCE_H
#define TAVRIN_CAPTURE_BYTESOURCE_H

#include "capturefault.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace tavrin {

class ByteSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Starts opening; opened() or failed() follows, perhaps before it returns.
    virtual void open() = 0;
    virtual void close() = 0;

signals:
    void opened();
    void received(const QByteArray &bytes);
    /// It could not be opened, or it went away (FaultKind::Unplugged); it is closed.
    void failed(const tavrin::CaptureFault &fault);
    /// The input ended as it should: standard input at its end, a connection closed by its host.
    void ended();
};

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

/// The source that source names: "-" standard input, "tcp://host:port" a TCP
/// connection, anything else the path of a serial port opened at baud, 8N1.
std::unique_ptr<ByteSource> makeByteSource(const QString &source, int baud);

} // namespace tavrin

#endif
