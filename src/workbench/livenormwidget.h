// |h| of every reading of a capture against Hm, over the readings' order,
// calibrated by the live fit once there is one: a knock or a magnet nearby
// shows as a spike away from Hm.
#ifndef TAVRIN_WORKBENCH_LIVENORMWIDGET_H
#define TAVRIN_WORKBENCH_LIVENORMWIDGET_H

#include "ellipsoidfit.h"

#include <QWidget>

#include <array>
#include <vector>

namespace tavrin {

class LiveNormWidget : public QWidget {
    Q_OBJECT
public:
    explicit LiveNormWidget(QWidget *parent = nullptr);

    /// The readings so far and Hm in their unit (0 when not known), each
    /// calibrated by fit when there is one.
    void show(const std::vector<std::array<double, 3>> &readings, double hm,
              const CalibrationParameters *fit);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<double> norms; ///< at most a few per pixel: the drawing stays cheap at any length
    int readingCount = 0;
    double hm = 0.0;
    bool calibrated = false;
};

} // namespace tavrin

#endif
