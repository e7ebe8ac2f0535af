#include "fen_tavrin.h"
#include "ui_fen_tavrin.h"

#include "calibration.h"
#include "modaldialogs.h"
#include "parametersfile.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>

namespace {

const char *articleLink = "<a href=\"https://doi.org/10.1109/GMAP.2004.1290055\"> Least squares ellipsoid specific "
                          "fitting</a>";

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
}

Fen_Tavrin::~Fen_Tavrin() { delete ui; }

QString Fen_Tavrin::OpenFile()
{
    const QString m_file = ModalDialogs::getOpenFileName(this, tr("Open Raw Data File"), tr("Raw Data (*.txt)"));
    ui->FileName->setText(m_file);
    return m_file;
}

void Fen_Tavrin::Calibrate()
{
    const double Hm = ui->EarthField->value();
    const CalibrationRun run = CalibrateFile(Hm, ui->FileName->text(), LineEcho::Newlines, [this](const EllipsoidFit &fit) {
        if (fit.outlierWarning)
            ModalDialogs::warning(this, tr("Warning"), outlierWarningMessage());
    });
    if (run.error) {
        const QString &reason = run.raw.reason;
        showError(errorMessage(*run.error) + (reason.isEmpty() ? QString() : '\n' + reason));
        return;
    }
    const QStringList texts = ResultTexts(run.parameters);
    const QList<QLabel *> labels = resultLabels();
    for (int i = 0; i < labels.size(); ++i)
        labels[i]->setText(texts[i]);
}

void Fen_Tavrin::SaveFile()
{
    const QString save_file =
        ModalDialogs::getSaveFileName(this, tr("Output File"), tr("Calibration Parameters (*.txt)"));
    if (save_file.isEmpty())
        return;
    QStringList texts;
    for (const QLabel *label : resultLabels())
        texts << label->text();
    if (!WriteParametersFile(save_file, texts))
        showError(errorMessage(CalibrationError::CannotSave));
}

void Fen_Tavrin::OpenAbout()
{
    QMessageBox about_box(this);
    about_box.setText(tr("This code computes the calibration parameters of a tri-axis magnetometer. It is based on "
                         "the article titled ") +
                      articleLink +
                      tr(".<br /><br />VERSION: 1.0, <a href=\"https://keld.example.org\">KELD Group</a><br /><br />"
                         "CONTACT: For any question, you are invited to <a "
                         "href=\"mailto:contact@keld.example.org\">contact</a> the authors."));
    about_box.setIconPixmap(QPixmap(":/images/KELDLogo.png"));
    about_box.setTextInteractionFlags(Qt::TextBrowserInteraction);
    about_box.exec();
}

void Fen_Tavrin::OpenHelp()
{
    const QString text =
        tr("1. Enter the norm of the local Earth magnetic Field. You can find this data <a "
           "href=\"https://www.ngdc.noaa.gov/geomag/calculators/magcalc.shtml\">here</a>.<br /><br />"
           "2. Choose the text file containg the tri-axis measurements in a column format. A sample file "
           "(sample.txt) is provided for testing the calibration.<br /><br />"
           "3. Press the button CALIBRATE.<br /><br />"
           "4. If needed, save the calibration parameters in a text file by pressing the SAVE button.<br /><br />"
           "5. The calibration parameters are computed based on the following article: ") +
        articleLink;
    QMessageBox help_box(QMessageBox::Information, tr("Instructions"), text, QMessageBox::Ok, this);
    help_box.setTextFormat(Qt::RichText);
    help_box.setTextInteractionFlags(Qt::TextBrowserInteraction);
    help_box.exec();
}

QList<QLabel *> Fen_Tavrin::resultLabels() const
{
    return {ui->Bias_1, ui->Bias_2, ui->Bias_3, ui->A_11, ui->A_12, ui->A_13,
            ui->A_21,   ui->A_22,   ui->A_23,   ui->A_31, ui->A_32, ui->A_33};
}

void Fen_Tavrin::showError(const QString &text) { ModalDialogs::warning(this, tr("Error"), text); }
