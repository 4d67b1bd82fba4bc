#include "db/batch_keys.h"

#include <gtest/gtest.h>
#include <string>

using tvq52::BatchKeys;

// Each key keeps the row it first came with, through the table's growth
// and probes past other keys; keys that are one another's prefix or differ
// in a NUL are kept apart.
TEST(BatchKeys, AKeyKeepsItsFirstRowThroughGrowthAndLikeKeysStayApart)
{
    BatchKeys keys;
    keys.reset(4); // grows many times over
    const int n = 5000;
    auto key = [](int i) { return std::string("52001\x1f", 6) + std::to_string(i) + std::string(i % 3, '\0'); };
    for (int i = 0; i < n; ++i) {
        const auto [row, added] = keys.find(key(i), i);
        ASSERT_TRUE(added) << i;
        ASSERT_EQ(row, i);
    }
    for (int i = 0; i < n; ++i) {
        const auto [row, added] = keys.find(key(i), n + i);
        EXPECT_FALSE(added) << i;
        EXPECT_EQ(row, i) << i;
    }
    EXPECT_EQ(keys.size(), size_t(n));
    EXPECT_TRUE(keys.find("52001", 1).second);
    EXPECT_TRUE(keys.find("5200", 2).second);
    EXPECT_TRUE(keys.find(std::string("5200\0", 5), 3).second);
    EXPECT_EQ(keys.find("5200", 9).first, 2);

    keys.reset(8);
    EXPECT_EQ(keys.size(), 0u);
    EXPECT_TRUE(keys.find(key(7), 40).second);
}

// A key whose row was not taken is forgotten, and only it: the row that
// brings it next is its first; a key found, not added, is not forgotten.
TEST(BatchKeys, ForgettingTakesBackOnlyTheKeyJustAdded)
{
    BatchKeys keys;
    keys.reset(2);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(keys.find("k" + std::to_string(i), i).second);
    ASSERT_TRUE(keys.find("refused", 40).second);
    keys.forgetLast();
    EXPECT_EQ(keys.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(keys.find("k" + std::to_string(i), 100).first, i);
    keys.forgetLast(); // the last find added nothing
    EXPECT_EQ(keys.find("k39", 100).first, 39);
    const auto [row, added] = keys.find("refused", 41);
    EXPECT_TRUE(added);
    EXPECT_EQ(row, 41);
    EXPECT_EQ(keys.find("refused", 42).first, 41);
}
