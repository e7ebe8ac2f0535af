// tavrin-cli --port: the capture that comes before the calibration, with its
// progress and its faults on standard error.
#ifndef TAVRIN_CLI_CAPTURERUN_H
#define TAVRIN_CLI_CAPTURERUN_H

#include "commandline.h"
#include "stream.h"

namespace tavrin {

/// Captures into request.record until a stopping rule, the end of the
/// input, an unplugged port or Ctrl-C. Returns 0 when there is a recording
/// to calibrate, else the exit status; hm in the recording's unit.
/// recordingLog: the log's columns when the recording is a CSV log.
int captureToRecording(const CaptureRequest &request, double hm, Stream &err,
                       std::optional<LogFormat> &recordingLog);

} // namespace tavrin

#endif
