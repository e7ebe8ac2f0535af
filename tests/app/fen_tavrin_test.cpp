#include "calibration.h"
#include "fen_tavrin.h"
#include "modaldialogs.h"
#include "parametersfile.h"
#include "synthetic.h"

#include <QClipboard>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <tuple>

#include <unistd.h>

using namespace tavrin;

namespace {

struct Shown {
    QString title, text, details;
    QStringList labelsAtThatMoment;
};

const char *resultNames[] = {"Bias_1", "Bias_2", "Bias_3", "A_11", "A_12", "A_13",
                             "A_21",   "A_22",   "A_23",   "A_31", "A_32", "A_33"};

// Points around an axis-aligned ellipsoid about (5, -3, 8), as a raw file.
QByteArray ellipsoidFile(double sx, double sy, double sz, int n, unsigned seed)
{
    return asFileText(ellipsoidPoints(rotatedEllipsoid(sx, sy, sz, 0, 0, 0, 5, -3, 8), 48.0, n, 0.05, seed));
}

} // namespace

class FenTavrinTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formHasItsWidgetsInTheirCells_data();
    void formHasItsWidgetsInTheirCells();
    void formTextsAndProperties();
    void focusMovesInCreationOrder();
    void openPutsTheNameIntoFileName();
    void calibrateRefusals_data();
    void calibrateRefusals();
    void calibrateFillsTwelveLabels();
    void outlierWarningComesBeforeTheLabelsChange();
    void numericalFailureKeepsTheProgramAndTheLabels();
    void numericalLibrarysTextGoesToStandardOutput();
    void saveWritesTheLabelsTexts();
    void saveFailureIsReported();
    void quitCloseAndEscapeEndTheLoop_data();
    void quitCloseAndEscapeEndTheLoop();
    void aboutAndHelpBoxes();
    void missingIconFileFallsBackToTheEmbeddedIcon();
    void resultsBelongToTheirHmAndFile();
    void saveWithoutResultsWritesNothing();
    void cancelledOpenKeepsTheChoice();
    void exactDataGiveTheTruth();
    void widestNumbersShowWhole();
    void numbersThatDoNotFitLoseDecimalsOnly();
    void longPathShowsItsFileName();
    void echoWritesOneNewlinePerLineRead();
    void closedOrStuckOutputNeverHoldsTheWindow();
    void startsWithoutAWindowForHelpVersionAndNoDisplay();
    void saveOntoTheRawFileIsRefused();
    void aPointIsTheDecimalPointInEveryLocale_data();
    void aPointIsTheDecimalPointInEveryLocale();
    void hmInAnotherUnitIsWarned_data();
    void hmInAnotherUnitIsWarned();
    void openOffersAllFiles();
    void resultsCanBeSelectedAndCopied();

private:
    template <class T = QWidget> T *child(const char *name) { return dialog->findChild<T *>(name); }
    QStringList labelTexts();
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    void chooseFile(const QString &path);
    QString writeRaw(const QByteArray &bytes);
    void calibrate(const QString &path, double hm);
    void runWithStandardOutput(int fd, const std::function<void()> &action);

    Fen_Tavrin *dialog = nullptr;
    QList<Shown> shown;
    QTemporaryDir dir;
    int files = 0;
};

void FenTavrinTest::init()
{
    dialog = new Fen_Tavrin;
    dialog->show();
    shown.clear();
    ModalDialogs::setMessageHandler([this](const ModalDialogs::Message &m) {
        shown.append({m.title, m.text, m.details, labelTexts()});
    });
}

void FenTavrinTest::cleanup()
{
    delete dialog;
    dialog = nullptr;
    ModalDialogs::setMessageHandler({});
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                         [](QWidget *w) { return w->isVisible(); }));
}

QStringList FenTavrinTest::labelTexts()
{
    QStringList texts;
    for (const char *name : resultNames)
        texts << child<QLabel>(name)->text();
    return texts;
}

void FenTavrinTest::chooseFile(const QString &path)
{
    ModalDialogs::setNextFileName(path);
    click("buttonOpenFile");
}

