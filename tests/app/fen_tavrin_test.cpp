#include "calibration.h"
#include "fen_tavrin.h"
#include "modaldialogs.h"
#include "parametersfile.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>
#include <random>

namespace {

struct Shown {
    QString title, text;
    QStringList labelsAtThatMoment;
};

const char *resultNames[] = {"Bias_1", "Bias_2", "Bias_3", "A_11", "A_12", "A_13",
                             "A_21",   "A_22",   "A_23",   "A_31", "A_32", "A_33"};

QByteArray ellipsoidFile(double sx, double sy, double sz, int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> g;
    QByteArray out;
    for (int k = 0; k < n; k++) {
        double u[3] = {g(rng), g(rng), g(rng)};
        double r = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        out += QByteArray::number(5 + 48 * sx * u[0] / r + 0.05 * g(rng)) + '\t' +
               QByteArray::number(-3 + 48 * sy * u[1] / r + 0.05 * g(rng)) + '\t' +
               QByteArray::number(8 + 48 * sz * u[2] / r + 0.05 * g(rng)) + '\n';
    }
    return out;
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
    void saveWritesTheLabelsTexts();
    void saveFailureIsReported();
    void quitCloseAndEscapeEndTheLoop_data();
    void quitCloseAndEscapeEndTheLoop();
    void aboutAndHelpBoxes();
    void missingIconFileFallsBackToTheEmbeddedIcon();

private:
    template <class T = QWidget> T *child(const char *name) { return dialog->findChild<T *>(name); }
    QStringList labelTexts();
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    void chooseFile(const QString &path);
    QString writeRaw(const QByteArray &bytes);

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
    ModalDialogs::setWarningHandler([this](const QString &title, const QString &text) {
        shown.append({title, text, labelTexts()});
    });
}

void FenTavrinTest::cleanup()
{
    delete dialog;
    dialog = nullptr;
    ModalDialogs::setWarningHandler({});
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
    QCOMPARE(dialog->toolTip(), "This program computes the calibrationparameters of a tri-axis magnetometer.");
    QCOMPARE(dialog->size(), QSize(523, 533));
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
    QCOMPARE(plain("Input_label1_2"), "(Format: \tMagX1\tMagY1\tMagZ1\n \tMagX2\tMagY2\tMagZ2\n\t...\t...\t...)");
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
        QCOMPARE(child<QLabel>(name)->alignment(), Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
        QCOMPARE(child<QLabel>(name)->maximumWidth(), 80);
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
    chooseFile(QString());
    QCOMPARE(child<QLabel>("FileName")->text(), QString());
    QVERIFY(shown.isEmpty());
}

void FenTavrinTest::calibrateRefusals_data()
{
    QTest::addColumn<double>("hm");
    QTest::addColumn<QByteArray>("content"); // empty: no file is chosen at all
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("message");
    const QByteArray good = ellipsoidFile(1, 1, 1, 100, 3);
    QTest::newRow("Hm 0, no file") << 0.0 << QByteArray() << false << "The value of Hm must be non zero!";
    QTest::newRow("Hm 0, good file") << 0.0 << good << false << "The value of Hm must be non zero!";
    const QString missingFile = "The file does not exists!\nNo such file or directory";
    QTest::newRow("hint is not a path") << 48.0 << QByteArray() << false << missingFile;
    QTest::newRow("missing file") << 48.0 << good << true << missingFile;
    const QString format = "Please, check the format of the raw data file.";
    QTest::newRow("four numbers") << 48.0 << good + "1 2 3 4\n" << false << format;
    QTest::newRow("two numbers") << 48.0 << good + "1 2\n" << false << format;
    QTest::newRow("commas") << 48.0 << good + "12.5,-3.25,40\n" << false << format;
    QTest::newRow("header line") << 48.0 << "MagX MagY MagZ\n" + good << false << format;
    QTest::newRow("nan") << 48.0 << good + "nan 1 2\n" << false << format;
    QTest::newRow("too few") << 48.0 << ellipsoidFile(1, 1, 1, 9, 4) << false
                             << "At least 10 measurements are needed for a calibration.";
    QTest::newRow("too many") << 48.0 << QByteArray("1 2 3\n").repeated(500001) << false
                              << "The file holds more than 500000 measurements or 100 million lines.";
}

void FenTavrinTest::calibrateRefusals()
{
    QFETCH(double, hm);
    QFETCH(QByteArray, content);
    QFETCH(bool, missing);
    QFETCH(QString, message);

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
    const QStringList expectedLabels = content.isEmpty() && !missing ? QStringList(12, QString()) : before;
    shown.clear();
    click("buttonCalibrate");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Error");
    QCOMPARE(shown[0].text, message);
    QCOMPARE(labelTexts(), expectedLabels);
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

void FenTavrinTest::saveWritesTheLabelsTexts()
{
    const QString path = dir.filePath("params.txt");
    ModalDialogs::setNextFileName(path);
    click("buttonSave");
    QFile before(path);
    QVERIFY(before.open(QIODevice::ReadOnly));
    QCOMPARE(before.readAll(), ParametersFileBytes(QStringList(12, QString())));
    before.close();

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
    ModalDialogs::setNextFileName(dir.filePath("no/such/folder/params.txt"));
    click("buttonSave");
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, "Error");
    QCOMPARE(shown[0].text, "The calibration parameters could not be saved.");
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
    QVERIFY(about.text.startsWith("This code computes the calibration parameters of a tri-axis magnetometer. It is "
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
    QVERIFY(help.text.startsWith("1. Enter the norm of the local Earth magnetic Field. You can find this data <a "
                                 "href=\"https://www.ngdc.noaa.gov/geomag/calculators/magcalc.shtml\">here</a>."));
    QVERIFY(help.text.contains("(sample.txt) is provided for testing the calibration.<br /><br />3. Press the button "
                               "CALIBRATE."));
    QVERIFY(help.text.endsWith("following article: <a href=\"https://doi.org/10.1109/GMAP.2004.1290055\"> Least "
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

QTEST_MAIN(FenTavrinTest)
#include "fen_tavrin_test.moc"
