// A value, or the words that say why there is none: how the Qt side of the
// core and its front ends say that something failed.
#ifndef TAVRIN_EXPECTED_H
#define TAVRIN_EXPECTED_H

#include <QString>

#include <optional>
#include <utility>

namespace tavrin {

template <typename T> class Expected {
public:
    Expected(T value) : held(std::move(value)) {}

    static Expected failure(QString why)
    {
        Expected e;
        e.why = std::move(why);
        return e;
    }

    explicit operator bool() const { return held.has_value(); }
    const T &operator*() const { return *held; }
    const T *operator->() const { return &*held; }
    /// Why there is no value; empty when there is one.
    const QString &error() const { return why; }

private:
    Expected() = default;

    std::optional<T> held;
    QString why;
};

/// Done, or the words that say why not: for work whose only result is
/// having been done.
template <> class Expected<void> {
public:
    Expected() = default;

    static Expected failure(QString why)
    {
        Expected e;
        e.why = std::move(why);
        e.failed = true;
        return e;
    }

    explicit operator bool() const { return !failed; }
    /// Why it was not done; empty when it was.
    const QString &error() const { return why; }

private:
    QString why;
    bool failed = false;
};

} // namespace tavrin

#endif
