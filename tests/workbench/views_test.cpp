#include "cloud.h"
#include "cloudwidget.h"
#include "normerrorseries.h"
#include "palette.h"
#include "panels.h"
#include "panelwidgets.h"
#include "pipeline.h"
#include "pointspread.h"
#include "serieswidget.h"
#include "synthetic.h"
#include "turnadvice.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace tavrin;

namespace {

// A calibration of points in memory, as the window shows it.
std::shared_ptr<const Calibration> calibrate(const MatDoub &points, double hm, FitModel fit = FitModel::Exact)
{
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    auto c = std::make_shared<Calibration>();
    c->options.hm = hm;
    c->options.fit = fit;
    c->result =
        std::make_shared<const CalibrationResult>(runCalibration(Input::points(raw, "memory"), c->options));
    if (c->result->calibrated())
        c->views = std::make_shared<const ViewData>(*c->result, hm);
    return c;
}

QImage render(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    widget.render(&image);
    return image;
}

bool near(QRgb pixel, const QColor &colour, int tolerance = 40)
{
    return std::abs(qRed(pixel) - colour.red()) + std::abs(qGreen(pixel) - colour.green()) +
               std::abs(qBlue(pixel) - colour.blue()) <=
           tolerance;
}

// The colour of most of the pixels about a point, grid lines aside.
QColor mostly(const QImage &image, QPoint at, const QColor &a, const QColor &b)
{
    int votes = 0;
    for (int dx = -6; dx <= 6; dx++)
        for (int dy = -6; dy <= 6; dy++) {
            const QRgb pixel = image.pixel(at + QPoint(dx, dy));
            votes += near(pixel, a) ? 1 : near(pixel, b) ? -1 : 0;
        }
    return votes > 0 ? a : votes < 0 ? b : QColor();
}

} // namespace

class ViewsTest : public QObject {
    Q_OBJECT

private slots:
    // The camera puts +x to the right, +z up, and turns and zooms as asked.
    void theCameraMapsKnownPoints()
    {
        const QRectF box(0, 0, 400, 300);
        const double x[3] = {10, 0, 0}, z[3] = {0, 0, 10}, y[3] = {0, 10, 0};
        const CloudCamera front(box, 20, CloudView{0, 0, 1});
        QCOMPARE(front.map(x), QPointF(275, 150)); // 150 pixels for 20 units
        QCOMPARE(front.map(z), QPointF(200, 75));
        QCOMPARE(front.map(y), QPointF(200, 150)); // straight away from the viewer
        QVERIFY(front.depth(y) < 0);
        const CloudCamera turned(box, 20, CloudView{M_PI / 2, 0, 2});
        const QPointF at = turned.map(y);
        QCOMPARE(at.y(), 150.0);
        QVERIFY(std::abs(std::abs(at.x() - 200) - 150) < 1e-9); // a quarter turn, twice the scale
        const CloudCamera above(box, 20, CloudView{0, M_PI / 2, 1});
        QVERIFY(std::abs(above.map(y).y() - 75) < 1e-9); // looking down, +y is up the screen
    }

    // A point drawn by the cloud lands on its pixel, and hovering there finds it.
    void aCloudPointLandsOnItsPixel()
    {
        MatDoub points(200, 3);
        for (Int k = 0; k < 200; k++) {
            const double t = 2 * M_PI * k / 200, s = std::sin(7.0 * t);
            points[k][0] = 48 * std::cos(t) * std::sqrt(1 - s * s) + 5;
            points[k][1] = 48 * std::sin(t) * std::sqrt(1 - s * s) - 3;
            points[k][2] = 48 * s + 2;
        }
        const std::shared_ptr<const Calibration> c = calibrate(points, 48);
        QVERIFY(c->result->calibrated());
        CloudWidget widget;
        widget.resize(500, 400);
        widget.show(c);
        const FigureData &figure = *widget.figure();
        const CloudPoints cloud(figure, CloudSet::Calibrated);
        QCOMPARE(cloud.size(), 200);
        const QPointF at = widget.camera().map(cloud.at(37));
        QCOMPARE(widget.pointAt(at), 37);
        QCOMPARE(widget.pointAt(at + QPointF(40, 40)) == 37, false);
        const QImage image = render(widget);
        const QRgb pixel = image.pixel(at.toPoint());
        QVERIFY2(qBlue(pixel) > qRed(pixel) + 60, "the calibrated colour at the point's pixel");
        QVERIFY(pointText(figure, 37).startsWith("Point 38: raw"));
    }

