// Running tavrin-cli as a process in a scratch folder, for the tests of the
// command-line tool.
#ifndef TAVRIN_TESTS_CLITEST_H
#define TAVRIN_TESTS_CLITEST_H

#include "synthetic.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

struct Outcome {
    int status = -1;
    QByteArray out, err;
};

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

/// How a run of the tool differs from a plain one.
struct Launch {
    QStringList environment;              ///< NAME=value entries added to the test's own
    QString standardOutput;               ///< a file that standard output goes to instead of the test
    int standardOutputFd = -1;            ///< or a descriptor that the tool gets as its standard output
    QString standardInput;                ///< a file that standard input comes from
    rlim_t fileSizeLimit = RLIM_INFINITY; ///< bytes a file may reach, with SIGXFSZ ignored as services run
};

class CliTest : public testing::Test {
protected:
    // Runs the tool in the test's folder, where relative names resolve.
    Outcome cli(const QStringList &arguments, const Launch &launch = {})
    {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : launch.environment)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
        p.setProcessEnvironment(environment);
        if (!launch.standardOutput.isEmpty())
            p.setStandardOutputFile(launch.standardOutput, QIODevice::Append);
        if (!launch.standardInput.isEmpty())
            p.setStandardInputFile(launch.standardInput);
        const int fd = launch.standardOutputFd;
        const rlim_t limit = launch.fileSizeLimit;
        p.setChildProcessModifier([fd, limit] {
            if (fd >= 0)
                ::dup2(fd, 1);
            if (limit != RLIM_INFINITY) {
                const struct rlimit fileSize = {limit, limit};
                ::setrlimit(RLIMIT_FSIZE, &fileSize);
                std::signal(SIGXFSZ, SIG_IGN);
            }
        });
        p.start(tool, arguments);
        p.waitForFinished(-1);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        writeFile(path, bytes);
        return path;
    }

    QString sample() { return file("sample.txt", readAll(TAVRIN_SAMPLE)); }

    QTemporaryDir dir;
    QString tool = QStringLiteral(TAVRIN_CLI); ///< the program cli() runs: the one built, or a copy of it
};

#endif
