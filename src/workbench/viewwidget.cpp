#include "viewwidget.h"

#include <QPainter>

namespace tavrin {

ViewWidget::ViewWidget(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(160, 90);
    setMouseTracking(true);
}

void ViewWidget::show(std::shared_ptr<const Calibration> shown)
{
    // A calibration that only gained its comparison or its uncertainty
    // draws the same.
    const bool same = calibration && shown && calibration->views == shown->views;
    calibration = std::move(shown);
    if (!same)
        update();
}

void ViewWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawnLabels.clear();
    if (!figure()) {
        painter.fillRect(rect(), palette().base());
        painter.setPen(palette().placeholderText().color());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("Open a file of measurements (Ctrl+O) to see it here."));
        return;
    }
    draw(painter, *figure());
}

} // namespace tavrin
