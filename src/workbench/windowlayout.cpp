// The window's arrangement at the size it is given: the views' tabs whole,
// the results beside them with room to spare, or, on a screen too narrow for
// three columns, under the input.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QResizeEvent>
#include <QTabBar>

#include <algorithm>
#include <functional>

namespace tavrin {

namespace {

// The narrowest the results get beside the views, in widths of an average
// character: a line of b with its uncertainty.
constexpr int ResultsCharacters = 36;

// Calls back on every resize of the widget it watches.
class ResizeWatch : public QObject {
public:
    ResizeWatch(QWidget *watched, std::function<void()> resized)
        : QObject(watched), resized(std::move(resized))
    {
        watched->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            resized();
        return false;
    }

private:
    std::function<void()> resized;
};

} // namespace

void MainWindow::setUpLayout()
{
    // The results' share is the user's while the window keeps its width: a
    // dragged separator sets it. While the window is resized the layout
    // moves the results first, and resizeEvent puts them back to their share.
    new ResizeWatch(ui->dockResults, [this] {
        if (width() == shareWidth && resultsBeside())
            resultsShare = double(ui->dockResults->width()) / width();
    });
    // A tab's title is never cut; when the window is narrower than the
    // tabs, the bar scrolls.
    ui->views->setElideMode(Qt::ElideNone);
    ui->views->setUsesScrollButtons(true);
}

void MainWindow::arrangeDocks()
{
    const int tabs = ui->views->tabBar()->sizeHint().width() +
                     2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                     centralWidget()->layout()->contentsMargins().left() +
                     centralWidget()->layout()->contentsMargins().right();
    const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    const int input = ui->dockInput->minimumSizeHint().width();
    const int results = ResultsCharacters * fontMetrics().averageCharWidth();
    const int room = width() - input - tabs - 2 * separator;
    if (room < results) {
        splitDockWidget(ui->dockInput, ui->dockResults, Qt::Vertical);
        resizeDocks({ui->dockInput}, {std::max(input, std::min(width() - tabs - separator, width() / 3))},
                    Qt::Horizontal);
    } else {
        resizeDocks({ui->dockInput, ui->dockResults}, {input, std::min(room, 2 * width() / 5)},
                    Qt::Horizontal);
    }
}

void MainWindow::showViewTab(int index)
{
    if (ui->views->isTabVisible(index))
        return;
    ui->views->setTabVisible(index, true);
    // The results beside the views give up what the tab needs, so that
    // every tab stays whole.
    const int room = ui->views->width() - 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int shortfall = ui->views->tabBar()->sizeHint().width() - room;
    if (shortfall > 0 && resultsBeside())
        resizeDocks({ui->dockResults}, {ui->dockResults->width() - shortfall}, Qt::Horizontal);
}

// Before the window is first shown, while its width is the one asked for
// and not yet widened to the docks' minimum side by side.
void MainWindow::setVisible(bool visible)
{
    if (visible && !docksArranged) {
        docksArranged = true;
        if (!layoutRestored) {
            ensurePolished();
            arrangeDocks();
        }
    }
    QMainWindow::setVisible(visible);
}

bool MainWindow::resultsBeside() const
{
    return !ui->dockResults->isFloating() && !ui->dockResults->isHidden() &&
           dockWidgetArea(ui->dockResults) == Qt::RightDockWidgetArea;
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // Maximised or made smaller, the results beside the views keep their
    // share of the window's width.
    const int before = shareWidth;
    shareWidth = width();
    if (before > 0 && before != width() && resultsShare > 0 && resultsBeside())
        resizeDocks({ui->dockResults}, {int(resultsShare * width())}, Qt::Horizontal);
}

} // namespace tavrin