QString FenTavrinTest::writeRaw(const QByteArray &bytes)
{
    const QString path = dir.filePath(QString("raw%1.txt").arg(++files));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

void FenTavrinTest::formHasItsWidgetsInTheirCells_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QList<int>>("cell");
    const QList<std::tuple<const char *, const char *, const char *, QList<int>>> rows = {
        {"Input_label2", "QLabel", "Gridlayout_In", {4, 0, 1, 1}},
        {"EarthField", "QDoubleSpinBox", "Gridlayout_In", {4, 3, 1, 1}},
        {"Input_label2_2", "QLabel", "Gridlayout_In", {5, 0, 1, 1}},
        {"Input_label1", "QLabel", "Gridlayout_In", {8, 0, 1, 1}},
        {"FileName", "QLabel", "Gridlayout_In", {8, 2, 1, 2}},
        {"Input_label1_2", "QLabel", "Gridlayout_In", {9, 0, 1, 1}},
        {"buttonOpenFile", "QPushButton", "Gridlayout_In", {9, 3, 1, 1}},
        {"buttonCalibrate", "QPushButton", "Gridlayout_In", {10, 3, 1, 1}},
        {"Output_label1", "QLabel", "Gridlayout_Out", {0, 0, 1, 1}},
        {"Bias_1", "QLabel", "Gridlayout_Out", {0, 1, 1, 1}},
        {"Bias_3", "QLabel", "Gridlayout_Out", {0, 3, 1, 1}},
        {"Output_label2", "QLabel", "Gridlayout_Out", {5, 0, 3, 1}},
        {"A_11", "QLabel", "Gridlayout_Out", {5, 1, 1, 1}},
        {"A_23", "QLabel", "Gridlayout_Out", {6, 3, 1, 1}},
        {"A_32", "QLabel", "Gridlayout_Out", {7, 2, 1, 1}},
        {"buttonSave", "QPushButton", "Gridlayout_Out", {8, 3, 1, 1}},
        {"buttonCancel", "QPushButton", "gridLayout", {0, 0, 1, 1}},
        {"buttonHelp", "QPushButton", "gridLayout", {0, 2, 1, 1}},
        {"buttonAbout", "QPushButton", "gridLayout", {0, 3, 1, 1}},
    };
    for (const auto &[name, cls, layout, cell] : rows)
        QTest::newRow(name) << name << cls << layout << cell;
}

void FenTavrinTest::formHasItsWidgetsInTheirCells()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, layout);
    QFETCH(QList<int>, cell);
    QWidget *w = dialog->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->metaObject()->className(), className);
    auto *grid = dialog->findChild<QGridLayout *>(layout);
    QVERIFY(grid);
    const int index = grid->indexOf(w);
    QVERIFY(index >= 0);
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    QCOMPARE((QList<int>{row, column, rowSpan, columnSpan}), cell);
}

