// The dialog's one newline per line read, on standard output. A writer
// thread of its own takes them, so that a slow or stuck terminal never holds
// the window; once standard output fails (a closed pipe), the rest is dropped.
#ifndef TAVRIN_NEWLINEECHO_H
#define TAVRIN_NEWLINEECHO_H

#include <QtGlobal>

#include <memory>

namespace tavrin {

class NewlineEcho {
public:
    NewlineEcho();
    ~NewlineEcho();
    NewlineEcho(const NewlineEcho &) = delete;
    NewlineEcho &operator=(const NewlineEcho &) = delete;

    /// Queues count newlines; returns at once.
    void add(qint64 count);

    /// Waits until every queued newline is written or dropped (for tests).
    void drain();

private:
    struct State;
    std::shared_ptr<State> state;
};

} // namespace tavrin

#endif
