// What every view of a calibration shares: the calibration it shows, as the
// plot library's figure data, and a placeholder until there is one. A view
// holds only how it is looked at; the drawing is the plot library's.
#ifndef TAVRIN_WORKBENCH_VIEWWIDGET_H
#define TAVRIN_WORKBENCH_VIEWWIDGET_H

#include "figure.h"
#include "runner.h"

#include <QWidget>

#include <memory>
#include <optional>

namespace tavrin {

/// The figure of a calibrated result, named by its file name.
FigureData figureOf(const CalibrationResult &result, double hm);

class ViewWidget : public QWidget {
    Q_OBJECT
public:
    explicit ViewWidget(QWidget *parent = nullptr);

    /// Shows a calibration; nothing for an empty one or a failed run.
    void show(std::shared_ptr<const Calibration> calibration);
    const FigureData *figure() const { return data ? &*data : nullptr; }

protected:
    void paintEvent(QPaintEvent *event) override;
    /// Draws the figure in the widget's rectangle.
    virtual void draw(QPainter &painter, const FigureData &figure) = 0;
    /// Called when the figure changes, to renew what the view derives from it.
    virtual void figureChanged() {}

private:
    std::shared_ptr<const Calibration> calibration;
    std::optional<FigureData> data;
};

} // namespace tavrin

#endif
