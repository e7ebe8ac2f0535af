// The reports' sentences with a number in them.
#ifndef TAVRIN_ALIGN_NUMBERTEXT_H
#define TAVRIN_ALIGN_NUMBERTEXT_H

#include <cstdio>
#include <string>

namespace tavrin::align {

/// pattern with its one conversion, of a double, as printf writes it; at
/// most 399 characters.
inline std::string format(const char *pattern, double value)
{
    char text[400];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace tavrin::align

#endif
