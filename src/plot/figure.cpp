#include "figure.h"

#include "atomicfile.h"
#include "axes.h"
#include "palette.h"
#include "panels.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

namespace tavrin {

namespace {

void drawTitle(QPainter &painter, const FigureData &d)
{
    painter.setPen(Palette::ink);
    painter.setFont(figureFont(26, true));
    painter.drawText(QRectF(40, 16, FigureLayout::width - 80, 36), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 \u2014 Hm = %2, %3 points, verdict: %4")
                         .arg(d.name)
                         .arg(d.hm, 0, 'g', 10)
                         .arg(d.points.size())
                         .arg(QString::fromUtf8(verdictName(d.quality.verdict))));
    painter.setFont(figureFont(16));
    const QString shown =
        d.points.size() <= MostPointsDrawn
            ? QStringLiteral("every point drawn")
            : QStringLiteral("%1 points each, shaded by their density on a log scale").arg(d.points.size());
    const auto swatch = [&](double x, const QColor &colour, const QString &text) {
        painter.fillRect(QRectF(x, 66, 16, 16), colour);
        painter.drawText(QPointF(x + 24, 80), text);
    };
    swatch(40, Palette::raw, QStringLiteral("raw h about its centre, scaled to Hm"));
    swatch(380, Palette::calibrated, QStringLiteral("calibrated A\u207B\u00B9(h \u2212 b)"));
    const auto line = [&](double x, const QPen &pen, const QString &text) {
        painter.setPen(pen);
        painter.drawLine(QPointF(x, 74), QPointF(x + 40, 74));
        painter.setPen(Palette::ink);
        painter.drawText(QPointF(x + 50, 80), text);
    };
    line(640, QPen(Palette::ink, 1.5, Qt::DashLine), QStringLiteral("circle of radius Hm;  %1").arg(shown));
    if (!d.robust)
        return;
    painter.setPen(QPen(Palette::rejected, 2.0));
    painter.drawLine(QPointF(1240, 69), QPointF(1250, 79));
    painter.drawLine(QPointF(1240, 79), QPointF(1250, 69));
    painter.setPen(Palette::ink);
    painter.drawText(QPointF(1260, 80), QStringLiteral("%1 rejected").arg(d.robust->rejected.size()));
    if (d.robust->model == FitModel::Planar)
        line(1400, QPen(Palette::plane, 2.5, Qt::DashDotLine), QStringLiteral("plane of the turn"));
}

void drawMapLegend(QPainter &painter, const QRect &map, const QualityReport &q)
{
    const EmptyCap &cap = q.largestEmptyCap;
    painter.setFont(figureFont(15));
    const double y = map.bottom() + 30;
    painter.fillRect(QRectF(map.left(), y - 13, 16, 16), Palette::hitCell);
    painter.fillRect(QRectF(map.left() + 110, y - 13, 16, 16), Palette::emptyCell);
    painter.setPen(Palette::ink);
    painter.drawText(QPointF(map.left() + 24, y), QStringLiteral("hit"));
    painter.drawText(QPointF(map.left() + 134, y), QStringLiteral("no direction: turn the sensor this way"));
    painter.setPen(QPen(Palette::emptyCap, 3));
    painter.drawLine(QPointF(map.left() + 480, y - 5), QPointF(map.left() + 516, y - 5));
    painter.setPen(Palette::ink);
    painter.drawText(QPointF(map.left() + 524, y),
                     QStringLiteral("largest empty cap, %1\u00B0 around (%2, %3, %4)")
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
    coverageMap = QRect(110, 710, 880, 440);
    histogram = QRect(1150, 760, 570, 350);
}

void DrawFigure(QPainter &painter, const FigureData &data)
{
    const FigureLayout layout;
    painter.fillRect(QRect(0, 0, FigureLayout::width, FigureLayout::height), Qt::white);
    drawTitle(painter, data);
    drawProjections(painter, layout, data);
    drawCoverageMap(painter, layout.coverageMap, data.quality);
    drawMapLegend(painter, layout.coverageMap, data.quality);
    drawNormErrorHistogram(painter, layout.histogram, data);
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
