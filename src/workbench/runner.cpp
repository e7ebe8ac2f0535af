#include "runner.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace tavrin {

RunControl TaskControl::runControl(double from, double to)
{
    RunControl c;
    c.cancel = &cancel;
    c.threads = workerThreads();
    const double first = spanFrom + (spanTo - spanFrom) * from, last = spanFrom + (spanTo - spanFrom) * to;
    c.progress = [this, first, last](double fraction, RunPhase) {
        permille.store(int(1000 * (first + (last - first) * fraction)));
    };
    return c;
}

namespace {

// A worker gives way to the window's thread, so that on a busy machine the
// window still repaints and answers at once; the pipeline's own threads,
// started from the worker, inherit its niceness.
void yieldToTheWindow()
{
#ifdef Q_OS_LINUX
    constexpr int Niceness = 5;
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), Niceness);
#endif
}

} // namespace

int workerThreads()
{
    return std::max(1, QThread::idealThreadCount() - 1);
}

Runner::Runner(QObject *parent) : QObject(parent)
{
    clock.setInterval(50);
    connect(&clock, &QTimer::timeout, this, &Runner::poll);
}

Runner::~Runner()
{
    cancel();
    waitForAll();
}

void Runner::start(const QString &description, Task task)
{
    cancel();
    control = std::make_shared<TaskControl>();
    what = description;
    watcher = new QFutureWatcher<void>(this);
    QFutureWatcher<void> *mine = watcher;
    const std::shared_ptr<TaskControl> running = control;
    // Only the task under way speaks to the window: a cancelled one's
    // results are dropped on arrival. The task is held weakly here, as it
    // holds this function itself.
    const std::weak_ptr<TaskControl> weak = running;
    running->onWindow = [this, weak](std::function<void()> step) {
        QMetaObject::invokeMethod(
            this,
            [this, weak, step] {
                if (const std::shared_ptr<TaskControl> alive = weak.lock(); alive && control == alive)
                    step();
            },
            Qt::QueuedConnection);
    };
    running->publish = [this, onWindow = running->onWindow](std::shared_ptr<const Calibration> calibration) {
        onWindow([this, calibration] { emit published(calibration); });
    };
    connect(mine, &QFutureWatcherBase::finished, this, [this, mine, running] {
        mine->deleteLater();
        if (control != running)
            return;
        watcher = nullptr;
        control.reset();
        clock.stop();
        emit finished();
    });
    mine->setFuture(QtConcurrent::run([running, task] {
        yieldToTheWindow();
        task(*running);
    }));
    clock.start();
    emit progressed(what, 0.0);
}

void Runner::cancel()
{
    if (!control)
        return;
    control->cancel.store(true);
    abandoned.erase(std::remove_if(abandoned.begin(), abandoned.end(),
                                   [](const QFuture<void> &f) { return f.isFinished(); }),
                    abandoned.end());
    abandoned.push_back(watcher->future());
    watcher = nullptr;
    control.reset();
    clock.stop();
    emit cancelled();
}

void Runner::waitForAll()
{
    for (QFuture<void> &f : abandoned)
        f.waitForFinished();
    abandoned.clear();
    if (watcher)
        watcher->waitForFinished();
}

void Runner::poll()
{
    if (control)
        emit progressed(what, control->permille.load() / 1000.0);
}

} // namespace tavrin