    // Many points: the cloud shows an even sample and still finds them.
    void aLargeCloudIsSampled()
    {
        const std::shared_ptr<const Calibration> c =
            calibrate(ellipsoidPoints(sampleTruth, 48, 50000, 0.1, 9), 48);
        const CloudPoints &cloud = c->views->raw;
        QCOMPARE(cloud.size(), MostCloudPoints);
        QCOMPARE(cloud.pointIndex(1), 50000 / MostCloudPoints);
        QVERIFY(cloud.range() >= 1.1 * 48);
    }

    // The coverage map's empty cap is where the data leave it: points that
    // never point to -z leave the cap there, and the map shows it empty.
    void theEmptyCapIsWhereTheDataLeaveIt()
    {
        Recording r;
        r.truth = sphereTruth(1, 10, -5, 3);
        r.capShare = 0.6;
        r.capAxis[0] = 0;
        r.capAxis[1] = 0;
        r.capAxis[2] = 1;
        r.n = 3000;
        const std::shared_ptr<const Calibration> c = calibrate(record(r).points, 48);
        const EmptyCap &cap = c->result->quality.largestEmptyCap;
        QVERIFY2(cap.centre[2] < -0.9, "the cap is about -z");
        QVERIFY(capAxes(cap.centre).contains(QStringLiteral("\u2212z")));
        QVERIFY(turnAdvice(c->result->quality).contains("Turn the sensor"));

        CoverageWidget widget;
        widget.resize(800, 500);
        widget.show(c);
        const QPointF south = coverageMapPoint(widget.mapBox(), Direction{0, 0, -1});
        QCOMPARE(south.y(), widget.mapBox().bottom());
        const QImage image = render(widget);
        const QPoint inside = (south + QPointF(0, -0.1 * widget.mapBox().height())).toPoint();
        QCOMPARE(mostly(image, inside, Palette::emptyCell, Palette::hitCell), Palette::emptyCell);
        const QPoint north = (coverageMapPoint(widget.mapBox(), Direction{0, 0, 1}) +
                              QPointF(0, 0.1 * widget.mapBox().height()))
                                 .toPoint();
        QCOMPARE(mostly(image, north, Palette::emptyCell, Palette::hitCell), Palette::hitCell);
    }

    // A spike at a known index shows at its index in the series, and
    // hovering there names it.
    void theSeriesShowsAFaultAtItsIndex()
    {
        MatDoub points = ellipsoidPoints(sampleTruth, 48, 1000, 0.05, 4);
        for (int i = 0; i < 3; i++)
            points[600][i] = sampleTruth.b0[i] + 1.5 * (points[600][i] - sampleTruth.b0[i]);
        const std::shared_ptr<const Calibration> c = calibrate(points, 48, FitModel::Full);
        SeriesWidget widget;
        widget.resize(900, 400);
        widget.show(c);
        const PointErrors &errors = widget.views()->errors;
        QVERIFY(errors.after[600] > 20);
        const Frame frame = widget.frame();
        const QPointF spike = frame.map(600, std::min(errors.after[600], frame.yHigh));
        QCOMPARE(widget.pointAt(spike), 600);
        QVERIFY(std::abs(spike.x() - (frame.pixels.left() + 600 * frame.pixels.width() / 999)) < 1e-9);
        QCOMPARE(widget.pointAt(QPointF(frame.pixels.left() + 10, frame.pixels.top() + 2)), -1);
    }

