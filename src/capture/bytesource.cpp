#include "bytesource.h"

#include "serialsource.h"
#include "stdinsource.h"
#include "tcpsource.h"

namespace tavrin {

std::unique_ptr<ByteSource> makeByteSource(const QString &source, int baud)
{
    if (source == QLatin1String("-"))
        return std::make_unique<StdinSource>();
    if (isTcpSource(source))
        return std::make_unique<TcpSource>(source);
    return std::make_unique<SerialSource>(source, baud);
}

} // namespace tavrin
