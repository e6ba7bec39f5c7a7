#include <gtest/gtest.h>
#include "engine/report.h"
#include "search/search.h"

TEST(Report, ScoreTextsOfTheThinkingLines) {
    char text[24];
    uciScoreText(text, 32698);
    EXPECT_STREQ(text, "mate 1");
    uciScoreText(text, -32699);
    EXPECT_STREQ(text, "mate -1");
    uciScoreText(text, 32696);
    EXPECT_STREQ(text, "mate 2");
    uciScoreText(text, 960);
    EXPECT_STREQ(text, "cp 240");
    EXPECT_EQ(xboardScoreValue(32698), 100001);
    EXPECT_EQ(xboardScoreValue(32699), 100001);
    EXPECT_EQ(xboardScoreValue(-32699), -100001);
    EXPECT_EQ(xboardScoreValue(960), 240);
    formatScore(text, 960);
    EXPECT_STREQ(text, "+2.00 ");
    formatScore(text, NO_SCORE);
    EXPECT_STREQ(text, " ");
    formatScore(text, -INFINITE_SCORE);
    EXPECT_STREQ(text, "-INF ");
    formatScore(text, 32696);
    EXPECT_STREQ(text, "+MAT2 ");
    formatScore(text, -32699);
    EXPECT_STREQ(text, "-MAT1 ");
}
