#include "calibrationtask.h"
#include "columnpicker.h"
#include "comparedialog.h"
#include "exportdialog.h"
#include "exportformat.h"
#include "exports.h"
#include "mainwindow.h"
#include "resultstext.h"
#include "savedwork.h"
#include "synthetic.h"
#include "turnadvice.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>

using namespace tavrin;

namespace {

QByteArray cli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TAVRIN_CLI), arguments);
    process.waitForFinished(120000);
    return process.readAllStandardOutput();
}

std::shared_ptr<const Calibration> calibrateSample(const QString &unit)
{
    auto c = std::make_shared<Calibration>();
    c->options.hm = 48;
    c->options.fit = FitModel::Auto;
    c->unit = unit;
    c->result = std::make_shared<const CalibrationResult>(
        runCalibration(Input::file(QStringLiteral(TAVRIN_SAMPLE)), c->options));
    return c;
}

} // namespace

class PartsTest : public QObject {
    Q_OBJECT

private slots:
    // The ids the export dialog remembers go into the firmware texts: the
    // tests' settings are their own, and empty.
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    // Every firmware format's text is what tavrin-cli --export prints.
    void firmwareExportsAreTheCommandLines()
    {
        const std::shared_ptr<const Calibration> c = calibrateSample(QStringLiteral("uT"));
        QVERIFY(c->result->calibrated());
        int compared = 0;
        for (const ExportFormat &format : exportFormats()) {
            const WorkbenchExport *ours = workbenchExportNamed(QLatin1String(format.name));
            QVERIFY2(ours && ours->text, format.name);
            const Expected<QByteArray> text = ours->text(*c);
            QVERIFY2(text, qPrintable(text.error()));
            QCOMPARE(*text, cli({"--hm", "48", "--units", "uT", "--fit", "auto", "--export", format.name,
                                 TAVRIN_SAMPLE}));
            compared++;
        }
        QVERIFY(compared >= 6);
    }

    // The JSON export is tavrin-cli's document for the same input and fit,
    // but for the program that wrote it, its version and the wording of its
    // advice.
    void jsonExportIsTheCommandLines()
    {
        const std::shared_ptr<const Calibration> c = calibrateSample(QString());
        const Expected<QByteArray> text = workbenchExportNamed(QStringLiteral("json"))->text(*c);
        QVERIFY2(text, qPrintable(text.error()));
        QJsonObject ours = QJsonDocument::fromJson(*text).object();
        QJsonObject theirs =
            QJsonDocument::fromJson(cli({"--hm", "48", "--fit", "auto", "--json", TAVRIN_SAMPLE})).object();
        QCOMPARE(ours["tool"].toString(), QCoreApplication::applicationName());
        QCOMPARE(ours["version"].toString(), QCoreApplication::applicationVersion());
        for (QJsonObject *document : {&ours, &theirs}) {
            document->remove("tool");
            document->remove("version");
            QJsonArray files = (*document)["files"].toArray();
            QJsonObject file = files[0].toObject();
            file.remove("recommendation");
            files[0] = file;
            (*document)["files"] = files;
        }
        QCOMPARE(ours, theirs);
        QCOMPARE(ours["files"].toArray()[0].toObject()["fitChosen"].toString(), QStringLiteral("full"));
    }

    // A format that needs the unit refuses without one, and says why.
    void aFormatWithoutItsUnitIsRefused()
    {
        const std::shared_ptr<const Calibration> c = calibrateSample(QString());
        for (const ExportFormat &format : exportFormats()) {
            if (!format.needsUnits)
                continue;
            const Expected<QByteArray> text = workbenchExportNamed(QLatin1String(format.name))->text(*c);
            QVERIFY(!text);
            QVERIFY(!text.error().isEmpty());
            QString reason;
            QTemporaryDir dir;
            const QString path = dir.filePath("refused");
            QVERIFY(!workbenchExportNamed(QLatin1String(format.name))->write(path, *c, &reason));
            QCOMPARE(reason, text.error());
            QVERIFY(!QFile::exists(path));
        }
    }

