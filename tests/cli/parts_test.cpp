// tavrin-cli's drawing and capture parts, modules that only the runs using
// them load: copies of the tool show that a plain run needs neither, that the
// parts are found where an install puts them, that a missing or broken
// part is said in one line and changes nothing, and that no library is taken
// from the folder the tool runs in.
#include "clitest.h"

#include <link.h>

namespace {

// The file names of the shared libraries this test program has loaded: the
// system's Qt, C++ and C libraries that the tool needs too.
int addLoadedName(dl_phdr_info *info, size_t, void *names)
{
    const QString name = QFileInfo(QFile::decodeName(info->dlpi_name)).fileName();
    if (name.contains(".so"))
        static_cast<QStringList *>(names)->append(name);
    return 0;
}

QStringList loadedLibraryNames()
{
    QStringList names;
    dl_iterate_phdr(addLoadedName, &names);
    return names;
}

class PartsTest : public CliTest {
protected:
    // A copy of the tool in bin/, as an install has it, with no part yet.
    QString copy()
    {
        const QString copy = bin() + "/tavrin-cli";
        if (!QFile::exists(copy))
            QFile::copy(TAVRIN_CLI, copy);
        return copy;
    }

    QString bin()
    {
        QDir(dir.path()).mkpath("bin");
        return QDir(dir.filePath("bin")).canonicalPath();
    }

    QString partsFolder() { return QDir::cleanPath(bin() + "/" TAVRIN_INSTALLED_PARTS); }

    // Puts the module at source into the parts folder under name.
    void install(const QString &source, const QString &name)
    {
        QDir().mkpath(partsFolder());
        ASSERT_TRUE(QFile::copy(source, partsFolder() + '/' + name));
    }

    void installParts()
    {
        install(TAVRIN_DRAWING_PART, QFileInfo(TAVRIN_DRAWING_PART).fileName());
        install(TAVRIN_CAPTURE_PART, QFileInfo(TAVRIN_CAPTURE_PART).fileName());
    }

    // Runs program, the copy unless another is named, as cli() runs the tool built.
    Outcome runCopy(const QStringList &arguments, const Launch &launch = {}, const QString &program = {})
    {
        tool = program.isEmpty() ? copy() : program;
        const Outcome o = cli(arguments, launch);
        tool = QStringLiteral(TAVRIN_CLI);
        return o;
    }
};

} // namespace

TEST_F(PartsTest, APlainRunNeedsNoPart)
{
    const QString sample = CliTest::sample();
    for (const QStringList &arguments : {QStringList{"--version"}, QStringList{"--hm", "48", sample},
                                         QStringList{"--hm", "48", "--fit", "auto", "--json", sample}}) {
        const Outcome copied = runCopy(arguments);
        const Outcome built = cli(arguments);
        EXPECT_EQ(copied.status, 0) << copied.err.constData();
        EXPECT_EQ(copied.out, built.out);
        EXPECT_EQ(copied.err, built.err);
    }
}

TEST_F(PartsTest, AMissingPartIsSaidInOneLineAndNothingIsWritten)
{
    const QString sample = CliTest::sample();
    const Outcome drawing = runCopy({"--hm", "48", "-o", "p.txt", "--plot", "f.png", sample});
    EXPECT_EQ(drawing.status, 1);
    EXPECT_EQ(drawing.out, "");
    EXPECT_EQ(drawing.err,
              QStringLiteral("tavrin-cli: --plot needs tavrin-cli-plot.so, which is neither in %1 "
                             "nor in %2; reinstall tavrin-cli.\n")
                  .arg(bin(), partsFolder())
                  .toUtf8());
    EXPECT_FALSE(QFile::exists(dir.filePath("p.txt")));
    EXPECT_FALSE(QFile::exists(dir.filePath("f.png")));

    Launch input;
    input.standardInput = sample;
    const Outcome capture = runCopy({"--hm", "48", "--port", "-", "--record", "rec.txt"}, input);
    EXPECT_EQ(capture.status, 1);
    EXPECT_EQ(capture.err,
              QStringLiteral("tavrin-cli: --port needs tavrin-cli-capture.so, which is neither in "
                             "%1 nor in %2; reinstall tavrin-cli.\n")
                  .arg(bin(), partsFolder())
                  .toUtf8());
    EXPECT_FALSE(QFile::exists(dir.filePath("rec.txt")));
}

