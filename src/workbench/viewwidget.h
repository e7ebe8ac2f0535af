// What every view of a calibration shares: the calibration it shows, with
// what the views draw of it, and a placeholder until there is one. A view
// holds only how it is looked at; the drawing is the plot library's.
#ifndef TAVRIN_WORKBENCH_VIEWWIDGET_H
#define TAVRIN_WORKBENCH_VIEWWIDGET_H

#include "labels.h"
#include "runner.h"
#include "viewdata.h"

#include <QWidget>

#include <memory>

namespace tavrin {

class ViewWidget : public QWidget {
    Q_OBJECT
public:
    explicit ViewWidget(QWidget *parent = nullptr);

    /// Shows a calibration; nothing for an empty one or a failed run.
    void show(std::shared_ptr<const Calibration> calibration);
    const ViewData *views() const { return calibration ? calibration->views.get() : nullptr; }
    const FigureData *figure() const { return views() ? &views()->figure : nullptr; }
    /// Veils the drawing, with why, while the calibration is out of date;
    /// an empty reason lifts the veil.
    void setStale(const QString &reason);
    QString staleReason() const { return stale; }
    /// The labels drawn by the last paint, where they landed.
    const LabelLog &labels() const { return drawnLabels; }

protected:
    void paintEvent(QPaintEvent *event) override;
    /// Draws the figure in the widget's rectangle.
    virtual void draw(QPainter &painter, const FigureData &figure) = 0;
    /// The calibration shown, or its staleness, changed: a view with widgets
    /// of its own brings them up to date.
    virtual void changed() {}

    /// The calibration shown; nullptr before the first.
    const Calibration *shownCalibration() const { return calibration.get(); }

    /// Where draw logs its labels.
    LabelLog drawnLabels;

private:
    std::shared_ptr<const Calibration> calibration;
    QString stale;
};

} // namespace tavrin

#endif
