#include "mainwindow.h"
#include "atomicfile.h"
#include "calibrationtask.h"
#include "columnpicker.h"
#include "comparedialog.h"
#include "exportdialog.h"
#include "exports.h"
#include "fieldunit.h"
#include "jsonreport.h"
#include "printable.h"
#include "resultstext.h"
#include "samefile.h"
#include "savedwork.h"
#include "textreport.h"
#include "ui_mainwindow.h"
#include "viewdata.h"
#include "viewwidget.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>

#include <algorithm>

namespace tavrin {

namespace {

constexpr int RecentFiles = 8;

// The one place where a refused file becomes the message a user reads: the
// file, the line where it applies, the text every front end shows, and the
// system's reason where there is one.
QString refusalMessage(const CalibrationResult &result)
{
    const CalibrationRun &run = result.run;
    const CalibrationError error = *run.error;
    QString where = printable(result.path);
    if (error == CalibrationError::BadFormat || error == CalibrationError::TooManyLines)
        where += QLatin1Char(':') + QString::number(run.raw.badLineNumber);
    QString message = where + QStringLiteral(": ") + errorMessage(error);
    if (!run.raw.reason.isEmpty())
        message += QStringLiteral(" (%1)").arg(printable(run.raw.reason));
    if (error == CalibrationError::BadFormat)
        message += QStringLiteral(" (line: \"%1\")").arg(printable(run.raw.badLine));
    if (const QString detail = failureDetail(run); !detail.isEmpty())
        message += ' ' + detail;
    return message;
}

// What an export says when the user declined to write it.
QString notWritten(const QString &path)
{
    return QCoreApplication::translate("MainWindow", "%1 was not written.").arg(printable(path));
}

// The options of a calibration the window starts, Hm found. When Hm comes
// from a place, its inclination settles on which side of the horizon the
// field points, for the axes check against an accelerometer.
CalibrationOptions calibrationOptions(double hm, FitModel fit, const HmSource &source)
{
    CalibrationOptions options;
    options.hm = hm;
    options.fit = fit;
    options.resamples = DefaultResamples;
    if (source.place)
        if (const Expected<FieldLookup> lookup = lookUpField(*source.place, source.date))
            options.placeInclinationDegrees = lookup->field.I;
    return options;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setUpChoices();
    setUpStatusBar();
    setUpMenus();
    setUpCapture();
    setUpLayout();
    setUpKeyboard();
    connectActions();
    readSettings();
    keepSettingsAsTheyChange();
    showField();
    watchSettings();
    // A window nobody sees cannot be asked: it writes nothing that warns.
    confirm = [this](const QString &title, const QString &question) {
        if (!isVisible())
            return false;
        QMessageBox box(QMessageBox::Warning, title, question, QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    showStaleness();
}

MainWindow::~MainWindow() = default;

void MainWindow::setUpChoices()
{
    for (const QString &unit : fieldUnits())
        ui->hmUnit->addItem(unit.isEmpty() ? tr("no unit") : unit, unit);
    // Auto first, the workbench's default, then the table's own order.
    ui->fitModel->addItem(QLatin1String(fitModelName(FitModel::Auto)), int(FitModel::Auto));
    for (const FitModelInfo &info : FitModels())
        if (info.model != FitModel::Auto)
            ui->fitModel->addItem(QLatin1String(info.name), int(info.model));
    for (int k = 0; k < ui->fitModel->count(); k++)
        ui->fitModel->setItemData(
            k, QString::fromStdString(fitModelInfo(FitModel(ui->fitModel->itemData(k).toInt())).description),
            Qt::ToolTipRole);
    ui->hmValue->setMaximum(MaximumHm);
    ui->latitude->setRange(LowestLatitude, HighestLatitude);
    ui->longitude->setRange(LowestLongitude, HighestLongitude);
    ui->date->setDate(QDate::currentDate());
    ui->resultsTable->setColumnCount(4);
    ui->resultsTable->setHorizontalHeaderLabels(
        {tr("Quantity"), tr("Value"), tr("\u00b1 1 \u03c3"), tr("Unit")});
    ui->resultsTable->horizontalHeaderItem(2)->setToolTip(
        tr("One standard deviation; the 95 % interval is in "
           "each value's tool tip and in Copy"));
    ui->resultsTable->verticalHeader()->hide();
    ui->resultsTable->horizontalHeaderItem(0)->setToolTip(
        tr("e is the norm error: |h - b| - Hm before the calibration, |A^-1 (h - b)| - Hm after it"));
    ui->resultsTable->horizontalHeaderItem(3)->setToolTip(tr(
        "Blank where the data are in no named unit: b, Hm and the norm errors are then in the data's own"));
    ui->resultsTable->verticalHeader()->setDefaultSectionSize(ui->resultsTable->fontMetrics().height() + 6);
    ui->resultsTable->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The input's panel is as wide as its contents at the font in use; it
    // scrolls only when the window is too low for it.
    ui->inputScroll->setMinimumWidth(ui->inputContents->minimumSizeHint().width() +
                                     ui->inputScroll->verticalScrollBar()->sizeHint().width());
    ui->fitsTable->setColumnCount(8);
    ui->fitsTable->setHorizontalHeaderLabels({tr("Model"), tr("b"), tr("Diagonal of A"), tr("RMS after"),
                                              tr("Rejected"), tr("Predicted bias error"), tr("Verdict"),
                                              tr("Chosen")});
    // Hidden until an accelerometer is read (revealAxes) or the view asked for.
    ui->views->setTabVisible(ui->views->indexOf(ui->tabAxes), false);
}

void MainWindow::setUpStatusBar()
{
    progress = new QProgressBar(this);
    progress->setRange(0, 1000);
    progress->setMaximumWidth(240);
    progress->hide();
    cancelButton = new QPushButton(tr("Cancel"), this);
    cancelButton->hide();
    statusBar()->addPermanentWidget(progress);
    statusBar()->addPermanentWidget(cancelButton);
    connect(cancelButton, &QPushButton::clicked, &work, &Runner::cancel);
}

void MainWindow::setUpMenus()
{
    QAction *all = ui->menuExport->addAction(tr("&All Formats…"));
    all->setShortcut(QKeySequence(tr("Ctrl+Shift+E")));
    connect(all, &QAction::triggered, this, &MainWindow::showExports);
    ui->menuExport->addSeparator();
    for (const WorkbenchExport &format : workbenchExports()) {
        QAction *action = ui->menuExport->addAction(format.title);
        action->setStatusTip(format.note);
        connect(action, &QAction::triggered, this, [this, &format] { exportDialog(format); });
    }
    ui->menuView->addAction(ui->dockInput->toggleViewAction());
    ui->menuView->addAction(ui->dockResults->toggleViewAction());
    ui->menuView->addAction(ui->toolBar->toggleViewAction());
    ui->dockResults->addAction(ui->actionCopyResults);
}

void MainWindow::connectActions()
{
    connect(ui->actionOpen, &QAction::triggered, this, [this] { openDialog(false); });
    connect(ui->buttonOpen, &QPushButton::clicked, this, [this] { openDialog(false); });
    connect(ui->actionOpenLog, &QAction::triggered, this, [this] { openDialog(true); });
    connect(ui->buttonColumns, &QPushButton::clicked, this, &MainWindow::pickColumns);
    connect(ui->actionExportParameters, &QAction::triggered, this,
            [this] { exportDialog(workbenchExports().front()); });
    connect(ui->actionSave, &QAction::triggered, this, &MainWindow::save);
    connect(ui->actionCompare, &QAction::triggered, this, qOverload<>(&MainWindow::compareWith));
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionCalibrate, &QAction::triggered, this, &MainWindow::calibrate);
    connect(ui->buttonCalibrate, &QPushButton::clicked, this, &MainWindow::calibrate);
    connect(ui->actionCancel, &QAction::triggered, &work, &Runner::cancel);
    // The values at full precision: the selected rows, or all the results
    // with their warnings.
    const auto copy = [this] {
        if (!shown)
            return;
        const std::vector<ResultRow> rows = resultRows(*shown);
        QStringList lines;
        for (int row = 0; row < int(rows.size()); row++)
            if (ui->resultsTable->selectionModel()->rowIntersectsSelection(row)) {
                const ResultRow &r = rows[size_t(row)];
                lines << QStringList{r.name, r.full.isEmpty() ? r.value : r.full, r.spread, r.interval,
                                     r.unit}
                             .join(QLatin1Char('\t'))
                             .trimmed();
            }
        QString text =
            lines.isEmpty() ? resultsText(*shown) : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        if (lines.isEmpty() && !ui->labelWarnings->text().isEmpty())
            text += QLatin1Char('\n') + ui->labelWarnings->text() + QLatin1Char('\n');
        QGuiApplication::clipboard()->setText(text);
    };
    connect(ui->actionCopyResults, &QAction::triggered, this, copy);
    connect(ui->buttonCopy, &QPushButton::clicked, this, copy);
    connect(ui->actionAbout, &QAction::triggered, this, [this] {
        QMessageBox::about(
            this, tr("About Tavrin Workbench"),
            tr("Tavrin Workbench %1\nCalibrates a tri-axis magnetometer: h_cal = A^-1 (h - b).")
                .arg(QCoreApplication::applicationVersion()));
    });
    connect(ui->radioCalibrated, &QRadioButton::toggled, this,
            [this](bool on) { ui->cloud->setSet(on ? CloudSet::Calibrated : CloudSet::Raw); });
    connect(ui->buttonResetView, &QPushButton::clicked, this, [this] { ui->cloud->setView(CloudView()); });
    connect(ui->cloud, &CloudWidget::hovered, this, &MainWindow::say);
    connect(ui->series, &SeriesWidget::hovered, this, &MainWindow::say);
    for (QDoubleSpinBox *box : {ui->latitude, ui->longitude, ui->height})
        connect(box, &QDoubleSpinBox::valueChanged, this, &MainWindow::showField);
    connect(ui->date, &QDateEdit::dateChanged, this, &MainWindow::showField);
    connect(ui->hmUnit, &QComboBox::currentIndexChanged, this, &MainWindow::showField);
    connect(ui->radioHmPlace, &QRadioButton::toggled, this, &MainWindow::showField);

    connect(&work, &Runner::progressed, this, [this](const QString &what, double fraction) {
        progress->setValue(int(1000 * fraction));
        progress->setFormat(what + QStringLiteral(" %p%"));
        progress->show();
        cancelButton->show();
        ui->actionCancel->setEnabled(true);
    });
    const auto idle = [this] {
        progress->hide();
        cancelButton->hide();
        ui->actionCancel->setEnabled(false);
    };
    connect(&work, &Runner::finished, this, idle);
    connect(&work, &Runner::cancelled, this, [this, idle] {
        idle();
        say(tr("Cancelled."));
    });
    connect(&work, &Runner::published, this, &MainWindow::showCalibration);
}

// Every setting a run reads marks the results of an earlier run out of date
// as it changes; the place and the date count only while Hm comes from them.
void MainWindow::watchSettings()
{
    connect(ui->hmValue, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        if (!ui->radioHmPlace->isChecked())
            markStale(tr("Hm changed to"), shownNumber(value));
    });
    connect(ui->hmUnit, &QComboBox::currentIndexChanged, this,
            [this] { markStale(tr("the unit of Hm changed to"), ui->hmUnit->currentText()); });
    connect(ui->radioHmPlace, &QRadioButton::toggled, this, [this](bool place) {
        markStale(tr("Hm is now"), place ? tr("taken from a place") : tr("a value"));
    });
    const auto placeChanged = [this] {
        if (ui->radioHmPlace->isChecked())
            markStale(tr("the place or the date of Hm changed"));
    };
    for (QDoubleSpinBox *box : {ui->latitude, ui->longitude, ui->height})
        connect(box, &QDoubleSpinBox::valueChanged, this, placeChanged);
    connect(ui->date, &QDateEdit::dateChanged, this, placeChanged);
    connect(ui->fitModel, &QComboBox::currentIndexChanged, this,
            [this] { markStale(tr("the fit changed to"), ui->fitModel->currentText()); });
}

void MainWindow::markStale(const QString &what, const QString &value)
{
    settingsCount++;
    if (!shown)
        return;
    // A setting changed twice is named once, with its latest value.
    stale.erase(std::remove_if(stale.begin(), stale.end(),
                               [&what](const QString &reason) { return reason.startsWith(what); }),
                stale.end());
    stale << (value.isEmpty() ? what : what + QLatin1Char(' ') + value);
    showStaleness();
}

void MainWindow::clearResults(const QString &why)
{
    shown.reset();
    stale.clear();
    exportWarnings.clear();
    for (ViewWidget *view : figureViews())
        view->show(nullptr);
    ui->resultsTable->setRowCount(0);
    ui->fitsTable->setRowCount(0);
    ui->labelFitChoice->clear();
    ui->labelDataNorm->clear();
    ui->labelWarnings->clear();
    ui->labelWarnings->hide();
    ui->labelVerdict->setText(tr("No results: %1").arg(why));
    ui->labelVerdict->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #C01F1F; padding: 6px; font-weight: bold; }"));
    showStaleness();
}

void MainWindow::showStaleness()
{
    const bool current = shown && stale.isEmpty();
    for (ViewWidget *view : figureViews())
        view->setStale(shown ? staleReason() : QString());
    ui->resultsTable->setEnabled(current);
    ui->fitsTable->setEnabled(current);
    ui->labelWarnings->setEnabled(current);
    ui->buttonCopy->setEnabled(current);
    ui->actionCopyResults->setEnabled(current);
    ui->actionSave->setEnabled(current);
    ui->actionExportParameters->setEnabled(current);
    ui->menuExport->setEnabled(current);
    if (shown)
        showBanner();
}

void MainWindow::showBanner()
{
    if (!stale.isEmpty()) {
        ui->labelVerdict->setText(
            tr("Out of date: %1. Calibrate again (F5) for results of the new settings.").arg(staleReason()));
        ui->labelVerdict->setStyleSheet(
            QStringLiteral("QLabel { color: white; background: #6E6E6E; padding: 6px; font-weight: bold; }"));
        return;
    }
    const Banner banner = bannerOf(*shown);
    ui->labelVerdict->setText(banner.words);
    ui->labelVerdict->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: %1; padding: 6px; font-weight: bold; }")
            .arg(banner.colour.name()));
}

