// A standard stream whose every write is checked and flushed: a full disk or
// a closed pipe must not pass for success.
#ifndef TAVRIN_CLI_STREAM_H
#define TAVRIN_CLI_STREAM_H

#include <QByteArray>

#include <cerrno>
#include <cstdio>

namespace tavrin {

class Stream {
public:
    explicit Stream(std::FILE *file) : file(file) {}

    /// Writes and flushes; after the first failure nothing more is written.
    void write(const QByteArray &bytes)
    {
        if (error == 0 &&
            (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) != size_t(bytes.size()) ||
             std::fflush(file) != 0))
            error = errno ? errno : EIO;
    }

    int error = 0; ///< errno of the first failure, 0 while every write went out

private:
    std::FILE *file;
};

} // namespace tavrin

#endif