    // A planar fit leaves the reading along the normal as measured: its
    // calibrated points lie on their plane's circle, far from the sphere of
    // radius Hm, which the cloud then leaves out and the circle replaces.
    void aPlanarCloudShowsItsCircleNotTheSphere()
    {
        const double hm = 48, height = 300;
        MatDoub points(720, 3);
        for (int k = 0; k < 720; k++) {
            const double t = 2 * Pi * k / 720;
            points[k][0] = 5 + 1.2 * hm * std::cos(t);
            points[k][1] = -3 + 0.9 * hm * std::sin(t);
            points[k][2] = height + 0.5 * std::sin(7 * t);
        }
        const std::shared_ptr<const Calibration> c = calibrate(points, hm, FitModel::Planar);
        QVERIFY(c->result->calibrated());
        const FigureData &planar = c->views->figure;
        QVERIFY(planar.robust && planar.robust->model == FitModel::Planar);
        FigureData spherical = planar;
        spherical.robust = nullptr;
        const CloudPoints &cloud = c->views->calibrated;
        const QRectF box(0, 0, 640, 640);
        const CloudView view;
        const auto draw = [&](const FigureData &d) {
            QImage image(box.size().toSize(), QImage::Format_RGB32);
            QPainter painter(&image);
            drawCloud(painter, box, d, cloud, CloudSet::Calibrated, view);
            return image;
        };
        const QImage withPlane = draw(planar), withSphere = draw(spherical);
        const CloudCamera camera(cloudArea(box), cloud.range(), view);
        // The darkest pixel about a point of the cloud's space.
        const auto darkest = [&](const QImage &image, const double v[3]) {
            const QPoint at = camera.map(v).toPoint();
            int least = 255;
            for (int dx = -1; dx <= 1; dx++)
                for (int dy = -1; dy <= 1; dy++)
                    least = std::min(least, qGray(image.pixel(at + QPoint(dx, dy))));
            return least;
        };
        for (const double degrees : {45.0, 135.0, 225.0, 315.0}) {
            const double equator[3] = {hm * std::cos(degrees * Pi / 180), hm * std::sin(degrees * Pi / 180),
                                       0};
            QVERIFY2(darkest(withSphere, equator) < 245, qPrintable(QString::number(degrees)));
            QCOMPARE(darkest(withPlane, equator), 255);
        }
        // The circle lies where the points do: their mean height along the
        // normal, their mean radius about it.
        const double *n = planar.robust->normal;
        const PlaneCircle circle = planeCircleOf(n, cloud.at(0), cloud.size());
        QVERIFY(std::abs(circle.height - height) < 0.05 * height);
        QVERIFY(std::abs(circle.radius - hm) < 0.05 * hm);
        double e1[3], e2[3];
        PlaneBasis(n, e1, e2);
        const double onCircle[3] = {circle.height * n[0] + circle.radius * e1[0],
                                    circle.height * n[1] + circle.radius * e1[1],
                                    circle.height * n[2] + circle.radius * e1[2]};
        const QPoint at = camera.map(onCircle).toPoint();
        bool planeDrawn = false;
        for (int dx = -1; dx <= 1; dx++)
            for (int dy = -1; dy <= 1; dy++)
                planeDrawn = planeDrawn || near(withPlane.pixel(at + QPoint(dx, dy)), Palette::plane, 60);
        QVERIFY(planeDrawn);
    }

    // Every view draws a failed run as nothing, and a run at any size.
    void viewsDrawAtAnySize()
    {
        const std::shared_ptr<const Calibration> c =
            calibrate(ellipsoidPoints(sampleTruth, 48, 300, 0.05, 2), 48, FitModel::Planar);
        ProjectionsWidget projections;
        for (const QSize size : {QSize(1400, 500), QSize(400, 1300), projections.minimumSize()}) {
            projections.resize(size);
            projections.show(c);
            const FigureLayout layout = projections.layout();
            for (int panel = 0; panel < 3; panel++) {
                QVERIFY(!layout.projections[panel].intersects(layout.projections[(panel + 1) % 3]));
                if (size != projections.minimumSize())
                    QVERIFY(projections.rect().contains(layout.projections[panel]));
            }
            QVERIFY(!render(projections).isNull());
        }
        projections.resize(1400, 500);
        QVERIFY(projections.layout().projections[0].top() == projections.layout().projections[1].top());
        projections.resize(400, 1300);
        QVERIFY(projections.layout().projections[0].left() == projections.layout().projections[1].left());
        projections.show(nullptr);
        QVERIFY(!projections.figure());
    }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