void FenTavrinTest::formTextsAndProperties()
{
    QCOMPARE(dialog->windowTitle(), "Tavrin");
    QCOMPARE(dialog->toolTip(),
             "This program computes the calibrationparameters of a tri-axis magnetometer.");
    // The form's 523 x 533, widened where the widest result needs it.
    QCOMPARE(dialog->height(), 533);
    QVERIFY(dialog->width() >= 523);
    QVERIFY(!(dialog->windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(child<QGroupBox>("GroupInput")->title(), "Input");
    QCOMPARE(child<QGroupBox>("GroupOutput")->title(), "Ouput");
    QCOMPARE(child<QLabel>("Output_label1")->text(), "Combined bias (b):");
    QCOMPARE(child<QPushButton>("buttonOpenFile")->text(), "Open");
    QCOMPARE(child<QPushButton>("buttonCalibrate")->text(), "Calibrate");
    QCOMPARE(child<QPushButton>("buttonSave")->text(), "Save");
    QCOMPARE(child<QPushButton>("buttonCancel")->text(), "Quit");
    QCOMPARE(child<QPushButton>("buttonAbout")->text(), "About");
    QCOMPARE(child<QPushButton>("buttonHelp")->text(), "Help");
    QCOMPARE(child<QGroupBox>("GroupInput")->styleSheet(), "font: 75 8pt \"MS Shell Dlg 2\";");

    auto plain = [this](const char *name) {
        QTextDocument doc;
        doc.setHtml(child<QLabel>(name)->text());
        return doc.toPlainText();
    };
    QCOMPARE(plain("Input_label1"), "Choose the raw magnetic measurements (h) file:");
    QCOMPARE(plain("FileName"), "*.txt");
    QCOMPARE(plain("Input_label1_2"),
             "(Format: \tMagX1\tMagY1\tMagZ1\n \tMagX2\tMagY2\tMagZ2\n\t...\t...\t...)");
    QCOMPARE(plain("Input_label2_2"), "(same unit as the raw measurements)");
    QCOMPARE(plain("Input_label2"), "Norm of the Earth Magnetic field (Hm):");
    QCOMPARE(plain("Output_label2"),
             "Combined scale factors, misalignments \nand soft iron disturbances (A):");
    QCOMPARE(plain("label"), "Equation for calibrating raw magnetic field (h):     hcal = A-1 * (h - b)");
    QVERIFY(child<QLabel>("FileName")->text().startsWith("<!DOCTYPE HTML"));

    auto *hm = child<QDoubleSpinBox>("EarthField");
    QCOMPARE(hm->toolTip(), "Use the same unit as the one of the raw magnetic field measurements.");
    QCOMPARE(hm->decimals(), 3);
    QCOMPARE(hm->minimum(), 0.0);
    QCOMPARE(hm->maximum(), 999999.999);
    QCOMPARE(hm->value(), 0.0);
    for (const char *name : resultNames) {
        QCOMPARE(child<QLabel>(name)->text(), QString());
        QCOMPARE(child<QLabel>(name)->alignment() & (Qt::AlignRight | Qt::AlignVCenter),
                 Qt::AlignRight | Qt::AlignVCenter);
    }
    QCOMPARE(child<QLabel>("A_11")->toolTip(), QString());

    QWidget *action = child("Action");
    QCOMPARE(action->layoutDirection(), Qt::RightToLeft);
    const int quit = child("buttonCancel")->geometry().x(), help = child("buttonHelp")->geometry().x(),
              about = child("buttonAbout")->geometry().x();
    QVERIFY2(about < help && help < quit, "About, Help, Quit from left to right");

    auto *vertical = dialog->findChild<QVBoxLayout *>("verticalLayout");
    QCOMPARE(vertical->itemAt(0)->widget(), child("GroupInput"));
    QVERIFY(vertical->itemAt(1)->spacerItem());
    QCOMPARE(vertical->itemAt(2)->widget(), child("GroupOutput"));
    QCOMPARE(vertical->itemAt(3)->widget(), child("label"));
    QCOMPARE(vertical->itemAt(5)->widget(), action);
}

void FenTavrinTest::focusMovesInCreationOrder()
{
    const QStringList expected = {"buttonOpenFile", "buttonCalibrate", "EarthField", "buttonSave",
                                  "buttonCancel",   "buttonAbout",     "buttonHelp"};
    QWidget *w = child("buttonOpenFile");
    QStringList order;
    for (int i = 0; i < expected.size(); ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName() == "qt_spinbox_lineedit")
            w = w->nextInFocusChain();
    }
    QCOMPARE(order, expected);
}

void FenTavrinTest::openPutsTheNameIntoFileName()
{
    chooseFile("/first/choice.txt");
    chooseFile("/data/raw.txt");
    QCOMPARE(child<QLabel>("FileName")->text(), "/data/raw.txt");
    QCOMPARE(child<QLabel>("FileName")->toolTip(), "/data/raw.txt");
    QVERIFY(shown.isEmpty());
}

void FenTavrinTest::calibrateRefusals_data()
{
    QTest::addColumn<double>("hm");
    QTest::addColumn<QByteArray>("content"); // empty: no file is chosen at all
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("details");
    const QByteArray good = ellipsoidFile(1, 1, 1, 100, 3);
    const QString zero = "The value of Hm must be non zero!";
    QTest::newRow("Hm 0, no file") << 0.0 << QByteArray() << false << zero << "";
    QTest::newRow("Hm 0, good file") << 0.0 << good << false << zero << "";
    const QString missingFile = "The file does not exists!";
    QTest::newRow("hint is not a path")
        << 48.0 << QByteArray() << false << missingFile << "No such file or directory";
    QTest::newRow("missing file") << 48.0 << good << true << missingFile << "No such file or directory";
    const QString format = "Please, check the format of the raw data file.";
    QTest::newRow("four numbers") << 48.0 << good + "1 2 3 4\n" << false << format << "Line 101: \"1 2 3 4\"";
    QTest::newRow("two numbers") << 48.0 << good + "1 2\n" << false << format << "Line 101: \"1 2\"";
    QTest::newRow("commas") << 48.0 << good + "12.5,-3.25,40\n"
                            << false << format << "Line 101: \"12.5,-3.25,40\"";
    QTest::newRow("header line") << 48.0 << "MagX MagY MagZ\n" + good << false << format
                                 << "Line 1: \"MagX MagY MagZ\"";
    QTest::newRow("nan") << 48.0 << good + "nan 1 2\n" << false << format << "Line 101: \"nan 1 2\"";
    QTest::newRow("escape and a long line")
        << 48.0 << good + "\x1b[2J" + QByteArray(90, '7') + "\n"
        << false << format << "Line 101: \"\\x1b[2J" + QString(76, '7') + QChar(0x2026) + "\"";
    QTest::newRow("too few") << 48.0 << ellipsoidFile(1, 1, 1, 9, 4) << false
                             << "At least 10 measurements are needed for a calibration."
                             << "";
    QTest::newRow("too many") << 48.0 << QByteArray("1 2 3\n").repeated(500001) << false
                              << "The file holds more than 500000 measurements or 100 million lines."
                              << "";
}

void FenTavrinTest::calibrateRefusals()
{
    QFETCH(double, hm);
    QFETCH(QByteArray, content);
    QFETCH(bool, missing);
    QFETCH(QString, message);
    QFETCH(QString, details);

    chooseFile(writeRaw(ellipsoidFile(1.05, 0.95, 1, 500, 1)));
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    const QStringList before = labelTexts();
    QVERIFY(!before.first().isEmpty());

    if (content.isEmpty() && !missing) {
        delete dialog;
        dialog = new Fen_Tavrin; // nothing chosen: FileName still holds its hint
        dialog->show();
    } else {
        const QString path = writeRaw(content);
        chooseFile(missing ? path + ".gone" : path);
    }
    child<QDoubleSpinBox>("EarthField")->setValue(hm);
    shown.clear();
    click("buttonCalibrate");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Error");
    QCOMPARE(shown[0].text, message);
    QCOMPARE(shown[0].details, details);
    QCOMPARE(labelTexts(), QStringList(12, QString()));
}

void FenTavrinTest::calibrateFillsTwelveLabels()
{
    chooseFile(TAVRIN_SAMPLE);
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    QVERIFY(shown.isEmpty());
    const QStringList texts = labelTexts();
    QCOMPARE(texts, ResultTexts(CalibrateFile(48.0, TAVRIN_SAMPLE).parameters));
    for (const QString &t : texts)
        QVERIFY2(QRegularExpression("^-?\\d+\\.\\d{4}$").match(t).hasMatch(), qPrintable(t));
    click("buttonCalibrate");
    QCOMPARE(labelTexts(), texts);
}

void FenTavrinTest::outlierWarningComesBeforeTheLabelsChange()
{
    chooseFile(writeRaw(ellipsoidFile(1, 1, 1.4, 1000, 5)));
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Warning");
    QCOMPARE(shown[0].text, "Data may contain outliers as the shape fitting is different from an ellisoid.");
    QCOMPARE(shown[0].labelsAtThatMoment, QStringList(12, QString()));
    QVERIFY(!labelTexts().first().isEmpty());
}

void FenTavrinTest::numericalFailureKeepsTheProgramAndTheLabels()
{
    chooseFile(writeRaw(QByteArray("1 2 3\n").repeated(20)));
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Error");
    QCOMPARE(shown[0].text, "The calibration failed: the measurements do not determine an ellipsoid.");
    QCOMPARE(labelTexts(), QStringList(12, QString()));
    QVERIFY(dialog->isVisible());
}

// The library has no terminal of its own: the window gives it standard output.
void FenTavrinTest::numericalLibrarysTextGoesToStandardOutput()
{
    const QString huge = writeRaw(ellipsoidFile(1e298, 1e298, 1e298, 200, 5));
    QTemporaryFile out;
    QVERIFY(out.open());
    runWithStandardOutput(out.handle(), [&] { calibrate(huge, 48.0); });
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "The calibration failed: the measurements do not determine an ellipsoid.");
    QFile file(out.fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("ERROR: Too many iterations in hqr\n     in file eigen_unsym.h at line "),
             text.constData());
}

