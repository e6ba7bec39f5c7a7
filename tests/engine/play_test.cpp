#include <gtest/gtest.h>
#include <chrono>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "engine/commandloop.h"
#include "engine/platform.h"
#include "engine/searchthread.h"
#include "engine_process.h"

namespace {

// Whether text is a legal move of the game's position (then plays it).
bool playIfLegal(Game& g, const std::string& text) {
    std::string t = text;
    for (char& c : t) c = char(std::toupper((unsigned char)c));
    uint32_t m = parseMove(&t[0], g.sideToMove);
    if (m == 0) return false;
    int code = makeMove(g, m);
    return code >= 0 && code != 1;
}

long msSince(std::chrono::steady_clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

}  // namespace

TEST(Play, TimeBudgets) {
    Game& g = game;
    newGame(g);
    analyseMode = 0;
    movesPerPeriod = 40, baseSeconds = 300, incrementTenths = 0, engineClock = 3000;
    allocateTime();
    EXPECT_EQ(g.targetTime, 74);
    EXPECT_EQ(g.maxTime, 111);
    movesPerPeriod = 0;
    allocateTime();
    EXPECT_EQ(g.targetTime, 100);
    EXPECT_EQ(g.maxTime, 200);
    incrementTenths = 20;  // increment: (3000-20)/30 + 20
    allocateTime();
    EXPECT_EQ(g.targetTime, 119);
    EXPECT_EQ(g.maxTime, 238);
    incrementTenths = 5, engineClock = 18;  // under two seconds left: the increment only
    allocateTime();
    EXPECT_EQ(g.targetTime, 5);
    EXPECT_EQ(g.maxTime, 5);
    analyseMode = 1;
    allocateTime();
    EXPECT_EQ(g.targetTime, 25920000);
    EXPECT_EQ(g.maxDepth, 999);
    analyseMode = 0;
    movesPerPeriod = 6, baseSeconds = 60, incrementTenths = 0, engineClock = 0;
}

TEST(Play, ResignsOnTheThirdFallingMateScore) {
    Game& g = game;
    newGame(g);
    resignEnabled = 1;
    g.resignCount = 0;
    g.lastScore = 0;
    EXPECT_EQ(resignCheck(g, -32690), 0);
    EXPECT_EQ(resignCheck(g, -32692), 0);
    EXPECT_EQ(resignCheck(g, -32694), 10);
    EXPECT_EQ(resignCheck(g, -32696), 0);  // no second resign
    EXPECT_EQ(resignCheck(g, -100), 0);
    EXPECT_EQ(g.resignCount, 0);
    resignEnabled = 0;
    for (int s = -32690; s > -32699; s--) EXPECT_EQ(resignCheck(g, s), 0);
    resignEnabled = 1;
}

// A whole game at a fast level: every engine move is legal, results and
// the end of input are handled.
TEST(Play, XboardGameWithLegalMovesAndMates) {
    EngineProcess e;
    e.send("xboard");
    e.send("protover 2");
    e.send("option USE BOOK=0");
    e.send("new");
    e.send("level 0 0:10 0");
    e.send("post");
    e.send("setboard 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("time 1000");
    e.send("go");
    EXPECT_EQ(e.waitFor("move ", 5000), "move d1d8");
    EXPECT_EQ(e.waitFor("1-0", 2000), "1-0 {White mates}");

    // The engine plays Black from the start position for a few moves.
    Game local;
    newGame(local);
    listMoves(local);
    e.send("new");
    e.send("level 0 0:10 0");
    const char* ours[] = {"e2e4", "g1f3", "f1c4", "b1c3", "d2d3"};
    for (const char* m : ours) {
        ASSERT_TRUE(playIfLegal(local, m)) << m;
        e.send("time 1000");
        e.send("otim 1000");
        e.send(m);
        std::string reply = e.waitFor("move ", 5000);
        ASSERT_FALSE(reply.empty()) << "no reply to " << m;
        ASSERT_TRUE(playIfLegal(local, reply.substr(5))) << reply;
    }
    auto start = std::chrono::steady_clock::now();
    e.send("analyze");
    e.closeInput();  // end of input during an analysis
    EXPECT_EQ(e.waitExit(3000), 0);
    EXPECT_LT(msSince(start), 3000);
}

TEST(Play, MoveNowAnalyseAndPonder) {
    EngineProcess e;
    e.send("xboard");
    e.send("new");
    e.send("option USE BOOK=0");
    e.send("level 40 60 0");
    e.send("time 360000");
    e.send("go");
    auto start = std::chrono::steady_clock::now();
    e.send("?");
    std::string m = e.waitFor("move ", 3000);
    EXPECT_FALSE(m.empty());
    EXPECT_LT(msSince(start), 2000);

    // Analysis prints thinking lines and, when stopped, no move.
    e.send("force");
    e.send("post");
    e.send("analyze");
    std::string line;
    EXPECT_FALSE(e.waitFor("1", 3000).empty());  // a thinking line "1x ..."
    e.send(".");
    EXPECT_FALSE(e.waitFor("stat01: ", 3000).empty());
    e.send("exit");
    e.send("ping 5");
    for (;;) {
        ASSERT_TRUE(e.readLine(line, 3000));
        if (line == "pong 5") break;
        EXPECT_NE(line.compare(0, 5, "move "), 0) << line;
    }

    // Pondering: a user move during the ponder search is answered at once.
    e.send("nopost");
    e.send("new");
    e.send("hard");
    e.send("level 40 1 0");
    e.send("time 6000");
    e.send("e2e4");
    std::string reply = e.waitFor("move ", 5000);
    ASSERT_FALSE(reply.empty());
    Game local;
    newGame(local);
    listMoves(local);
    ASSERT_TRUE(playIfLegal(local, "e2e4"));
    ASSERT_TRUE(playIfLegal(local, reply.substr(5)));
    // any legal answer of ours
    uint32_t answer = 0;
    for (int i = 0; local.legalMoves[i]; i++)
        if (!(local.legalMoves[i] & 0x8000)) {
            answer = local.legalMoves[i] & 0xFFFF;
            break;
        }
    char text[8];
    moveToText(answer, text);
    sleepMs(400);  // let it ponder
    start = std::chrono::steady_clock::now();
    e.send("time 6000");
    e.send(text);
    EXPECT_FALSE(e.waitFor("move ", 5000).empty());
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}
