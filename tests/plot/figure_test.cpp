// The calibration figure, drawn offscreen: valid PNG and SVG files of the
// stated size, and a coverage map that shows what the data cover.
#include "axes.h"
#include "figure.h"
#include "palette.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <memory>

using namespace tavrin;

namespace {

// The figure's points stay in the table they view, so the two live together.
struct Calibrated {
    std::unique_ptr<MatDoub> points;
    FigureData figure;
};

Calibrated calibrated(MatDoub table, const QString &name)
{
    auto points = std::make_unique<MatDoub>(std::move(table));
    const EllipsoidFit fit = *FitEllipsoid(*points);
    const CalibrationParameters p = *DeriveCalibration(fit, 48.0);
    FigureData figure{name, 48.0, *points, p, AssessQuality(*points, fit, p, 48.0)};
    return {std::move(points), std::move(figure)};
}

QImage drawn(const FigureData &figure)
{
    QImage image(FigureLayout::width, FigureLayout::height, QImage::Format_RGB32);
    QPainter painter(&image);
    DrawFigure(painter, figure);
    return image;
}

// The share of the map's cell pixels in the colour of hit cells.
double hitShare(const QImage &image)
{
    const QRect map = FigureLayout().coverageMap;
    long hit = 0, empty = 0;
    for (int y = map.top(); y <= map.bottom(); y++)
        for (int x = map.left(); x <= map.right(); x++) {
            const QRgb pixel = image.pixel(x, y);
            hit += pixel == Palette::hitCell.rgb();
            empty += pixel == Palette::emptyCell.rgb();
        }
    // The ellipse fills pi/4 of its box, less the cell borders and grid.
    EXPECT_GT(hit + empty, 0.6 * map.width() * map.height());
    return double(hit) / double(hit + empty);
}

long pixelsOf(const QImage &image, const QRect &box, const QColor &hue)
{
    long count = 0;
    for (int y = box.top(); y <= box.bottom(); y++)
        for (int x = box.left(); x <= box.right(); x++) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.hue() - hue.hue()) < 8 && c.saturation() > 60;
        }
    return count;
}

} // namespace

TEST(Figure, PngAndSvgFilesOfTheStatedSize)
{
    const Calibrated c = calibrated(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.25, 1), "sample.txt");
    QTemporaryDir dir;
    const QString png = dir.filePath("figure.png"), svg = dir.filePath("figure.svg");
    ASSERT_TRUE(WriteFigure(png, c.figure));
    ASSERT_TRUE(WriteFigure(svg, c.figure));

    QFile pngFile(png);
    ASSERT_TRUE(pngFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(pngFile.read(8), QByteArray("\x89PNG\r\n\x1a\n"));
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(FigureLayout::width, FigureLayout::height));

    QFile svgFile(svg);
    ASSERT_TRUE(svgFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svgFile);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    EXPECT_EQ(xml.attributes().value("viewBox"), QStringLiteral("0 0 1800 1200"));
    int texts = 0;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("text"))
            texts++;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GT(texts, 30);

    EXPECT_FALSE(WriteFigure(dir.filePath("no/such/folder/figure.png"), c.figure));
}

TEST(Figure, CoverageMapShowsAHalfSphereHalfEmpty)
{
    MatDoub all = ellipsoidPoints(sphereTruth(1.0, 3, -2, 4), 48.0, 8000, 0.1, 4);
    MatDoub half(3000, 3);
    Int kept = 0;
    for (Int k = 0; k < all.nrows() && kept < 3000; k++)
        if (all[k][1] > -2)
            std::copy(all[k], all[k] + 3, half[kept++]);
    ASSERT_EQ(kept, 3000);
    const Calibrated halfSphere = calibrated(std::move(half), "half.txt");
    const Calibrated whole = calibrated(ellipsoidPoints(sampleTruth, 48.0, 3000, 0.25, 2), "whole.txt");
    EXPECT_NEAR(hitShare(drawn(halfSphere.figure)), 0.5, 0.08);
    EXPECT_DOUBLE_EQ(hitShare(drawn(whole.figure)), 1.0);
}

