// Whether a desktop program can open a window: Qt ends the process with a
// core dump when it cannot reach the display, so the program asks first.
#ifndef TAVRIN_DISPLAYCHECK_H
#define TAVRIN_DISPLAYCHECK_H

#include "expected.h"

#include <QString>

namespace tavrin {

/// Whether a window can open; when none can, why, as one line for standard
/// error that starts with the program's name. A platform named by the user (QT_QPA_PLATFORM, -platform) and a
/// Wayland session are theirs to answer for; an X display, from -display or
/// DISPLAY, is connected to and let go.
Expected<void> checkDisplay(const char *program, int argc, char **argv);

} // namespace tavrin

#endif
