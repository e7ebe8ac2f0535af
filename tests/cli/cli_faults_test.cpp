// tavrin-cli under faults and hostile input: locales, full disks, closed
// pipes, failing reads, special files, links and names that try to forge
// messages. Each case is one where a wrong result or a lost file once passed
// for success.
#include "clitest.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QByteArray scaled(const MatDoub &points, Doub factor)
{
    MatDoub p = points;
    for (Int k = 0; k < p.nrows(); k++)
        for (Int c = 0; c < 3; c++)
            p[k][c] *= factor;
    return asFileText(p);
}

bool isCharacterDevice(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

class CliFaults : public CliTest {
protected:
    // A device node of this test's own, never one of the machine's.
    QString device(const char *name, unsigned minor)
    {
        const QString path = dir.filePath(name);
        if (::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, minor)) != 0)
            return {};
        return path;
    }

    // Compiles C source that includes the given headers, with every warning an error.
    bool compiles(const QByteArray &source)
    {
        const QString c = file("check.c", source);
        QProcess cc;
        cc.setWorkingDirectory(dir.path());
        cc.start("cc", {"-std=c99", "-Wall", "-Wextra", "-Werror", "-c", c, "-o", dir.filePath("check.o")});
        cc.waitForFinished(-1);
        EXPECT_EQ(cc.exitCode(), 0) << cc.readAllStandardError().toStdString();
        return cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0;
    }
};

// Writes locales made here, so that the tests need none installed.
class Locales {
public:
    Locales()
    {
        for (const char *name : {"de_DE", "fr_FR"}) {
            QProcess p;
            p.start("localedef", {"-i", name, "-f", "UTF-8", folder.filePath(QString(name) + ".UTF-8")});
            p.waitForFinished(-1);
            EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        }
    }

    QStringList environment(const QString &name) const
    {
        return {"LOCPATH=" + folder.path(), "LC_ALL=" + name, "LANG=" + name};
    }

private:
    QTemporaryDir folder;
};

} // namespace

TEST_F(CliFaults, EveryOutputIsTheSameInAnyLocale)
{
    sample();
    const Locales locales;
    const auto outputs = [&](const QStringList &environment) {
        QByteArray all;
        Launch launch;
        launch.environment = environment;
        all += cli({"--hm", "48", "--export", "c", "sample.txt"}, launch).out;
        all += cli({"--hm", "48", "--json", "--uncertainty=20", "sample.txt"}, launch).out;
        all += cli({"--hm", "48", "sample.txt"}, launch).out;
        all += cli({"--hm", "48", "--fit", "auto", "--json", "sample.txt"}, launch).out;
        const Outcome written = cli({"--hm", "48", "-o", "out.params.txt", "--apply", "out.cal.txt", "--plot",
                                     "out.svg", "sample.txt"},
                                    launch);
        EXPECT_EQ(written.status, 0) << written.err.toStdString();
        for (const char *name : {"out.params.txt", "out.cal.txt", "out.svg"})
            all += readAll(dir.filePath(name));
        return all;
    };
    const QByteArray c = outputs({"LC_ALL=C", "LANG=C"});
    ASSERT_TRUE(c.contains("static const float sample_bias[3] = {12.4972086f, -7.30492067f, 20.1008682f};"));
    for (const char *name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
        const QByteArray local = outputs(locales.environment(name));
        EXPECT_TRUE(local == c) << name;
        const QByteArray header = cli({"--hm", "48", "--export", "c", "sample.txt"},
                                      Launch{locales.environment(name), {}, -1, {}, RLIM_INFINITY})
                                      .out;
        EXPECT_TRUE(compiles(header + "float first(void) { return sample_bias[0] + sample_ainv[0][0]; }\n"))
            << name;
    }
}

