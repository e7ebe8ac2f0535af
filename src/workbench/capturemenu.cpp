// The window's side of live capture: the Capture menu and tool-bar action,
// the panel's dock, and the recording taken in as an ordinary input.
#include "cloudwidget.h"
#include "livepanel.h"
#include "mainwindow.h"
#include "panelwidgets.h"
#include "serieswidget.h"
#include "ui_mainwindow.h"

#include <QDockWidget>
#include <QMenuBar>
#include <QStatusBar>

namespace tavrin {

void MainWindow::setUpCapture()
{
    live = new LivePanel([this]() -> Expected<LiveFitSettings> {
        const Expected<double> hm = hmOf(hmSource());
        if (!hm)
            return Expected<LiveFitSettings>::failure(hm.error());
        LiveFitSettings s;
        s.options.hm = *hm;
        s.options.fit = fit();
        s.unit = hmSource().unit;
        return s;
    });
    auto *dock = new QDockWidget(tr("Live Capture"), this);
    dock->setObjectName(QStringLiteral("dockCapture"));
    dock->setWidget(live);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();

    QMenu *menu = new QMenu(tr("C&apture"), this);
    menuBar()->insertMenu(ui->menuHelp->menuAction(), menu);
    QAction *showPanel = menu->addAction(tr("&Live Capture…"));
    showPanel->setShortcut(QKeySequence(tr("Ctrl+L")));
    showPanel->setStatusTip(tr("Read a sensor live from a serial port, a TCP connection or standard input"));
    connect(showPanel, &QAction::triggered, this, [dock] {
        dock->show();
        dock->raise();
    });
    ui->toolBar->addAction(showPanel);
    ui->menuView->addAction(dock->toggleViewAction());

    connect(live, &LivePanel::said, this, &MainWindow::say);
    connect(live, &LivePanel::recorded, this,
            [this](const QString &path, const std::optional<LogFormat> &log) { open(path, log); });
    // While capturing, the large views show the live fit; a capture that
    // stops with nothing to calibrate gives them back what they showed.
    connect(live, &LivePanel::liveFitChanged, this, [this](std::shared_ptr<const Calibration> fit) {
        for (ViewWidget *view : figureViews())
            view->show(fit ? fit : shown);
        if (fit)
            revealAxes(*fit);
    });
}

void MainWindow::startCapture(const QString &source)
{
    QWidget *dock = live->parentWidget();
    dock->show();
    dock->raise();
    live->setSource(source);
    live->start();
}

} // namespace tavrin