void FenTavrinTest::saveWritesTheLabelsTexts()
{
    const QString path = dir.filePath("params.txt");
    chooseFile(TAVRIN_SAMPLE);
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    ModalDialogs::setNextFileName(path);
    click("buttonSave");
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), ParametersFileBytes(labelTexts()));

    ModalDialogs::setNextFileName(QString()); // cancelled: silent, nothing written
    click("buttonSave");
    QVERIFY(shown.isEmpty());
}

void FenTavrinTest::saveFailureIsReported()
{
    chooseFile(TAVRIN_SAMPLE);
    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    ModalDialogs::setNextFileName(dir.filePath("no/such/folder/params.txt"));
    click("buttonSave");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Error");
    QCOMPARE(shown[0].text, "The calibration parameters could not be saved.");
    QCOMPARE(shown[0].details, "No such file or directory");
    QVERIFY(!QFile::exists(dir.filePath("no")));
}

void FenTavrinTest::quitCloseAndEscapeEndTheLoop_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Quit") << 0;
    QTest::newRow("close button") << 1;
    QTest::newRow("Escape") << 2;
}

void FenTavrinTest::quitCloseAndEscapeEndTheLoop()
{
    QFETCH(int, how);
    QTimer::singleShot(0, dialog, [this, how] {
        if (how == 0)
            click("buttonCancel");
        else if (how == 1)
            dialog->close();
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);
}

void FenTavrinTest::aboutAndHelpBoxes()
{
    struct Seen {
        QString title, text;
        QSize icon;
        int buttons = 0;
        bool links = false;
        QMessageBox::Icon kind = QMessageBox::NoIcon;
    } about, help;
    auto inspect = [](Seen *seen) {
        QTimer::singleShot(0, [seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->iconPixmap().size();
            seen->buttons = box->buttons().size();
            seen->kind = box->icon();
            const auto labels = box->findChildren<QLabel *>();
            seen->links = std::any_of(labels.begin(), labels.end(), [](QLabel *l) {
                return l->openExternalLinks() && l->text().contains("href");
            });
            box->accept();
        });
    };
    inspect(&about);
    click("buttonAbout");
    QVERIFY(about.text.startsWith(
        "This code computes the calibration parameters of a tri-axis magnetometer. It is "
        "based on the article titled <a href=\"https://doi.org/10.1109/GMAP.2004.1290055\"> "
        "Least squares ellipsoid specific fitting</a>.<br /><br />VERSION: 1.0, "));
    QVERIFY(about.text.contains("<a href=\"https://keld.example.org\">KELD Group</a>"));
    QVERIFY(about.text.endsWith("<a href=\"mailto:contact@keld.example.org\">contact</a> the authors."));
    QCOMPARE(about.icon, QSize(199, 82));
    QCOMPARE(about.buttons, 1);
    QVERIFY(about.links);

    inspect(&help);
    click("buttonHelp");
    QCOMPARE(help.title, "Instructions");
    QCOMPARE(help.kind, QMessageBox::Information);
    QVERIFY(help.text.startsWith(
        "1. Enter the norm of the local Earth magnetic Field. You can find this data <a "
        "href=\"https://www.ngdc.noaa.gov/geomag/calculators/magcalc.shtml\">here</a>."));
    QVERIFY(help.text.contains(
        "(sample.txt) is provided for testing the calibration.<br /><br />3. Press the button "
        "CALIBRATE."));
    QVERIFY(
        help.text.endsWith("following article: <a href=\"https://doi.org/10.1109/GMAP.2004.1290055\"> Least "
                           "squares ellipsoid specific fitting</a>"));
    QCOMPARE(help.buttons, 1);
    QVERIFY(help.links);
}

void FenTavrinTest::missingIconFileFallsBackToTheEmbeddedIcon()
{
    QVERIFY(!QFile::exists("../Tavrin-build-desktop/debug/Tavrin.ico"));
    QCOMPARE(dialog->windowIcon().availableSizes(), QList<QSize>{QSize(256, 256)});

    // Where the form's path resolves, that file's five images are used.
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("Tavrin-build-desktop/debug") && QDir(root.path()).mkpath("run"));
    QVERIFY(QFile::copy(TAVRIN_ICON, root.filePath("Tavrin-build-desktop/debug/Tavrin.ico")));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root.filePath("run"));
    Fen_Tavrin fromFile;
    QDir::setCurrent(previous);
    QCOMPARE(fromFile.windowIcon().availableSizes().size(), 5);
}

