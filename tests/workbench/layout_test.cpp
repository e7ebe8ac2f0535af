// The window at real sizes: at 100 % and at 150 % of 1280 x 800 and
// 1366 x 768 (the same screens in logical pixels), every view keeps its
// labels whole, inside its panel and apart from one another.
#include "livepanel.h"
#include "mainwindow.h"
#include "panelwidgets.h"
#include "serieswidget.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

using namespace tavrin;

namespace {

bool waitForRun(MainWindow &window)
{
    QSignalSpy done(&window.runner(), &Runner::finished);
    return done.wait(120000);
}

// What is wrong with a view's labels: one outside the view, or two that overlap.
QString labelFaults(const ViewWidget &view)
{
    const LabelLog &labels = view.labels();
    QStringList faults;
    const QRectF whole(view.rect());
    for (size_t i = 0; i < labels.size(); i++) {
        const QRectF &a = labels[i].rect;
        if (!whole.contains(a))
            faults << QStringLiteral("\"%1\" leaves the view").arg(labels[i].text);
        for (size_t j = i + 1; j < labels.size(); j++) {
            const QRectF both = a.intersected(labels[j].rect);
            if (both.width() > 0.5 && both.height() > 0.5)
                faults << QStringLiteral("\"%1\" overlaps \"%2\"").arg(labels[i].text, labels[j].text);
        }
    }
    return faults.join(QStringLiteral("; "));
}

// The window on a screen of this size, with Hm = 48 for what it opens.
void showWithHm48(MainWindow &window, QSize screen)
{
    window.resize(screen);
    window.show();
    HmSource hm;
    hm.value = 48;
    window.setHmSource(hm);
}

QStringList texts(const LabelLog &labels)
{
    QStringList all;
    for (const DrawnLabel &label : labels)
        all << label.text;
    return all;
}

// The screens the window must fit, in logical pixels.
const QSize Screens[] = {QSize(1280, 800), QSize(1366, 768), QSize(853, 533), QSize(910, 512)};

} // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    void labelsStayWholeAndApart()
    {
        for (const QSize screen : Screens) {
            MainWindow window;
            showWithHm48(window, screen);
            window.open(QStringLiteral(TAVRIN_SAMPLE));
            QVERIFY(waitForRun(window));
            const QString at = QStringLiteral("%1 x %2: ").arg(screen.width()).arg(screen.height());
            auto *tabs = window.findChild<QTabWidget *>("views");
            for (const char *name : {"projections", "coverage", "series", "histogram"}) {
                auto *view = window.findChild<ViewWidget *>(name);
                tabs->setCurrentWidget(view->parentWidget());
                view->grab();
                QVERIFY2(view->labels().size() >= 6, qPrintable(at + name));
                QVERIFY2(labelFaults(*view).isEmpty(), qPrintable(at + name + ": " + labelFaults(*view)));
            }
            // The live capture's small coverage view too, at the size its dock
            // gets: the map with its advice, or what of them fits.
            window.livePanel()->parentWidget()->show();
            QTest::qWait(20);
            auto *small = window.livePanel()->findChild<CoverageWidget *>();
            small->show(window.calibration());
            small->grab();
            QVERIFY2(!small->labels().empty(), qPrintable(at));
            QVERIFY2(labelFaults(*small).isEmpty(), qPrintable(at + "live coverage: " + labelFaults(*small)));
            // Each projection keeps its title and both axes' names, and
            // ticks enough to read the scale.
            const QStringList drawn = texts(window.findChild<ViewWidget *>("projections")->labels());
            for (const QString pair : {"XY", "YZ", "ZX"})
                QVERIFY2(drawn.filter(QRegularExpression("^" + pair + "( projection)?$")).size() == 1,
                         qPrintable(at + drawn.join('|')));
            for (const QString axis : {"x", "y", "z"})
                QVERIFY2(drawn.filter(QRegularExpression("^" + axis + "( \\(units of Hm\\))?$")).size() == 2,
                         qPrintable(at + drawn.join('|')));
            QVERIFY2(drawn.filter(QRegularExpression("^-?\\d+$")).size() >= 3 * 2 * 3,
                     qPrintable(at + drawn.join('|')));
        }
    }

    // The Axes view's legend, ticks and axis names too, below the report's
    // lines on the axes, on every screen.
    void axesLabelsStayWholeAndApart()
    {
        for (const QSize screen : Screens) {
            MainWindow window;
            showWithHm48(window, screen);
            LogFormat log;
            log.columns = {QStringLiteral("mx"), QStringLiteral("my"), QStringLiteral("mz")};
            log.accelColumns = {QStringLiteral("ax"), QStringLiteral("ay"), QStringLiteral("az")};
            QSignalSpy published(&window.runner(), &Runner::published);
            window.open(QStringLiteral(TAVRIN_DATA "/recordings/axes-mirrored.csv"), log);
            QVERIFY(published.wait(60000));
            window.runner().cancel();
            const QString at = QStringLiteral("%1 x %2: ").arg(screen.width()).arg(screen.height());
            auto *view = window.findChild<ViewWidget *>("axes");
            window.findChild<QTabWidget *>("views")->setCurrentWidget(view->parentWidget());
            view->grab();
            QVERIFY2(view->labels().size() >= 6, qPrintable(at + texts(view->labels()).join('|')));
            QVERIFY2(labelFaults(*view).isEmpty(), qPrintable(at + labelFaults(*view)));
        }
    }

    // The window fits each screen, with every view's tab shown whole.
    void theWindowFitsSmallScreens()
    {
        for (const QSize screen : Screens) {
            MainWindow window;
            window.resize(screen);
            window.show();
            QTest::qWait(20);
            const QString at = QStringLiteral("%1 x %2").arg(screen.width()).arg(screen.height());
            QVERIFY2(window.minimumSizeHint().width() <= screen.width() &&
                         window.minimumSizeHint().height() <= screen.height(),
                     qPrintable(at));
            QCOMPARE(window.size(), screen);
            const QTabBar *bar = window.findChild<QTabWidget *>("views")->tabBar();
            // With the live capture's panel shown too, the window still
            // fits, and each of the panel's controls keeps its height.
            window.livePanel()->parentWidget()->show();
            QTest::qWait(20);
            QVERIFY2(window.minimumSizeHint().height() <= screen.height(), qPrintable(at));
            window.resize(screen);
            QTest::qWait(20);
            QCOMPARE(window.size(), screen);
            for (QWidget *control : window.livePanel()->findChildren<QWidget *>())
                if (qobject_cast<QComboBox *>(control) || qobject_cast<QPushButton *>(control) ||
                    (qobject_cast<QLineEdit *>(control) && !qobject_cast<QComboBox *>(control->parent())))
                    QVERIFY2(control->height() >= control->minimumSizeHint().height(),
                             qPrintable(at + ": " + control->metaObject()->className()));
            for (int tab = 0; tab < bar->count(); tab++)
                QVERIFY2(!bar->isTabVisible(tab) ||
                             (bar->rect().contains(bar->tabRect(tab)) &&
                              bar->tabRect(tab).width() >=
                                  bar->fontMetrics().horizontalAdvance(bar->tabText(tab))),
                         qPrintable(at + ": " + bar->tabText(tab)));
        }
    }

    // Maximised, the results beside the views widen in step with the window.
    void theResultsWidenWithTheWindow()
    {
        MainWindow window;
        window.resize(1280, 800);
        window.show();
        QTest::qWait(20);
        const QWidget *results = window.findChild<QWidget *>("dockResults");
        const int before = results->width();
        QVERIFY(results->x() > window.width() / 2);
        window.resize(1920, 1080);
        QTest::qWait(20);
        QVERIFY2(std::abs(results->width() - before * 3 / 2) <= 4,
                 qPrintable(QString::number(results->width())));
        window.resize(1280, 800);
        QTest::qWait(20);
        QVERIFY2(std::abs(results->width() - before) <= 4,
                 qPrintable(QStringLiteral("%1 %2").arg(results->width()).arg(before)));
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
