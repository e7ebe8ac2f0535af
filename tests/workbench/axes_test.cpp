// The Axes view: the magnetometer against the accelerometer in the report's
// words above the angle between the two, as logged and after the rotation;
// the column picker's accelerometer; the orientation beside the exports.
#include "axesview.h"
#include "columnpicker.h"
#include "exportdialog.h"
#include "exports.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

#include <cmath>

using namespace tavrin;

namespace {

const QString Mirrored = QStringLiteral(TAVRIN_DATA "/recordings/axes-mirrored.csv");

LogFormat mirroredColumns()
{
    LogFormat f;
    f.columns = {QStringLiteral("mx"), QStringLiteral("my"), QStringLiteral("mz")};
    f.accelColumns = {QStringLiteral("ax"), QStringLiteral("ay"), QStringLiteral("az")};
    return f;
}

// Opens path and waits for its first results, without the comparison and
// the bootstrap that follow them.
std::shared_ptr<const Calibration> firstResults(MainWindow &window, const QString &path,
                                                std::optional<LogFormat> log)
{
    QSignalSpy published(&window.runner(), &Runner::published);
    window.open(path, std::move(log));
    if (!published.wait(60000))
        return nullptr;
    window.runner().cancel();
    return window.calibration();
}

// The standard deviation of the angles of the readings at rest, as the
// alignment measures its spread.
double restSpread(const std::vector<double> &angles, const std::vector<bool> &atRest)
{
    double sum = 0, squares = 0;
    int n = 0;
    for (size_t k = 0; k < angles.size(); k++)
        if (atRest[k]) {
            sum += angles[k];
            squares += angles[k] * angles[k];
            n++;
        }
    const double mean = sum / n;
    return std::sqrt((squares - n * mean * mean) / (n - 1));
}

} // namespace

class AxesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    // The board whose magnetometer reverses y: the view names the mirror and
    // the axis in the report's words, and draws both angles, steady at rest
    // only after the rotation.
    void theMirrorIsNamedAndBothAnglesDrawn()
    {
        MainWindow window;
        window.resize(1366, 768);
        window.show();
        HmSource hm;
        hm.value = 48;
        hm.unit = QStringLiteral("uT");
        window.setHmSource(hm);
        const std::shared_ptr<const Calibration> c = firstResults(window, Mirrored, mirroredColumns());
        QVERIFY(c && c->result && c->result->alignment);
        auto *view = window.findChild<AxesView *>("axes");
        auto *tabs = window.findChild<QTabWidget *>("views");
        QVERIFY(tabs->isTabVisible(tabs->indexOf(view->parentWidget())));
        const QString words = view->wordsText();
        QVERIFY2(words.contains("  Axes            x,-y,z, a mirror\n"), qPrintable(words));
        QVERIFY2(words.contains("the magnetometer's y axis is reversed against the accelerometer's"),
                 qPrintable(words));
        QVERIFY2(words.contains("  Orientation     none: no orientation undoes a mirror\n"),
                 qPrintable(words));
        QVERIFY2(words.contains(QRegularExpression("  Dip             6\\d\\.\\d\\d degrees")),
                 qPrintable(words));
        // The verdict's reasons say it too, as the text report's do.
        const QString verdict = window.findChild<QLabel *>("labelVerdict")->text();
        QVERIFY2(
            verdict.contains("the axes disagree with the accelerometer, heading error about 0.7 degrees"),
            qPrintable(verdict));

        const align::AlignmentResult &a = *c->result->alignment;
        const AngleSeries &angles = view->views()->angles;
        QCOMPARE(int(angles.before.size()), c->result->run.raw.numLines);
        QCOMPARE(angles.after.size(), angles.before.size());
        QCOMPARE(int(std::count(angles.atRest.begin(), angles.atRest.end(), true)), a.readingsAtRest);
        // The series are the angles the alignment measured its spreads on.
        QVERIFY(std::abs(restSpread(angles.before, angles.atRest) - *a.dipSpreadBeforeDegrees) < 1e-6);
        QVERIFY(std::abs(restSpread(angles.after, angles.atRest) - *a.dipSpreadAfterDegrees) < 1e-6);
        QCOMPARE_GT(*a.dipSpreadBeforeDegrees, 20.0);
        QCOMPARE_LT(*a.dipSpreadAfterDegrees, 1.0);

        // Drawn below the words, with its legend and axes, every label whole.
        window.findChild<QTabWidget *>("views")->setCurrentWidget(view->parentWidget());
        view->grab();
        QStringList drawn;
        for (const DrawnLabel &label : view->labels()) {
            drawn << label.text;
            QVERIFY2(view->plotBox().contains(label.rect), qPrintable(label.text));
        }
        for (const QString legend : {"as logged", "after the rotation", "shaded: at rest"})
            QVERIFY2(drawn.contains(legend), qPrintable(drawn.join('|')));
        QVERIFY2(view->plotBox().height() > view->height() / 3,
                 qPrintable(QString::number(view->plotBox().height())));

        // Beside the exports: the mirror has no orientation number.
        ExportDialog dialog(c);
        const auto &formats = workbenchExports();
        const auto px4 = std::find_if(formats.begin(), formats.end(), [](const WorkbenchExport &f) {
            return f.name == QLatin1String("px4");
        });
        dialog.select(int(px4 - formats.begin()));
        QStringList shown;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            shown << label->text();
        QVERIFY2(
            shown.contains("CAL_MAG0_ROT: none, no orientation undoes a mirror: negate the magnetometer's y "
                           "axis in the wiring or the driver"),
            qPrintable(shown.join('|')));
    }

    // Without an accelerometer the view says how to read one, and the
    // firmware exports say nothing of an orientation.
    void withoutAnAccelerometerTheViewSaysHowToReadOne()
    {
        MainWindow window;
        HmSource hm;
        hm.value = 48;
        window.setHmSource(hm);
        auto *view = window.findChild<AxesView *>("axes");
        QVERIFY(view->wordsText().isEmpty());
        const std::shared_ptr<const Calibration> c =
            firstResults(window, QStringLiteral(TAVRIN_DATA "/sample.txt"), std::nullopt);
        QVERIFY(c && c->result && !c->result->alignment);
        QVERIFY(view->views()->angles.empty());
        QVERIFY2(view->wordsText().contains("choose the accelerometer's x, y and z columns"),
                 qPrintable(view->wordsText()));
        QCOMPARE(view->plotBox(), QRectF(view->rect()));
        // Its tab waits for an accelerometer, or for the View menu.
        auto *tabs = window.findChild<QTabWidget *>("views");
        QVERIFY(!tabs->isTabVisible(tabs->indexOf(view->parentWidget())));
        const QList<QAction *> actions = window.findChild<QMenu *>("menuView")->actions();
        const auto axes = std::find_if(actions.begin(), actions.end(),
                                       [](const QAction *a) { return a->text() == QLatin1String("&Axes"); });
        QVERIFY(axes != actions.end());
        QCOMPARE((*axes)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_7));
        (*axes)->trigger();
        QVERIFY(tabs->isTabVisible(tabs->indexOf(view->parentWidget())));
        QCOMPARE(tabs->currentWidget(), view->parentWidget());
        QCOMPARE(workbenchExportNamed("ardupilot")->orientation(*c), QString());
    }

    // The angle of two directions, whatever their lengths; none without a direction.
    void anglesOfDirections()
    {
        const double x[3] = {2, 0, 0}, y[3] = {0, 0.5, 0}, back[3] = {-3, 0, 0}, zero[3] = {0, 0, 0};
        const double diagonal[3] = {1, 1, 0}, far[3] = {1e300, 1e300, 0}, bad[3] = {NAN, 0, 0};
        QCOMPARE(angleDegrees(x, y), 90.0);
        QCOMPARE(angleDegrees(x, back), 180.0);
        QCOMPARE(angleDegrees(x, x), 0.0);
        QVERIFY(std::abs(angleDegrees(x, diagonal) - 45.0) < 1e-12);
        QVERIFY(std::abs(angleDegrees(far, diagonal)) < 1e-12);
        QVERIFY(std::isnan(angleDegrees(x, zero)));
        QVERIFY(std::isnan(angleDegrees(bad, x)));
    }

    // The picker proposes the columns named ax, ay and az, keeps the choice
    // when reopened, and takes all three or none.
    void theColumnPickerTakesTheAccelerometer()
    {
        ColumnPicker picker(Mirrored, std::nullopt);
        QCOMPARE(picker.format().accelColumns, (std::array<QString, 3>{"5", "6", "7"}));
        QList<QComboBox *> boxes = picker.findChildren<QComboBox *>();
        QCOMPARE(boxes.size(), 6);
        QComboBox *accelY = boxes[4];
        QCOMPARE(accelY->currentText(), QStringLiteral("6: ay"));
        QPushButton *ok = picker.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        accelY->setCurrentIndex(0);
        QVERIFY(!ok->isEnabled());
        QCOMPARE(picker.format().accelColumns, (std::array<QString, 3>{}));
        for (QComboBox *box : boxes.mid(3))
            box->setCurrentIndex(0);
        QVERIFY(ok->isEnabled());

        // Reopened with the magnetometer alone, none stays chosen; with the
        // accelerometer, its columns.
        LogFormat alone = picker.format();
        QCOMPARE(ColumnPicker(Mirrored, alone).format().accelColumns, (std::array<QString, 3>{}));
        alone.accelColumns = {QStringLiteral("7"), QStringLiteral("6"), QStringLiteral("5")};
        QCOMPARE(ColumnPicker(Mirrored, alone).format().accelColumns,
                 (std::array<QString, 3>{"7", "6", "5"}));
    }
};

QTEST_MAIN(AxesTest)
#include "axes_test.moc"