void FenTavrinTest::calibrate(const QString &path, double hm)
{
    chooseFile(path);
    child<QDoubleSpinBox>("EarthField")->setValue(hm);
    click("buttonCalibrate");
}

// Runs the action with fd as the process's standard output.
void FenTavrinTest::runWithStandardOutput(int fd, const std::function<void()> &action)
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
    action();
    dialog->drainEcho();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
}

void FenTavrinTest::resultsBelongToTheirHmAndFile()
{
    const QString other = writeRaw(ellipsoidFile(1, 1, 1, 200, 8));
    calibrate(TAVRIN_SAMPLE, 48.0);
    const QStringList results = labelTexts();
    QVERIFY(!results.first().isEmpty());
    QTest::keyClick(child<QDoubleSpinBox>("EarthField"), Qt::Key_Up);
    QCOMPARE(labelTexts(), QStringList(12, QString()));

    child<QDoubleSpinBox>("EarthField")->setValue(48.0);
    click("buttonCalibrate");
    QCOMPARE(labelTexts(), results);
    QCOMPARE(child<QLabel>("A_11")->toolTip(), results[3]);
    chooseFile(other);
    QCOMPARE(labelTexts(), QStringList(12, QString()));
    QCOMPARE(child<QLabel>("A_11")->toolTip(), QString());

    click("buttonCalibrate");
    QVERIFY(labelTexts() != results && !labelTexts().first().isEmpty());
    chooseFile(writeRaw(QByteArray("1 2 3\n").repeated(20)));
    click("buttonCalibrate");
    QCOMPARE(shown.last().text, "The calibration failed: the measurements do not determine an ellipsoid.");
    QCOMPARE(labelTexts(), QStringList(12, QString()));
}

void FenTavrinTest::saveWithoutResultsWritesNothing()
{
    const QString path = dir.filePath("nothing.txt");
    ModalDialogs::setNextFileName(path);
    click("buttonSave");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "There are no calibration parameters to save yet: press Calibrate first.");
    QVERIFY(!QFile::exists(path));

    calibrate(TAVRIN_SAMPLE, 48.0);
    child<QDoubleSpinBox>("EarthField")->setValue(50.0);
    click("buttonSave");
    QCOMPARE(shown.size(), 2);
    QVERIFY(!QFile::exists(path));
}