TEST_F(PartsTest, APartThatCannotBeLoadedIsSaidInOneLine)
{
    const QString plotPart = QFileInfo(TAVRIN_DRAWING_PART).fileName();
    const QString notALibrary = file("not-a-library.so", "0 0 0\n");
    const QByteArray start = "tavrin-cli: --plot needs " + (partsFolder() + '/' + plotPart).toUtf8() +
                             ", which cannot be loaded (";
    const auto drawWith = [&](const QString &impostor) {
        QFile::remove(partsFolder() + '/' + plotPart);
        install(impostor, plotPart);
        const Outcome o = runCopy({"--hm", "48", "--plot", "f.png", CliTest::sample()});
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.out, "");
        EXPECT_FALSE(QFile::exists(dir.filePath("f.png")));
        return o.err;
    };
    const QByteArray garbled = drawWith(notALibrary);
    EXPECT_TRUE(garbled.startsWith(start) && garbled.endsWith(").\n") && garbled.count('\n') == 1)
        << garbled.constData();
    // The capture's module in the drawing's place loads but lacks the drawing's entry.
    EXPECT_EQ(drawWith(TAVRIN_CAPTURE_PART), start + "it has no tavrinDrawingPart()).\n");
}

TEST_F(PartsTest, PartsAreFoundWhereAnInstallPutsThemEvenThroughALink)
{
    const QString sample = CliTest::sample();
    installParts();
    QDir(dir.path()).mkpath("elsewhere");
    const QString link = dir.filePath("elsewhere/tavrin-cli");
    ASSERT_TRUE(QFile::link(copy(), link));
    const Outcome linked = runCopy({"--hm", "48", "--plot", "copy.svg", sample}, {}, link);
    ASSERT_EQ(linked.status, 0) << linked.err.constData();
    const Outcome built = cli({"--hm", "48", "--plot", "built.svg", sample});
    ASSERT_EQ(built.status, 0) << built.err.constData();
    EXPECT_EQ(linked.out, built.out);
    EXPECT_EQ(readAll(dir.filePath("copy.svg")), readAll(dir.filePath("built.svg")));

    Launch input;
    input.standardInput = sample;
    const Outcome captured =
        runCopy({"--hm", "48", "--port", "-", "--format", "xyz", "--record", "rec.txt"}, input);
    EXPECT_EQ(captured.status, 0) << captured.err.constData();
    EXPECT_EQ(readAll(dir.filePath("rec.txt")).count('\n'), readAll(sample).count('\n'));
}

TEST_F(PartsTest, NoLibraryIsTakenFromTheWorkingFolder)
{
    const QString sample = CliTest::sample();
    const Outcome plain = cli({"--hm", "48", "--plot", "plain.svg", sample});
    ASSERT_EQ(plain.status, 0) << plain.err.constData();
    const QStringList names = loadedLibraryNames();
    ASSERT_TRUE(names.contains("libQt6Core.so.6")) << names.join(' ').toStdString();
    for (const QString &name : names)
        ASSERT_TRUE(QFile::copy(TAVRIN_STAND_IN_LIBRARY, dir.filePath(name))) << name.toStdString();

    const Outcome among = cli({"--hm", "48", "--plot", "among.svg", sample});
    EXPECT_EQ(among.status, 0) << among.err.constData();
    EXPECT_EQ(among.out, plain.out);
    EXPECT_EQ(among.err, "");
    EXPECT_EQ(readAll(dir.filePath("among.svg")), readAll(dir.filePath("plain.svg")));
}
