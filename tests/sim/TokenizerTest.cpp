#include <gtest/gtest.h>

#include "Vistrel/tcStringTokenizer.h"

#include <climits>

namespace {

TEST(TokenizerTest, SkipsEmptyTokens) {
    // Catches doubled or trailing separators read as empty arguments.
    Vistrel::tcStringTokenizer tokens("  SBPR  1 ", ' ');
    ASSERT_TRUE(tokens.hasNext());
    EXPECT_EQ(tokens.next(), "SBPR");
    EXPECT_EQ(tokens.next(), "1");
    EXPECT_FALSE(tokens.hasNext());
    EXPECT_EQ(tokens.next(), "");

    Vistrel::tcStringTokenizer empty("", ' ');
    EXPECT_FALSE(empty.hasNext());
}

TEST(TokenizerTest, NextIntAcceptsOnlyWholeIntTokens) {
    // Catches "1x" read as 1, out-of-range values wrapped, or a failed parse that
    // clobbers the value or leaves the token for the next call.
    Vistrel::tcStringTokenizer tokens("42 0x1F -7 1x x 2147483648 0x80000000 -2147483648 5", ' ');
    int value = -1;
    EXPECT_TRUE(tokens.nextInt(&value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(tokens.nextInt(&value));
    EXPECT_EQ(value, 0x1F);
    EXPECT_TRUE(tokens.nextInt(&value));
    EXPECT_EQ(value, -7);
    value = 99;
    EXPECT_FALSE(tokens.nextInt(&value)); // 1x
    EXPECT_FALSE(tokens.nextInt(&value)); // x
    EXPECT_FALSE(tokens.nextInt(&value)); // above INT_MAX
    EXPECT_FALSE(tokens.nextInt(&value)); // hex above INT_MAX
    EXPECT_EQ(value, 99);
    EXPECT_TRUE(tokens.nextInt(&value));
    EXPECT_EQ(value, INT_MIN);
    EXPECT_TRUE(tokens.nextInt(&value));
    EXPECT_EQ(value, 5);
    EXPECT_FALSE(tokens.nextInt(&value)); // nothing left
    EXPECT_EQ(value, 5);
}

} // namespace