void FenTavrinTest::cancelledOpenKeepsTheChoice()
{
    calibrate(TAVRIN_SAMPLE, 48.0);
    const QStringList results = labelTexts();
    chooseFile(QString());
    QCOMPARE(child<QLabel>("FileName")->text(), TAVRIN_SAMPLE);
    QCOMPARE(labelTexts(), results);
    click("buttonCalibrate");
    QVERIFY(shown.isEmpty());
    QCOMPARE(labelTexts(), results);
}

void FenTavrinTest::exactDataGiveTheTruth()
{
    // Points exactly on the ellipsoid h = A0 u + b0, |u| = 48, written to 17 digits.
    const QByteArray text = asFileText(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.0, 2));
    calibrate(writeRaw(text), 48.0);
    QCOMPARE(labelTexts(), QStringList({"12.5000", "-7.3000", "20.1000", "1.0800", "0.0500", "-0.0300",
                                        "0.0500", "0.9400", "0.0400", "-0.0300", "0.0400", "1.0200"}));
}

void FenTavrinTest::widestNumbersShowWhole()
{
    // A bias of millions at the top of Hm's range.
    const Truth millions = sphereTruth(1.0, -7304920.8575, -7304920.8575, -7304920.8575);
    const QByteArray text = asFileText(ellipsoidPoints(millions, 999999.999, 500, 0.0, 6));
    calibrate(writeRaw(text), 999999.999);
    QVERIFY(dialog->layout()->totalMinimumSize().width() <= dialog->width());
    QApplication::processEvents();
    for (const char *name : resultNames) {
        QLabel *label = child<QLabel>(name);
        QCOMPARE(label->toolTip(), label->text());
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->text()));
        QCOMPARE(label->alignment() & Qt::AlignRight, Qt::AlignRight);
    }
    QVERIFY(child<QLabel>("Bias_1")->text().startsWith("-7304920."));

    // A larger font: the fields grow with it.
    QFont big = QApplication::font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    QApplication::setFont(big);
    Fen_Tavrin large;
    large.show();
    QApplication::processEvents();
    QLabel *bias = large.findChild<QLabel *>("Bias_1");
    QVERIFY(bias->contentsRect().width() >= bias->fontMetrics().horizontalAdvance("-7304920.8575"));
    QApplication::setFont(QFont());
}

void FenTavrinTest::numbersThatDoNotFitLoseDecimalsOnly()
{
    calibrate(TAVRIN_SAMPLE, 48.0);
    QLabel *a = child<QLabel>("A_11");
    a->setFixedWidth(a->fontMetrics().horizontalAdvance("-1.0") + 2);
    QApplication::processEvents();
    QCOMPARE(a->alignment() & (Qt::AlignLeft | Qt::AlignRight), Qt::AlignLeft);
    a->setMinimumWidth(0);
    a->setMaximumWidth(QWIDGETSIZE_MAX);
    a->setFixedWidth(200);
    QApplication::processEvents();
    QCOMPARE(a->alignment() & (Qt::AlignLeft | Qt::AlignRight), Qt::AlignRight);
}

void FenTavrinTest::longPathShowsItsFileName()
{
    const QString deep = dir.filePath(QString("folder/").repeated(30) + "end-of-the-path.txt");
    chooseFile(deep);
    QLabel *name = child<QLabel>("FileName");
    QApplication::processEvents();
    QCOMPARE(name->text(), deep);
    QCOMPARE(name->toolTip(), deep);
    QCOMPARE(name->alignment() & (Qt::AlignLeft | Qt::AlignRight), Qt::AlignRight);
    QVERIFY(dialog->width() < 1000);
    chooseFile("/short.txt");
    QApplication::processEvents();
    QCOMPARE(name->alignment() & (Qt::AlignLeft | Qt::AlignRight), Qt::AlignLeft);
}

void FenTavrinTest::echoWritesOneNewlinePerLineRead()
{
    QTemporaryFile out;
    QVERIFY(out.open());
    runWithStandardOutput(out.handle(), [this] {
        calibrate(writeRaw("1 2 3\n\n4 5 6\n7 8 9 10\n1 1 1\n"), 48.0); // refused at line 4
        calibrate(TAVRIN_SAMPLE, 48.0);
    });
    QFile written(out.fileName());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray(3 + 2000, '\n'));
}

void FenTavrinTest::closedOrStuckOutputNeverHoldsTheWindow()
{
    // Nobody reads: the pipe fills and the writer waits, the window does not.
    int ends[2];
    QVERIFY(::pipe(ends) == 0);
    const QString many = writeRaw(QByteArray(200000, '\n') + QByteArray(ellipsoidFile(1, 1, 1, 50, 2)));
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(ends[1], STDOUT_FILENO);
    calibrate(many, 48.0);
    calibrate(many, 48.0);
    QVERIFY(!labelTexts().first().isEmpty());
    // The reader goes away: the rest fails quietly, and the program lives on.
    ::close(ends[0]);
    for (int k = 0; k < 3; k++)
        click("buttonCalibrate");
    dialog->drainEcho();
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(ends[1]);
    QVERIFY(dialog->isVisible());
    QVERIFY(!labelTexts().first().isEmpty());
}

