// The 3-D point cloud: dragging turns it, the wheel zooms, hovering a point
// names it.
#ifndef TAVRIN_WORKBENCH_CLOUDWIDGET_H
#define TAVRIN_WORKBENCH_CLOUDWIDGET_H

#include "cloud.h"
#include "viewwidget.h"

#include <QPoint>

namespace tavrin {

class CloudWidget : public ViewWidget {
    Q_OBJECT
public:
    explicit CloudWidget(QWidget *parent = nullptr);

    void setSet(CloudSet set);
    CloudSet set() const { return shown; }
    const CloudView &view() const { return looking; }
    void setView(const CloudView &view);
    /// The camera of the current size and view; only with a figure.
    CloudCamera camera() const;
    /// The point under a pixel, as hovering finds it; -1 for none.
    int pointAt(const QPointF &pixel) const;

signals:
    void hovered(const QString &text);

protected:
    void draw(QPainter &painter, const FigureData &figure) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    CloudSet shown = CloudSet::Calibrated;
    CloudView looking;
    QPoint dragFrom;
};

/// What hovering a point says: its index and its values.
QString pointText(const FigureData &figure, int index);

} // namespace tavrin

#endif
