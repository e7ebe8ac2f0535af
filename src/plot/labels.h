// Text drawn on a panel, and a record of where each piece landed, so that a
// layout can be checked for labels that overlap or leave their panel.
#ifndef TAVRIN_PLOT_LABELS_H
#define TAVRIN_PLOT_LABELS_H

#include <QRectF>
#include <QString>

#include <initializer_list>
#include <vector>

class QFontMetricsF;
class QPainter;

namespace tavrin {

struct DrawnLabel {
    QString text;
    QRectF rect; ///< what the text covers, in the device's pixels
};

using LabelLog = std::vector<DrawnLabel>;

/// Draws text aligned in box as QPainter::drawText does, but never cut at
/// the box's edges; adds what it covers to log when there is one.
void drawLabel(QPainter &painter, const QRectF &box, int flags, const QString &text, LabelLog *log);

/// The first of texts that is at most width wide, else the last.
QString fittingText(const QFontMetricsF &metrics, std::initializer_list<QString> texts, double width);

} // namespace tavrin

#endif
