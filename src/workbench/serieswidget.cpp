#include "serieswidget.h"
#include "cloudwidget.h"

#include <QMouseEvent>
#include <QToolTip>

namespace tavrin {

QRectF SeriesWidget::plotArea() const
{
    return normErrorSeriesPlotArea(QRectF(rect()), views()->errors);
}

Frame SeriesWidget::frame() const
{
    return normErrorSeriesFrame(plotArea(), views()->errors);
}

int SeriesWidget::pointAt(const QPointF &pixel) const
{
    return views() ? normErrorPointAt(frame(), views()->errors, pixel, 6.0) : -1;
}

void SeriesWidget::draw(QPainter &painter, const FigureData &figure)
{
    drawNormErrorSeries(painter, QRectF(rect()), views()->errors, figure.robust, &drawnLabels);
}

void SeriesWidget::mouseMoveEvent(QMouseEvent *event)
{
    const int index = pointAt(event->position());
    QString text;
    if (index >= 0) {
        text = pointText(*figure(), index) + tr(", norm error before %1, after %2")
                                                 .arg(views()->errors.before[size_t(index)], 0, 'g', 5)
                                                 .arg(views()->errors.after[size_t(index)], 0, 'g', 5);
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    } else {
        QToolTip::hideText();
    }
    emit hovered(text);
}

} // namespace tavrin
