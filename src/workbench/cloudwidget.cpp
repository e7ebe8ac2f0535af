#include "cloudwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>

namespace tavrin {

namespace {

constexpr double RadiansPerPixel = 0.01;
constexpr double HoverRadius = 6.0;

} // namespace

QString pointText(const FigureData &figure, int index)
{
    const double *h = figure.points[index];
    double c[3];
    Calibrator(figure.parameters)(h, c);
    return QObject::tr("Point %1: raw %2 %3 %4, calibrated %5 %6 %7")
        .arg(index + 1)
        .arg(h[0], 0, 'g', 7)
        .arg(h[1], 0, 'g', 7)
        .arg(h[2], 0, 'g', 7)
        .arg(c[0], 0, 'g', 7)
        .arg(c[1], 0, 'g', 7)
        .arg(c[2], 0, 'g', 7);
}

CloudWidget::CloudWidget(QWidget *parent) : ViewWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
    setToolTip(tr("Drag to turn, wheel or +/- to zoom, arrows to turn by steps, Home for the first view"));
}

void CloudWidget::setSet(CloudSet set)
{
    shown = set;
    update();
}

void CloudWidget::setView(const CloudView &view)
{
    looking = view;
    looking.pitch = std::clamp(looking.pitch, -Pi / 2, Pi / 2);
    looking.zoom = std::clamp(looking.zoom, 0.2, 20.0);
    update();
}

CloudCamera CloudWidget::camera() const
{
    return CloudCamera(cloudArea(QRectF(rect())), views()->cloud(shown).range(), looking);
}

int CloudWidget::pointAt(const QPointF &pixel) const
{
    return views() ? cloudPointAt(views()->cloud(shown), camera(), pixel, HoverRadius) : -1;
}

void CloudWidget::draw(QPainter &painter, const FigureData &figure)
{
    drawCloud(painter, QRectF(rect()), figure, views()->cloud(shown), shown, looking);
    // Reached by Tab, the cloud shows that the arrow keys now turn it.
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void CloudWidget::focusInEvent(QFocusEvent *event)
{
    ViewWidget::focusInEvent(event);
    update();
}

void CloudWidget::focusOutEvent(QFocusEvent *event)
{
    ViewWidget::focusOutEvent(event);
    update();
}

void CloudWidget::mousePressEvent(QMouseEvent *event)
{
    dragFrom = event->position().toPoint();
}

void CloudWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
        CloudView turned = looking;
        turned.yaw += (at.x() - dragFrom.x()) * RadiansPerPixel;
        turned.pitch += (at.y() - dragFrom.y()) * RadiansPerPixel;
        dragFrom = at;
        setView(turned);
        return;
    }
    const int index = pointAt(at);
    const QString text = index >= 0 ? pointText(*figure(), index) : QString();
    if (index >= 0)
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    else
        QToolTip::hideText();
    emit hovered(text);
}

void CloudWidget::wheelEvent(QWheelEvent *event)
{
    CloudView zoomed = looking;
    zoomed.zoom *= std::pow(1.0015, event->angleDelta().y());
    setView(zoomed);
}

void CloudWidget::keyPressEvent(QKeyEvent *event)
{
    CloudView moved = looking;
    constexpr double Step = Pi / 36;
    switch (event->key()) {
    case Qt::Key_Left:
        moved.yaw -= Step;
        break;
    case Qt::Key_Right:
        moved.yaw += Step;
        break;
    case Qt::Key_Up:
        moved.pitch -= Step;
        break;
    case Qt::Key_Down:
        moved.pitch += Step;
        break;
    case Qt::Key_Plus:
        moved.zoom *= 1.2;
        break;
    case Qt::Key_Minus:
        moved.zoom /= 1.2;
        break;
    case Qt::Key_Home:
        moved = CloudView();
        break;
    default:
        ViewWidget::keyPressEvent(event);
        return;
    }
    setView(moved);
}

} // namespace tavrin