void MainWindow::showWarnings()
{
    const QStringList all = resultWarnings(*shown) + exportWarnings;
    ui->labelWarnings->setText(all.join(QLatin1Char('\n')));
    ui->labelWarnings->setVisible(!all.isEmpty());
}

void MainWindow::say(const QString &message)
{
    statusBar()->showMessage(message, message.isEmpty() ? 1 : 0);
}

void MainWindow::openDialog(bool asLog)
{
    const QString path = QFileDialog::getOpenFileName(
        this, asLog ? tr("Open a log") : tr("Open measurements"), lastFolder,
        tr("Measurements (*.txt *.csv *.log *.tsv *.dat);;Saved work (*.tavrin);;All files (*)"));
    if (path.isEmpty())
        return;
    lastFolder = QFileInfo(path).absolutePath();
    writeSettings();
    if (!asLog) {
        open(path);
        return;
    }
    if (refusedAsNoRegularFile(path))
        return;
    ColumnPicker picker(path, std::nullopt, this);
    if (picker.exec() == QDialog::Accepted)
        open(path, picker.format());
}

void MainWindow::open(const QString &path, std::optional<LogFormat> log)
{
    if (refusedAsNoRegularFile(path))
        return;
    if (path.endsWith(QLatin1String(".tavrin"))) {
        openSaved(path);
        return;
    }
    if (!log && GuessLog(path)) {
        ColumnPicker picker(path, std::nullopt, this);
        if (picker.exec() != QDialog::Accepted)
            return;
        log = picker.format();
    }
    showInput(path, log);
    addRecent(path);
    calibrate();
}

