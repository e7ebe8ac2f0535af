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
    if (same)
        return;
    changed();
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
    if (stale.isEmpty())
        return;
    painter.fillRect(rect(), QColor(255, 255, 255, 170));
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap,
                     tr("Out of date: %1").arg(stale));
}

void ViewWidget::setStale(const QString &reason)
{
    if (reason == stale)
        return;
    stale = reason;
    changed();
    update();
}

} // namespace tavrin
