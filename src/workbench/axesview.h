// The Axes view: the magnetometer's axes against the accelerometer's, in the
// words of the text report, above the angle between the two over the
// recording, as logged and after the rotation, with the readings at rest
// shaded. Without an accelerometer it says how to read one.
#ifndef TAVRIN_WORKBENCH_AXESVIEW_H
#define TAVRIN_WORKBENCH_AXESVIEW_H

#include "viewwidget.h"

class QLabel;
class QScrollArea;

namespace tavrin {

/// The report's lines on the axes as rows of an HTML table: each line's
/// label beside its text, which wraps.
QString alignmentTable(const QByteArray &reportLines);

class AxesView : public ViewWidget {
    Q_OBJECT
public:
    explicit AxesView(QWidget *parent = nullptr);

    /// The words the view shows, as plain text: the text report's lines on
    /// the axes above the plot, or how to read an accelerometer in its place;
    /// empty before a calibration.
    QString wordsText() const;
    /// Where the plot goes: below the words.
    QRectF plotBox() const;

protected:
    void draw(QPainter &painter, const FigureData &figure) override;
    void changed() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitWords();

    QLabel *words;
    QScrollArea *wordsScroll;
    QString reportLines;
};

} // namespace tavrin

#endif
