#include "livepanel.h"
#include "calibrationtask.h"
#include "cloudwidget.h"
#include "livenormwidget.h"
#include "panelwidgets.h"
#include "portwatcher.h"
#include "printable.h"
#include "viewdata.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace tavrin {

namespace {

const int Bauds[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

// The control column's width in average characters: a port's path and the
// counters' line.
constexpr int ControlCharacters = 34;

// The size of the Hm unit in nT, which the capture records readings that
// carry a unit in; without a unit, uT as boards print.
double unitInNt(const QString &unit)
{
    const double size = unitWordInNt(unit.toUtf8());
    return size > 0 ? size : 1000.0;
}

// The live fit: the readings so far calibrated as any input, without the
// comparison and the bootstrap, which wait for Stop; with the accelerometer
// beside them when the source carries one, so that the axes are checked too.
void fitReadings(const std::vector<Reading> &readings, const std::vector<Inertial> &inertial,
                 const LiveFitSettings &settings, TaskControl &control)
{
    RawData raw;
    raw.Mag = MatDoub(int(readings.size()), 3);
    for (size_t i = 0; i < readings.size(); i++)
        for (int axis = 0; axis < 3; axis++)
            raw.Mag[int(i)][axis] = readings[i][size_t(axis)];
    raw.numLines = int(readings.size());
    if (!inertial.empty() && inertial.size() == readings.size()) {
        raw.Accel = MatDoub(raw.numLines, 3);
        for (size_t i = 0; i < inertial.size(); i++)
            for (int axis = 0; axis < 3; axis++)
                raw.Accel[int(i)][axis] = inertial[i].accel[size_t(axis)];
    }
    auto c = std::make_shared<Calibration>();
    c->input = Input::points(std::move(raw), LivePanel::tr("live capture"));
    c->options = settings.options;
    c->options.resamples = 0;
    c->unit = settings.unit;
    auto result = std::make_shared<CalibrationResult>(
        runCalibration(c->input, c->options, control.runControl(0.0, 1.0)));
    if (control.cancel.load() || result->run.error)
        return;
    c->views = std::make_shared<ViewData>(*result, c->options.hm);
    c->result = std::move(result);
    control.publish(std::move(c));
}

} // namespace

LivePanel::LivePanel(LiveFitSource source, QWidget *parent)
    : QWidget(parent), fitSource(std::move(source)), watcher(new PortWatcher(this))
{
    buildControls();
    refreshTimer.setInterval(RefreshInterval);
    fitTimer.setInterval(FitInterval);
    connect(&refreshTimer, &QTimer::timeout, this, &LivePanel::refresh);
    connect(&fitTimer, &QTimer::timeout, this, &LivePanel::refitIfDue);
    connect(&fits, &Runner::published, this, &LivePanel::showFit);
    connect(watcher, &PortWatcher::portsChanged, this, [this](const QStringList &ports) {
        const QString typed = sourceBox->currentText();
        sourceBox->clear();
        sourceBox->addItems(ports);
        sourceBox->setCurrentText(typed);
    });
    sourceBox->addItems(watcher->ports());
    defaultRecordPath();
    showButtons();
}

LivePanel::~LivePanel()
{
    fits.cancel();
    fits.waitForAll();
}

QLayout *LivePanel::buildSourceForm()
{
    sourceBox = new QComboBox;
    sourceBox->setEditable(true);
    sourceBox->setToolTip(tr("A serial port, a path such as /dev/rfcomm0, or tcp://host:port"));
    baudBox = new QComboBox;
    for (int baud : Bauds)
        baudBox->addItem(QString::number(baud), baud);
    baudBox->setCurrentText(QString::number(DefaultBaud));
    formatBox = new QComboBox;
    for (LineFormat format : namedLineFormats())
        formatBox->addItem(lineFormatName(format), int(format));
    recordEdit = new QLineEdit;

    auto *form = new QFormLayout;
    form->addRow(tr("Po&rt:"), sourceBox);
    form->addRow(tr("&Baud:"), baudBox);
    form->addRow(tr("For&mat:"), formatBox);
    form->addRow(tr("Recor&d to:"), recordEdit);
    return form;
}

QLayout *LivePanel::buildButtons()
{
    startButton = new QPushButton(tr("&Start"));
    pauseButton = new QPushButton(tr("Pa&use"));
    pauseButton->setCheckable(true);
    discardButton = new QPushButton(tr("Discard Last &%1 s").arg(DiscardSeconds));
    stopButton = new QPushButton(tr("S&top"));
    connect(startButton, &QPushButton::clicked, this, &LivePanel::start);
    connect(pauseButton, &QPushButton::toggled, this, &LivePanel::setPaused);
    connect(discardButton, &QPushButton::clicked, this, &LivePanel::discardLast);
    connect(stopButton, &QPushButton::clicked, this, &LivePanel::stop);
    auto *buttons = new QGridLayout;
    buttons->addWidget(startButton, 0, 0);
    buttons->addWidget(pauseButton, 0, 1);
    buttons->addWidget(discardButton, 1, 0);
    buttons->addWidget(stopButton, 1, 1);
    for (QPushButton *button : {startButton, pauseButton, discardButton, stopButton})
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    pauseButton->setMinimumWidth(std::max(QPushButton(tr("Pa&use")).sizeHint().width(),
                                          QPushButton(tr("Res&ume")).sizeHint().width()));
    return buttons;
}

void LivePanel::buildReadouts()
{
    countersLabel = new QLabel;
    lastLineLabel = new QLabel;
    lastLineLabel->setTextFormat(Qt::PlainText);
    cellsBar = new QProgressBar;
    cellsBar->setRange(0, CoverageTracker::Cells);
    cellsBar->setFormat(
        tr("%v of %1 cells, enough from %2").arg(CoverageTracker::Cells).arg(CoverageTracker::EnoughCells));
    enoughLabel = new QLabel;
    enoughLabel->setWordWrap(true);
    angleLabel = new QLabel;
    angleLabel->setWordWrap(true);
    angleLabel->setTextFormat(Qt::PlainText);
    angleLabel->hide();
    statusLabel = new QLabel;
    statusLabel->setWordWrap(true);
    statusLabel->setTextFormat(Qt::PlainText);
    for (QLabel *label : {countersLabel, lastLineLabel, enoughLabel, angleLabel, statusLabel})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Texts that change with every refresh keep their room, so that nothing
    // in the column, the buttons least of all, moves under the user's hand.
    const int line = fontMetrics().lineSpacing();
    countersLabel->setWordWrap(true);
    countersLabel->setFixedHeight(3 * line + 2);
    countersLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lastLineLabel->setFixedHeight(line + 2);
    for (QLabel *label : {countersLabel, lastLineLabel})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    for (QLabel *label : {enoughLabel, angleLabel}) {
        label->setFixedHeight(4 * line + 2);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    statusLabel->setMinimumHeight(4 * line + 2);
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void LivePanel::buildControls()
{
    auto *controls = new QWidget;
    auto *column = new QVBoxLayout(controls);
    column->addLayout(buildSourceForm());
    column->addLayout(buildButtons());
    buildReadouts();
    for (QWidget *readout : std::initializer_list<QWidget *>{countersLabel, lastLineLabel, angleLabel,
                                                             cellsBar, enoughLabel, statusLabel})
        column->addWidget(readout);
    column->addStretch();
    // The column keeps its width and each row its height however low the
    // dock is made: what does not fit scrolls.
    auto *controlsScroll = new QScrollArea;
    controlsScroll->setWidget(controls);
    controlsScroll->setWidgetResizable(true);
    controlsScroll->setFrameShape(QFrame::NoFrame);
    controlsScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Measured with the style's own sizes, which polishing sets.
    controls->ensurePolished();
    controlsScroll->setFixedWidth(
        std::max(controls->minimumSizeHint().width(), ControlCharacters * fontMetrics().averageCharWidth()) +
        controlsScroll->verticalScrollBar()->sizeHint().width());

    cloud = new CloudWidget;
    cloud->setSet(CloudSet::Raw);
    coverageMap = new CoverageWidget;
    norms = new LiveNormWidget;
    auto *views = new QGridLayout;
    views->addWidget(cloud, 0, 0);
    views->addWidget(coverageMap, 0, 1);
    views->addWidget(norms, 1, 0, 1, 2);
    views->setRowStretch(0, 3);
    views->setRowStretch(1, 1);

    auto *whole = new QHBoxLayout(this);
    whole->addWidget(controlsScroll);
    whole->addLayout(views, 1);
}

void LivePanel::setSource(const QString &source)
{
    sourceBox->setCurrentText(source);
}

void LivePanel::setFormat(LineFormat format)
{
    formatBox->setCurrentIndex(formatBox->findData(int(format)));
}

void LivePanel::setRecordPath(const QString &path)
{
    recordEdit->setText(QDir::toNativeSeparators(path));
}

QString LivePanel::recordPath() const
{
    return QDir::fromNativeSeparators(recordEdit->text().trimmed());
}

void LivePanel::defaultRecordPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    setRecordPath(QDir(folder).filePath(
        QStringLiteral("capture-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))));
}

bool LivePanel::start()
{
    if (session)
        return false;
    const QString source = sourceBox->currentText().trimmed();
    if (source.isEmpty()) {
        say(tr("Choose a port or type its path first."));
        return false;
    }
    bool baudOk = false;
    const int baud = baudBox->currentText().toInt(&baudOk);
    if (!baudOk || baud < MinimumBaud || baud > MaximumBaud) {
        say(tr("The baud rate must be a whole number from %1 to %2.").arg(MinimumBaud).arg(MaximumBaud));
        return false;
    }
    const Expected<LiveFitSettings> fit = fitSource();
    if (!fit) {
        say(fit.error());
        return false;
    }
    fitSettings = *fit;
    CaptureSettings settings;
    settings.source = source;
    settings.baud = baud;
    settings.format = LineFormat(formatBox->currentData().toInt());
    settings.unitInNt = unitInNt(fit->unit);
    settings.hm = fit->options.hm;
    settings.recordPath = recordPath();
    settings.reconnect = true;
    session = std::make_unique<CaptureSession>(settings);
    connect(session.get(), &CaptureSession::fault, this, &LivePanel::onFault);
    connect(session.get(), &CaptureSession::finished, this, &LivePanel::onFinished);
    connect(session.get(), &CaptureSession::readingsAdded, this, [this] { fresh = true; });
    connect(session.get(), &CaptureSession::readingsDiscarded, this, [this] { fresh = true; });
    connect(session.get(), &CaptureSession::reconnected, this,
            [this, source] { say(tr("%1 is back: capturing again.").arg(source)); });
    // Said first: a fault of the opening itself follows it.
    say(tr("Capturing from %1 into %2.").arg(source, QDir::toNativeSeparators(settings.recordPath)));
    QString error;
    if (!session->start(error)) {
        session.reset();
        say(error);
        return false;
    }
    fitShown.reset();
    showAngle();
    readingsFitted = -1;
    cloud->show(nullptr);
    coverageMap->show(nullptr);
    coverageMap->setEnough(false);
    pauseButton->setChecked(false);
    refreshTimer.start();
    fitTimer.start();
    refresh();
    showButtons();
    return true;
}

void LivePanel::setPaused(bool paused)
{
    if (!session || session->isOver())
        return;
    session->setPaused(paused);
    pauseButton->setText(paused ? tr("Res&ume") : tr("Pa&use"));
    say(paused ? tr("Paused: readings are dropped until Resume.") : tr("Capturing again."));
}

void LivePanel::discardLast()
{
    if (!session)
        return;
    const int dropped = session->discardLast(DiscardSeconds);
    say(tr("Discarded %1 readings of the last %2 s.").arg(dropped).arg(DiscardSeconds));
    refresh();
}

void LivePanel::stop()
{
    if (!session)
        return;
    session->stop();
    refresh();
    refreshTimer.stop();
    fitTimer.stop();
    fits.cancel();
    const bool kept = !session->readings().empty();
    const QString path = recordPath();
    const std::optional<LogFormat> log = session->recordingLog();
    session.reset();
    showButtons();
    if (!kept) {
        emit liveFitChanged(nullptr);
        say(tr("Stopped: no readings were kept."));
        return;
    }
    say(log ? tr("Stopped: calibrating %1 (CSV, header %2).")
                  .arg(QDir::toNativeSeparators(path), QLatin1String(Recorder::InertialHeader))
            : tr("Stopped: calibrating %1.").arg(QDir::toNativeSeparators(path)));
    emit recorded(path, log);
}

void LivePanel::onFault(const CaptureFault &fault)
{
    say(fault.message());
}

void LivePanel::onFinished()
{
    refresh();
    refreshTimer.stop();
    showButtons();
}

void LivePanel::say(const QString &message)
{
    statusLabel->setText(message);
    emit said(message);
}

void LivePanel::showButtons()
{
    const bool live = session && !session->isOver();
    for (QWidget *w : {static_cast<QWidget *>(sourceBox), static_cast<QWidget *>(baudBox),
                       static_cast<QWidget *>(formatBox), static_cast<QWidget *>(recordEdit),
                       static_cast<QWidget *>(startButton)})
        w->setEnabled(!session);
    pauseButton->setEnabled(live);
    discardButton->setEnabled(live);
    stopButton->setEnabled(session != nullptr);
    if (!session)
        defaultRecordPath();
}

QString LivePanel::countersText() const
{
    return countersLabel->text();
}

QString LivePanel::enoughText() const
{
    return enoughLabel->text();
}

QString LivePanel::statusText() const
{
    return statusLabel->text();
}

void LivePanel::refresh()
{
    if (!session)
        return;
    const CaptureCounters c = session->counters();
    const std::vector<Reading> &readings = session->readings();
    countersLabel->setText(tr("%1 points, %2 readings/s, %3 ignored lines\nformat: %4%5")
                               .arg(readings.size())
                               .arg(c.rate, 0, 'f', 0)
                               .arg(c.ignored)
                               .arg(c.format == LineFormat::Auto ? tr("searching") : lineFormatName(c.format))
                               .arg(c.connected ? QString() : tr(", not connected")));
    lastLineLabel->setText(tr("Last line: %1").arg(printable(QString::fromUtf8(c.lastLine.left(120)))));
    if (!fresh)
        return;
    fresh = false;
    const CoverageState s = session->coverageState();
    coverageMap->setEnough(s.enough);
    const double scale = fitSettings.options.hm > 0 ? fitSettings.options.hm : s.radius;
    cellsBar->setValue(s.cellsHit);
    const QString bias = s.biasError < 0 || scale <= 0
                             ? tr("bias error not known yet")
                             : tr("bias error %1 % of Hm (enough under %2 %)")
                                   .arg(100 * s.biasError / scale, 0, 'f', 2)
                                   .arg(100 * CoverageTracker::EnoughBiasShare, 0, 'g', 3);
    enoughLabel->setText(s.enough ? tr("<b>Enough</b>: %1 of %2 cells, %3. Press Stop to calibrate.")
                                        .arg(s.cellsHit)
                                        .arg(CoverageTracker::Cells)
                                        .arg(bias)
                                  : tr("Not enough yet: %1 of %2 cells (enough from %3), %4.")
                                        .arg(s.cellsHit)
                                        .arg(CoverageTracker::Cells)
                                        .arg(CoverageTracker::EnoughCells)
                                        .arg(bias));
    norms->show(readings, fitSettings.options.hm, fitShown ? &fitShown->result->run.parameters : nullptr);
}

void LivePanel::refitIfDue()
{
    if (!session)
        return;
    const int count = int(session->readings().size());
    if (count == readingsFitted || (fits.busy() && fitStarted.elapsed() < FitPatience))
        return;
    readingsFitted = count;
    fitStarted.start();
    fits.start(tr("Live fit"),
               [readings = session->readings(), inertial = session->inertial(), settings = fitSettings](
                   TaskControl &control) { fitReadings(readings, inertial, settings, control); });
}

void LivePanel::showFit(std::shared_ptr<const Calibration> calibration)
{
    fitShown = calibration;
    cloud->show(calibration);
    coverageMap->show(calibration);
    showAngle();
    emit liveFitChanged(calibration);
}

void LivePanel::showAngle()
{
    const align::AlignmentResult *a =
        fitShown && fitShown->result->alignment ? &*fitShown->result->alignment : nullptr;
    angleLabel->setVisible(a != nullptr);
    if (!a) {
        angleLabel->clear();
        return;
    }
    if (!a->dipSpreadBeforeDegrees) {
        angleLabel->setText(tr("Angle to gravity: %1 readings at rest so far, %2 needed")
                                .arg(a->readingsAtRest)
                                .arg(align::MinimumRests));
        return;
    }
    QString text = tr("Angle to gravity: spread %1°").arg(*a->dipSpreadBeforeDegrees, 0, 'f', 1);
    if (a->dipSpreadAfterDegrees)
        text += tr(" (%1° after the rotation)").arg(*a->dipSpreadAfterDegrees, 0, 'f', 1);
    text += tr(" over %1 readings at rest").arg(a->readingsAtRest);
    if (a->needed())
        text += a->mirror ? tr("; axes %1, a mirror").arg(QString::fromStdString(a->mappingText()))
                          : tr("; axes %1").arg(QString::fromStdString(a->mappingText()));
    angleLabel->setText(text);
}

QString LivePanel::angleText() const
{
    return angleLabel->isHidden() ? QString() : angleLabel->text();
}

} // namespace tavrin