    // The export dialog shows each format's text and copies it.
    void theExportDialogShowsAndCopies()
    {
        const std::shared_ptr<const Calibration> c = calibrateSample(QStringLiteral("uT"));
        ExportDialog dialog(c);
        for (int row = 0; row < int(workbenchExports().size()); row++) {
            dialog.select(row);
            const WorkbenchExport &format = workbenchExports()[size_t(row)];
            const Expected<QByteArray> text =
                format.text ? format.text(*c) : Expected<QByteArray>(QByteArray());
            const QString expected = text ? QString::fromUtf8(*text) : QString();
            QCOMPARE(dialog.shownText(), expected);
        }
        dialog.select(0);
        QPushButton *copy = nullptr;
        for (QPushButton *button : dialog.findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("&Copy"))
                copy = button;
        QVERIFY(copy && copy->isEnabled());
        copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString::fromUtf8(*workbenchExports().front().text(*c)));
    }

    // The dialog asks for the ids a format uses, puts them in its text and
    // file, and remembers them per format; a bad id is refused and not kept.
    void theExportDialogAsksForIdsAndRemembersThemPerFormat()
    {
        const std::shared_ptr<const Calibration> c = calibrateSample(QStringLiteral("uT"));
        const auto rowOf = [](const char *name) {
            for (int row = 0; row < int(workbenchExports().size()); row++)
                if (workbenchExports()[size_t(row)].name == QLatin1String(name))
                    return row;
            return -1;
        };
        const auto type = [](QLineEdit *edit, const QString &text) {
            edit->setText(text);
            emit edit->editingFinished();
        };
        {
            ExportDialog dialog(c);
            dialog.show();
            auto *device = dialog.findChild<QLineEdit *>(QStringLiteral("deviceId"));
            auto *system = dialog.findChild<QLineEdit *>(QStringLiteral("systemId"));
            QVERIFY(device && system);
            dialog.select(rowOf("matlab"));
            QVERIFY(!device->isVisible() && !system->isVisible());
            dialog.select(rowOf("ardupilot"));
            QVERIFY(device->isVisible() && !system->isVisible());
            type(device, QStringLiteral("97539"));
            QVERIFY(dialog.shownText().endsWith(QStringLiteral("\nCOMPASS_DEV_ID,97539\n")));
            dialog.select(rowOf("px4"));
            QVERIFY(device->isVisible() && system->isVisible());
            QCOMPARE(device->text(), QString());
            type(system, QStringLiteral("7"));
            QVERIFY(dialog.shownText().contains(QStringLiteral("\n7\t1\tCAL_MAG0_XOFF\t")));
            type(system, QStringLiteral("300"));
            QVERIFY(dialog.shownText().contains(QStringLiteral("\n7\t1\tCAL_MAG0_XOFF\t")));
            bool said = false;
            for (const QLabel *label : dialog.findChildren<QLabel *>())
                said = said ||
                       label->text() ==
                           QStringLiteral("The system id takes a MAVLink id from 1 to 255, not \"300\".");
            QVERIFY(said);
        }
        // Another dialog, as after a restart: each format's ids as they were left.
        ExportDialog again(c);
        again.select(rowOf("ardupilot"));
        QCOMPARE(again.findChild<QLineEdit *>(QStringLiteral("deviceId"))->text(), QStringLiteral("97539"));
        again.select(rowOf("px4"));
        QCOMPARE(again.findChild<QLineEdit *>(QStringLiteral("systemId"))->text(), QStringLiteral("7"));
        QVERIFY(workbenchExportNamed(QStringLiteral("px4"))->text(*c)->contains("\n7\t1\tCAL_MAG0_XOFF\t"));
        QSettings().clear();
    }

    // A saved work reads back as it was written; what is not one is refused.
    void savedWorkReadsBack()
    {
        SavedWork w;
        w.input = QStringLiteral("/data/log.csv");
        LogFormat log;
        log.columns = {QStringLiteral("mx"), QStringLiteral("my"), QStringLiteral("mz")};
        log.decimalComma = true;
        log.firstRow = 10;
        log.lastRow = 900;
        w.log = log;
        w.hm.unit = QStringLiteral("nT");
        w.hm.place = Place{48.85, 2.35, 35};
        w.hm.date = QDate(2027, 3, 1);
        w.hmValue = 47812.5;
        w.fit = FitModel::Planar;
        w.fingerprint = "abc123";
        w.result = QJsonObject{{"bias", QJsonArray{1, 2, 3}}};
        const Expected<SavedWork> back = readSavedWork(savedWorkBytes(w));
        QVERIFY2(back, qPrintable(back.error()));
        QCOMPARE(back->input, w.input);
        QCOMPARE(back->log->columns[1], QStringLiteral("my"));
        QVERIFY(back->log->decimalComma);
        QCOMPARE(back->log->firstRow, qint64(10));
        QCOMPARE(back->log->lastRow, qint64(900));
        QCOMPARE(back->hm.place->latitude, 48.85);
        QCOMPARE(back->hm.date, QDate(2027, 3, 1));
        QCOMPARE(back->hmValue, 47812.5);
        QCOMPARE(back->fit, FitModel::Planar);
        QCOMPARE(back->fingerprint, QByteArray("abc123"));
        QCOMPARE(back->result, w.result);

        QJsonObject o = QJsonDocument::fromJson(savedWorkBytes(w)).object();
        const auto refused = [&](const char *key, const QJsonValue &value) {
            QJsonObject changed = o;
            changed[key] = value;
            const Expected<SavedWork> read = readSavedWork(QJsonDocument(changed).toJson());
            return !read && !read.error().isEmpty();
        };
        QVERIFY(refused("version", 2));
        QVERIFY(refused("fit", "round"));
        QVERIFY(refused("input", ""));
        QVERIFY(refused("hm", QJsonObject{{"value", -1}, {"unit", "uT"}}));
        QVERIFY(refused("hm", QJsonObject{{"value", 48}, {"unit", "furlongs"}}));
        QVERIFY(refused("log", QJsonObject{{"columns", QJsonArray{"1", "2"}}}));
        QVERIFY(refused("log", QJsonObject{{"columns", QJsonArray{"1", "2", "3"}}, {"firstRow", 0}}));

        // Every number of the file out of its range is refused by its field,
        // its value and the range, never clamped or replaced.
        const auto problemWith = [&](const char *key, const QJsonObject &value) {
            QJsonObject changed = o;
            changed[key] = value;
            return readSavedWork(QJsonDocument(changed).toJson()).error();
        };
        const QJsonObject hm = o["hm"].toObject(), logFormat = o["log"].toObject();
        const auto hmWith = [&](const char *key, const QJsonValue &value) {
            QJsonObject h = hm;
            h[key] = value;
            return problemWith("hm", h);
        };
        const auto logWith = [&](const char *key, const QJsonValue &value) {
            QJsonObject l = logFormat;
            l[key] = value;
            return problemWith("log", l);
        };
        const QString has = QStringLiteral("This file of saved work has ");
        QCOMPARE(hmWith("value", 1e308), has + "hm.value 1e+308; it must be above 0 and up to 999999.999.");
        QCOMPARE(hmWith("value", 0), has + "hm.value 0; it must be above 0 and up to 999999.999.");
        QCOMPARE(hmWith("value", "48"), has + "hm.value \"48\"; it must be above 0 and up to 999999.999.");
        QCOMPARE(hmWith("latitude", -90.5), has + "hm.latitude -90.5; it must be from -90 to 90 degrees.");
        QCOMPARE(hmWith("longitude", 1e308),
                 has + "hm.longitude 1e+308; it must be from -180 to 360 degrees.");
        QCOMPARE(hmWith("height", "high"), has + "hm.height \"high\"; it must be a number of metres.");
        QCOMPARE(hmWith("date", "9999-99-99"),
                 has + "hm.date \"9999-99-99\"; it must be a date as YYYY-MM-DD.");
        QCOMPARE(hmWith("source", "guess"), has + "hm.source \"guess\"; it must be \"value\" or \"model\".");
        QCOMPARE(logWith("firstRow", 1e308),
                 has + "log.firstRow 1e+308; it must be a whole number from 1 to 9007199254740992.");
        QCOMPARE(logWith("firstRow", 2.5),
                 has + "log.firstRow 2.5; it must be a whole number from 1 to 9007199254740992.");
        QCOMPARE(logWith("lastRow", -1),
                 has + "log.lastRow -1; it must be a whole number from 0 to 9007199254740992.");
        QCOMPARE(logWith("lastRow", 5),
                 has + "log.lastRow 5; it must be 0 for the last row, or log.firstRow (10) or more.");
        QCOMPARE(
            logWith("columns", QJsonArray{"mx", "0", "mz"}),
            has + "log.columns [\"mx\", \"0\", \"mz\"]; it must be three columns, numbers from 1 to 1000 or "
                  "header names.");
    }

    // The input's fingerprint is read in blocks, told as it goes and given
    // up when cancelled.
    void fingerprintsInBlocksAndCancels()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("three-megabytes.txt");
        QByteArray bytes(3 << 20, 'x');
        bytes[12345] = 'y';
        writeFile(path, bytes);
        std::vector<double> told;
        std::atomic<bool> cancel{false};
        RunControl control;
        control.cancel = &cancel;
        control.progress = [&told](double fraction, RunPhase) { told.push_back(fraction); };
        QCOMPARE(fingerprintOf(path, control),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        QCOMPARE(told, (std::vector<double>{1.0 / 3, 2.0 / 3, 1.0}));
        cancel.store(true);
        QVERIFY(fingerprintOf(path, control).isEmpty());
        QVERIFY(fingerprintOf(dir.path()).isEmpty());
    }

    // b, A and A^-1 come back from a result object whole, or not at all.
    void parametersComeFromAResultObject()
    {
        const QJsonObject result = QJsonDocument::fromJson(cli({"--hm", "48", "--json", TAVRIN_SAMPLE}))
                                       .object()["files"]
                                       .toArray()[0]
                                       .toObject();
        const std::optional<CalibrationParameters> p = parametersOf(result);
        QVERIFY(p);
        QCOMPARE(p->Bias[2][0], result["bias"].toArray()[2].toDouble());
        QCOMPARE(p->Ainv[1][2], result["Ainv"].toArray()[1].toArray()[2].toDouble());
        QJsonObject broken = result;
        broken["A"] = QJsonArray{QJsonArray{1, 0, 0}, QJsonArray{0, "x", 0}, QJsonArray{0, 0, 1}};
        QVERIFY(!parametersOf(broken));
        broken.remove("A");
        QVERIFY(!parametersOf(broken));

        // A calibration on its own data: the RMS of its norm error after.
        const std::shared_ptr<const Calibration> c = calibrateSample(QString());
        QCOMPARE(rmsNormError(c->result->run.raw.points(), c->result->run.parameters, 48),
                 c->result->quality.after.rms);
    }

    // The results show every value so that it reads back the same, and the
    // spread to two digits.
    void resultsReadBackExactly()
    {
        auto c = std::make_shared<Calibration>(*calibrateSample(QString()));
        const CalibrationParameters &p = c->result->run.parameters;
        QString text = resultsText(*c);
        for (const double v : p.values())
            QVERIFY2(text.contains(fullPrecision(v)), qPrintable(fullPrecision(v)));
        QCOMPARE(fullPrecision(p.A[0][1]).toDouble(), p.A[0][1]);
        QVERIFY(text.contains("after the bootstrap") || text.contains("when the bootstrap has run"));

        Uncertainty u;
        u.known = true;
        u.resamples = 200;
        u.bias[0] = {0.0104, 12.48, 12.52};
        c->uncertainty = u;
        text = resultsText(*c);
        QVERIFY2(text.contains(QStringLiteral("\u00b1 0.010  [12.480, 12.520]")), qPrintable(text));
        QVERIFY(text.contains("200 bootstrap resamples"));
        QCOMPARE(verdictLine(c->result->quality), QStringLiteral("Verdict: good"));
    }

    // Green only for a good verdict that nothing qualifies; amber for a good
    // one with a reason, a warning or a limit passed by less than a tenth of
    // it; red for any other verdict. The words say which limit and why.
    void theBannerGradesTheVerdict()
    {
        const std::shared_ptr<const Calibration> sample = calibrateSample(QStringLiteral("uT"));
        const Banner good = bannerOf(*sample);
        QCOMPARE(good.grade, Banner::Good);
        QCOMPARE(good.words, QStringLiteral("Verdict: good, every limit passed with a margin"));
        QVERIFY(marginalNotes(sample->result->quality).isEmpty());
        QVERIFY(resultWarnings(*sample).isEmpty());

        const auto changed = [&](const std::function<void(CalibrationResult &)> &change) {
            auto c = std::make_shared<Calibration>(*sample);
            auto r = std::make_shared<CalibrationResult>(*sample->result);
            change(*r);
            c->result = r;
            return bannerOf(*c);
        };
        const struct {
            std::function<void(CalibrationResult &)> change;
            QString words;
        } qualified[] = {
            {[](CalibrationResult &r) { r.quality.cellsHit = 72; },
             "72 of 100 cells hit, near the 70 needed"},
            {[](CalibrationResult &r) { r.quality.cellsHit = 70; },
             "70 of 100 cells hit, near the 70 needed"},
            {[](CalibrationResult &r) { r.quality.largestEmptyCap.radius = 44.5 * Pi / 180; },
             "largest empty cap 44.5 degrees, near the 45 allowed"},
            {[](CalibrationResult &r) {
                 r.quality.before.rms = 2.57;
                 r.quality.after.rms = 2.39;
             },
             "RMS after 2.39 barely below 2.57 before"},
            {[](CalibrationResult &r) { r.quality.coreRms = 0.047 * 48; },
             "RMS norm error 4.7 % of Hm, near the 5 % allowed"},
            {[](CalibrationResult &r) {
                 r.quality.hmUnit.hm = 48000;
                 r.quality.hmUnit.medianDistance = 48;
                 r.quality.hmUnit.scaleDiffers = true;
             },
             "Hm in another unit"},
            {[](CalibrationResult &r) { r.warnings << QStringLiteral("Data may contain outliers"); },
             "1 warning below"},
        };
        for (const auto &q : qualified) {
            const Banner banner = changed(q.change);
            QCOMPARE(banner.grade, Banner::Qualified);
            QVERIFY2(banner.words.startsWith("Verdict: good, with reservations: ") &&
                         banner.words.contains(q.words),
                     qPrintable(banner.words));
            QVERIFY(banner.colour != good.colour);
        }
        // Before calibration an RMS within 1 % of Hm is not worth improving.
        QCOMPARE(changed([](CalibrationResult &r) {
                     r.quality.before.rms = 0.4;
                     r.quality.after.rms = 0.39;
                 }).grade,
                 Banner::Good);
        const Banner failed = changed([](CalibrationResult &r) {
            r.quality.verdict = Verdict::PoorCoverage;
            r.quality.findings.fewCells = true;
            r.quality.cellsHit = 60;
        });
        QCOMPARE(failed.grade, Banner::Failed);
        QVERIFY2(failed.words.startsWith("Verdict: poor coverage: 60 of 100 cells hit"),
                 qPrintable(failed.words));
        QVERIFY(!failed.words.contains("near the"));
    }

    // The table rounds each value to two digits of its uncertainty and says
    // its unit; norm errors stand beside their share of Hm.
    void theResultRowsAreRoundedToTheirUncertainty()
    {
        auto c = std::make_shared<Calibration>(*calibrateSample(QStringLiteral("uT")));
        Uncertainty u;
        u.known = true;
        u.resamples = 200;
        u.bias[0] = {0.0104, 12.48, 12.52};
        u.A[0][0] = {0.00123, 1.078, 1.083};
        c->uncertainty = u;
        const std::vector<ResultRow> rows = resultRows(*c);
        const CalibrationParameters &p = c->result->run.parameters;
        QCOMPARE(rows[0].name, QStringLiteral("b1"));
        QCOMPARE(rows[0].value, QString::number(p.Bias[0][0], 'f', 3));
        QCOMPARE(rows[0].spread, QStringLiteral("\u00b1 0.010"));
        QCOMPARE(rows[0].interval, QStringLiteral("[12.480, 12.520]"));
        QCOMPARE(rows[0].unit, QStringLiteral("uT"));
        QCOMPARE(rows[0].full, fullPrecision(p.Bias[0][0]));
        QCOMPARE(rows[3].name, QStringLiteral("A11"));
        QCOMPARE(rows[3].value, QString::number(p.A[0][0], 'f', 4));
        QCOMPARE(rows[3].unit, QString());
        QCOMPARE(roundedTo(12.49712, 0.0104), QStringLiteral("12.497"));
        QCOMPARE(roundedTo(-7.3, 0.25), QStringLiteral("-7.30"));
        QCOMPARE(shownNumber(0.123456789012345), QStringLiteral("0.123457"));
        const QualityReport &q = c->result->quality;
        int errors = 0;
        for (const ResultRow &row : rows)
            if (row.name.startsWith("|e| ")) {
                errors++;
                QVERIFY2(row.unit.startsWith("uT, ") && row.unit.endsWith(" % of Hm"), qPrintable(row.unit));
            }
        QCOMPARE(errors, 6);
        QVERIFY(resultsText(*c).contains(
            QStringLiteral("(%1 %, ").arg(QString::number(100 * q.after.mean / 48, 'f', 2))));
        // Without a unit the values are in the data's own: no unit is named,
        // and a norm error still gives its share of Hm.
        const std::vector<ResultRow> plain = resultRows(*calibrateSample(QString()));
        QCOMPARE(plain[0].unit, QString());
        for (const ResultRow &row : plain)
            if (row.name == "|e| after, RMS")
                QCOMPARE(row.unit, QString::number(100 * q.after.rms / 48, 'f', 2) + " % of Hm");
    }

    void theAdviceNamesTheAxesOfTheCap()
    {
        QCOMPARE(capAxes({0.7071, 0, -0.7071}), QStringLiteral("+x and \u2212z"));
        QCOMPARE(capAxes({0, 1, 0}), QStringLiteral("+y"));
        QCOMPARE(capAxes({0.2, -0.3, 0.1}), QStringLiteral("\u2212y"));
        QualityReport q;
        q.largestEmptyCap = {{0, 0, 1}, 80 * Pi / 180};
        QVERIFY(turnAdvice(q).contains("80 degrees"));
        QVERIFY(turnAdvice(q).contains("Turn the sensor until its +z side"));
        q.largestEmptyCap.radius = 20 * Pi / 180;
        QVERIFY(turnAdvice(q).contains("cover the sphere"));
    }

    // The runner drops what a cancelled task publishes and says when it ends.
    void theRunnerDropsACancelledTask()
    {
        Runner runner;
        QSignalSpy published(&runner, &Runner::published);
        QSignalSpy finished(&runner, &Runner::finished);
        std::atomic<bool> release{false};
        runner.start("first", [&release](TaskControl &control) {
            while (!release.load())
                QThread::msleep(1);
            control.publish(std::make_shared<Calibration>());
        });
        QVERIFY(runner.busy());
        runner.start("second", [](TaskControl &control) {
            control.permille.store(500);
            control.publish(std::make_shared<Calibration>());
        });
        release.store(true);
        QVERIFY(finished.wait(10000));
        runner.waitForAll();
        QTest::qWait(100);
        QCOMPARE(published.size(), 1);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!runner.busy());
    }

    // A log without a header, split by tabs: numbered columns.
    void previewsALogWithoutAHeader()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tabs.tsv");
        writeFile(path, "# a comment\n1\t2\t3\t4\n5\t6\t7\t8\n");
        const LogPreview preview = previewLog(path, false);
        QCOMPARE(preview.found.delimiter, Delimiter::Tab);
        QCOMPARE(preview.columnNames, (QStringList{"1", "2", "3", "4"}));
        QCOMPARE(preview.rows.size(), 2);
        QCOMPARE(preview.rows[1][3], QStringLiteral("8"));
        QVERIFY(previewLog(dir.filePath("missing.csv"), false).rows.isEmpty());
    }

    // The export menu names the firmware formats as their users know them;
    // the dialog shows the compass of the formats that number several, and
    // the text and file follow it.
    void exportsAreNamedForPeopleAndFollowTheCompassChosen()
    {
        QCOMPARE(workbenchExportNamed("ardupilot")->title, QStringLiteral("Ard&uPilot Parameters…"));
        QCOMPARE(workbenchExportNamed("sensor-json")->title, QStringLiteral("Arduino Sensor &Library JSON…"));
        QCOMPARE(workbenchExportNamed("c")->filter, QStringLiteral("C Header (*.h)"));
        for (const ExportFormat &format : exportFormats())
            QVERIFY(!workbenchExportNamed(format.name)->title.startsWith(QLatin1String(format.name) + "…"));

        const std::shared_ptr<const Calibration> c = calibrateSample(QStringLiteral("uT"));
        ExportDialog dialog(c);
        auto *compass = dialog.findChild<QSpinBox *>("compass");
        QVERIFY(compass);
        int row = 0;
        while (workbenchExports()[size_t(row)].name != QLatin1String("ardupilot"))
            row++;
        dialog.select(row);
        QVERIFY(!compass->isHidden());
        QCOMPARE(compass->value(), 1);
        QCOMPARE(compass->maximum(), exportFormatNamed("ardupilot")->compasses);
        QVERIFY(dialog.shownText().contains("COMPASS_OFS_X,"));
        compass->setValue(2);
        QVERIFY(dialog.shownText().contains("COMPASS_OFS2_X,"));
        QVERIFY(!dialog.shownText().contains("COMPASS_OFS_X,"));
        QVERIFY(workbenchExportNamed("ardupilot")->text(*c)->contains("COMPASS_OFS2_X,"));
        QCOMPARE(dialog.findChildren<QTableWidget *>().front()->item(row, 0)->text(),
                 QStringLiteral("ArduPilot Parameters"));
        dialog.select(0);
        QVERIFY(compass->isHidden());
        rememberCompass("ardupilot", 1);
    }

    // Quit and the window's close ask before unsaved work is lost: Cancel
    // keeps the window, Discard closes it; saved work is not asked about.
    // The settings are written as they change, not only at the end.
    void quitAsksToSaveUnsavedWorkAndSettingsAreKeptAsTheyChange()
    {
        MainWindow window;
        window.setConfirmer([](const QString &, const QString &) { return true; });
        int asked = 0;
        MainWindow::UnsavedChoice answer = MainWindow::UnsavedChoice::Cancel;
        window.setUnsavedConfirmer([&] {
            asked++;
            return answer;
        });
        QVERIFY(window.close());
        QCOMPARE(asked, 0);

        HmSource hm;
        hm.value = 480;
        hm.unit = QStringLiteral("mG");
        window.setHmSource(hm);
        window.setFit(FitModel::Full);
        QCOMPARE(QSettings().value("hm/value").toDouble(), 480.0);
        QCOMPARE(QSettings().value("hm/unit").toString(), QStringLiteral("mG"));
        QCOMPARE(QSettings().value("fit").toString(), QStringLiteral("full"));

        QSignalSpy done(&window.runner(), &Runner::finished);
        window.open(QStringLiteral(TAVRIN_SAMPLE));
        QVERIFY(done.wait(120000));
        QVERIFY(window.hasUnsavedWork());
        QVERIFY(!window.close());
        QCOMPARE(asked, 1);
        QTemporaryDir dir;
        QCOMPARE(window.exportTo(*workbenchExportNamed("parameters"), dir.filePath("p.txt")), QString());
        QVERIFY(!window.hasUnsavedWork());
        QVERIFY(window.close());
        QCOMPARE(asked, 1);

        window.calibrate();
        QVERIFY(done.wait(120000));
        QVERIFY(window.hasUnsavedWork());
        answer = MainWindow::UnsavedChoice::Discard;
        QVERIFY(window.close());
        QCOMPARE(asked, 2);
    }

    // The picker opens on the columns the header names, or on the last three
    // when none is named: never a time or an attribute, as tavrin-cli advises.
    void thePickerProposesTheColumnsTheHeaderNames()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("log.csv");
        const auto proposed = [&](const QByteArray &text) {
            writeFile(path, text);
            return ColumnPicker(path, std::nullopt).format().columns;
        };
        using Columns = std::array<QString, 3>;
        QCOMPARE(proposed("Attribute,Time stamp,x,y,z\nMagnetometer,203994,7.95,-152.24,-96.60\n"),
                 (Columns{"3", "4", "5"}));
        QCOMPARE(proposed("1603186415.6,12.5,-3.25,40.0\n1603186415.7,12.6,-3.5,40.5\n"),
                 (Columns{"2", "3", "4"}));
        QCOMPARE(proposed("time;mag_z;mag_y;mag_x;temp\n1;2;3;4;5\n"), (Columns{"4", "3", "2"}));
        QCOMPARE(GuessLog(path)->columns, (std::array<int, 3>{4, 3, 2}));
    }
};

QTEST_MAIN(PartsTest)
#include "parts_test.moc"
