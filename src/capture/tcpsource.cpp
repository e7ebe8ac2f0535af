#include "tcpsource.h"

namespace tavrin {

TcpSource::TcpSource(const QString &source) : source(source)
{
    connect(&socket, &QTcpSocket::connected, this, [this] {
        connected = true;
        emit opened();
    });
    connect(&socket, &QTcpSocket::readyRead, this, [this] { emit received(socket.readAll()); });
    connect(&socket, &QTcpSocket::errorOccurred, this, &TcpSource::onError);
}

void TcpSource::open()
{
    const std::optional<TcpAddress> address = tcpAddress(source);
    if (!address) {
        emit failed({FaultKind::Missing, source, {}});
        return;
    }
    socket.connectToHost(address->host, address->port, QIODevice::ReadOnly);
}

void TcpSource::close()
{
    connected = false;
    socket.abort();
}

void TcpSource::onError()
{
    const bool wasConnected = connected;
    connected = false;
    // What the host sent before it closed or reset the connection is still to be read.
    if (wasConnected && socket.bytesAvailable() > 0)
        emit received(socket.readAll());
    const QString reason = socket.errorString();
    socket.abort();
    emit failed({wasConnected ? FaultKind::Unplugged : FaultKind::CannotOpen, source, reason});
}

} // namespace tavrin
