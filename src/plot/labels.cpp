#include "labels.h"

#include <QFontMetricsF>
#include <QPainter>

namespace tavrin {

void drawLabel(QPainter &painter, const QRectF &box, int flags, const QString &text, LabelLog *log)
{
    QRectF covered;
    painter.drawText(box, flags | Qt::TextDontClip, text, &covered);
    if (log)
        log->push_back({text, painter.transform().mapRect(covered)});
}

QString fittingText(const QFontMetricsF &metrics, std::initializer_list<QString> texts, double width)
{
    for (const QString &text : texts)
        if (metrics.horizontalAdvance(text) <= width)
            return text;
    return *(texts.end() - 1);
}

} // namespace tavrin
