// Arbitrary argument lists through tavrin-cli's parser: the input is split
// at NUL bytes into the arguments after the program's name. The parser
// touches no file, so whatever the arguments name stays untouched.
#include "commandline.h"

#include <QCoreApplication>

using namespace tavrin;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The parser names the program in its messages, as the tool does.
    static QCoreApplication app(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-cli"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("tavrin-cli")};
    for (const QByteArray &argument : QByteArray(reinterpret_cast<const char *>(data), int(size)).split('\0'))
        arguments << QString::fromUtf8(argument);
    const Expected<CommandLine> command = parseCommandLine(arguments);
    if (command && command->action == CommandLine::Action::Run)
        displayName(command->options.files.value(0));
    return 0;
}
