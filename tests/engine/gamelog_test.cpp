#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <algorithm>
#include <thread>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "engine/gamelog.h"
#include "platform/platform.h"
#include "engine/searchthread.h"
#include "search/driver.h"
#include "search/worker.h"
#include "filetest_util.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) out.push_back(line);
    return out;
}

uint32_t mv(const char* text) {
    char t[8];
    std::snprintf(t, sizeof t, "%s", text);
    return parseMove(t, game.sideToMove);
}

class GameLog : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        selectEnglishLetters();
        newGame(game);
        listMoves(game);
        ASSERT_TRUE(openLog(dir.file("velmora.log").c_str()));
    }
    void TearDown() override { closeLog(); }
    // Logs a move the way the command loop and the search thread do, then plays it.
    void play(const char* text, const uint32_t* variation = nullptr, int score = NO_SCORE) {
        uint32_t m = mv(text);
        logMove(game, m, variation, score);
        ASSERT_EQ(makeMove(game, m), 0) << text;
    }
};

TEST_F(GameLog, AScriptedGameLineByLine) {
    logNewGame();
    play("e2e4");
    uint32_t variation[LOG_VARIATION_WORDS] = {mv("e7e5"), 0};
    variation[1] = makeMoveWord(6, 21);  // g1f3
    play("e7e5", variation, 120);
    play("g1f3");
    play("b8c6", variation, 120);  // the same variation again: nothing new to say
    variation[1] = 0;
    play("f1b5", variation, -32767);
    play("a7a6", variation, 32695);
    logMove(game, mv("e2e5"));  // refused by the game: not logged
    logMove(game, 0);  // ANALYZE
    logResult("1-0 {White mates}");
    logInternalError(333);
    closeLog();
    std::vector<std::string> got = lines(dir.read("velmora.log"));
    ASSERT_EQ(got.size(), 11u);
    EXPECT_EQ(got[0], "[Event \"Computer chess game\"]");
    int y = 0, m = 0, d = 0;
    char close = 0;
    EXPECT_EQ(std::sscanf(got[1].c_str(), "[Date \"%4d.%2d.%2d\"%c", &y, &m, &d, &close), 4) << got[1];
    EXPECT_TRUE(y >= 2000 && m >= 1 && m <= 12 && d >= 1 && d <= 31 && close == ']') << got[1];
    EXPECT_EQ(got[1].size(), std::string("[Date \"2026.12.06\"]").size());
    const char* rest[] = {"1.   e4({})",
                          "1... e5({+0.25 e7e5 g1f3 })",
                          "2.   Nf3({})",
                          "2... Nc6({})",
                          "3.   Bb5({-INF e7e5 })",
                          "3... a6({})",
                          "4.   ({})",
                          "1-0 {White mates}",
                          "QZ code 333"};
    for (int i = 0; i < 9; i++) EXPECT_EQ(got[size_t(i) + 2], rest[i]);
}

TEST_F(GameLog, ScoresMatesAndMissingScores) {
    uint32_t a[LOG_VARIATION_WORDS] = {mv("e2e4"), 0}, b[LOG_VARIATION_WORDS] = {mv("d2d4"), 0};
    logMove(game, mv("e2e4"), a, 32695);
    logMove(game, mv("e2e4"), b, -32690);
    logMove(game, mv("e2e4"), a, NO_SCORE);
    logMove(game, mv("e2e4"), b, -500);
    closeLog();
    EXPECT_EQ(dir.read("velmora.log"),
              "1.   e4({+MAT3 e2e4 })\n1.   e4({-MAT5 d2d4 })\n1.   e4({ e2e4 })\n1.   e4({-1.04 d2d4 })\n");
}

TEST_F(GameLog, EngineMovesShowTheLineFromTheMovePlayed) {
    installLogWriters();
    uint32_t saved[60];
    {
        OutputLock lock;
        std::copy(searchWorker.variations.displayed, searchWorker.variations.displayed + 60, saved);
        // After a search the ponder set-up has dropped the move and the reply.
        searchWorker.variations.displayed[0] = mv("g1f3");
        searchWorker.variations.displayed[1] = 0;
    }
    searchWorker.bestScore = 240;
    moveLogger(game, mv("e2e4"), 1, makeMoveWord(52, 36));  // e7e5 expected
    // A book move stands alone and first.
    {
        OutputLock lock;
        searchWorker.variations.displayed[0] = mv("d2d4");
    }
    moveLogger(game, mv("d2d4"), 1, 0);
    {
        OutputLock lock;
        std::copy(saved, saved + 60, searchWorker.variations.displayed);
    }
    closeLog();
    EXPECT_EQ(dir.read("velmora.log"), "1.   e4({+0.50 e2e4 e7e5 g1f3 })\n1.   d4({+0.50 d2d4 })\n");
}

TEST_F(GameLog, WritersFromTwoThreadsNeverMixTheirLines) {
    auto writer = [](int n) {
        for (int i = 0; i < n; i++) logResult("0-1 {Black mates}");
    };
    std::thread other(writer, 300);
    for (int i = 0; i < 300; i++) logMove(game, mv("g1f3"));
    other.join();
    closeLog();
    std::vector<std::string> got = lines(dir.read("velmora.log"));
    ASSERT_EQ(got.size(), 600u);
    for (const std::string& l : got) EXPECT_TRUE(l == "1.   Nf3({})" || l == "0-1 {Black mates}") << l;
}

TEST(GameLogEngine, TheEngineLogsTheGamesItPlays) {
    TempDir dir;
    std::string engine = dir.copyEngine();
    dir.write("velmora.cfg", "LOGFILE=1\n");
    runProgram(dir, engine, "", "new\nforce\ne2e4\ne7e5\nresult 1-0 {resigned}\nnew\nd2d4\nquit\n");
    std::vector<std::string> got = lines(dir.read("velmora.log"));
    ASSERT_GE(got.size(), 8u) << dir.read("velmora.log");
    EXPECT_EQ(got[0], "[Event \"Computer chess game\"]");
    EXPECT_EQ(got[2], "1.   e4({})");
    EXPECT_EQ(got[3], "1... e5({})");
    EXPECT_EQ(got[4], "1-0 {RESIGNED}");  // the command loop upper-cases the line
    EXPECT_EQ(got[5], "[Event \"Computer chess game\"]");
    EXPECT_EQ(got[7], "1.   d4({})");
    // The engine's answer, stopped by quit or finished, carries its variation.
    if (got.size() > 8) {
        const std::string& reply = got[8];
        EXPECT_EQ(reply.compare(0, 5, "1... "), 0) << reply;
        size_t open = reply.find("({");
        EXPECT_TRUE(open != std::string::npos && open > 5 && reply.compare(reply.size() - 2, 2, "})") == 0) << reply;
    }
}

}  // namespace
