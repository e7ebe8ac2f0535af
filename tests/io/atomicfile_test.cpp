// Writing an output whole or not at all: a file-size limit, as services run
// under, a folder or a missing one in the way, links and permissions.
#include "atomicfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Files may grow to limit bytes while it lives; SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        const struct rlimit lower = {limit, previous.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lower);
        handler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
    }

private:
    struct rlimit previous;
    void (*handler)(int);
};

} // namespace

using namespace tavrin;

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    ASSERT_TRUE(WriteFileAtomically(path, "old\n"));
    QString reason;
    {
        const FileSizeLimit limit(1000);
        EXPECT_FALSE(WriteFileAtomically(path, QByteArray(5000, 'x'), &reason));
    }
    EXPECT_EQ(reason, "File too large");
    EXPECT_EQ(readAll(path), "old\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.txt"});

    EXPECT_FALSE(WriteFileAtomically(dir.path(), "x", &reason));
    EXPECT_EQ(reason, "Is a directory");
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("missing/out.txt"), "x", &reason));
    EXPECT_EQ(reason, "No such file or directory");
}

TEST(AtomicFile, ALinkLeadsToTheFileReplacedWithItsPermissions)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("target.txt"), link = dir.filePath("link.txt");
    ASSERT_TRUE(WriteFileAtomically(target, "old\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(WriteFileAtomically(link, "new\n"));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(readAll(target), "new\n");
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}