TEST(Figure, PointsShowFromTwentyToHalfAMillion)
{
    const FigureLayout layout;
    for (Int n : {20, 5000, 5001, 500000}) {
        const Calibrated c = calibrated(ellipsoidPoints(sampleTruth, 48.0, n, 0.25, 3), "points.txt");
        const QImage image = drawn(c.figure);
        for (const QRect &panel : layout.projections) {
            // Twenty points are big dots; many points are shaded, not a blot
            // that hides the circle of radius Hm.
            const long raw = pixelsOf(image, panel, Palette::raw);
            const long calibratedPixels = pixelsOf(image, panel, Palette::calibrated);
            EXPECT_GT(raw, n < 100 ? 300 : 5000) << n;
            EXPECT_GT(calibratedPixels, n < 100 ? 300 : 5000) << n;
            EXPECT_LT(raw + calibratedPixels, panel.width() * panel.height() / 2) << n;
        }
    }
}

// However many points a robust fit rejects, the figure stays small: the
// rejected points are shaded by density as the others are, in their colour.
TEST(Figure, RejectedPointsKeepTheFigureSmall)
{
    Calibrated c = calibrated(ellipsoidPoints(sampleTruth, 48.0, 100000, 0.25, 6), "spiky.txt");
    RobustFit fit;
    fit.parameters = c.figure.parameters;
    for (int k = 0; k < 100000; k += 4)
        fit.rejected.push_back(k);
    c.figure.robust = &fit;
    QTemporaryDir dir;
    const QString svg = dir.filePath("figure.svg");
    ASSERT_TRUE(WriteFigure(svg, c.figure));
    EXPECT_LT(QFileInfo(svg).size(), 10 << 20);

    const QImage image = drawn(c.figure);
    for (const QRect &panel : FigureLayout().projections)
        EXPECT_GT(pixelsOf(image, panel, Palette::rejected), 2000);
}

// However narrow the frame, its ticks keep apart and at least two show on
// each axis; the axis names shorten to fit and never run past the frame.
TEST(Figure, AxesFitTheirTicksAndNamesToTheRoom)
{
    QImage image(900, 900, QImage::Format_RGB32);
    QPainter painter(&image);
    for (const double side : {50.0, 90.0, 160.0, 440.0}) {
        const QMarginsF room = axesMargins(-52.5, 52.5, -52.5, 52.5);
        const Frame frame{QRectF(room.left() + 10, room.top() + 10, side, side), -52.5, 52.5, -52.5, 52.5};
        LabelLog labels;
        drawAxes(painter, frame, {"x (units of Hm)", "x"}, {"y (units of Hm)", "y"}, &labels);
        int ticks = 0;
        for (size_t i = 0; i < labels.size(); i++) {
            ticks += labels[i].text.toInt() != 0 || labels[i].text == "0";
            EXPECT_TRUE((frame.pixels + room).contains(labels[i].rect))
                << side << labels[i].text.toStdString();
            for (size_t j = i + 1; j < labels.size(); j++) {
                const QRectF both = labels[i].rect.intersected(labels[j].rect);
                EXPECT_FALSE(both.width() > 0.5 && both.height() > 0.5)
                    << side << ": " << labels[i].text.toStdString() << " over "
                    << labels[j].text.toStdString();
            }
        }
        EXPECT_GE(ticks, side < 100 ? 4 : 8) << side;
        EXPECT_EQ(labels.back().text, side < 160 ? "y" : "y (units of Hm)") << side;
    }
}

// Every label of the figure lies whole on the canvas, apart from the
// others, with the legend of a robust planar fit and of half a million points.
TEST(Figure, LabelsStayOnTheCanvasAndApart)
{
    Calibrated c = calibrated(ellipsoidPoints(sampleTruth, 48.0, 200000, 0.25, 4), "a rather long name.txt");
    RobustFit fit;
    fit.parameters = c.figure.parameters;
    fit.model = FitModel::Planar;
    fit.rejected = {1, 2, 3};
    c.figure.robust = &fit;
    QImage image(FigureLayout::width, FigureLayout::height, QImage::Format_RGB32);
    QPainter painter(&image);
    LabelLog labels;
    DrawFigure(painter, c.figure, &labels);
    EXPECT_GT(labels.size(), 50u);
    const QRectF canvas(0, 0, FigureLayout::width, FigureLayout::height);
    for (size_t i = 0; i < labels.size(); i++) {
        EXPECT_TRUE(canvas.contains(labels[i].rect)) << labels[i].text.toStdString();
        for (size_t j = i + 1; j < labels.size(); j++) {
            const QRectF both = labels[i].rect.intersected(labels[j].rect);
            EXPECT_FALSE(both.width() > 0.5 && both.height() > 0.5)
                << labels[i].text.toStdString() << " over " << labels[j].text.toStdString();
        }
    }
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
