#include "viewwidget.h"

#include <QFileInfo>
#include <QPainter>

namespace tavrin {

FigureData figureOf(const CalibrationResult &result, double hm)
{
    return {QFileInfo(result.path).fileName(),
            hm,
            result.run.raw.points(),
            result.run.parameters,
            result.quality,
            result.run.robustFit()};
}

ViewWidget::ViewWidget(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(200, 160);
    setMouseTracking(true);
}

void ViewWidget::show(std::shared_ptr<const Calibration> shown)
{
    calibration = std::move(shown);
    data.reset();
    if (calibration && calibration->result && calibration->result->calibrated())
        data = figureOf(*calibration->result, calibration->options.hm);
    figureChanged();
    update();
}

void ViewWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!data) {
        painter.fillRect(rect(), palette().base());
        painter.setPen(palette().placeholderText().color());
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("Open a file of measurements (Ctrl+O) to see it here."));
        return;
    }
    draw(painter, *data);
}

} // namespace tavrin