TEST_F(CliFaults, HeadersOfAnyFileNamesGoTogetherIntoOneProgram)
{
    const QByteArray data = readAll(TAVRIN_SAMPLE);
    QByteArray headers;
    QSet<QByteArray> guards;
    for (const char *name : {"Ab.txt", "aB.txt", "1-raw data.txt", "1_raw_data.txt", "int.txt", "_x.txt"}) {
        file(name, data);
        const Outcome o = cli({"--hm", "48", "--export", "c", name});
        ASSERT_EQ(o.status, 0) << name << o.err.toStdString();
        const QRegularExpressionMatch guard =
            QRegularExpression("#ifndef (\\w+)").match(QString::fromUtf8(o.out));
        guards.insert(guard.captured(1).toUtf8());
        headers += o.out;
    }
    EXPECT_EQ(guards.size(), 6);
    EXPECT_TRUE(compiles(headers + "float sum(void) { return Ab_hm + aB_hm + int_hm; }\n"));
}

TEST_F(CliFaults, ValuesBeyondFloatAreNotExported)
{
    file("huge.txt", scaled(ellipsoidPoints(sampleTruth, 48.0, 500, 0.25, 5), 1e37));
    const Outcome o = cli({"--hm", "48e37", "--export", "c", "huge.txt"});
    // --hm stays within its range; the values of A^-1 and b are what overflow.
    EXPECT_EQ(o.status, 64);
    file("far.txt", scaled(ellipsoidPoints(sampleTruth, 48.0, 500, 0.0, 5), 1e39));
    const Outcome far = cli({"--hm", "48", "--export", "c", "far.txt"});
    EXPECT_EQ(far.status, 1);
    EXPECT_EQ(far.out, "");
    // Hm cannot reach the data's scale: it is warned of before the refusal.
    EXPECT_TRUE(far.err.startsWith("far.txt: Hm is 48, and the measurements lie at a median distance of 4."));
    EXPECT_TRUE(
        far.err.endsWith("\nfar.txt: The calibration cannot be exported as C floats: a value lies beyond "
                         "what a float holds. Use --json for its full precision.\n"));
    EXPECT_EQ(far.err.count('\n'), 2);
}

TEST_F(CliFaults, SmallValuesKeepTheirDigits)
{
    file("tesla.txt", scaled(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.25, 5), 1e-6));
    const Outcome o = cli({"--hm", "48e-6", "-o", "tesla.params.txt", "tesla.txt"});
    EXPECT_EQ(o.status, 0);
    const QStringList bias =
        QString::fromUtf8(o.out).split('\n').value(1).mid(18).split(' ', Qt::SkipEmptyParts);
    ASSERT_EQ(bias.size(), 3) << o.out.toStdString();
    EXPECT_NEAR(bias[0].toDouble(), 12.5e-6, 0.06e-6);
    EXPECT_NEAR(bias[1].toDouble(), -7.3e-6, 0.06e-6);
    for (const QString &value : bias)
        EXPECT_TRUE(QRegularExpression(R"(^-?\d\.\d{5}e-0\d$)").match(value).hasMatch())
            << value.toStdString();
    EXPECT_EQ(o.err, "tesla.params.txt: Some values show as zero with the four decimals of this file, which "
                     "cannot hold them; --json or --export c give them in full.\n");

    sample();
    EXPECT_EQ(cli({"--hm", "48", "-o", "sample.params.txt", "sample.txt"}).err, "");
}

TEST_F(CliFaults, WideValuesStayApartInTheParametersFile)
{
    file("counts.txt", scaled(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.25, 5), 10000));
    const Outcome o = cli({"--hm", "480000", "-o", "counts.params.txt", "--json", "counts.txt"});
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(o.out)["files"][0].toObject();
    const QList<QByteArray> lines = readAll(dir.filePath("counts.params.txt")).split('\n');
    const QList<QByteArray> bias = lines[8].simplified().split(' ');
    ASSERT_EQ(bias.size(), 3) << lines[8].toStdString();
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(bias[i].toDouble(), result["bias"][i].toDouble(), 1e-4);
    for (int i = 0; i < 3; i++) {
        const QList<QByteArray> row = lines[12 + i].simplified().split(' ');
        ASSERT_EQ(row.size(), 3) << lines[12 + i].toStdString();
    }
}

