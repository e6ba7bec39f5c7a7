#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "board/game.h"
#include "engine/report.h"
#include "search/driver.h"
#include "search/search.h"

namespace {

// What one thinking report prints.
std::string printed(const ThinkingReport& r) {
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    FILE* saved = stdout;
    stdout = f;
    searchReport.thinking(r);
    std::fflush(stdout);
    stdout = saved;
    std::fclose(f);
    std::string out(text, size);
    std::free(text);
    return out;
}

}  // namespace

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

// A UCI pv is moves only: a bound is said after the score. The xboard line
// keeps its marks on the first move.
TEST(Report, UciLinesCarryBoundsAfterTheScoreAndMovesOnlyInThePv) {
    Game g;
    newGame(g);
    listMoves(g);
    const uint32_t line[] = {makeMoveWord(12, 28), makeMoveWord(52, 36), 0};  // e2e4 e7e5
    installSearchReport();
    const int savedPost = postThinking;
    postThinking = 1;
    ThinkingReport r{7, 960, 250, 1, 0, g.legalMoves, &g.board, 1, 5000, line};
    r.selDepth = 11;
    std::string out = printed(r);
    EXPECT_NE(out.find("info depth 7 seldepth 11 multipv 1 score cp 240 lowerbound nodes 5000 nps 20000 "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" tbhits 0 time 250 pv e2e4 e7e5\n"), std::string::npos) << out;
    EXPECT_EQ(out.find('!'), std::string::npos) << out;
    r.marker = 0;
    r.multiPv = 3;
    out = printed(r);
    EXPECT_NE(out.find(" multipv 3 score cp 240 upperbound nodes"), std::string::npos) << out;
    EXPECT_EQ(out.find('?'), std::string::npos) << out;
    r.marker = -1;
    out = printed(r);
    EXPECT_NE(out.find(" score cp 240 nodes"), std::string::npos) << out;
    // A book move: no depth or score the search did not find.
    r.scored = false;
    out = printed(r);
    EXPECT_EQ(out.find("score"), std::string::npos) << out;
    EXPECT_EQ(out.find("depth"), std::string::npos) << out;
    EXPECT_NE(out.find(" pv e2e4 e7e5\n"), std::string::npos) << out;
    // xboard: the fail high's "!" stands before the second move.
    r.uci = 0;
    r.scored = true;
    r.marker = 1;
    out = printed(r);
    EXPECT_EQ(out, "7 240    25    5000\te4 !e5 \n");
    postThinking = savedPost;
}
