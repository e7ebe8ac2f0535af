// The views that show panels of the calibration figure at the widget's size:
// the three projections, the coverage map with its advice, the histogram.
#ifndef TAVRIN_WORKBENCH_PANELWIDGETS_H
#define TAVRIN_WORKBENCH_PANELWIDGETS_H

#include "viewwidget.h"

#include <optional>

namespace tavrin {

class ProjectionsWidget : public ViewWidget {
    Q_OBJECT
public:
    explicit ProjectionsWidget(QWidget *parent = nullptr);

    /// The three panels' frames at the current size: XY, YZ and ZX.
    FigureLayout layout() const;

protected:
    void draw(QPainter &painter, const FigureData &figure) override;

private:
    /// The room about each panel: its title and axes, and a little more.
    QMarginsF margins() const;
};

class CoverageWidget : public ViewWidget {
    Q_OBJECT
public:
    using ViewWidget::ViewWidget;

    /// The box of the map's ellipse at the current size.
    QRectF mapBox() const;

    /// Whether the directions are enough by a rule of the caller's (a live
    /// capture's), which the advice then follows; empty for the fit's own.
    void setEnough(std::optional<bool> enough);
    QString advice() const;

protected:
    void draw(QPainter &painter, const FigureData &figure) override;

private:
    struct Arrangement {
        QRectF map, advice;
    };
    Arrangement arrangement() const;
    std::optional<bool> enough;
};

class HistogramWidget : public ViewWidget {
    Q_OBJECT
public:
    using ViewWidget::ViewWidget;

protected:
    void draw(QPainter &painter, const FigureData &figure) override;
};

} // namespace tavrin

#endif
