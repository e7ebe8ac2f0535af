// The points in three dimensions, as the mouse turns and zooms them: raw
// points about their centre or calibrated points, the sphere of radius Hm as
// a wire frame, rejected points marked and the plane of a planar fit drawn.
#ifndef TAVRIN_PLOT_CLOUD_H
#define TAVRIN_PLOT_CLOUD_H

#include "figure.h"

#include <QPointF>
#include <QRectF>

#include <vector>

class QPainter;

namespace tavrin {

/// How the cloud is looked at: turned about the vertical z axis, then tilted
/// toward the viewer, and magnified.
struct CloudView {
    double yaw = 0.6;    ///< radians
    double pitch = 0.35; ///< radians, positive looks down on the x-y plane
    double zoom = 1.0;
};

enum class CloudSet { Raw, Calibrated };

/// Up to this many points the cloud shows every point; above, an even
/// sample of this many, so that it turns smoothly.
constexpr int MostCloudPoints = 20000;

/// The points of one set as the cloud shows them, in input units about the
/// origin: every point, or an even sample.
class CloudPoints {
public:
    CloudPoints(const FigureData &data, CloudSet set);

    int size() const { return int(index.size()); }
    int pointIndex(int k) const { return index[size_t(k)]; } ///< the 0-based index among all points
    const double *at(int k) const { return &coordinates[3 * size_t(k)]; }
    double range() const
    {
        return reach;
    } ///< half the side of the cube that holds them, the sphere and the axes

private:
    std::vector<int> index;
    std::vector<double> coordinates;
    double reach = 0.0;
};

/// Maps the cloud's coordinates to pixels of a box: its centre is the
/// origin, and at zoom 1 the range fills the box's shorter side.
class CloudCamera {
public:
    CloudCamera(const QRectF &box, double range, const CloudView &view);

    QPointF map(const double v[3]) const;
    /// Toward the viewer: larger is nearer.
    double depth(const double v[3]) const;

private:
    double turn[3][3];
    QPointF centre;
    double scale;
};

/// Where the calibrated points of a planar fit lie: a planar fit leaves the
/// reading along the plane's normal as measured, so its points make a circle
/// at their mean height along the normal, of their mean radius about it,
/// rather than a sphere of radius Hm.
struct PlaneCircle {
    double height = 0.0, radius = 0.0;
};

/// The circle of count points, x, y, z each, about the unit normal.
PlaneCircle planeCircleOf(const double normal[3], const double *xyz, int count);

/// Where the cloud itself goes in a box that also holds its title.
QRectF cloudArea(const QRectF &box);

/// Draws the cloud of a set in box, on white; its camera looks at cloudArea(box).
void drawCloud(QPainter &painter, const QRectF &box, const FigureData &data, const CloudPoints &points,
               CloudSet set, const CloudView &view);

/// The index among all points of the nearest shown point within radius
/// pixels of pixel, the nearest to the viewer among equals; -1 for none.
int cloudPointAt(const CloudPoints &points, const CloudCamera &camera, const QPointF &pixel, double radius);

} // namespace tavrin

#endif
