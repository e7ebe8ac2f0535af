// Standard input as a byte source: another program's output piped in.
#ifndef TAVRIN_CAPTURE_STDINSOURCE_H
#define TAVRIN_CAPTURE_STDINSOURCE_H

#include "bytesource.h"

#include <QSocketNotifier>

#include <memory>

namespace tavrin {

class StdinSource : public ByteSource {
    Q_OBJECT
public:
    using ByteSource::ByteSource;

    void open() override;
    void close() override;

private:
    void readSome();

    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace tavrin

#endif