// A named pipe or a device would hold the window, or the worker and so the
// program's end, until someone writes to it: it is refused before any read.
bool MainWindow::refusedAsNoRegularFile(const QString &path)
{
    const Expected<void> regular = checkRegularFile(path);
    if (!regular)
        complain(tr("Open"), regular.error());
    return !regular;
}

void MainWindow::showInput(const QString &path, const std::optional<LogFormat> &log)
{
    if (path == inputPath)
        markStale(tr("the columns or the reading options changed"));
    else
        markStale(tr("the input is now"), printable(QFileInfo(path).fileName()));
    inputPath = path;
    logFormat = log;
    ui->labelFile->setText(printable(QDir::toNativeSeparators(path)));
    ui->buttonColumns->setEnabled(true);
}

// Saved work is read, checked and its input hashed on the worker; only once
// all of it holds does the window take it, so that a refusal or a Cancel
// leaves the window as it was. The calibration follows in the same task.
void MainWindow::openSaved(const QString &path)
{
    work.start(tr("Opening %1").arg(QFileInfo(path).fileName()), [this, path](TaskControl &control) {
        const auto refuse = [this, &control](const QString &message) {
            control.onWindow([this, message] { complain(tr("Saved work"), message); });
        };
        const Expected<SavedWork> saved = readSavedWorkFile(path);
        if (!saved)
            return refuse(saved.error());
        if (const Expected<void> input = checkRegularFile(saved->input); !input)
            return refuse(printable(path) + QStringLiteral(": ") + input.error());
        const Expected<double> hm = hmOf(saved->hm);
        if (!hm)
            return refuse(printable(path) + QStringLiteral(": ") + hm.error());
        constexpr double FingerprintShare = 0.2;
        const QByteArray fingerprint = fingerprintOf(saved->input, control.runControl(0, FingerprintShare));
        if (control.cancel.load())
            return;
        const bool changed = fingerprint != saved->fingerprint;
        control.onWindow([this, path, opened = *saved, changed] {
            setHmSource(opened.hm);
            setFit(opened.fit);
            showInput(opened.input, opened.log);
            runCount = settingsCount;
            addRecent(path);
            if (changed)
                complain(tr("Saved work"),
                         tr("%1 has changed since this work was saved; it is calibrated as it is now.")
                             .arg(printable(opened.input)));
        });
        control.spanFrom = FingerprintShare;
        calibrateInSteps(Input::file(saved->input, saved->log),
                         calibrationOptions(*hm, saved->fit, saved->hm), saved->hm.unit, control,
                         fingerprint);
    });
}

