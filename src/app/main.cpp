#include "displaycheck.h"
#include "fen_tavrin.h"
#include "startarguments.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (tavrin::asked(argc, argv, "-h", "--help")) {
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
    if (tavrin::asked(argc, argv, "-v", "--version")) {
        std::printf("tavrin %s\n", TAVRIN_VERSION);
        return 0;
    }
    if (const tavrin::Expected<void> display = tavrin::checkDisplay("tavrin", argc, argv); !display) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(display.error()));
        return 1;
    }
    QApplication app(argc, argv);
    tavrin::Fen_Tavrin window;
    window.show();
    return app.exec();
}
