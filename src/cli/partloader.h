// Loading the parts of tavrin-cli that a run needs (parts.h), from beside the
// executable, as the build tree has them, or from the install's lib/tavrin.
#ifndef TAVRIN_CLI_PARTLOADER_H
#define TAVRIN_CLI_PARTLOADER_H

#include "commandline.h"
#include "expected.h"
#include "parts.h"

namespace tavrin {

/// The parts that command needs, loaded; or the one-line message that says
/// which cannot be and why.
Expected<Parts> loadParts(const CommandLine &command);

} // namespace tavrin

#endif