bool MainWindow::save()
{
    if (!shown) {
        say(tr("Nothing is calibrated yet."));
        return false;
    }
    const QString base = QFileInfo(shown->result->path).completeBaseName();
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save work"), QDir(lastFolder).filePath(base + QStringLiteral(".tavrin")),
        tr("Saved work (*.tavrin)"));
    if (path.isEmpty())
        return false;
    lastFolder = QFileInfo(path).absolutePath();
    writeSettings();
    if (const QString problem = saveTo(path); !problem.isEmpty()) {
        complain(tr("Save"), problem);
        return false;
    }
    say(tr("Saved %1").arg(printable(path)));
    return true;
}

QString MainWindow::saveTo(const QString &path)
{
    if (!shown)
        return tr("Nothing is calibrated yet.");
    if (!stale.isEmpty())
        return tr("The results are out of date (%1); calibrate again (F5) before saving them.")
            .arg(staleReason());
    if (IsSameFile(path, shown->result->path))
        return tr("This is the file of measurements; choose another name so that it is not overwritten.");
    // The fingerprint is taken on the worker after the results show.
    if (shown->fingerprint.isEmpty())
        return work.busy()
                   ? tr("The input's fingerprint is still being taken; save again once the comparison "
                        "shows.")
                   : tr("%1 has no fingerprint: its calibration was cancelled, or it could not be read "
                        "again; calibrate it again (F5) before saving.")
                         .arg(printable(shown->input.path));
    SavedWork w;
    w.input = QFileInfo(shown->input.path).absoluteFilePath();
    w.log = shown->input.log;
    w.hm = hmSource();
    w.hmValue = shown->options.hm;
    w.fit = shown->options.fit;
    w.fingerprint = shown->fingerprint;
    w.result = JsonResult(*shown->result, shown->options.hm, workbenchWords());
    QString reason;
    if (!WriteFileAtomically(path, savedWorkBytes(w), &reason))
        return tr("%1 could not be written (%2).").arg(printable(path), reason);
    kept = shown->views;
    return QString();
}