void FenTavrinTest::startsWithoutAWindowForHelpVersionAndNoDisplay()
{
    const auto run = [](const QStringList &arguments, const QString &display = {}) {
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        p.setProcessEnvironment(environment);
        p.start(TAVRIN_APP, arguments);
        p.waitForFinished(10000);
        return std::make_tuple(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                               QString(p.readAllStandardOutput()), QString(p.readAllStandardError()));
    };
    const auto [helpStatus, help, helpErrors] = run({"--help"});
    QCOMPARE(helpStatus, 0);
    QVERIFY(help.startsWith("Usage: tavrin [Qt options]\n"));
    QVERIFY(help.contains("tavrin-cli --help"));
    const auto [versionStatus, version, versionErrors] = run({"--version"});
    QCOMPARE(versionStatus, 0);
    QCOMPARE(version, "tavrin 1.0\n");
    const auto [status, out, errors] = run({});
    QCOMPARE(status, 1);
    QCOMPARE(out, QString());
    QVERIFY(errors.startsWith("tavrin: needs a graphical display"));
    QCOMPARE(errors.count('\n'), 1);

    // A display that is named but not there: one line and 1, not a core dump.
    int number = 4917;
    while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(number)))
        number++;
    const QString unreachable = QString(":%1").arg(number);
    for (const auto &[arguments, display] :
         {std::make_pair(QStringList(), unreachable),
          std::make_pair(QStringList{"-display", unreachable}, QString()),
          std::make_pair(QStringList{"-display", unreachable}, QString(":0"))}) {
        const auto [unreachableStatus, unreachableOut, unreachableErrors] = run(arguments, display);
        QCOMPARE(unreachableStatus, 1);
        QCOMPARE(unreachableOut, QString());
        QCOMPARE(unreachableErrors, "tavrin: cannot connect to the display \"" + unreachable +
                                        "\"; without one, use tavrin-cli, for example: tavrin-cli --hm 48 "
                                        "data.txt\n");
    }
}

void FenTavrinTest::saveOntoTheRawFileIsRefused()
{
    const QString raw = dir.filePath("readable.txt");
    QVERIFY(QFile::copy(TAVRIN_SAMPLE, raw));
    QVERIFY(QFile::link(raw, dir.filePath("symbolic.txt")));
    QVERIFY(::link(QFile::encodeName(raw).constData(),
                   QFile::encodeName(dir.filePath("hard.txt")).constData()) == 0);
    QFile sample(TAVRIN_SAMPLE);
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray measurements = sample.readAll();
    calibrate(raw, 48.0);
    const QStringList results = labelTexts();
    QVERIFY(!results.first().isEmpty());

    for (const QString &target : {raw, dir.filePath("symbolic.txt"), dir.filePath("hard.txt")}) {
        shown.clear();
        ModalDialogs::setNextFileName(target);
        click("buttonSave");
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, "Error");
        QCOMPARE(shown[0].text, "The calibration parameters could not be saved.");
        QVERIFY2(shown[0].details.contains("raw data file"), qPrintable(shown[0].details));
        QFile after(raw);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), measurements);
        QCOMPARE(labelTexts(), results);
    }
    // Another file is saved as always.
    const QString params = dir.filePath("params.txt");
    shown.clear();
    ModalDialogs::setNextFileName(params);
    click("buttonSave");
    QVERIFY(shown.isEmpty());
    QFile saved(params);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), ParametersFileBytes(results));
}

void FenTavrinTest::aPointIsTheDecimalPointInEveryLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("hm");
    QTest::newRow("de_DE, point") << "de_DE"
                                  << "48.5" << 48.5;
    QTest::newRow("de_DE, comma") << "de_DE"
                                  << "48,5" << 48.5;
    QTest::newRow("de_DE, thousands") << "de_DE"
                                      << "48.000" << 48.0;
    QTest::newRow("fr_FR, point") << "fr_FR"
                                  << "0.25" << 0.25;
    QTest::newRow("en_US, point") << "en_US"
                                  << "48.5" << 48.5;
    QTest::newRow("en_US, no group separator") << "en_US"
                                               << "1,5" << 15.0;
    QTest::newRow("C, point") << "C"
                              << "1234.125" << 1234.125;
}

void FenTavrinTest::aPointIsTheDecimalPointInEveryLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(double, hm);
    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    Fen_Tavrin local;
    QLocale::setDefault(previous);
    local.show();
    QVERIFY(QTest::qWaitForWindowExposed(&local));
    auto *field = local.findChild<QDoubleSpinBox *>("EarthField");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, typed);
    QCOMPARE(field->value(), hm);
    field->setValue(48000.5);
    QVERIFY2(!field->text().contains(QLocale(locale).groupSeparator()), qPrintable(field->text()));
}

