#include "newlineecho.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace tavrin {

struct NewlineEcho::State {
    std::mutex mutex;
    std::condition_variable changed;
    qint64 pending = 0;   ///< queued, not yet taken by the writer
    bool writing = false; ///< the writer holds a batch
    bool stopping = false;

    void run()
    {
        // A closed pipe makes a write fail with EPIPE here instead of
        // ending the program with SIGPIPE.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        char block[4096];
        std::memset(block, '\n', sizeof block);
        bool failed = false;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return pending > 0 || stopping; });
            if (stopping)
                return;
            qint64 count = pending;
            pending = 0;
            writing = true;
            lock.unlock();
            while (count > 0 && !failed) {
                const ssize_t written =
                    ::write(STDOUT_FILENO, block, size_t(std::min<qint64>(count, sizeof block)));
                if (written < 0 && errno != EINTR)
                    failed = true;
                else if (written > 0)
                    count -= written;
            }
            lock.lock();
            writing = false;
            changed.notify_all();
        }
    }
};

NewlineEcho::NewlineEcho() : state(std::make_shared<State>())
{
    // The thread keeps the state alive: it may still be writing to a stuck
    // terminal when the program ends, and is then left to the process's end.
    std::thread([s = state] { s->run(); }).detach();
}

NewlineEcho::~NewlineEcho()
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->stopping = true;
    state->changed.notify_all();
}

void NewlineEcho::add(qint64 count)
{
    if (count <= 0)
        return;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->pending += count;
    state->changed.notify_all();
}

void NewlineEcho::drain()
{
    std::unique_lock<std::mutex> lock(state->mutex);
    state->changed.wait(lock, [this] { return state->pending == 0 && !state->writing; });
}

} // namespace tavrin
