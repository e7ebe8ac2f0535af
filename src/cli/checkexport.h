// --check-export FORMAT FILE DATA: an exported file applied to measurements
// as its firmware applies it.
#ifndef TAVRIN_CLI_CHECKEXPORT_H
#define TAVRIN_CLI_CHECKEXPORT_H

#include "commandline.h"
#include "stream.h"

namespace tavrin {

/// Reads options.files[0] in options.exportFormat, applies it to the raw
/// measurements options.files[1] and prints the RMS norm error against Hm in
/// the firmware's unit; returns the exit status.
int checkExportFile(const CliOptions &options, Stream &out, Stream &err);

} // namespace tavrin

#endif