TEST_F(CliFaults, FullStandardOutputIsAnError)
{
    sample();
    const QString full = device("full", 7);
    if (full.isEmpty())
        GTEST_SKIP() << "making a device node needs root";
    for (const QStringList &arguments :
         {QStringList{"--export", "c"}, QStringList{"--json"}, QStringList{}}) {
        const Outcome o = cli(QStringList{"--hm", "48"} + arguments + QStringList{"sample.txt"},
                              Launch{{}, full, -1, {}, RLIM_INFINITY});
        EXPECT_EQ(o.status, 1) << arguments.join(' ').toStdString();
        EXPECT_EQ(o.err, "tavrin-cli: standard output: No space left on device\n");
    }
}

TEST_F(CliFaults, ClosedPipeEndsQuietly)
{
    sample();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const Outcome o =
        cli({"--hm", "48", "sample.txt", "sample.txt"}, Launch{{}, {}, ends[1], {}, RLIM_INFINITY});
    ::close(ends[1]);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "");
}

TEST_F(CliFaults, SpecialFilesAreWrittenInPlace)
{
    sample();
    const QString null = device("null", 3), full = device("full", 7);
    if (null.isEmpty())
        GTEST_SKIP() << "making a device node needs root";
    const Outcome toNull = cli({"--hm", "48", "--apply", "null", "-o", "out.txt", "sample.txt"});
    EXPECT_EQ(toNull.status, 0) << toNull.err.toStdString();
    EXPECT_TRUE(isCharacterDevice(null));

    const Outcome toFull = cli({"--hm", "48", "--apply", "full", "sample.txt"});
    EXPECT_EQ(toFull.status, 1);
    EXPECT_EQ(toFull.err,
              "full: The calibrated measurements could not be saved. (No space left on device)\n");
    EXPECT_TRUE(isCharacterDevice(full));
}

