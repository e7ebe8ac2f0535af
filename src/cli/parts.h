// The parts of tavrin-cli that need libraries a plain run does not: the
// figure (Qt Gui, Qt Svg) and the live capture (Qt SerialPort, Qt Network).
// Each is a module that only the runs using it load. Measured (hyperfine,
// medians of 31 runs): tavrin-cli --version took 7.2 ms with them linked in
// and takes 2.9 ms without (a bare Qt Core process: 2.5 ms); --hm 48 on the
// 2000-point sample 19.1 ms and now 13.5 ms; and a 500000-point run peaks
// at 30.2 MiB instead of 37.2 (bench/speed_bench).
#ifndef TAVRIN_CLI_PARTS_H
#define TAVRIN_CLI_PARTS_H

#include "commandline.h"
#include "figuredata.h"
#include "stream.h"

class QCoreApplication;

namespace tavrin {

struct DrawingPart {
    /// The application of a run that draws: Qt Gui's, offscreen. argc must
    /// outlive it.
    QCoreApplication *(*startApplication)(int &argc, char **argv);
    FigureWriter writeFigure;
};

struct CapturePart {
    /// Captures into request.record until a stopping rule, the end of the
    /// input, an unplugged port or Ctrl-C. Returns 0 when there is a
    /// recording to calibrate, else the exit status; hm in the recording's
    /// unit. recordingLog: how the recording reads back, the log's columns
    /// when it holds the accelerometer and gyroscope; empty for the strict format.
    int (*captureToRecording)(const CaptureRequest &request, double hm, Stream &err,
                              std::optional<LogFormat> &recordingLog);
};

/// The parts a run loaded; nullptr for those it needs not. Each module has
/// one entry, extern "C": tavrinDrawingPart() or tavrinCapturePart().
struct Parts {
    const DrawingPart *drawing = nullptr;
    const CapturePart *capture = nullptr;
};

} // namespace tavrin

#endif
