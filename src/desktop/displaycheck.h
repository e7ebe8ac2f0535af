// Whether a desktop program can open a window: Qt ends the process with a
// core dump when it cannot reach the display, so the program asks first.
#ifndef TAVRIN_DISPLAYCHECK_H
#define TAVRIN_DISPLAYCHECK_H

#include <QString>

#include <optional>

namespace tavrin {

/// Why no window can open, as one line for standard error that starts with
/// the program's name; nothing when one
/// can. A platform named by the user (QT_QPA_PLATFORM, -platform) and a
/// Wayland session are theirs to answer for; an X display, from -display or
/// DISPLAY, is connected to and let go.
std::optional<QString> displayProblem(const char *program, int argc, char **argv);

} // namespace tavrin

#endif