TEST_F(CliFaults, NamedPipeTargetReceivesTheFile)
{
    sample();
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        QFile f(fifo);
        if (f.open(QIODevice::ReadOnly))
            received = f.readAll();
    });
    const Outcome o = cli({"--hm", "48", "-o", "fifo", "sample.txt"});
    reader.join();
    EXPECT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(received.startsWith("These calibration parameters have been created"));
    EXPECT_TRUE(received.endsWith("         \n"));
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(CliFaults, ReadErrorIsNoEndOfFile)
{
    sample();
    const QStringList failing{"LD_PRELOAD=" TAVRIN_FAILING_READ, "TAVRIN_FAIL_PATH=sample.txt",
                              "TAVRIN_FAIL_AFTER=30000", "ASAN_OPTIONS=verify_asan_link_order=0"};
    const Outcome o = cli({"--hm", "48", "--apply", "cal.txt", "-o", "p.txt", "sample.txt"},
                          Launch{failing, {}, -1, {}, RLIM_INFINITY});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "sample.txt: The file could not be read to its end. (Input/output error)\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("cal.txt")));
    EXPECT_FALSE(QFile::exists(dir.filePath("p.txt")));

    // A large file is read in two halves at once: a fault in the second is as fatal.
    file("large.txt", readAll(TAVRIN_SAMPLE).repeated(40));
    const QStringList failingLate{"LD_PRELOAD=" TAVRIN_FAILING_READ, "TAVRIN_FAIL_PATH=large.txt",
                                  "TAVRIN_FAIL_AFTER=1500000", "ASAN_OPTIONS=verify_asan_link_order=0"};
    const Outcome late =
        cli({"--hm", "48", "-o", "p.txt", "large.txt"}, Launch{failingLate, {}, -1, {}, RLIM_INFINITY});
    EXPECT_EQ(late.status, 1);
    EXPECT_EQ(late.out, "");
    EXPECT_EQ(late.err, "large.txt: The file could not be read to its end. (Input/output error)\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("p.txt")));

    const Outcome memory = cli({"--hm", "48", "/proc/self/mem"});
    EXPECT_EQ(memory.status, 1);
    EXPECT_EQ(memory.err, "/proc/self/mem: The file could not be read to its end. (Input/output error)\n");
}

TEST_F(CliFaults, LinksToAnInputOrAnotherOutputAreRefused)
{
    const QString input = sample();
    ASSERT_TRUE(::link(QFile::encodeName(input).constData(),
                       QFile::encodeName(dir.filePath("hard.txt")).constData()) == 0);
    const Outcome hard = cli({"--hm", "48", "--apply", "hard.txt", "sample.txt"});
    EXPECT_EQ(hard.status, 64);
    EXPECT_EQ(hard.err, "tavrin-cli: \"hard.txt\" is an input; it would be overwritten.\n");
    EXPECT_EQ(readAll(input), readAll(TAVRIN_SAMPLE));

    ASSERT_TRUE(QFile::link("out.txt", dir.filePath("dangling.txt")));
    const Outcome dangling = cli({"--hm", "48", "-o", "dangling.txt", "--apply", "out.txt", "sample.txt"});
    EXPECT_EQ(dangling.status, 64);
    EXPECT_EQ(dangling.err, "tavrin-cli: Two outputs would go to \"out.txt\".\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("out.txt")));
}

TEST_F(CliFaults, MessagesNameTheSystemsReasonAndCannotBeForged)
{
    sample();
    file("locked.txt", readAll(TAVRIN_SAMPLE));
    QFile::setPermissions(dir.filePath("locked.txt"), QFileDevice::Permissions());
    ASSERT_TRUE(QFile::link("loop.txt", dir.filePath("loop.txt")));
    const QString forged = "evil\n\x1b[32mok.txt";
    const Outcome o = cli({"--hm", "48", "loop.txt", forged, "."});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "loop.txt: The file does not exists! (Too many levels of symbolic links)\n"
                     "evil\\x0a\\x1b[32mok.txt: The file does not exists! (No such file or directory)\n"
                     ".: The file does not exists! (Is a directory)\n");
    if (::geteuid() != 0) {
        const Outcome locked = cli({"--hm", "48", "locked.txt"});
        EXPECT_EQ(locked.err, "locked.txt: The file does not exists! (Permission denied)\n");
    }

    file("long.txt", "1 2 3\n" + QByteArray(100, 'x') + "\x1b\n");
    const Outcome cut = cli({"--hm", "48", "long.txt"});
    EXPECT_EQ(cut.err, "long.txt:2: Please, check the format of the raw data file. (line: \"" +
                           QByteArray(80, 'x') + "\xe2\x80\xa6\")\n");
}

TEST_F(CliFaults, UndecodableFileNameIsSaidSo)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start("/bin/sh",
            {"-c", QStringLiteral("exec '%1' --hm 48 \"$(printf 'raw\\377.txt')\"").arg(TAVRIN_CLI)});
    p.waitForFinished(-1);
    EXPECT_EQ(p.exitCode(), 64);
    EXPECT_EQ(p.readAllStandardError(),
              "tavrin-cli: \"raw\\xff.txt\" is not valid UTF-8 (Invalid or incomplete multibyte or wide "
              "character); name the file in UTF-8.\n");
}

TEST_F(CliFaults, ExactDataGiveTheTruth)
{
    file("exact.txt", asFileText(ellipsoidPoints(sampleTruth, 48.0, 2000, 0.0, 9)));
    const Outcome o = cli({"--hm", "48", "--json", "exact.txt"});
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const QJsonObject r = QJsonDocument::fromJson(o.out)["files"][0].toObject();
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(r["bias"][i].toDouble(), sampleTruth.b0[i], 1e-9 * 48);
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(r["A"][i][j].toDouble(), sampleTruth.A0[i][j], 1e-9);
    }
    EXPECT_EQ(r["verdict"].toString(), "good");

    QByteArray four;
    for (int k = 0; k < 16; k++)
        four += QByteArray::number(k % 4) + " " + QByteArray::number(k % 4 * k % 3) + " 1.5\n";
    file("four.txt", four);
    const Outcome repeated = cli({"--hm", "48", "four.txt"});
    EXPECT_EQ(repeated.status, 2);
    EXPECT_EQ(repeated.err,
              "four.txt: The calibration failed: the measurements do not determine an ellipsoid.\n");
}

