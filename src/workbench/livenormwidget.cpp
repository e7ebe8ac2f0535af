#include "livenormwidget.h"
#include "palette.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

// Norms kept for the drawing; a longer capture is thinned evenly.
constexpr int MostDrawn = 2000;

} // namespace

LiveNormWidget::LiveNormWidget(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(200, 48);
}

void LiveNormWidget::show(const std::vector<std::array<double, 3>> &readings, double fieldNorm,
                          const CalibrationParameters *fit)
{
    readingCount = int(readings.size());
    hm = fieldNorm;
    calibrated = fit != nullptr;
    norms.clear();
    const size_t step = std::max<size_t>(1, (readings.size() + MostDrawn - 1) / MostDrawn);
    for (size_t i = 0; i < readings.size(); i += step) {
        std::array<double, 3> h = readings[i];
        if (fit) {
            const std::array<double, 3> d = {h[0] - fit->Bias[0][0], h[1] - fit->Bias[1][0],
                                             h[2] - fit->Bias[2][0]};
            for (int row = 0; row < 3; row++)
                h[size_t(row)] =
                    fit->Ainv[row][0] * d[0] + fit->Ainv[row][1] * d[1] + fit->Ainv[row][2] * d[2];
        }
        norms.push_back(std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]));
    }
    update();
}

void LiveNormWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRectF area = QRectF(rect()).adjusted(56, 22, -10, -10);
    painter.setPen(Palette::ink);
    painter.drawText(QRectF(0, 2, width(), 18), Qt::AlignHCenter,
                     (calibrated ? tr("|h| of %1 readings calibrated by the live fit, Hm dashed")
                                 : tr("|h| of %1 raw readings, Hm dashed"))
                         .arg(readingCount));
    if (norms.empty())
        return;
    const auto [low, high] = std::minmax_element(norms.begin(), norms.end());
    double bottom = std::min(*low, hm > 0 ? hm : *low), top = std::max(*high, hm);
    const double margin = std::max(1e-9, 0.05 * (top - bottom));
    bottom -= margin;
    top += margin;
    const auto y = [&](double v) { return area.bottom() - (v - bottom) / (top - bottom) * area.height(); };
    const auto x = [&](size_t i) {
        return area.left() + (norms.size() > 1 ? double(i) / double(norms.size() - 1) : 0.0) * area.width();
    };
    painter.drawText(QRectF(0, area.top() - 8, 52, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(top, 'g', 4));
    painter.drawText(QRectF(0, area.bottom() - 8, 52, 16), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(bottom, 'g', 4));
    painter.drawRect(area);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hm > 0) {
        painter.setPen(QPen(Palette::ink, 1, Qt::DashLine));
        painter.drawLine(QPointF(area.left(), y(hm)), QPointF(area.right(), y(hm)));
    }
    QPainterPath path(QPointF(x(0), y(norms[0])));
    for (size_t i = 1; i < norms.size(); i++)
        path.lineTo(x(i), y(norms[i]));
    painter.setPen(QPen(Palette::raw, 1));
    painter.drawPath(path);
}

} // namespace tavrin
