#include "printable.h"

namespace tavrin {

QString printable(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c == '"' || c == '\\')
            shown += '\\' + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace tavrin