TEST_F(CliFaults, ShapelessCloudsAreAPoorFit)
{
    std::mt19937 rng(3);
    std::normal_distribution<Doub> gauss(0.0, 30.0);
    std::uniform_real_distribution<Doub> uniform(-50.0, 50.0);
    MatDoub cloud(2000, 3), cube(2000, 3);
    for (Int k = 0; k < 2000; k++)
        for (Int c = 0; c < 3; c++) {
            cloud[k][c] = gauss(rng);
            cube[k][c] = uniform(rng);
        }
    file("cloud.txt", asFileText(cloud));
    file("cube.txt", asFileText(cube));
    const Outcome o = cli({"--hm", "48", "--json", "cloud.txt", "cube.txt"});
    const QJsonArray files = QJsonDocument::fromJson(o.out)["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    for (const QJsonValue f : files) {
        EXPECT_EQ(f["verdict"].toString(), "poor fit") << f["path"].toString().toStdString();
        EXPECT_TRUE(f["verdictReason"].toString().startsWith("RMS norm error "))
            << f["verdictReason"].toString().toStdString();
    }
}

// A full disk, a file-size limit or a late failure on flushing leave the old
// file byte for byte, no temporary file beside it, and say why, once.
TEST_F(CliFaults, FailedWritesKeepTheOldFileAndSayWhy)
{
    sample();
    const QByteArray old = "the old contents\n";
    const auto expectKept = [&](const QString &name) {
        EXPECT_EQ(readAll(dir.filePath(name)), old) << name.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".tmp"), QStringList());
    };
    const struct {
        QStringList arguments;
        QString target, message;
    } outputs[] = {
        {{"-o", "p.txt"}, "p.txt", "The calibration parameters could not be saved."},
        {{"--apply", "cal.txt"}, "cal.txt", "The calibrated measurements could not be saved."},
        {{"--plot", "figure.png"}, "figure.png", "The figure could not be saved."},
    };
    for (const auto &output : outputs) {
        file(output.target, old);
        Launch limited;
        limited.fileSizeLimit = 100;
        const Outcome big =
            cli(QStringList{"--hm", "48"} + output.arguments + QStringList{"sample.txt"}, limited);
        EXPECT_EQ(big.status, 1);
        EXPECT_TRUE(
            big.err.endsWith((output.target + ": " + output.message + " (File too large)\n").toUtf8()))
            << big.err.toStdString();
        expectKept(output.target);

        for (const char *failingCall : {"write", "fsync"}) {
            Launch failing;
            failing.environment = QStringList{
                "LD_PRELOAD=" TAVRIN_FAILING_WRITE, "TAVRIN_FAIL_WRITE=" + output.target,
                "TAVRIN_FAIL_ERRNO=" + QString::number(ENOSPC), QString("TAVRIN_FAIL_IN=") + failingCall,
                "ASAN_OPTIONS=verify_asan_link_order=0"};
            const Outcome full =
                cli(QStringList{"--hm", "48"} + output.arguments + QStringList{"sample.txt"}, failing);
            EXPECT_EQ(full.status, 1) << failingCall;
            EXPECT_EQ(full.err,
                      (output.target + ": " + output.message + " (No space left on device)\n").toUtf8())
                << failingCall;
            expectKept(output.target);
        }
    }
    // A file that fits is written, and keeps the permissions of the one it replaces.
    QFile::setPermissions(dir.filePath("p.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    Launch roomy;
    roomy.fileSizeLimit = 100000;
    EXPECT_EQ(cli({"--hm", "48", "-o", "p.txt", "sample.txt"}, roomy).status, 0);
    EXPECT_TRUE(readAll(dir.filePath("p.txt")).startsWith("These calibration parameters"));
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("p.txt")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CliFaults, AnOutputFolderThatCannotBeMadeIsNamed)
{
    sample();
    file("other.txt", readAll(TAVRIN_SAMPLE));
    file("plain.txt", "a file\n");
    const Outcome o = cli({"--hm", "48", "--apply", "plain.txt/calibrated", "sample.txt", "other.txt"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "tavrin-cli: The folder \"plain.txt/calibrated\" could not be made (Not a directory).\n");
    EXPECT_EQ(o.out, "");
}

TEST_F(CliFaults, StandardInputThatIsTheOutputIsRefused)
{
    const QString input = sample();
    for (const char *option : {"--apply", "-o", "--plot"}) {
        Launch redirected;
        redirected.standardInput = input;
        const QString target = option == QByteArray("--plot") ? "sample.png" : "sample.txt";
        if (target != "sample.txt") {
            ASSERT_TRUE(QFile::link("sample.txt", dir.filePath(target)));
        }
        const Outcome o = cli({"--hm", "48", option, target, "-"}, redirected);
        EXPECT_EQ(o.status, 64) << option;
        EXPECT_EQ(o.err, "tavrin-cli: \"" + target.toUtf8() + "\" is an input; it would be overwritten.\n");
        EXPECT_EQ(readAll(input), readAll(TAVRIN_SAMPLE));
    }
    // Another file is written as ever.
    Launch redirected;
    redirected.standardInput = input;
    EXPECT_EQ(cli({"--hm", "48", "--apply", "cal.txt", "-"}, redirected).status, 0);
    EXPECT_EQ(readAll(dir.filePath("cal.txt")).count('\n'), readAll(input).count('\n'));
}

// Points near 1e300 defeat the eigenvalue routine: the program says so in
// its own words, and nothing of the library's reaches the terminal.
TEST_F(CliFaults, NumericalFailureIsTheProgramsOwnMessage)
{
    file("huge.txt", scaled(ellipsoidPoints(sampleTruth, 48.0, 200, 0.25, 5), 1e298));
    for (const QStringList &fit :
         {QStringList{}, QStringList{"--fit", "full"}, QStringList{"--fit", "auto"}}) {
        const Outcome o = cli(QStringList{"--hm", "48"} + fit + QStringList{"huge.txt"});
        EXPECT_FALSE(o.err.contains("ERROR")) << o.err.toStdString();
        EXPECT_FALSE(o.out.contains("ERROR")) << o.out.toStdString();
        EXPECT_NE(o.status, 0) << fit.join(' ').toStdString();
    }
}

// A real full disk: a small file system of this test's own, where root may mount one.
TEST_F(CliFaults, AFullDiskLeavesTheOldFile)
{
    sample();
    const QString disk = dir.filePath("disk");
    QDir().mkpath(disk);
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    const QByteArray old = "the old contents\n";
    file("disk/p.txt", old);
    file("disk/cal.txt", old);
    // The rest of the space taken, as a full disk has it.
    QFile filler(dir.filePath("disk/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    filler.write(QByteArray(1 << 20, 'f'));
    filler.close();
    const Outcome o = cli({"--hm", "48", "-o", "disk/p.txt", "--apply", "disk/cal.txt", "sample.txt"});
    const QByteArray params = readAll(dir.filePath("disk/p.txt")),
                     calibrated = readAll(dir.filePath("disk/cal.txt"));
    ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err,
              "disk/p.txt: The calibration parameters could not be saved. (No space left on device)\n"
              "disk/cal.txt: The calibrated measurements could not be saved. (No space left on device)\n");
    EXPECT_EQ(params, old);
    EXPECT_EQ(calibrated, old);
}
