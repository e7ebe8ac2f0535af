#include "startarguments.h"

#include <cstring>

namespace tavrin {

bool asked(int argc, char **argv, const char *shortName, const char *longName)
{
    for (int k = 1; k < argc; k++)
        if (std::strcmp(argv[k], shortName) == 0 || std::strcmp(argv[k], longName) == 0)
            return true;
    return false;
}

} // namespace tavrin
