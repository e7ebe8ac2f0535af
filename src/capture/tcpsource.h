// A TCP connection as a byte source, for boards that print over Wi-Fi.
#ifndef TAVRIN_CAPTURE_TCPSOURCE_H
#define TAVRIN_CAPTURE_TCPSOURCE_H

#include "bytesource.h"

#include <QTcpSocket>

namespace tavrin {

class TcpSource : public ByteSource {
    Q_OBJECT
public:
    /// source: "tcp://host:port".
    explicit TcpSource(const QString &source);

    void open() override;
    void close() override;

private:
    void onError();

    QString source;
    QTcpSocket socket;
    bool connected = false;
};

} // namespace tavrin

#endif
