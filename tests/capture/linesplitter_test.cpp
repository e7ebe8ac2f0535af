#include "linesplitter.h"

#include <gtest/gtest.h>

using namespace tavrin;

namespace {

std::vector<QByteArray> feedAll(LineSplitter &splitter, std::initializer_list<QByteArray> pieces)
{
    std::vector<QByteArray> lines;
    for (const QByteArray &piece : pieces)
        splitter.feed(piece, lines);
    return lines;
}

} // namespace

TEST(LineSplitter, EndsLinesAtLfCrAndCrlfAndDropsEmptyOnes)
{
    LineSplitter s;
    const auto lines = feedAll(s, {"a\nb\rc\r\nd\n\n\r\ne"});
    EXPECT_EQ(lines, (std::vector<QByteArray>{"a", "b", "c", "d"}));
    EXPECT_EQ(s.rest(), "e");
    EXPECT_EQ(s.rest(), "");
}

TEST(LineSplitter, JoinsALineThatArrivesInPieces)
{
    LineSplitter s;
    const auto lines = feedAll(s, {"Raw:1,2", ",3\r", "\nX: 1", " Y: 2", "", " Z: 3\n"});
    EXPECT_EQ(lines, (std::vector<QByteArray>{"Raw:1,2,3", "X: 1 Y: 2 Z: 3"}));
}

TEST(LineSplitter, DropsALineOverTheLimitAndGoesOn)
{
    LineSplitter s;
    const QByteArray longest(LineSplitter::LongestLine, 'x');
    const QByteArray tooLong(LineSplitter::LongestLine + 1, 'y');
    const auto lines =
        feedAll(s, {"1 2 3\n", tooLong.left(3000), tooLong.mid(3000), "\n4 5 6\n", longest + "\n"});
    EXPECT_EQ(lines, (std::vector<QByteArray>{"1 2 3", "4 5 6", longest}));
    EXPECT_EQ(s.overlong(), 1);

    // Megabytes without a line end are one dropped line, not a growing buffer.
    LineSplitter endless;
    std::vector<QByteArray> none;
    for (int k = 0; k < 1000; k++)
        endless.feed(QByteArray(4096, 'z'), none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(endless.overlong(), 1);
    EXPECT_EQ(endless.rest(), "");
}
