#include "fen_tavrin.h"
#include "ui_fen_tavrin.h"

#include "calibration.h"
#include "hmunit.h"
#include "modaldialogs.h"
#include "nr3.h"
#include "parametersfile.h"
#include "pipeline.h"
#include "printable.h"
#include "samefile.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QResizeEvent>

namespace tavrin {

namespace {

const char *articleLink =
    "<a href=\"https://doi.org/10.1109/GMAP.2004.1290055\"> Least squares ellipsoid specific "
    "fitting</a>";

// The widest result there can be: Hm at the top of its range, a bias of
// millions. Every result field is wide enough for it in its own font.
const char *widestResult = "-7304920.8575";

// A text that fits is right-aligned, as the form lays it out; one that does
// not keeps its sign and leading digits and loses decimals on the right. A
// path that does not fit shows its end, the file's name.
void alignToFit(QLabel *label, Qt::Alignment fitting, Qt::Alignment tooWide)
{
    const bool fits = label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
    label->setAlignment((fits ? fitting : tooWide) | Qt::AlignVCenter);
}

void alignResult(QLabel *label)
{
    alignToFit(label, Qt::AlignRight, Qt::AlignLeft);
}

void alignFileName(QLabel *label)
{
    alignToFit(label, Qt::AlignLeft, Qt::AlignRight);
}

// Why a file was refused, beyond the box's text: the line and its text for
// a format error, the system's reason otherwise.
QString refusalDetails(const CalibrationRun &run)
{
    if (run.error == CalibrationError::BadFormat)
        return QCoreApplication::translate("Fen_Tavrin", "Line %1: \"%2\"")
            .arg(run.raw.badLineNumber)
            .arg(printable(run.raw.badLine));
    if (const QString detail = failureDetail(run); !detail.isEmpty())
        return detail;
    return run.raw.reason;
}

} // namespace

Fen_Tavrin::Fen_Tavrin(QWidget *parent) : QDialog(parent), ui(new Ui::Fen_Tavrin)
{
    ui->setupUi(this);
    // The form names its icon by a path relative to the working directory;
    // where that finds nothing, show the embedded one (on Windows the
    // executable's icon resource would serve, elsewhere there is none).
    if (windowIcon().availableSizes().isEmpty())
        setWindowIcon(QIcon(":/images/tavrin.png"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    connect(ui->buttonAbout, &QPushButton::clicked, this, &Fen_Tavrin::OpenAbout);
    connect(ui->buttonOpenFile, &QPushButton::clicked, this, &Fen_Tavrin::OpenFile);
    connect(ui->buttonSave, &QPushButton::clicked, this, &Fen_Tavrin::SaveFile);
    connect(ui->buttonCalibrate, &QPushButton::clicked, this, &Fen_Tavrin::Calibrate);
    connect(ui->buttonCancel, &QPushButton::clicked, qApp, &QCoreApplication::quit);
    connect(ui->buttonHelp, &QPushButton::clicked, this, &Fen_Tavrin::OpenHelp);
    // Results belong to the Hm and the file they were computed from.
    connect(ui->EarthField, &QDoubleSpinBox::valueChanged, this, &Fen_Tavrin::clearResults);
    // In a locale whose group separator is a point, a typed 48.5 would read
    // as 485: Hm knows no group separators, and a point is its decimal point.
    QLocale hmLocale = ui->EarthField->locale();
    hmLocale.setNumberOptions(hmLocale.numberOptions() | QLocale::OmitGroupSeparator |
                              QLocale::RejectGroupSeparator);
    ui->EarthField->setLocale(hmLocale);
    ui->EarthField->installEventFilter(this);

    for (QLabel *label : resultLabels()) {
        label->setMaximumWidth(QWIDGETSIZE_MAX);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QLatin1String(widestResult)) +
                               2 * label->margin() + 2 * label->frameWidth() + 6);
        label->installEventFilter(this);
        // Selectable as the text it is, to be copied; it looks the same.
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }
    // A long path must not widen the window; its end shows instead.
    ui->FileName->setSizePolicy(QSizePolicy::Ignored, ui->FileName->sizePolicy().verticalPolicy());
    ui->FileName->installEventFilter(this);
}

Fen_Tavrin::~Fen_Tavrin()
{
    delete ui;
}

QString Fen_Tavrin::OpenFile()
{
    const QString fileName =
        ModalDialogs::getOpenFileName(this, tr("Open Raw Data File"), tr("Raw Data (*.txt);;All files (*)"));
    // A cancelled dialog keeps the file chosen before, and its results.
    if (fileName.isEmpty())
        return ui->FileName->text();
    ui->FileName->setText(fileName);
    ui->FileName->setToolTip(fileName);
    alignFileName(ui->FileName);
    clearResults();
    return fileName;
}

void Fen_Tavrin::Calibrate()
{
    // The window shows the numerical library's error text on standard output.
    const NrErrorSink libraryErrors(stdout);
    CalibrationOptions options;
    options.hm = ui->EarthField->value();
    options.assess = false;
    const CalibrationResult result = runCalibration(Input::file(ui->FileName->text()), options);
    // The results change only once the warnings are closed.
    for (const QString &warning : result.warnings)
        ModalDialogs::warning(this, tr("Warning"), warning);
    const CalibrationRun &run = result.run;
    echo.add(run.raw.linesRead);
    if (run.error) {
        clearResults();
        showError(errorMessage(*run.error), refusalDetails(run));
        return;
    }
    const QStringList texts = ResultTexts(run.parameters);
    showResults(texts);
    const HmUnitCheck unit = CheckHmUnit(run.raw.points(), run.parameters, options.hm, texts);
    if (unit.warns())
        ModalDialogs::warning(this, tr("Calibrate"), hmUnitWarningMessage(unit));
}

void Fen_Tavrin::SaveFile()
{
    if (ui->Bias_1->text().isEmpty()) {
        ModalDialogs::information(
            this, tr("Output File"),
            tr("There are no calibration parameters to save yet: press Calibrate first."));
        return;
    }
    const QString saveFileName =
        ModalDialogs::getSaveFileName(this, tr("Output File"), tr("Calibration Parameters (*.txt)"));
    if (saveFileName.isEmpty())
        return;
    if (IsSameFile(saveFileName, ui->FileName->text())) {
        showError(errorMessage(CalibrationError::CannotSave),
                  tr("It is the raw data file of these results, whose measurements it would replace: "
                     "choose another file."));
        return;
    }
    QStringList texts;
    for (const QLabel *label : resultLabels())
        texts << label->text();
    QString reason;
    if (!WriteParametersFile(saveFileName, texts, &reason))
        showError(errorMessage(CalibrationError::CannotSave), reason);
}

void Fen_Tavrin::OpenAbout()
{
    QMessageBox aboutBox(this);
    aboutBox.setText(
        tr("This code computes the calibration parameters of a tri-axis magnetometer. It is based on "
           "the article titled ") +
        articleLink +
        tr(".<br /><br />VERSION: 1.0, <a href=\"https://keld.example.org\">KELD Group</a><br /><br />"
           "CONTACT: For any question, you are invited to <a "
           "href=\"mailto:contact@keld.example.org\">contact</a> the authors."));
    aboutBox.setIconPixmap(QPixmap(":/images/KELDLogo.png"));
    aboutBox.setTextInteractionFlags(Qt::TextBrowserInteraction);
    aboutBox.exec();
}

void Fen_Tavrin::OpenHelp()
{
    const QString text =
        tr("1. Enter the norm of the local Earth magnetic Field. You can find this data <a "
           "href=\"https://www.ngdc.noaa.gov/geomag/calculators/magcalc.shtml\">here</a>.<br /><br />"
           "2. Choose the text file containg the tri-axis measurements in a column format. A sample file "
           "(sample.txt) is provided for testing the calibration.<br /><br />"
           "3. Press the button CALIBRATE.<br /><br />"
           "4. If needed, save the calibration parameters in a text file by pressing the SAVE button.<br "
           "/><br />"
           "5. The calibration parameters are computed based on the following article: ") +
        articleLink;
    QMessageBox helpBox(QMessageBox::Information, tr("Instructions"), text, QMessageBox::Ok, this);
    helpBox.setTextFormat(Qt::RichText);
    helpBox.setTextInteractionFlags(Qt::TextBrowserInteraction);
    helpBox.exec();
}

QList<QLabel *> Fen_Tavrin::resultLabels() const
{
    return {ui->Bias_1, ui->Bias_2, ui->Bias_3, ui->A_11, ui->A_12, ui->A_13,
            ui->A_21,   ui->A_22,   ui->A_23,   ui->A_31, ui->A_32, ui->A_33};
}

void Fen_Tavrin::showResults(const QStringList &texts)
{
    const QList<QLabel *> labels = resultLabels();
    for (int i = 0; i < labels.size(); ++i) {
        labels[i]->setText(texts[i]);
        labels[i]->setToolTip(texts[i]);
        alignResult(labels[i]);
    }
}

void Fen_Tavrin::clearResults()
{
    for (QLabel *label : resultLabels()) {
        label->clear();
        label->setToolTip(QString());
    }
}

bool Fen_Tavrin::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->EarthField && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString decimalPoint = ui->EarthField->locale().decimalPoint();
        if (key->text() == QLatin1String(".") && decimalPoint != key->text()) {
            QKeyEvent localPoint(QEvent::KeyPress, Qt::Key(decimalPoint.at(0).unicode()), key->modifiers(),
                                 decimalPoint);
            QCoreApplication::sendEvent(ui->EarthField, &localPoint);
            return true;
        }
    }
    if (event->type() == QEvent::Resize) {
        if (watched == ui->FileName)
            alignFileName(ui->FileName);
        else if (QLabel *label = qobject_cast<QLabel *>(watched))
            alignResult(label);
    }
    return QDialog::eventFilter(watched, event);
}

void Fen_Tavrin::showError(const QString &text, const QString &details)
{
    ModalDialogs::warning(this, tr("Error"), text, details);
}

} // namespace tavrin
