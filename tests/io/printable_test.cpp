#include "printable.h"

#include <gtest/gtest.h>

using namespace tavrin;

TEST(Printable, EscapesWhatCouldForgeAMessageOrTurnTheTextAround)
{
    EXPECT_EQ(printable(QStringLiteral("plain µT name.txt")), QStringLiteral("plain µT name.txt"));
    EXPECT_EQ(printable(QString::fromUtf8("a\x1b[2J\x07\n\"q\"\\")),
              QStringLiteral("a\\x1b[2J\\x07\\x0a\\\"q\\\"\\\\"));
    EXPECT_EQ(printable(QString(QChar(0))), QStringLiteral("\\x00"));
    // "evil\u202Etxt.exe" shows as "evilexe.txt" where the override is obeyed.
    EXPECT_EQ(printable(QStringLiteral("evil") + QChar(0x202E) + QStringLiteral("txt.exe")),
              QStringLiteral("evil\\u202etxt.exe"));
    for (const char16_t bidi :
         {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        EXPECT_EQ(printable(QString(QChar(bidi))), QStringLiteral("\\u%1").arg(int(bidi), 4, 16, QChar('0')));
    // Their neighbours are ordinary text.
    for (const char16_t neighbour : {0x200D, 0x2029, 0x202F, 0x2065, 0x206A, 0x061B})
        EXPECT_EQ(printable(QString(QChar(neighbour))), QString(QChar(neighbour)));
}
