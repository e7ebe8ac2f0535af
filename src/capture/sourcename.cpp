#include "sourcename.h"

#include <QRegularExpression>

namespace tavrin {

bool isTcpSource(const QString &source)
{
    return source.startsWith(QLatin1String("tcp://"));
}

std::optional<TcpAddress> tcpAddress(const QString &source)
{
    // The host may be a name, an IPv4 address or an IPv6 one in brackets.
    static const QRegularExpression form(
        QStringLiteral("^tcp://(\\[[0-9A-Fa-f:.]+\\]|[^:/\\[\\]]+):(\\d{1,5})$"));
    const QRegularExpressionMatch m = form.match(source);
    if (!m.hasMatch())
        return std::nullopt;
    const int port = m.captured(2).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    QString host = m.captured(1);
    if (host.startsWith('['))
        host = host.mid(1, host.size() - 2);
    return TcpAddress{host, quint16(port)};
}

} // namespace tavrin
