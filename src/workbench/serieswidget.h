// The norm error against the reading's index; hovering a point names it.
#ifndef TAVRIN_WORKBENCH_SERIESWIDGET_H
#define TAVRIN_WORKBENCH_SERIESWIDGET_H

#include "normerrorseries.h"
#include "viewwidget.h"

namespace tavrin {

class SeriesWidget : public ViewWidget {
    Q_OBJECT
public:
    using ViewWidget::ViewWidget;

    /// The frame of the series at the current size; only with a figure.
    Frame frame() const;
    /// The point under a pixel, as hovering finds it; -1 for none.
    int pointAt(const QPointF &pixel) const;

signals:
    void hovered(const QString &text);

protected:
    void draw(QPainter &painter, const FigureData &figure) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QRectF plotArea() const;
};

} // namespace tavrin

#endif
