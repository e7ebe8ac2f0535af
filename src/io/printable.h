// Text from outside (file names, lines of a file) as it can be shown on one
// terminal line: nothing in it can forge a message, move the cursor or
// turn the text around it.
#ifndef TAVRIN_PRINTABLE_H
#define TAVRIN_PRINTABLE_H

#include <QString>

namespace tavrin {

/// Control characters as \xNN, the controls of bidirectional text as
/// \uNNNN, and '"' and '\' escaped with a backslash.
QString printable(const QString &text);

} // namespace tavrin

#endif
