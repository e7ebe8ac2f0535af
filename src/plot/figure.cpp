#include "figure.h"

#include "atomicfile.h"
#include "axes.h"
#include "palette.h"
#include "panels.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

namespace tavrin {

namespace {

void drawTitle(QPainter &painter, const FigureData &d, LabelLog *log)
{
    painter.setPen(Palette::ink);
    painter.setFont(figureFont(26, true));
    drawLabel(painter, QRectF(40, 16, FigureLayout::width - 80, 36), Qt::AlignLeft | Qt::AlignVCenter,
              QStringLiteral("%1 \u2014 Hm = %2, %3 points, verdict: %4")
                  .arg(d.name)
                  .arg(d.hm, 0, 'g', 10)
                  .arg(d.points.size())
                  .arg(QString::fromUtf8(verdictName(d.quality.verdict))),
              log);
    const QFont font = figureFont(16);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    const QString shown =
        d.points.size() <= MostPointsDrawn
            ? QStringLiteral("every point drawn")
            : QStringLiteral("%1 points each, shaded by their density on a log scale").arg(d.points.size());
    // The keys one after the other, each as wide as its words.
    double x = 40;
    const double y = 74;
    const auto text = [&](double from, const QString &words) {
        drawLabel(painter,
                  QRectF(from, y - metrics.height() / 2, metrics.horizontalAdvance(words), metrics.height()),
                  Qt::AlignLeft | Qt::AlignVCenter, words, log);
        x = from + metrics.horizontalAdvance(words) + 40;
    };
    const auto swatch = [&](const QColor &colour, const QString &words) {
        painter.fillRect(QRectF(x, y - 8, 16, 16), colour);
        text(x + 24, words);
    };
    const auto line = [&](const QPen &pen, const QString &words) {
        painter.setPen(pen);
        painter.drawLine(QPointF(x, y), QPointF(x + 40, y));
        painter.setPen(Palette::ink);
        text(x + 50, words);
    };
    swatch(Palette::raw, QStringLiteral("raw h about its centre, scaled to Hm"));
    swatch(Palette::calibrated, QStringLiteral("calibrated A\u207B\u00B9(h \u2212 b)"));
    line(QPen(Palette::ink, 1.5, Qt::DashLine), QStringLiteral("circle of radius Hm;  %1").arg(shown));
    if (!d.robust)
        return;
    painter.setPen(QPen(Palette::rejected, 2.0));
    painter.drawLine(QPointF(x, y - 5), QPointF(x + 10, y + 5));
    painter.drawLine(QPointF(x, y + 5), QPointF(x + 10, y - 5));
    painter.setPen(Palette::ink);
    text(x + 20, QStringLiteral("%1 rejected").arg(d.robust->rejected.size()));
    if (d.robust->model == FitModel::Planar)
        line(QPen(Palette::plane, 2.5, Qt::DashDotLine), QStringLiteral("plane of the turn"));
}

void drawMapLegend(QPainter &painter, const QRect &map, const QualityReport &q, LabelLog *log)
{
    const EmptyCap &cap = q.largestEmptyCap;
    const QFont font = figureFont(15);
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    const double y = map.bottom() + coverageMapMargins().bottom() + metrics.height();
    double x = map.left();
    const auto text = [&](double from, const QString &words) {
        drawLabel(painter,
                  QRectF(from, y - metrics.height() / 2, metrics.horizontalAdvance(words), metrics.height()),
                  Qt::AlignLeft | Qt::AlignVCenter, words, log);
        x = from + metrics.horizontalAdvance(words) + 30;
    };
    painter.fillRect(QRectF(x, y - 8, 16, 16), Palette::hitCell);
    painter.setPen(Palette::ink);
    text(x + 24, QStringLiteral("hit"));
    painter.fillRect(QRectF(x, y - 8, 16, 16), Palette::emptyCell);
    text(x + 24, QStringLiteral("no direction: turn the sensor this way"));
    painter.setPen(QPen(Palette::emptyCap, 3));
    painter.drawLine(QPointF(x, y), QPointF(x + 36, y));
    painter.setPen(Palette::ink);
    text(x + 44, QStringLiteral("largest empty cap, %1\u00B0 around (%2, %3, %4)")
                     .arg(cap.radiusDegrees(), 0, 'f', 1)
                     .arg(cap.centre[0], 0, 'f', 2)
                     .arg(cap.centre[1], 0, 'f', 2)
                     .arg(cap.centre[2], 0, 'f', 2));
}

} // namespace

FigureLayout::FigureLayout()
{
    for (int panel = 0; panel < 3; panel++)
        projections[panel] = QRect(110 + panel * 590, 150, 440, 440);
    coverageMap = QRect(110, 700, 860, 430);
    histogram = QRect(1060, 650, 700, 520);
}

void DrawFigure(QPainter &painter, const FigureData &data, LabelLog *log)
{
    const FigureLayout layout;
    painter.fillRect(QRect(0, 0, FigureLayout::width, FigureLayout::height), Qt::white);
    drawTitle(painter, data, log);
    drawProjections(painter, layout, data, log);
    drawCoverageMap(painter, layout.coverageMap, data.quality, log);
    drawMapLegend(painter, layout.coverageMap, data.quality, log);
    drawNormErrorHistogram(painter, layout.histogram, data, log);
}

bool WriteFigure(const QString &path, const FigureData &data, QString *reason)
{
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&bytes);
        svg.setSize(QSize(FigureLayout::width, FigureLayout::height));
        svg.setViewBox(QRect(0, 0, FigureLayout::width, FigureLayout::height));
        svg.setTitle(QStringLiteral("Tavrin calibration of %1").arg(data.name));
        QPainter painter(&svg);
        DrawFigure(painter, data);
    } else {
        QImage image(FigureLayout::width, FigureLayout::height, QImage::Format_RGB32);
        QPainter painter(&image);
        DrawFigure(painter, data);
        painter.end();
        // A light compression: the flat areas shrink as well, in a fraction of the time.
        QImageWriter png(&bytes, "PNG");
        png.setQuality(80);
        if (!png.write(image)) {
            if (reason)
                *reason = png.errorString();
            return false;
        }
    }
    return WriteFileAtomically(path, bytes.data(), reason);
}

} // namespace tavrin
