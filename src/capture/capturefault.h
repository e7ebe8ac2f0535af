// What can go wrong with a live source, and the message that says what to
// do about it: the one place where a capture's trouble becomes words.
#ifndef TAVRIN_CAPTURE_CAPTUREFAULT_H
#define TAVRIN_CAPTURE_CAPTUREFAULT_H

#include <QString>

namespace tavrin {

enum class FaultKind {
    PermissionDenied, ///< the port may not be opened by this user
    Busy,             ///< another program holds the port
    Missing,          ///< no such port
    NotSerial,        ///< the path names a file, a folder or another thing that is no serial device
    CannotOpen,       ///< the port or connection failed otherwise
    Unplugged, ///< the port hung up, failed to read or its connection ended: the capture stops, its readings
               ///< kept, or waits for the port to return
    NoReadableLines, ///< only noise since the start: a wrong baud rate
    NoReadings,      ///< readable lines, but none with a reading
    BadLog,          ///< the log's rows cannot hold the columns
    CannotRecord,    ///< the recording cannot be written; the detail names the file
};

struct CaptureFault {
    FaultKind kind;
    QString source;            ///< the port, "tcp://host:port" or "-"
    QString detail;            ///< the system's reason, the last line received, ...
    bool awaitsReturn = false; ///< an unplugged port that the capture waits for, to go on when it returns

    /// Whether the capture ends with it.
    bool stops() const;

    /// The whole message, saying what to do.
    QString message() const;
};

} // namespace tavrin

#endif
