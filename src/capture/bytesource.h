// Where a capture's bytes come from: a serial port, a TCP connection or
// standard input, all seen the same way.
#ifndef TAVRIN_CAPTURE_BYTESOURCE_H
#define TAVRIN_CAPTURE_BYTESOURCE_H

#include "capturefault.h"
#include "sourcename.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

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
    /// Standard input ended, as a file does. A connection closed by its host
    /// is failed(): it may cut a line, and a board does not close it on purpose.
    void ended();
};

/// The source that source names: "-" standard input, "tcp://host:port" a TCP
/// connection, anything else the path of a serial port opened at baud, 8N1.
std::unique_ptr<ByteSource> makeByteSource(const QString &source, int baud);

} // namespace tavrin

#endif
