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

void TcpSource::onError(QAbstractSocket::SocketError error)
{
    const bool wasConnected = connected;
    connected = false;
    if (error == QAbstractSocket::RemoteHostClosedError && wasConnected) {
        // What the host sent before closing is still to be read.
        if (socket.bytesAvailable() > 0)
            emit received(socket.readAll());
        emit ended();
        return;
    }
    const QString reason = socket.errorString();
    socket.abort();
    emit failed({wasConnected ? FaultKind::Unplugged : FaultKind::CannotOpen, source, reason});
}

} // namespace tavrin
