// The workbench's live capture: a port, its baud rate and format; Start,
// Pause, Discard and Stop; the counters; the cloud and the coverage map of a
// fit of the readings so far, refreshed on a worker while the sensor turns;
// how far the capture is from enough; and on Stop the recording, handed to
// the window as an ordinary input.
#ifndef TAVRIN_WORKBENCH_LIVEPANEL_H
#define TAVRIN_WORKBENCH_LIVEPANEL_H

#include "capturesession.h"
#include "expected.h"
#include "runner.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tavrin {

class CloudWidget;
class CoverageWidget;
class LiveNormWidget;
class PortWatcher;

/// What a capture is judged against: Hm and the fit, in a unit the capture
/// records in.
struct LiveFitSettings {
    CalibrationOptions options;
    QString unit; ///< one of fieldUnits()
};
/// The settings to judge a capture against, or why Hm is not known.
using LiveFitSource = std::function<Expected<LiveFitSettings>()>;

class LivePanel : public QWidget {
    Q_OBJECT
public:
    /// Seconds that Discard drops: about a knock on the table and the hand
    /// that follows it.
    static constexpr double DiscardSeconds = 3.0;
    /// Milliseconds between two showings of the counters, and between two
    /// live fits; a fit still running after FitPatience is cancelled.
    static constexpr int RefreshInterval = 250, FitInterval = 500, FitPatience = 1500;

    explicit LivePanel(LiveFitSource fitSource, QWidget *parent = nullptr);
    ~LivePanel() override;

    void setSource(const QString &source);
    void setFormat(LineFormat format);
    void setRecordPath(const QString &path);
    QString recordPath() const;

    /// Starts capturing; false, with the reason said, when it cannot.
    bool start();
    void setPaused(bool paused);
    void discardLast();
    /// Ends the capture and hands its recording on through recorded().
    void stop();

    bool capturing() const { return session != nullptr; }
    const CaptureSession *captureSession() const { return session.get(); }
    /// The text of the counters, the closeness to enough, and the last thing said.
    QString countersText() const;
    QString enoughText() const;
    QString statusText() const;
    /// The angle to gravity's line; empty while the source carries no accelerometer.
    QString angleText() const;
    /// The live fit shown; empty before the first.
    std::shared_ptr<const Calibration> liveFit() const { return fitShown; }

signals:
    /// The capture ended with readings kept in this file; log: its columns
    /// when it is a log with the accelerometer and gyroscope, else empty.
    void recorded(const QString &path, const std::optional<tavrin::LogFormat> &log);
    /// Something for the status bar.
    void said(const QString &message);
    /// A new live fit, or nullptr when the capture stopped with none to hand on.
    void liveFitChanged(std::shared_ptr<const Calibration> calibration);

private:
    void buildControls();
    QLayout *buildSourceForm();
    QLayout *buildButtons();
    /// The counters, the closeness to enough, the angle to gravity and the last thing said.
    void buildReadouts();
    /// The spread of the angle between the accelerometer and the live fit's
    /// field, for a source that carries an accelerometer.
    void showAngle();
    void say(const QString &message);
    void onFault(const CaptureFault &fault);
    void onFinished();
    void refresh();
    void refitIfDue();
    void showFit(std::shared_ptr<const Calibration> calibration);
    void showButtons();
    void defaultRecordPath();

    LiveFitSource fitSource;
    LiveFitSettings fitSettings;
    std::unique_ptr<CaptureSession> session;
    PortWatcher *watcher;
    Runner fits;
    QTimer refreshTimer, fitTimer;
    QElapsedTimer fitStarted;
    int readingsFitted = -1;
    bool fresh = false; ///< readings arrived since the last showing
    std::shared_ptr<const Calibration> fitShown;

    QComboBox *sourceBox, *baudBox, *formatBox;
    QLineEdit *recordEdit;
    QPushButton *startButton, *pauseButton, *discardButton, *stopButton;
    QLabel *countersLabel, *lastLineLabel, *enoughLabel, *angleLabel, *statusLabel;
    QProgressBar *cellsBar;
    CloudWidget *cloud;
    CoverageWidget *coverageMap;
    LiveNormWidget *norms;
};

} // namespace tavrin

#endif