void FenTavrinTest::hmInAnotherUnitIsWarned_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<double>("hm");
    QTest::addColumn<QString>("message"); // empty: no warning
    const QString unit = "Hm must be in the unit of the measurements.";
    const QString zeros = " Some results are not zero but show as zero with four decimals.";
    QTest::newRow("uT data, Hm in nT")
        << asFileText(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.0, 3)) << 48000.0
        << "Hm is 48000, and the measurements lie at a median distance of 49.2884 from the bias b: " + unit +
               zeros;
    Truth tesla = sampleTruth;
    for (Doub &b : tesla.b0)
        b *= 1e-6;
    QTest::newRow("T data, Hm in uT")
        << asFileText(ellipsoidPoints(tesla, 48e-6, 2000, 0.0, 3)) << 48.0
        << "Hm is 48, and the measurements lie at a median distance of 4.92884e-05 from the bias b: " + unit +
               zeros;
    QTest::newRow("a mT bias lost in four decimals")
        << asFileText(ellipsoidPoints(sphereTruth(1, 0.00003, 0.01, 0.02), 0.048, 500, 0, 4)) << 0.048
        << "Hm is 0.048, and the measurements lie at a median distance of 0.048 from the bias b: " + unit +
               zeros;
    QTest::newRow("a tiny misalignment is no loss")
        << asFileText(
               ellipsoidPoints(rotatedEllipsoid(1, 1.02, 0.98, 0.00002, 0, 0, 5, -3, 8), 48.0, 500, 0, 4))
        << 48.0 << "";
}

void FenTavrinTest::hmInAnotherUnitIsWarned()
{
    QFETCH(QByteArray, content);
    QFETCH(double, hm);
    QFETCH(QString, message);
    calibrate(writeRaw(content), hm);
    QVERIFY(!labelTexts().first().isEmpty());
    if (message.isEmpty()) {
        QVERIFY2(shown.isEmpty(), shown.isEmpty() ? "" : qPrintable(shown[0].text));
        return;
    }
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Calibrate");
    QCOMPARE(shown[0].text, message);
    // The results are shown as computed, warning or not.
    QCOMPARE(shown[0].labelsAtThatMoment, labelTexts());
    QCOMPARE(labelTexts(), ResultTexts(CalibrateFile(hm, child<QLabel>("FileName")->text()).parameters));
}

void FenTavrinTest::openOffersAllFiles()
{
    QStringList filters;
    QTimer::singleShot(0, [&filters] {
        auto *fileDialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(fileDialog);
        filters = fileDialog->nameFilters();
        fileDialog->reject();
    });
    click("buttonOpenFile");
    QCOMPARE(filters, QStringList({"Raw Data (*.txt)", "All files (*)"}));

    // A file picked with it is read in the strict format, and its refusal names the line.
    const QString log = dir.filePath("log.csv");
    writeFile(log, "t,x,y,z\n0,48.47,27.79,22.26\n");
    calibrate(log, 48.0);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, "Please, check the format of the raw data file.");
    QCOMPARE(shown[0].details, "Line 1: \"t,x,y,z\"");
}

void FenTavrinTest::resultsCanBeSelectedAndCopied()
{
    calibrate(TAVRIN_SAMPLE, 48.0);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QClipboard *clipboard = QApplication::clipboard();
    for (const char *name : resultNames) {
        QLabel *label = child<QLabel>(name);
        const QString text = label->text();
        // The mouse: a drag across the field selects it; the keyboard copies.
        clipboard->clear();
        const QRect inside = label->contentsRect();
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(inside.left() + 1, inside.center().y()));
        QTest::mouseMove(label, QPoint(inside.right() - 1, inside.center().y()));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(inside.right() - 1, inside.center().y()));
        QCOMPARE(label->selectedText(), text);
        QTest::keySequence(label, QKeySequence::Copy);
        QCOMPARE(clipboard->text(), text);
        // The keyboard alone, in a field that has the focus.
        clipboard->clear();
        label->setSelection(0, 0);
        QTest::keySequence(label, QKeySequence::SelectAll);
        QTest::keySequence(label, QKeySequence::Copy);
        QCOMPARE(clipboard->text(), text);
    }
    // Selectable, the fields look as they did: a field unselected draws the
    // same pixels as one that cannot be selected at all.
    QLabel *field = child<QLabel>("A_11");
    field->setSelection(0, 0);
    field->clearFocus();
    const QImage selectable = field->grab().toImage();
    field->setTextInteractionFlags(Qt::NoTextInteraction);
    QCOMPARE(selectable, field->grab().toImage());
    QCOMPARE(field->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(FenTavrinTest)
#include "fen_tavrin_test.moc"
