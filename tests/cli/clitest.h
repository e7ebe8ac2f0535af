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
    QStringList environment;   ///< NAME=value entries added to the test's own
    QString standardOutput;    ///< a file that standard output goes to instead of the test
    int standardOutputFd = -1; ///< or a descriptor that the tool gets as its standard output
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
        if (launch.standardOutputFd >= 0) {
            const int fd = launch.standardOutputFd;
            p.setChildProcessModifier([fd] { ::dup2(fd, 1); });
        }
        p.start(TAVRIN_CLI, arguments);
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
};

#endif
