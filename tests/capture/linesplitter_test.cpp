#include "linesplitter.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

std::vector<ReceivedLine> feedAll(LineSplitter &splitter, std::initializer_list<QByteArray> pieces)
{
    std::vector<ReceivedLine> lines;
    for (const QByteArray &piece : pieces)
        splitter.feed(piece, lines);
    return lines;
}

std::vector<QByteArray> texts(const std::vector<ReceivedLine> &lines)
{
    std::vector<QByteArray> bytes;
    for (const ReceivedLine &line : lines)
        bytes.push_back(line.bytes);
    return bytes;
}

} // namespace

TEST(LineSplitter, EndsLinesAtLfCrAndCrlfAndDropsEmptyOnes)
{
    LineSplitter s;
    const auto lines = feedAll(s, {"a\nb\rc\r\nd\n\n\r\ne"});
    EXPECT_EQ(texts(lines), (std::vector<QByteArray>{"a", "b", "c", "d"}));
    EXPECT_EQ(s.rest(), "e");
    EXPECT_EQ(s.rest(), "");
}

TEST(LineSplitter, JoinsALineThatArrivesInPieces)
{
    LineSplitter s;
    const auto lines = feedAll(s, {"Raw:1,2", ",3\r", "\nX: 1", " Y: 2", "", " Z: 3\n"});
    EXPECT_EQ(texts(lines), (std::vector<QByteArray>{"Raw:1,2,3", "X: 1 Y: 2 Z: 3"}));
}

TEST(LineSplitter, CutsALineOverTheLimitKeepingItsStartAndGoesOn)
{
    LineSplitter s;
    const QByteArray longest(LineSplitter::LongestLine, 'x');
    const QByteArray tooLong = QByteArray(LineSplitter::LongestLine, 'y') + "tail";
    const auto lines =
        feedAll(s, {"1 2 3\n", tooLong.left(3000), tooLong.mid(3000), "\n4 5 6\n", longest + "\n"});
    EXPECT_EQ(texts(lines),
              (std::vector<QByteArray>{"1 2 3", tooLong.left(LineSplitter::LongestLine), "4 5 6", longest}));
    // Only the line over the limit is cut, and its whole size is known.
    EXPECT_FALSE(lines[0].cut());
    EXPECT_TRUE(lines[1].cut());
    EXPECT_EQ(lines[1].length, LineSplitter::LongestLine + 4);
    EXPECT_FALSE(lines[3].cut());
    EXPECT_EQ(s.overlong(), 1);

    // Megabytes without a line end are one cut line, not a growing buffer.
    LineSplitter endless;
    std::vector<ReceivedLine> one;
    for (int k = 0; k < 1000; k++)
        endless.feed(QByteArray(4096, 'z'), one);
    EXPECT_TRUE(one.empty());
    EXPECT_EQ(endless.overlong(), 1);
    endless.feed("\n", one);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].bytes, QByteArray(LineSplitter::LongestLine, 'z'));
    EXPECT_EQ(one[0].length, 4096 * 1000);
    EXPECT_EQ(endless.rest(), "");
}
