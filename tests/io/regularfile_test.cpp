// Opening an input only when it is a regular file: a named pipe or a folder
// is told apart without waiting for a writer, and says what it is.
#include "regularfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace tavrin;

TEST(RegularFile, OpensOnlyARegularFileAndSaysWhatAPathNames)
{
    QTemporaryDir dir;
    const QString regular = dir.filePath("points.txt"), pipe = dir.filePath("pipe"),
                  missing = dir.filePath("missing.txt");
    {
        QFile out(regular);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("1 2 3\n");
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    QFile file;
    const FileOpening opened = openRegularFile(file, regular);
    EXPECT_TRUE(opened.opened);
    EXPECT_EQ(opened.kind, FileKind::Regular);
    EXPECT_EQ(opened.reason, "");
    EXPECT_EQ(file.readAll(), "1 2 3\n");

    // No writer ever opens the pipe: the open must not wait for one.
    const struct {
        QString path;
        FileKind kind;
        QString reason;
    } refused[] = {{pipe, FileKind::Fifo, ""},
                   {dir.path(), FileKind::Directory, ""},
                   {missing, FileKind::Unknown, "No such file or directory"}};
    for (const auto &r : refused) {
        SCOPED_TRACE(r.path.toStdString());
        QFile other;
        const FileOpening opening = openRegularFile(other, r.path);
        EXPECT_FALSE(opening.opened);
        EXPECT_FALSE(other.isOpen());
        EXPECT_EQ(opening.kind, r.kind);
        EXPECT_EQ(opening.reason, r.reason);
        EXPECT_EQ(fileKindOf(r.path), r.kind);
    }
}
