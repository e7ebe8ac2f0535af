#include "printable.h"

namespace tavrin {

namespace {

// The marks and embeddings that reorder the text around them: a name
// holding one could show as another name.
bool isBidiControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString printable(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (c == '"' || c == '\\')
            shown += '\\' + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else if (isBidiControl(c.unicode()))
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace tavrin
