#include "calibrationtask.h"
#include "columnpicker.h"
#include "comparedialog.h"
#include "exports.h"
#include "mainwindow.h"
#include "resultstext.h"
#include "savedwork.h"
#include "startoptions.h"
#include "synthetic.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tavrin;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray cli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TAVRIN_CLI), arguments);
    process.waitForFinished(120000);
    return process.readAllStandardOutput();
}

// Leaves a Unix socket's node at the path; the socket itself is closed again.
bool bindSocket(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.size() >= int(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), name.size());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        socket >= 0 && ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (socket >= 0)
        ::close(socket);
    return bound;
}

// A display that no server holds, reached by Unix sockets alone ("unix:N"
// never falls back to TCP, where a port 6000 + N taken by any other service
// would answer): no socket of its number listens, in the abstract namespace
// or on disk, and none is locked. Numbers from 60000 are far above those that
// X servers and their wrappers pick.
QString absentDisplay()
{
    QFile sockets(QStringLiteral("/proc/net/unix"));
    const QByteArray listening = sockets.open(QIODevice::ReadOnly) ? sockets.readAll() : QByteArray();
    for (int number = 60000;; number++) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
        if (!QFileInfo::exists(socket) && !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) &&
            !listening.contains((socket + '\n').toUtf8()))
            return QStringLiteral("unix:%1").arg(number);
    }
}

// Waits until the whole calibration, bootstrap included, has been shown.
bool waitForRun(MainWindow &window)
{
    QSignalSpy done(&window.runner(), &Runner::finished);
    return done.wait(120000);
}

HmSource hmValue(double value)
{
    HmSource s;
    s.value = value;
    return s;
}

// Should a reader wait on one of these named pipes after a grace period,
// opens each pipe's other end, again and again until it ends, so that the
// reader sees the pipe's end: a fault that comes back fails the test
// (fired()) instead of hanging it.
class PipeWatchdog {
public:
    explicit PipeWatchdog(const QStringList &pipes)
        : guard([this, pipes] {
              std::unique_lock<std::mutex> lock(mutex);
              if (woken.wait_for(lock, std::chrono::seconds(20), [this] { return stopped; }))
                  return;
              while (!stopped) {
                  for (const QString &pipe : pipes)
                      if (const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK);
                          fd >= 0) {
                          released = true;
                          ::close(fd);
                      }
                  woken.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopped; });
              }
          })
    {
    }
    ~PipeWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
        }
        woken.notify_all();
        guard.join();
    }
    bool fired()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return released;
    }

private:
    std::mutex mutex;
    std::condition_variable woken;
    bool stopped = false, released = false;
    std::thread guard;
};

// The object of tavrin-cli --json for the sample with Hm 48.
QJsonObject sampleResult()
{
    return QJsonDocument::fromJson(cli({"--hm", "48", "--fit", "auto", "--json", TAVRIN_SAMPLE}))
        .object()["files"]
        .toArray()[0]
        .toObject();
}

SavedWork savedSample(const QString &input, double hm)
{
    SavedWork saved;
    saved.input = input;
    saved.hm.value = hm;
    saved.hmValue = hm;
    saved.fit = FitModel::Planar;
    saved.fingerprint = fingerprintOf(input);
    saved.result = sampleResult();
    return saved;
}

} // namespace

class WorkbenchTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    // What the window shows and what Ctrl+E writes equal tavrin-cli's
    // values and bytes for the same input and options.
    void calibratesAsTheCommandLine()
    {
        MainWindow window;
        window.setHmSource(hmValue(48));
        window.setFit(FitModel::Auto);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        const std::shared_ptr<const Calibration> c = window.calibration();
        QVERIFY(c && c->result->calibrated());
        const QJsonObject file =
            QJsonDocument::fromJson(cli({"--hm", "48", "--fit", "auto", "--json", TAVRIN_SAMPLE}))
                .object()["files"]
                .toArray()[0]
                .toObject();
        const CalibrationParameters &p = c->result->run.parameters;
        for (int i = 0; i < 3; i++) {
            QCOMPARE(p.Bias[i][0], file["bias"].toArray()[i].toDouble());
            for (int j = 0; j < 3; j++) {
                QCOMPARE(p.A[i][j], file["A"].toArray()[i].toArray()[j].toDouble());
                QCOMPARE(p.Ainv[i][j], file["Ainv"].toArray()[i].toArray()[j].toDouble());
            }
        }
        QCOMPARE(QString::fromLatin1(fitModelName(c->result->run.model)), file["fitChosen"].toString());
        QCOMPARE(QString::fromLatin1(verdictName(c->result->quality.verdict)), file["verdict"].toString());
        QVERIFY(c->uncertainty && c->uncertainty->known);
        QCOMPARE(int(c->comparison.size()), 5);
        // Auto weighs the sphere, diagonal and full fits by their predicted
        // bias error; the sample is a full ellipsoid, so the sphere's is the
        // largest.
        const std::vector<FitModel> &models = comparedModels();
        for (size_t row = 0; row < models.size(); row++) {
            const bool weighed = models[row] == FitModel::Sphere || models[row] == FitModel::Diagonal ||
                                 models[row] == FitModel::Full;
            QCOMPARE(bool(c->predictedBiasError[row]), weighed);
        }
        const auto errorOf = [&](FitModel m) {
            return *c->predictedBiasError[size_t(std::find(models.begin(), models.end(), m) -
                                                 models.begin())];
        };
        QVERIFY(errorOf(FitModel::Sphere) > errorOf(FitModel::Full));
        QVERIFY(errorOf(FitModel::Full) > 0);

        QTemporaryDir dir;
        const QString ours = dir.filePath("ours.txt"), theirs = dir.filePath("theirs.txt");
        QSignalSpy dialogs(&window, &MainWindow::refused);
        QCOMPARE(window.exportTo(*workbenchExportNamed("parameters"), ours), QString());
        cli({"--hm", "48", "--fit", "auto", "-o", theirs, TAVRIN_SAMPLE});
        QVERIFY(!readAll(theirs).isEmpty());
        QCOMPARE(readAll(ours), readAll(theirs));

        const QString header = dir.filePath("ours.h");
        QCOMPARE(window.exportTo(*workbenchExportNamed("c"), header), QString());
        QCOMPARE(readAll(header), cli({"--hm", "48", "--fit", "auto", "--export", "c", TAVRIN_SAMPLE}));
        const QString calibrated = dir.filePath("ours-calibrated.txt"),
                      theirsCalibrated = dir.filePath("c.txt");
        QCOMPARE(window.exportTo(*workbenchExportNamed("calibrated"), calibrated), QString());
        cli({"--hm", "48", "--fit", "auto", "--apply", theirsCalibrated, TAVRIN_SAMPLE});
        QCOMPARE(readAll(calibrated), readAll(theirsCalibrated));

        // Save writes, under result, the object tavrin-cli --json prints.
        const QString work = dir.filePath("sample.tavrin");
        QCOMPARE(window.saveTo(work), QString());
        const Expected<SavedWork> saved = readSavedWork(readAll(work));
        QVERIFY2(saved, qPrintable(saved.error()));
        QCOMPARE(saved->input, QFileInfo(TAVRIN_SAMPLE).absoluteFilePath());
        QCOMPARE(saved->hmValue, 48.0);
        QCOMPARE(saved->fit, FitModel::Auto);
        QCOMPARE(saved->fingerprint, fingerprintOf(TAVRIN_SAMPLE));
        for (const char *key : {"bias", "A", "Ainv", "fit", "fitChosen", "verdict", "quality"})
            QVERIFY2(saved->result[key] == file[key], key);
        QVERIFY(!window.saveTo(QStringLiteral(TAVRIN_SAMPLE)).isEmpty());

        // Overwriting the input is refused and leaves it as it was.
        const QByteArray before = readAll(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(!window.exportTo(workbenchExports().front(), QStringLiteral(TAVRIN_SAMPLE)).isEmpty());
        QCOMPARE(readAll(QStringLiteral(TAVRIN_SAMPLE)), before);
    }

    void refusesAFileWithItsLineEscaped()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("bad.txt");
        writeFile(path, "1 2 3\n4 5 6\n7 8 \x1b[31m\n");
        MainWindow window;
        QSignalSpy refused(&window, &MainWindow::refused);
        window.open(path);
        QVERIFY(refused.wait(20000));
        const QString message = refused.front().front().toString();
        QVERIFY2(message.startsWith(path + ":3: "), qPrintable(message));
        QVERIFY2(!message.contains(QChar(0x1b)), qPrintable(message));
        QVERIFY(!window.calibration());
    }

    void warnsWhenHmAndTheDataDisagree()
    {
        MainWindow window;
        window.setHmSource(hmValue(48000)); // nT against data in microtesla
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        const QLabel *check = window.findChild<QLabel *>("labelDataNorm");
        QVERIFY(check->text().contains("Hm must be in the unit of the measurements"));
        window.setHmSource(hmValue(48));
        window.calibrate();
        QVERIFY(waitForRun(window));
        QVERIFY(!check->text().contains("Hm must be"));
        QVERIFY(check->text().contains("49.25"));
    }

    // Every change of what a run reads marks the results out of date at
    // once: greyed, the reason in the banner, Save and Export refused, until
    // a run of the new settings shows; a run started before the change stays
    // out of date when it ends.
    void changesMarkTheResultsOutOfDate()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath("copy.txt"), out = dir.filePath("out.txt"),
                      work = dir.filePath("work.tavrin");
        QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SAMPLE), copy));
        MainWindow window;
        window.setHmSource(hmValue(48));
        window.setFit(FitModel::Auto);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        auto *hm = window.findChild<QDoubleSpinBox *>("hmValue");
        auto *unit = window.findChild<QComboBox *>("hmUnit");
        auto *fromPlace = window.findChild<QRadioButton *>("radioHmPlace");
        auto *asValue = window.findChild<QRadioButton *>("radioHmValue");
        auto *latitude = window.findChild<QDoubleSpinBox *>("latitude");
        auto *date = window.findChild<QDateEdit *>("date");
        const QLabel *banner = window.findChild<QLabel *>("labelVerdict");
        const QWidget *results = window.findChild<QWidget *>("resultsTable");
        const QAction *save = window.findChild<QAction *>("actionSave");
        const QAction *exportParameters = window.findChild<QAction *>("actionExportParameters");
        const auto outOfDate = [&](const QString &reason) {
            QVERIFY2(window.staleReason().contains(reason), qPrintable(window.staleReason()));
            QVERIFY2(banner->text().startsWith("Out of date: ") && banner->text().contains(reason),
                     qPrintable(banner->text()));
            QVERIFY(!results->isEnabled());
            QVERIFY(!save->isEnabled() && !exportParameters->isEnabled());
            QVERIFY(window.exportTo(*workbenchExportNamed("parameters"), out).contains("out of date"));
            QVERIFY(window.saveTo(work).contains("out of date"));
            QVERIFY(!QFile::exists(out) && !QFile::exists(work));
        };
        const auto current = [&] {
            QVERIFY2(window.staleReason().isEmpty(), qPrintable(window.staleReason()));
            QVERIFY(!banner->text().startsWith("Out of date"));
            QVERIFY(results->isEnabled() && save->isEnabled() && exportParameters->isEnabled());
        };
        const struct {
            QString reason;
            std::function<void()> change;
        } triggers[] = {
            {"Hm changed to 50", [&] { hm->setValue(50); }},
            {"the unit of Hm changed to uT", [&] { unit->setCurrentIndex(unit->findData("uT")); }},
            {"Hm is now taken from a place", [&] { fromPlace->setChecked(true); }},
            {"the place or the date of Hm changed", [&] { latitude->setValue(48.85); }},
            {"the place or the date of Hm changed", [&] { date->setDate(QDate(2027, 3, 1)); }},
            {"Hm is now a value", [&] { asValue->setChecked(true); }},
            {"the fit changed to sphere", [&] { window.setFit(FitModel::Sphere); }},
        };
        for (const auto &trigger : triggers) {
            current();
            trigger.change();
            outOfDate(trigger.reason);
            if (QTest::currentTestFailed())
                return;
            window.calibrate();
            QVERIFY(waitForRun(window));
            current();
        }
        QCOMPARE(window.calibration()->options.hm, 50.0);
        QCOMPARE(window.calibration()->unit, QStringLiteral("uT"));
        QCOMPARE(window.calibration()->options.fit, FitModel::Sphere);
        // The place counts only while Hm comes from it.
        latitude->setValue(10);
        current();

        // Another input, or the same read another way, is out of date until
        // its run shows.
        window.open(copy);
        outOfDate("the input is now copy.txt");
        QVERIFY(waitForRun(window));
        current();
        QCOMPARE(window.calibration()->result->path, copy);
        LogFormat columns;
        columns.columns = {"1", "2", "3"};
        window.open(copy, columns);
        outOfDate("the columns or the reading options changed");
        QVERIFY(waitForRun(window));
        current();

        // A change while a run is under way leaves its results out of date.
        // A setting changed twice is named once, with its latest value.
        window.calibrate();
        hm->setValue(51);
        hm->setValue(52);
        QVERIFY(waitForRun(window));
        QCOMPARE(window.calibration()->options.hm, 50.0);
        outOfDate("Hm changed to 52");
        QCOMPARE(window.staleReason(), QStringLiteral("Hm changed to 52"));

        // A refused input empties the results.
        const QString bad = dir.filePath("bad.txt");
        writeFile(bad, "1 2 3\nnot a number\n");
        QSignalSpy refused(&window, &MainWindow::refused);
        window.open(bad);
        QVERIFY(refused.wait(20000));
        QVERIFY(!window.calibration());
        QCOMPARE(window.findChild<QTableWidget *>("resultsTable")->rowCount(), 0);
        QCOMPARE(window.findChild<QTableWidget *>("fitsTable")->rowCount(), 0);
        QVERIFY2(banner->text().startsWith("No results: " + bad + ":2: "), qPrintable(banner->text()));
        QVERIFY(!save->isEnabled() && !exportParameters->isEnabled());
        QCOMPARE(window.exportTo(*workbenchExportNamed("parameters"), out),
                 QStringLiteral("Nothing is calibrated yet."));
    }

    // The run's warnings and the export's show in the window; an export
    // that carries a warning asks first, and says what it wrote.
    void warningsShowAndAnExportThatWarnsAsks()
    {
        QTemporaryDir dir;
        MainWindow window;
        QStringList asked;
        bool answer = false;
        window.setConfirmer([&](const QString &, const QString &question) {
            asked << question;
            return answer;
        });
        HmSource source = hmValue(48);
        source.unit = QStringLiteral("uT");
        window.setHmSource(source);
        window.setFit(FitModel::Exact);
        window.open(QStringLiteral(TAVRIN_DATA "/recordings/flat.txt"));
        QVERIFY(waitForRun(window));
        const QLabel *banner = window.findChild<QLabel *>("labelVerdict");
        const QLabel *warnings = window.findChild<QLabel *>("labelWarnings");
        QVERIFY2(banner->text().startsWith("Verdict: flat rotation: "), qPrintable(banner->text()));
        QVERIFY(banner->styleSheet().contains("#c01f1f"));
        QVERIFY(!window.calibration()->result->warnings.isEmpty());
        for (const QString &w : window.calibration()->result->warnings)
            QVERIFY2(warnings->text().contains(w), qPrintable(warnings->text()));
        QVERIFY(!warnings->isHidden());

        const WorkbenchExport &ardupilot = *workbenchExportNamed("ardupilot");
        const QStringList fileWarnings = ardupilot.warnings(*window.calibration());
        QVERIFY(!fileWarnings.isEmpty());
        const QString path = dir.filePath("flat.param");
        QCOMPARE(window.exportTo(ardupilot, path), path + " was not written.");
        QVERIFY(!QFile::exists(path));
        QCOMPARE(asked.size(), 1);
        for (const QString &w : fileWarnings + window.calibration()->result->warnings +
                                    QStringList{"Verdict: flat rotation: spread across the plane"})
            QVERIFY2(asked.front().contains(w), qPrintable(w));
        answer = true;
        QCOMPARE(window.exportTo(ardupilot, path), QString());
        QCOMPARE(asked.size(), 2);
        const QByteArray written = readAll(path);
        for (const QString &w : fileWarnings) {
            QVERIFY(written.contains("# Warning: " + w.toUtf8()));
            QVERIFY2(warnings->text().contains("flat.param warns: " + w), qPrintable(warnings->text()));
        }
        QVERIFY(window.statusBar()->currentMessage().startsWith(
            QStringLiteral("Wrote %1, with %2 warning(s) in the file").arg(path).arg(fileWarnings.size())));

        // A planar fit says that it leaves the reading along the normal as measured.
        window.setFit(FitModel::Planar);
        window.calibrate();
        QVERIFY(waitForRun(window));
        QVERIFY(warnings->text().contains("the calibration leaves it as measured"));
        QVERIFY(banner->text().contains("the reading along the plane's normal is left as measured"));
        QVERIFY(!warnings->text().contains("flat.param warns"));

        // A clean result and a format without warnings: no question.
        window.setFit(FitModel::Auto);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        QVERIFY(warnings->isHidden());
        QCOMPARE(window.exportTo(*workbenchExportNamed("parameters"), dir.filePath("sample.txt")), QString());
        QCOMPARE(asked.size(), 2);
        QCOMPARE(window.statusBar()->currentMessage(), "Wrote " + dir.filePath("sample.txt") + '.');
    }

    // Results, the fits compared and Compare show numbers a person reads:
    // no more digits than they are worth, every one with its unit.
    void numbersAreRoundedAndHaveUnits()
    {
        QTemporaryDir dir;
        MainWindow window;
        HmSource source = hmValue(48);
        source.unit = QStringLiteral("uT");
        window.setHmSource(source);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        const QRegularExpression long_(QStringLiteral("\\d{9,}"));
        const auto shortNumbers = [&](const QTableWidget *table) {
            QVERIFY(table->rowCount() > 0);
            for (int row = 0; row < table->rowCount(); row++)
                for (int column = 0; column < table->columnCount(); column++)
                    if (const QTableWidgetItem *item = table->item(row, column))
                        QVERIFY2(!long_.match(item->text()).hasMatch(), qPrintable(item->text()));
        };
        const auto *results = window.findChild<QTableWidget *>("resultsTable");
        const auto *fits = window.findChild<QTableWidget *>("fitsTable");
        shortNumbers(results);
        shortNumbers(fits);
        QCOMPARE(fits->horizontalHeaderItem(5)->text(), QStringLiteral("Predicted bias error (uT)"));
        QCOMPARE(fits->horizontalHeaderItem(3)->text(), QStringLiteral("RMS after (uT)"));
        QVERIFY(fits->item(0, 3)->text().endsWith(" % of Hm)"));
        // b1 to the decimals of its uncertainty, in its unit; its tool tip
        // and Copy keep every digit.
        const std::optional<Uncertainty> &u = window.calibration()->uncertainty;
        QVERIFY(u && u->known);
        const double b1 = window.calibration()->result->run.parameters.Bias[0][0];
        QCOMPARE(results->item(0, 0)->text(), QStringLiteral("b1"));
        QCOMPARE(results->item(0, 1)->text(),
                 QString::number(b1, 'f', 1 - int(std::floor(std::log10(u->bias[0].std)))));
        QVERIFY(results->item(0, 1)->toolTip().startsWith(fullPrecision(b1) + ", 95 % interval ["));
        QCOMPARE(results->columnCount(), 4);
        QCOMPARE(results->item(0, 3)->text(), QStringLiteral("uT"));
        QCOMPARE(results->item(0, 2)->text(),
                 QStringLiteral("\u00b1 ") +
                     QString::number(u->bias[0].std, 'f', 1 - int(std::floor(std::log10(u->bias[0].std)))));
        window.findChild<QAction *>("actionCopyResults")->trigger();
        QVERIFY(QGuiApplication::clipboard()->text().contains("b1 = " + fullPrecision(b1)));
        const QualityReport &q = window.calibration()->result->quality;
        bool rms = false;
        for (int row = 0; row < results->rowCount(); row++)
            if (results->item(row, 0)->text() == "|e| after, RMS") {
                rms = true;
                QCOMPARE(results->item(row, 3)->text(),
                         "uT, " + QString::number(100 * q.after.rms / 48, 'f', 2) + " % of Hm");
            }
        QVERIFY(rms);

        const QString saved = dir.filePath("sample.tavrin");
        writeFile(saved, savedWorkBytes(savedSample(TAVRIN_SAMPLE, 48)));
        CompareDialog *compare = window.compareWith(saved);
        QVERIFY(compare);
        QSignalSpy crossChecked(compare, &CompareDialog::crossChecked);
        QVERIFY(crossChecked.wait(60000));
        shortNumbers(compare->findChild<QTableWidget *>());
        for (const QLabel *label : compare->findChildren<QLabel *>())
            QVERIFY2(!long_.match(label->text()).hasMatch(), qPrintable(label->text()));
        compare->close();
    }

    // A log read through the picker gives the points of its columns.
    void readsALogThroughTheColumnPicker()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("log.csv");
        const MatDoub points = ellipsoidPoints(sampleTruth, 48, 500, 0.05, 7);
        QByteArray bytes = "time;temperature;mx;my;mz\n";
        for (Int k = 0; k < points.nrows(); k++)
            bytes += QByteArray::number(k) + ";21,5;" +
                     QByteArray::number(points[k][0], 'f', 4).replace('.', ',') + ';' +
                     QByteArray::number(points[k][1], 'f', 4).replace('.', ',') + ';' +
                     QByteArray::number(points[k][2], 'f', 4).replace('.', ',') + '\n';
        writeFile(path, bytes);

        ColumnPicker picker(path, std::nullopt);
        picker.findChild<QCheckBox *>()->setChecked(true);
        picker.pickColumn(2);
        picker.pickColumn(3);
        picker.pickColumn(4);
        const LogFormat format = picker.format();
        QCOMPARE(format.columns[0], QStringLiteral("3"));
        QCOMPARE(format.columns[2], QStringLiteral("5"));
        QVERIFY(format.decimalComma);
        const LogPreview preview = previewLog(path, true);
        QCOMPARE(preview.found.delimiter, Delimiter::Semicolon);
        QCOMPARE(preview.found.headerLines, 1);
        QCOMPARE(preview.columnNames[2], QStringLiteral("3: mx"));

        MainWindow window;
        window.setHmSource(hmValue(48));
        window.open(path, format);
        QVERIFY(waitForRun(window));
        const CalibrationResult &r = *window.calibration()->result;
        QCOMPARE(r.run.raw.numLines, 500);
        QCOMPARE(r.run.raw.Mag[0][0], QByteArray::number(points[0][0], 'f', 4).toDouble());
        QVERIFY(std::abs(r.run.parameters.Bias[0][0] - sampleTruth.b0[0]) < 0.1);
    }

    // Cancel in the middle of a large run: nothing of it is shown, and a new
    // input after it calibrates.
    void cancelsALargeRun()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("large.txt");
        writeFile(path, asFileText(ellipsoidPoints(sampleTruth, 48, 500000, 0.1, 3)));
        MainWindow window;
        window.setHmSource(hmValue(48));
        QSignalSpy progressed(&window.runner(), &Runner::progressed);
        QSignalSpy cancelled(&window.runner(), &Runner::cancelled);
        QSignalSpy published(&window.runner(), &Runner::published);
        window.open(path);
        QTRY_VERIFY_WITH_TIMEOUT(progressed.size() >= 3, 60000);
        const int shownAtCancel = int(published.size());
        window.runner().cancel();
        QCOMPARE(cancelled.size(), 1);
        QVERIFY(!window.runner().busy());
        window.runner().waitForAll();
        QTest::qWait(200);
        // What the task still had to publish never reaches the window.
        QCOMPARE(int(published.size()), shownAtCancel);
        QCOMPARE(bool(window.calibration()), shownAtCancel > 0);

        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        QCOMPARE(window.calibration()->result->path, QStringLiteral(TAVRIN_SAMPLE));
    }

    // A cancelled task publishes nothing after its cancel, whichever of its
    // steps the cancel comes in: the run, the comparison or the uncertainty.
    void aCancelledTaskPublishesNothingMore()
    {
        CalibrationOptions options;
        options.hm = 48;
        options.fit = FitModel::Auto;
        options.resamples = 20;
        for (int cancelAfter = 0; cancelAfter <= 3; cancelAfter++) {
            TaskControl control;
            std::vector<std::shared_ptr<const Calibration>> published;
            control.publish = [&](std::shared_ptr<const Calibration> calibration) {
                published.push_back(calibration);
                if (int(published.size()) == cancelAfter)
                    control.cancel.store(true);
            };
            control.cancel.store(cancelAfter == 0);
            calibrateInSteps(Input::file(QStringLiteral(TAVRIN_SAMPLE)), options, QStringLiteral("uT"),
                             control);
            QCOMPARE(int(published.size()), cancelAfter);
            if (cancelAfter == 3) {
                QCOMPARE(int(published[1]->comparison.size()), int(comparedModels().size()));
                QVERIFY(published[2]->uncertainty && published[2]->uncertainty->known);
            }
        }
    }

    // A new input cancels the run under way: only the new one is shown.
    void aNewInputCancelsTheRunUnderWay()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("first.txt");
        writeFile(first, asFileText(ellipsoidPoints(sampleTruth, 48, 200000, 0.1, 5)));
        MainWindow window;
        window.setHmSource(hmValue(48));
        QSignalSpy published(&window.runner(), &Runner::published);
        window.open(first);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        window.runner().waitForAll();
        QTest::qWait(200);
        for (const QList<QVariant> &signal : published)
            QCOMPARE(signal.front().value<std::shared_ptr<const Calibration>>()->result->path,
                     QStringLiteral(TAVRIN_SAMPLE));
    }

    // Compare With: the same calibration saved differs by nothing, and each
    // one's norm error on the other's data is its own.
    void comparesWithSavedWork()
    {
        QTemporaryDir dir;
        SavedWork saved;
        saved.input = QStringLiteral(TAVRIN_SAMPLE);
        saved.hm.value = 48;
        saved.hmValue = 48;
        saved.fit = FitModel::Auto;
        saved.fingerprint = fingerprintOf(saved.input);
        saved.result = QJsonDocument::fromJson(cli({"--hm", "48", "--fit", "auto", "--json", TAVRIN_SAMPLE}))
                           .object()["files"]
                           .toArray()[0]
                           .toObject();
        const QString path = dir.filePath("sample.tavrin");
        writeFile(path, savedWorkBytes(saved));

        MainWindow window;
        window.setHmSource(hmValue(48));
        window.setFit(FitModel::Auto);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        CompareDialog *dialog = window.compareWith(path);
        QVERIFY(dialog);
        QSignalSpy checked(dialog, &CompareDialog::crossChecked);
        QVERIFY(checked.wait(60000));
        for (int row = 0; row < 12; row++)
            QCOMPARE(dialog->table()->item(row, 2)->text(), QStringLiteral("0"));
        // Each side named with its file and the model that fitted it.
        const QString model = QLatin1String(fitModelName(window.calibration()->result->run.model));
        QCOMPARE(saved.result["fitChosen"].toString(), model);
        QCOMPARE(dialog->findChild<QLabel *>("sides")->text(),
                 QStringLiteral("Shown: %1, %2 fit.\nSaved: %3, %2 fit.")
                     .arg(QStringLiteral(TAVRIN_SAMPLE), model,
                          QFileInfo(QStringLiteral(TAVRIN_SAMPLE)).absoluteFilePath()));
        const double own = rmsNormError(window.calibration()->result->run.raw.points(),
                                        window.calibration()->result->run.parameters, 48);
        QVERIFY(own > 0.1 && own < 0.5);

        // A .tavrin file opens its input again, and says when it has changed.
        const QString copy = dir.filePath("copy.txt");
        QFile::copy(QStringLiteral(TAVRIN_SAMPLE), copy);
        saved.input = copy;
        saved.fingerprint = fingerprintOf(copy);
        writeFile(path, savedWorkBytes(saved));
        QSignalSpy refused(&window, &MainWindow::refused);
        window.open(path);
        QVERIFY(waitForRun(window));
        QCOMPARE(window.calibration()->result->path, copy);
        QCOMPARE(refused.size(), 0);
        QFile changed(copy);
        QVERIFY(changed.open(QIODevice::Append));
        changed.write("1 2 3\n");
        changed.close();
        window.open(path);
        QVERIFY(waitForRun(window));
        QCOMPARE(refused.size(), 1);
        QVERIFY(refused.front().front().toString().contains("has changed"));

        // What is not saved work is refused, and nothing changes.
        writeFile(path, "{\"kind\": \"something else\"}");
        window.open(path);
        QVERIFY(refused.wait(20000));
        QCOMPARE(refused.size(), 2);
        QCOMPARE(window.calibration()->result->path, copy);
        const Expected<SavedWork> notJson = readSavedWork("not json");
        QVERIFY(!notJson);
        QVERIFY(!notJson.error().isEmpty());
    }

    // A named pipe, a folder or a device, opened as measurements, as saved
    // work, as saved work's input or to compare with, is refused at once by
    // what it is, and the window keeps what it had.
    void refusesWhatIsNoRegularFile()
    {
        QTemporaryDir dir;
        const QString pipe = dir.filePath("pipe.txt"), savedPipe = dir.filePath("pipe.tavrin"),
                      device = dir.filePath("device.txt"), folder = dir.filePath("folder.tavrin");
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(savedPipe).constData(), 0600) == 0);
        // A device node of this test's own, never one of the machine's; only root may make one, so
        // elsewhere a socket stands in for it.
        const bool root = ::geteuid() == 0;
        if (root)
            QVERIFY(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0);
        else
            QVERIFY(bindSocket(device));
        QVERIFY(QDir(dir.path()).mkdir("folder.tavrin"));
        const QString namesPipe = dir.filePath("names-pipe.tavrin");
        SavedWork saved = savedSample(QStringLiteral(TAVRIN_SAMPLE), 50);
        saved.input = pipe;
        writeFile(namesPipe, savedWorkBytes(saved));

        const QString swapped = dir.filePath("swapped.txt");
        PipeWatchdog watchdog({pipe, savedPipe, swapped});
        MainWindow window;
        window.setHmSource(hmValue(48));
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        QSignalSpy refused(&window, &MainWindow::refused);
        const struct {
            QString path, what;
        } cases[] = {
            {pipe, "is a named pipe (FIFO), not a regular file"},
            {savedPipe, "is a named pipe (FIFO), not a regular file"},
            {device, root ? "is a character device, not a regular file" : "is a socket, not a regular file"},
            {folder, "is a folder, not a regular file"}};
        for (const auto &c : cases) {
            refused.clear();
            window.open(c.path);
            QCOMPARE(refused.size(), 1);
            QCOMPARE(refused.front().front().toString().left(c.path.size() + 1 + c.what.size()),
                     c.path + ' ' + c.what);
            QVERIFY(!window.runner().busy());
        }
        refused.clear();
        window.open(namesPipe);
        QVERIFY(refused.wait(20000));
        QCOMPARE(refused.front().front().toString(),
                 namesPipe + ": " + pipe +
                     " is a named pipe (FIFO), not a regular file; the workbench opens files of "
                     "measurements and saved work only.");
        for (const QString &path : {savedPipe, namesPipe}) {
            refused.clear();
            QVERIFY(!window.compareWith(path));
            QCOMPARE(refused.size(), 1);
            QVERIFY(
                refused.front().front().toString().contains(" is a named pipe (FIFO), not a regular file"));
        }
        window.runner().waitForAll();
        QCOMPARE(window.calibration()->result->path, QStringLiteral(TAVRIN_SAMPLE));
        QCOMPARE(window.hmSource().value, 48.0);
        QCOMPARE(window.findChild<QLabel *>("labelFile")->text(), QStringLiteral(TAVRIN_SAMPLE));

        // An input replaced by a pipe after it was opened is refused when it
        // is calibrated again.
        QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SAMPLE), swapped));
        window.open(swapped);
        QVERIFY(waitForRun(window));
        QVERIFY(QFile::remove(swapped));
        QVERIFY(::mkfifo(QFile::encodeName(swapped).constData(), 0600) == 0);
        refused.clear();
        window.calibrate();
        QCOMPARE(refused.size(), 1);
        QVERIFY(refused.front().front().toString().startsWith(swapped + " is a named pipe (FIFO)"));
        // The refused input takes its results with it.
        QVERIFY(!window.calibration());
        QVERIFY(!window.runner().busy());
        QVERIFY(!watchdog.fired());
    }

    // Saved work is read and its input hashed on the worker: the window has
    // taken nothing of it when open returns, nothing at all when it is
    // cancelled, and all of it once it has run.
    void opensSavedWorkOnTheWorker()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath("copy.txt"), path = dir.filePath("copy.tavrin");
        QVERIFY(QFile::copy(QStringLiteral(TAVRIN_SAMPLE), copy));
        writeFile(path, savedWorkBytes(savedSample(copy, 50)));
        MainWindow window;
        window.setHmSource(hmValue(48));
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        const QLabel *file = window.findChild<QLabel *>("labelFile");

        window.open(path);
        QVERIFY(window.runner().busy());
        const auto unchanged = [&] {
            return window.hmSource().value == 48.0 && window.fit() == FitModel::Auto &&
                   file->text() == QStringLiteral(TAVRIN_SAMPLE) &&
                   window.calibration()->result->path == QStringLiteral(TAVRIN_SAMPLE);
        };
        QVERIFY(unchanged());
        window.runner().cancel();
        window.runner().waitForAll();
        QTest::qWait(200);
        QVERIFY(unchanged());

        QSignalSpy refused(&window, &MainWindow::refused);
        window.open(path);
        QVERIFY(waitForRun(window));
        QCOMPARE(window.hmSource().value, 50.0);
        QCOMPARE(window.fit(), FitModel::Planar);
        QCOMPARE(file->text(), copy);
        QCOMPARE(window.calibration()->result->path, copy);
        QCOMPARE(window.calibration()->options.hm, 50.0);
        QCOMPARE(window.calibration()->fingerprint, fingerprintOf(copy));
        QCOMPARE(refused.size(), 0);
    }

    // Saved work with a value out of its range is refused by the field, the
    // value and the range, and the window keeps what it had.
    void refusesSavedWorkOutOfRange()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("wrong.tavrin");
        const QJsonObject good =
            QJsonDocument::fromJson(savedWorkBytes(savedSample(TAVRIN_SAMPLE, 48))).object();
        const auto withHm = [&](const QJsonObject &hm) {
            QJsonObject o = good;
            o["hm"] = hm;
            return QJsonDocument(o).toJson();
        };
        const QJsonObject place{{"value", 48},         {"unit", "uT"},      {"source", "model"},
                                {"latitude", 48.85},   {"longitude", 2.35}, {"height", 35},
                                {"date", "2027-03-01"}};
        const auto changed = [&](const char *key, const QJsonValue &value) {
            QJsonObject hm = place;
            hm[key] = value;
            return withHm(hm);
        };
        const struct {
            QByteArray bytes;
            QString message;
        } cases[] = {
            {withHm({{"value", 1e308}, {"unit", ""}, {"source", "value"}}),
             "This file of saved work has hm.value 1e+308; it must be above 0 and up to 999999.999."},
            {changed("latitude", 1e308),
             "This file of saved work has hm.latitude 1e+308; it must be from -90 to 90 degrees."},
            {changed("longitude", -181), "This file of saved work has hm.longitude -181; it must be from "
                                         "-180 to 360 degrees."},
            {changed("date", "9999-99-99"),
             "This file of saved work has hm.date \"9999-99-99\"; it must be a date as YYYY-MM-DD."},
            {changed("height", 1e308),
             "WMM2025 holds from -1000 to 850000 m above the WGS84 ellipsoid, not at "
             "1e+308 m."},
            {changed("date", "2099-01-01"),
             "WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2099-01-01 is not in it."},
        };
        MainWindow window;
        window.setHmSource(hmValue(48));
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(waitForRun(window));
        QSignalSpy refused(&window, &MainWindow::refused);
        for (const auto &c : cases) {
            refused.clear();
            writeFile(path, c.bytes);
            window.open(path);
            QVERIFY(refused.wait(20000));
            QCOMPARE(refused.front().front().toString(), path + ": " + c.message);
            window.runner().waitForAll();
            QCOMPARE(window.hmSource().value, 48.0);
            QVERIFY(!window.hmSource().place);
            QCOMPARE(window.calibration()->result->path, QStringLiteral(TAVRIN_SAMPLE));
        }
    }

    // At 1024 x 700, with a font half again as large and a dark palette,
    // every button, label and box shows its whole text.
    void nothingIsCutInASmallWindow()
    {
        const QFont font = QApplication::font();
        const QPalette palette = QApplication::palette();
        QFont larger = font;
        larger.setPointSizeF(font.pointSizeF() * 1.5);
        QApplication::setFont(larger);
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Text, Qt::white);
        dark.setColor(QPalette::ButtonText, Qt::white);
        dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
        QApplication::setPalette(dark);
        {
            MainWindow window;
            window.resize(1024, 700);
            window.show();
            window.setHmSource(hmValue(48));
            window.open(QStringLiteral(TAVRIN_SAMPLE));
            QVERIFY(waitForRun(window));
            QTest::qWait(50);
            QCOMPARE(window.size(), QSize(1024, 700));
            // What does not fit the input's panel scrolls; nothing lies beyond the window.
            const QScrollArea *input = window.findChild<QScrollArea *>("inputScroll");
            QVERIFY(input->viewport()->width() >= input->widget()->minimumSizeHint().width());
            for (const char *name : {"dockInput", "dockResults", "views"}) {
                const QWidget *part = window.findChild<QWidget *>(name);
                const QRect where(part->mapTo(&window, QPoint(0, 0)), part->size());
                QVERIFY2(window.rect().contains(where), name);
            }
            for (QAbstractButton *button : window.findChildren<QAbstractButton *>())
                if (button->isVisible() && !button->text().isEmpty())
                    QVERIFY2(button->width() >= button->minimumSizeHint().width(),
                             qPrintable(button->text()));
            for (QComboBox *box : window.findChildren<QComboBox *>())
                if (box->isVisible())
                    QVERIFY2(box->width() >= box->minimumSizeHint().width(), qPrintable(box->objectName()));
            for (QLabel *label : window.findChildren<QLabel *>())
                if (label->isVisible() && !label->text().isEmpty())
                    QVERIFY2(label->height() >= label->heightForWidth(label->width()) ||
                                 label->heightForWidth(label->width()) < 0,
                             qPrintable(label->text()));
            QVERIFY(window.findChild<QWidget *>("cloud")->width() >= 200);
        }
        QApplication::setFont(font);
        QApplication::setPalette(palette);
    }

    void readsTheStartOptions()
    {
        Expected<StartOptions> o = parseStartOptions(
            {"tavrin-workbench", "--hm-at", "48.85,2.35,35", "--units", "uT", "--date", "2027-03-01",
             "--columns", "mx,my,mz", "--decimal-comma", "--fit", "planar", "log.csv"});
        QVERIFY2(o, qPrintable(o.error()));
        QCOMPARE(o->hm->place->latitude, 48.85);
        QCOMPARE(o->hm->place->height, 35.0);
        QCOMPARE(o->hm->unit, QStringLiteral("uT"));
        QCOMPARE(o->hm->date, QDate(2027, 3, 1));
        QCOMPARE(o->log->columns[1], QStringLiteral("my"));
        QVERIFY(o->log->decimalComma);
        QVERIFY(!o->log->skipBadLines);
        QCOMPARE(*o->fit, FitModel::Planar);
        QCOMPARE(o->file, QStringLiteral("log.csv"));

        HmSource source = *o->hm;
        const Expected<double> fromModel = hmOf(source);
        QVERIFY2(fromModel, qPrintable(fromModel.error()));
        QVERIFY(*fromModel > 40 && *fromModel < 50); // Paris, about 47.8 uT

        o = parseStartOptions(
            {"w", "--hm=48", "--units", "mG", "-", "--skip-bad-lines", "--columns", "3,4,5"});
        QVERIFY2(o, qPrintable(o.error()));
        QCOMPARE(o->hm->value, 48.0);
        QCOMPARE(o->hm->unit, QStringLiteral("mG"));
        QVERIFY(!o->hm->place);
        QCOMPARE(o->file, QStringLiteral("-"));
        QVERIFY(o->log->skipBadLines);
        QVERIFY(!o->fit);

        // Refused with the advice tavrin-cli gives, naming the program.
        const QStringList wrong[] = {{"w", "--hm", "0"},      {"w", "--hm", "48", "--hm-at", "1,2"},
                                     {"w", "--hm-at", "1,2"}, {"w", "--hm-at", "100,2", "--units", "uT"},
                                     {"w", "--fit", "round"}, {"w", "--decimal-comma", "a.txt"},
                                     {"w", "a.txt", "b.txt"}, {"w", "--colour"}};
        for (const QStringList &arguments : wrong) {
            const Expected<StartOptions> refused = parseStartOptions(arguments);
            QVERIFY2(!refused, qPrintable(arguments.join(' ')));
            QVERIFY2(refused.error().endsWith("\nTry 'workbench_test --help'."), qPrintable(refused.error()));
        }
        // A decimal year is the day it falls in.
        o = parseStartOptions({"w", "--hm-at", "48.85,2.35", "--units", "uT", "--date", "2028.5"});
        QVERIFY2(o, qPrintable(o.error()));
        QCOMPARE(o->hm->date, QDate(2028, 7, 2));
    }

    // The options both programs take are read alike: a wrong one is refused
    // in the same words, with the same advice and exit status 64, and the
    // same values are taken, a decimal year among them.
    void bothProgramsReadTheSharedOptionsAlike()
    {
        // Qt's own notes, such as one on a missing runtime folder, would come between the words.
        const QTemporaryDir runtime;
        const auto run = [&runtime](const char *program, const QStringList &arguments, QByteArray *err) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(QString::fromUtf8(program), QStringList{TAVRIN_SAMPLE} + arguments);
            process.waitForFinished(60000);
            *err = process.readAllStandardError();
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        const QStringList cases[] = {{"--hm", "48", "--columns", "1,1,1"},
                                     {"--hm", "48", "--columns", "mx,MX,my"},
                                     {"--hm", "48", "--columns", "0,2,3"},
                                     {"--hm", "48", "--columns", "1,2"},
                                     {"--hm", "48", "--decimal-comma"},
                                     {"--hm", "48", "--skip-bad-lines"},
                                     {"--hm", "0"},
                                     {"--hm", "1e308"},
                                     {"--hm", "48", "--hm-at", "1,2", "--units", "uT"},
                                     {"--hm-at", "1,2"},
                                     {"--hm-at", "100,2", "--units", "uT"},
                                     {"--hm-at", "1,2", "--units", "furlongs"},
                                     {"--hm-at", "1,2", "--units", "uT", "--date", "2027.5.1"},
                                     {"--hm-at", "1,2", "--units", "uT", "--date", "2027-02-30"},
                                     {"--hm-at", "1,2", "--units", "uT", "--date", "9999-12-31"},
                                     {"--hm-at", "1,2", "--units", "uT", "--date", "9999.5"},
                                     {"--hm", "48", "--fit", "round"},
                                     {"--hm", "48", "--port", "tcp://board"},
                                     {"--hm", "48", "--port", "board"},
                                     {"--hm", "48", "--colour"},
                                     {"--hm", "48", "--units"}};
        for (const QStringList &arguments : cases) {
            QByteArray theirs, ours;
            QCOMPARE(run(TAVRIN_CLI, arguments, &theirs), 64);
            QCOMPARE(run(TAVRIN_WORKBENCH, arguments, &ours), 64);
            QVERIFY2(theirs.startsWith("tavrin-cli: "), theirs.constData());
            QVERIFY2(ours.startsWith("tavrin-workbench: "), ours.constData());
            QCOMPARE(ours.mid(int(std::strlen("tavrin-workbench: ")))
                         .replace("'tavrin-workbench --help'", "'tavrin-cli --help'"),
                     theirs.mid(int(std::strlen("tavrin-cli: "))));
        }
        // A decimal year: tavrin-cli takes it for Hm, the workbench for the day it falls in.
        const QStringList decimalYear{"--hm-at", "48.85,2.35", "--units", "uT", "--date", "2027.5"};
        QByteArray err;
        QCOMPARE(run(TAVRIN_CLI, decimalYear, &err), 0);
        const Expected<StartOptions> o = parseStartOptions(QStringList{"w"} + decimalYear);
        QVERIFY2(o, qPrintable(o.error()));
        QCOMPARE(o->hm->date, QDate(2027, 7, 2));
    }

    // --help and --version answer without a window; no display, or one that
    // cannot be reached, is one line and exit 1, never a core dump.
    void startsWithoutAWindowForHelpVersionAndNoDisplay()
    {
        const auto run = [](const QStringList &arguments, const QString &display, QByteArray *err) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
            if (!display.isEmpty())
                environment.insert(QStringLiteral("DISPLAY"), display);
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(QStringLiteral(TAVRIN_WORKBENCH), arguments);
            process.waitForFinished(60000);
            *err = process.readAllStandardError();
            return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        };
        QByteArray err;
        QCOMPARE(run({"--version"}, QString(), &err), 0);
        QCOMPARE(run({"--help"}, QString(), &err), 0);
        QCOMPARE(run({"--hm", "48"}, QString(), &err), 1);
        QVERIFY(err.startsWith("tavrin-workbench: needs a graphical display"));
        QCOMPARE(err.count('\n'), 1);
        const QString absent = absentDisplay();
        QCOMPARE(run({"--hm", "48"}, absent, &err), 1);
        QVERIFY2(err.startsWith("tavrin-workbench: cannot connect to the display \"" + absent.toUtf8() + '"'),
                 err.constData());
        QCOMPARE(err.count('\n'), 1);
    }
};

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
