// What a desktop program reads of its arguments before Qt starts: the
// options it answers without a window.
#ifndef TAVRIN_STARTARGUMENTS_H
#define TAVRIN_STARTARGUMENTS_H

namespace tavrin {

/// Whether an argument after the program's name is shortName or longName.
bool asked(int argc, char **argv, const char *shortName, const char *longName);

} // namespace tavrin

#endif
