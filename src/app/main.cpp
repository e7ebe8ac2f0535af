#include "fen_tavrin.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool asked(int argc, char **argv, const char *shortName, const char *longName)
{
    for (int k = 1; k < argc; k++)
        if (std::strcmp(argv[k], shortName) == 0 || std::strcmp(argv[k], longName) == 0)
            return true;
    return false;
}

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// Without a display, Qt would abort with a core dump; a platform named by
// the user (QT_QPA_PLATFORM, -platform) is theirs to answer for.
bool hasDisplay(int argc, char **argv)
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM") ||
           asked(argc, argv, "-platform", "--platform");
}

} // namespace

int main(int argc, char *argv[])
{
    if (asked(argc, argv, "-h", "--help")) {
        std::printf("Usage: tavrin [Qt options]\n"
                    "Calibrates a tri-axis magnetometer in a window: enter the norm Hm of the local\n"
                    "Earth field, open a file of raw x y z measurements and press Calibrate to get\n"
                    "the bias b and the matrix A, so that h_cal = A^-1 (h - b).\n"
                    "\n"
                    "  -h, --help     Show this help.\n"
                    "  -v, --version  Show the version.\n"
                    "\n"
                    "For scripts, reports and figures, use tavrin-cli (tavrin-cli --help).\n");
        return 0;
    }
    if (asked(argc, argv, "-v", "--version")) {
        std::printf("tavrin %s\n", TAVRIN_VERSION);
        return 0;
    }
    if (!hasDisplay(argc, argv)) {
        std::fprintf(stderr, "tavrin: needs a graphical display (none is set in DISPLAY or WAYLAND_DISPLAY); "
                             "without one, use tavrin-cli, for example: tavrin-cli --hm 48 data.txt\n");
        return 1;
    }
    QApplication app(argc, argv);
    tavrin::Fen_Tavrin window;
    window.show();
    return app.exec();
}
