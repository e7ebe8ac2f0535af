// Runs work off the window's thread: one task at a time, with its progress
// polled by the window's clock, cancelled by Cancel or by the next start. A
// cancelled task's result never reaches the window.
#ifndef TAVRIN_WORKBENCH_RUNNER_H
#define TAVRIN_WORKBENCH_RUNNER_H

#include "pipeline.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace tavrin {

/// What a calibration brings back: the run, then, computed after it on the
/// same points, every model's fit for the comparison and the bootstrap.
struct Calibration {
    Input input;
    CalibrationOptions options;
    QString unit; ///< of the measurements and Hm; empty when not known
    std::shared_ptr<const CalibrationResult> result;
    std::vector<CalibrationResult> comparison; ///< one per model of the comparison, in its order
    /// Per model of the comparison, the root of its predicted squared bias
    /// error as auto weighs it, for the sphere, diagonal and full fits.
    std::vector<std::optional<double>> predictedBiasError;
    std::optional<Uncertainty> uncertainty;
    std::shared_ptr<const struct ViewData> views; ///< when calibrated
    /// SHA-256 of the input file's bytes, taken as it was calibrated; empty
    /// for points in memory, and until it has been taken.
    QByteArray fingerprint;
};

/// How a task tells its progress and learns of its cancellation.
struct TaskControl {
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    /// Hands a result, interim or final, to the window's thread.
    std::function<void(std::shared_ptr<const Calibration>)> publish;
    /// Runs step on the window's thread, unless the task has been cancelled
    /// or replaced by then.
    std::function<void(std::function<void()>)> onWindow;
    /// The span of the task's progress that runControl's [from, to] are
    /// fractions of: a task made of steps gives each its part.
    double spanFrom = 0.0, spanTo = 1.0;

    /// The pipeline's control for a step that spans [from, to] of the task.
    RunControl runControl(double from, double to);
};

class Runner : public QObject {
    Q_OBJECT
public:
    explicit Runner(QObject *parent = nullptr);
    ~Runner() override;

    using Task = std::function<void(TaskControl &)>;

    /// Cancels the task under way, if any, and starts this one.
    void start(const QString &what, Task task);
    void cancel();
    bool busy() const { return control != nullptr; }
    /// Waits for every task, the cancelled ones included: for tests and the end.
    void waitForAll();

signals:
    void progressed(const QString &what, double fraction);
    void published(std::shared_ptr<const Calibration> calibration);
    void finished();
    void cancelled();

private:
    void poll();

    std::shared_ptr<TaskControl> control;
    QString what;
    QFutureWatcher<void> *watcher = nullptr;
    std::vector<QFuture<void>> abandoned;
    QTimer clock;
};

/// The threads a task may use: all but one, which stays with the window.
int workerThreads();

} // namespace tavrin

#endif