void MainWindow::compareWith()
{
    if (!shown) {
        say(tr("Nothing is calibrated yet."));
        return;
    }
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Compare with"), lastFolder, tr("Saved work (*.tavrin)"));
    if (!path.isEmpty())
        compareWith(path);
}

CompareDialog *MainWindow::compareWith(const QString &path)
{
    const Expected<SavedWork> saved = readSavedWorkFile(path);
    QString problem = saved.error();
    const std::optional<CalibrationParameters> parameters =
        saved ? parametersOf(saved->result) : std::nullopt;
    if (saved && !parameters)
        problem = printable(path) + QStringLiteral(": ") + tr("It holds no calibration.");
    // Its input is calibrated beside this one: never a named pipe or a device.
    if (const Expected<void> input = saved ? checkRegularFile(saved->input) : Expected<void>(); !input)
        problem = printable(path) + QStringLiteral(": ") + input.error();
    if (!problem.isEmpty()) {
        complain(tr("Compare"), problem);
        return nullptr;
    }
    auto *dialog = new CompareDialog(shown, *saved, *parameters, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void MainWindow::complain(const QString &title, const QString &message)
{
    say(message);
    emit refused(message);
    if (!isVisible())
        return;
    QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::pickColumns()
{
    if (refusedAsNoRegularFile(inputPath))
        return;
    ColumnPicker picker(inputPath, logFormat, this);
    if (picker.exec() == QDialog::Accepted) {
        showInput(inputPath, picker.format());
        calibrate();
    }
}

void MainWindow::setHmSource(const HmSource &source)
{
    ui->hmValue->setValue(source.value);
    ui->hmUnit->setCurrentIndex(std::max(0, int(fieldUnits().indexOf(source.unit))));
    (source.place ? ui->radioHmPlace : ui->radioHmValue)->setChecked(true);
    if (source.place) {
        ui->latitude->setValue(source.place->latitude);
        ui->longitude->setValue(source.place->longitude);
        ui->height->setValue(source.place->height);
    }
    ui->date->setDate(source.date.isValid() ? source.date : QDate::currentDate());
    showField();
}

HmSource MainWindow::hmSource() const
{
    HmSource s;
    s.value = ui->hmValue->value();
    s.unit = ui->hmUnit->currentData().toString();
    if (ui->radioHmPlace->isChecked())
        s.place = Place{ui->latitude->value(), ui->longitude->value(), ui->height->value()};
    s.date = ui->date->date();
    return s;
}

void MainWindow::setFit(FitModel model)
{
    ui->fitModel->setCurrentIndex(ui->fitModel->findData(int(model)));
}

FitModel MainWindow::fit() const
{
    return FitModel(ui->fitModel->currentData().toInt());
}

void MainWindow::showField()
{
    if (!ui->radioHmPlace->isChecked()) {
        ui->labelField->clear();
        return;
    }
    const HmSource s = hmSource();
    const Expected<FieldLookup> lookup = lookUpField(*s.place, s.date);
    if (!lookup) {
        ui->labelField->setText(lookup.error());
        return;
    }
    const Field &f = lookup->field;
    QString text = tr("%1: F %2 nT, H %3 nT, Z %4 nT, D %5°, I %6°")
                       .arg(lookup->modelName)
                       .arg(f.F, 0, 'f', 1)
                       .arg(f.H, 0, 'f', 1)
                       .arg(f.Z, 0, 'f', 1)
                       .arg(f.D, 0, 'f', 2)
                       .arg(f.I, 0, 'f', 2);
    if (const Expected<double> hm = hmOf(s))
        text += tr("\nHm = %1 %2").arg(shownNumber(*hm), s.unit);
    else
        text += QLatin1Char('\n') + hm.error();
    ui->labelField->setText(text);
}

void MainWindow::calibrate()
{
    if (inputPath.isEmpty()) {
        say(tr("Open a file of measurements first."));
        return;
    }
    // The input may have been replaced since it was opened.
    if (refusedAsNoRegularFile(inputPath)) {
        clearResults(tr("%1 was refused").arg(printable(QFileInfo(inputPath).fileName())));
        return;
    }
    const Expected<double> hm = hmOf(hmSource());
    if (!hm) {
        QMessageBox::warning(this, tr("Hm"), hm.error());
        return;
    }
    const Input input = Input::file(inputPath, logFormat);
    const CalibrationOptions options = calibrationOptions(*hm, fit(), hmSource());
    const QString unit = hmSource().unit;
    runCount = settingsCount;
    work.start(
        tr("Calibrating %1").arg(QFileInfo(inputPath).fileName()),
        [input, options, unit](TaskControl &control) { calibrateInSteps(input, options, unit, control); });
}

std::vector<ViewWidget *> MainWindow::figureViews() const
{
    return {ui->cloud, ui->projections, ui->coverage, ui->series, ui->histogram, ui->axes};
}

// The Axes tab shows from the first calibration with an accelerometer on,
// so that a window of the magnetometer alone keeps room for the others.
void MainWindow::revealAxes(const Calibration &calibration)
{
    if (calibration.result->alignment)
        showViewTab(ui->views->indexOf(ui->tabAxes));
}

void MainWindow::showCalibration(std::shared_ptr<const Calibration> calibration)
{
    const CalibrationResult &result = *calibration->result;
    if (!result.calibrated()) {
        showRefusal(result);
        return;
    }
    if (!shown || shown->result != calibration->result)
        exportWarnings.clear();
    shown = calibration;
    if (runCount == settingsCount)
        stale.clear();
    for (ViewWidget *view : figureViews())
        view->show(calibration);
    revealAxes(*calibration);
    const std::vector<ResultRow> rows = resultRows(*calibration);
    const int scroll = ui->resultsTable->verticalScrollBar()->value();
    ui->resultsTable->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); row++) {
        const ResultRow &r = rows[size_t(row)];
        // The 95 % interval rides in the tool tips, so that the table fits
        // the dock beside the views without scrolling sideways.
        const QString cells[] = {r.name, r.value, r.spread, r.unit};
        for (int column = 0; column < 4; column++) {
            auto *item = new QTableWidgetItem(cells[column]);
            if (column == 1 || column == 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (column == 1 && !r.full.isEmpty())
                item->setToolTip(r.interval.isEmpty() ? r.full
                                                      : tr("%1, 95 % interval %2").arg(r.full, r.interval));
            if (column == 2 && !r.interval.isEmpty())
                item->setToolTip(tr("95 % interval %1").arg(r.interval));
            ui->resultsTable->setItem(row, column, item);
        }
    }
    ui->resultsTable->resizeColumnsToContents();
    ui->resultsTable->verticalScrollBar()->setValue(scroll);
    ui->labelFitChoice->setText(result.run.fitReason.isEmpty()
                                    ? tr("Fit: %1").arg(QLatin1String(fitModelName(result.run.model)))
                                    : tr("Auto chose %1").arg(result.run.fitReason));
    showHmCheck(*calibration);
    showFitTable(*calibration);
    showWarnings();
    showStaleness();
    say(calibration->uncertainty ? tr("Calibrated, with the uncertainty.") : tr("Calibrated."));
}

void MainWindow::showRefusal(const CalibrationResult &result)
{
    const QString message = refusalMessage(result);
    clearResults(message);
    complain(tr("File refused"), message);
}

// Beside Hm, the data's own norm: a unit mixed up shows at once.
void MainWindow::showHmCheck(const Calibration &c)
{
    const HmUnitCheck &check = c.result->quality.hmUnit;
    // A planar fit keeps the points' own norm, so Hm's unit changes nothing
    // and is not checked.
    QString text =
        check.hm > 0 ? tr("Median |h - b| of the data: %1").arg(check.medianDistance, 0, 'g', 6) : QString();
    if (check.scaleDiffers)
        text += QStringLiteral("\n") + hmUnitWarningMessage(check);
    ui->labelDataNorm->setText(text);
    ui->labelDataNorm->setStyleSheet(
        check.scaleDiffers ? QStringLiteral("QLabel { color: #D55E00; font-weight: bold; }") : QString());
}

void MainWindow::showFitTable(const Calibration &c)
{
    const std::vector<FitModel> &models = comparedModels();
    const QString unit = unitName(c);
    ui->fitsTable->setHorizontalHeaderLabels(
        {tr("Model"), tr("b (%1)").arg(unit), tr("Diagonal of A"), tr("RMS after (%1)").arg(unit),
         tr("Rejected"), tr("Predicted bias error (%1)").arg(unit), tr("Verdict"), tr("Chosen")});
    ui->fitsTable->setRowCount(int(c.comparison.size()));
    for (int row = 0; row < int(c.comparison.size()); row++) {
        const CalibrationResult &r = c.comparison[size_t(row)];
        QStringList cells = {QLatin1String(fitModelName(models[size_t(row)]))};
        if (r.calibrated()) {
            const CalibrationParameters &p = r.run.parameters;
            cells << QStringLiteral("%1, %2, %3")
                         .arg(shownNumber(p.Bias[0][0]), shownNumber(p.Bias[1][0]), shownNumber(p.Bias[2][0]))
                  << QStringLiteral("%1, %2, %3")
                         .arg(shownNumber(p.A[0][0]), shownNumber(p.A[1][1]), shownNumber(p.A[2][2]))
                  << tr("%1 (%2 % of Hm)")
                         .arg(shownNumber(r.quality.after.rms))
                         .arg(100.0 * r.quality.after.rms / std::abs(c.options.hm), 0, 'f', 2)
                  << QString::number(r.run.robustFit() ? int(r.run.robustFit()->rejected.size()) : 0)
                  << (size_t(row) < c.predictedBiasError.size() && c.predictedBiasError[size_t(row)]
                          ? shownNumber(*c.predictedBiasError[size_t(row)])
                          : QString())
                  << QLatin1String(verdictName(r.quality.verdict));
        } else {
            cells << errorMessage(*r.run.error) << QString() << QString() << QString() << QString()
                  << QString();
        }
        cells << (models[size_t(row)] == c.result->run.model ? tr("yes") : QString());
        for (int column = 0; column < cells.size(); column++)
            ui->fitsTable->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    ui->fitsTable->resizeColumnsToContents();
    ui->labelFits->setText(c.comparison.empty()
                               ? tr("Every model is fitted to the same points after the run.")
                               : tr("Every model fitted to the same points; the chosen one "
                                    "gave the results shown."));
}

QString MainWindow::exportTo(const WorkbenchExport &format, const QString &path)
{
    if (!shown)
        return tr("Nothing is calibrated yet.");
    if (!stale.isEmpty())
        return tr("The results are out of date (%1); calibrate again (F5) before exporting them.")
            .arg(staleReason());
    if (const QString problem = overwriteProblem(path, *shown); !problem.isEmpty())
        return problem;
    const QStringList fileWarnings = format.warnings ? format.warnings(*shown) : QStringList();
    QStringList warnings = fileWarnings + resultWarnings(*shown);
    if (const Banner banner = bannerOf(*shown); banner.grade != Banner::Good)
        warnings.prepend(banner.words);
    if (!warnings.isEmpty() &&
        !confirm(tr("Export"),
                 tr("%1 would be written from results with these warnings:\n\n%2\n\nWrite it anyway?")
                     .arg(printable(path), warnings.join(QLatin1Char('\n')))))
        return notWritten(path);
    QString reason;
    if (!format.write(path, *shown, &reason))
        return tr("%1 could not be written%2.")
            .arg(printable(path), reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
    for (const QString &warning : fileWarnings)
        exportWarnings << tr("%1 warns: %2").arg(printable(QFileInfo(path).fileName()), warning);
    showWarnings();
    say(fileWarnings.isEmpty() ? tr("Wrote %1.").arg(printable(path))
                               : tr("Wrote %1, with %2 warning(s) in the file; they show under Results.")
                                     .arg(printable(path))
                                     .arg(fileWarnings.size()));
    kept = shown->views;
    return QString();
}

void MainWindow::exportDialog(const WorkbenchExport &format)
{
    if (!shown) {
        say(tr("Nothing is calibrated yet."));
        return;
    }
    const QString base = QFileInfo(shown->result->path).completeBaseName();
    QFileDialog dialog(this, tr("Export"),
                       QDir(lastFolder).filePath(base + QStringLiteral("-calibration.") + format.suffix),
                       format.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(format.suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    lastFolder = QFileInfo(path).absolutePath();
    writeSettings();
    if (const QString problem = exportTo(format, path); problem == notWritten(path))
        say(problem);
    else if (!problem.isEmpty())
        QMessageBox::warning(this, tr("Export"), problem);
}

void MainWindow::showExports()
{
    if (!shown) {
        say(tr("Nothing is calibrated yet."));
        return;
    }
    ExportDialog dialog(shown, this);
    connect(&dialog, &ExportDialog::saveAsked, this, &MainWindow::exportDialog);
    dialog.exec();
}

void MainWindow::addRecent(const QString &path)
{
    QSettings settings;
    QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    recent.removeAll(path);
    recent.prepend(QFileInfo(path).absoluteFilePath());
    settings.setValue(QStringLiteral("recentFiles"), recent.mid(0, RecentFiles));
    fillRecent();
}

void MainWindow::fillRecent()
{
    ui->menuRecent->clear();
    const QStringList recent = QSettings().value(QStringLiteral("recentFiles")).toStringList();
    for (int k = 0; k < recent.size(); k++) {
        QAction *action = ui->menuRecent->addAction(
            QStringLiteral("&%1 %2").arg(k + 1).arg(printable(QFileInfo(recent[k]).fileName())));
        action->setStatusTip(recent[k]);
        connect(action, &QAction::triggered, this, [this, path = recent[k]] { open(path); });
    }
    ui->menuRecent->setEnabled(!recent.isEmpty());
}

void MainWindow::readSettings()
{
    QSettings s;
    lastFolder = s.value(QStringLiteral("lastFolder")).toString();
    HmSource hm;
    hm.value = s.value(QStringLiteral("hm/value"), 48.0).toDouble();
    hm.unit = s.value(QStringLiteral("hm/unit")).toString();
    if (s.value(QStringLiteral("hm/fromPlace"), false).toBool())
        hm.place = Place{s.value(QStringLiteral("hm/latitude")).toDouble(),
                         s.value(QStringLiteral("hm/longitude")).toDouble(),
                         s.value(QStringLiteral("hm/height")).toDouble()};
    setHmSource(hm);
    const std::optional<FitModel> model = fitModelNamed(
        s.value(QStringLiteral("fit"), QStringLiteral("auto")).toString().toLatin1().constData());
    setFit(model.value_or(FitModel::Auto));
    if (!restoreGeometry(s.value(QStringLiteral("window/geometry")).toByteArray()))
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            resize(size().boundedTo(screen->availableGeometry().size()));
    layoutRestored = restoreState(s.value(QStringLiteral("window/state")).toByteArray());
    fillRecent();
}

void MainWindow::keepSettingsAsTheyChange()
{
    const auto write = [this] { writeSettings(); };
    for (QDoubleSpinBox *box : {ui->hmValue, ui->latitude, ui->longitude, ui->height})
        connect(box, &QDoubleSpinBox::valueChanged, this, write);
    connect(ui->hmUnit, &QComboBox::currentIndexChanged, this, write);
    connect(ui->radioHmPlace, &QRadioButton::toggled, this, write);
    connect(ui->fitModel, &QComboBox::currentIndexChanged, this, write);
}

void MainWindow::writeSettings() const
{
    QSettings s;
    s.setValue(QStringLiteral("lastFolder"), lastFolder);
    const HmSource hm = hmSource();
    s.setValue(QStringLiteral("hm/value"), hm.value);
    s.setValue(QStringLiteral("hm/unit"), hm.unit);
    s.setValue(QStringLiteral("hm/fromPlace"), bool(hm.place));
    if (hm.place) {
        s.setValue(QStringLiteral("hm/latitude"), hm.place->latitude);
        s.setValue(QStringLiteral("hm/longitude"), hm.place->longitude);
        s.setValue(QStringLiteral("hm/height"), hm.place->height);
    }
    s.setValue(QStringLiteral("fit"), QLatin1String(fitModelName(fit())));
    s.setValue(QStringLiteral("window/geometry"), saveGeometry());
    s.setValue(QStringLiteral("window/state"), saveState());
}

bool MainWindow::hasUnsavedWork() const
{
    return shown && shown->views && kept.lock() != shown->views;
}

void MainWindow::setUnsavedConfirmer(std::function<UnsavedChoice()> confirmer)
{
    unsavedConfirmer = std::move(confirmer);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedWork()) {
        const UnsavedChoice choice = unsavedConfirmer ? unsavedConfirmer() : [this] {
            const QMessageBox::StandardButton pressed = QMessageBox::question(
                this, tr("Unsaved work"),
                tr("The calibration of %1 is neither saved nor exported. Save it before quitting?")
                    .arg(printable(QFileInfo(shown->result->path).fileName())),
                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
            return pressed == QMessageBox::Save      ? UnsavedChoice::Save
                   : pressed == QMessageBox::Discard ? UnsavedChoice::Discard
                                                     : UnsavedChoice::Cancel;
        }();
        if (choice == UnsavedChoice::Cancel || (choice == UnsavedChoice::Save && !save())) {
            event->ignore();
            return;
        }
    }
    work.cancel();
    writeSettings();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile())
        open(urls.front().toLocalFile());
}

} // namespace tavrin
