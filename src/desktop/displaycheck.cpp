#include "displaycheck.h"

#include "printable.h"

#include <cstdlib>
#include <cstring>

#ifdef TAVRIN_HAS_XCB
#include <xcb/xcb.h>
#endif

namespace tavrin {

namespace {

// The value of an option given as "-name value" or "--name value"; nullptr
// when it is not given, the option itself when it has no value.
const char *optionValue(int argc, char **argv, const char *name)
{
    for (int k = 1; k < argc; k++)
        if (std::strcmp(argv[k], name) == 0 || (argv[k][0] == '-' && std::strcmp(argv[k] + 1, name) == 0))
            return k + 1 < argc ? argv[k + 1] : argv[k];
    return nullptr;
}

const char *variable(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

Expected<void> withoutDisplay(const char *program, const QString &reason)
{
    return Expected<void>::failure(
        QStringLiteral("%1: %2; without one, use tavrin-cli, for example: tavrin-cli --hm 48 data.txt")
            .arg(QLatin1String(program), reason));
}

#ifdef TAVRIN_HAS_XCB
// Connects as Qt will, authorisation and screen included.
bool reachable(const char *display)
{
    xcb_connection_t *connection = xcb_connect(display, nullptr);
    const bool connected = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return connected;
}
#endif

} // namespace

Expected<void> checkDisplay(const char *program, int argc, char **argv)
{
    if (variable("QT_QPA_PLATFORM") || optionValue(argc, argv, "-platform") || variable("WAYLAND_DISPLAY"))
        return {};
    const char *display = optionValue(argc, argv, "-display");
    if (!display)
        display = variable("DISPLAY");
    if (!display)
        return withoutDisplay(
            program, QStringLiteral("needs a graphical display (none is set in DISPLAY or WAYLAND_DISPLAY)"));
#ifdef TAVRIN_HAS_XCB
    if (!reachable(display))
        return withoutDisplay(program, QStringLiteral("cannot connect to the display \"%1\"")
                                           .arg(printable(QString::fromLocal8Bit(display))));
#endif
    return {};
}

} // namespace tavrin
