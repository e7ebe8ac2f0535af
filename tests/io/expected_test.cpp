// Expected<void>: work that is done, or the words that say why it is not.
#include "expected.h"

#include <gtest/gtest.h>

using tavrin::Expected;

namespace {

Expected<void> refusedWhenEmpty(const QString &name)
{
    if (name.isEmpty())
        return Expected<void>::failure(QStringLiteral("No name was given."));
    return {};
}

} // namespace

TEST(Expected, WorkWithNoValueIsDoneOrSaysWhyNot)
{
    const Expected<void> done = refusedWhenEmpty(QStringLiteral("a"));
    EXPECT_TRUE(done);
    EXPECT_TRUE(done.error().isEmpty());

    const Expected<void> refused = refusedWhenEmpty(QString());
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), QStringLiteral("No name was given."));
    // A failure is a failure even when its words are empty.
    EXPECT_FALSE(Expected<void>::failure(QString()));
}
