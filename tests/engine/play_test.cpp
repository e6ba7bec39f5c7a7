#include <gtest/gtest.h>
#include <chrono>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "engine/commandloop.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "engine_process.h"
#include "replies.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/transtable.h"
#include "search/worker.h"
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

// Under xboard's nps the clock's budget becomes nodes, whatever unit it was
// counted in, and the wall clock no longer ends the search.
TEST(Play, NodesPerSecondTurnsTheBudgetIntoNodes) {
    const Clocks saved = session.clocks;
    session.clocks.movesPerPeriod = 0, session.clocks.incrementTenths = 1;
    session.clocks.engineTenths = 100, session.clocks.engineMs = 10000;
    const TimeBudget timed = playBudget();
    ASSERT_GT(timed.targetMs, 0);
    session.nodesPerSecond = 1000;
    const TimeBudget counted = playBudget();
    session.nodesPerSecond = 0;
    session.clocks = saved;
    EXPECT_EQ(counted.nodeLimit, uint32_t(timed.targetMs));
    EXPECT_EQ(counted.targetMs, 0);
    EXPECT_EQ(counted.hardMs, 0);
    EXPECT_EQ(counted.hardTenths, TC_UNLIMITED_TENTHS);
}

// Budgets in tenths for every kind of clock: a soft one no longer than the
// hard one, neither longer than the clock, more time for more clock and
// for an increment, and a cap in milliseconds for a clock nearly run out.
TEST(Play, TimeBudgetsFitTheClock) {
    Clocks c;
    c.baseSeconds = 300;
    for (int moves : {0, 1, 10, 40}) {
        for (int increment : {0, 1, 5, 20}) {
            int previous = 0;
            for (int clock : {1, 5, 10, 20, 30, 60, 100, 300, 1000, 3000, 18000}) {
                c.movesPerPeriod = moves, c.incrementTenths = increment, c.engineTenths = clock;
                TimeBudget b = allocateTime(c, 0, false);
                std::string what = std::to_string(moves) + " moves, +" + std::to_string(increment) + ", clock " +
                                   std::to_string(clock);
                EXPECT_GE(b.targetTenths, 1) << what;
                EXPECT_LE(b.targetTenths, b.hardTenths) << what;
                EXPECT_LE(b.hardTenths, std::max(clock, 1)) << what;
                // (With an increment the budget dips once the clock first covers its margin.)
                if (increment == 0) {
                    EXPECT_GE(b.targetTenths, previous) << what;
                }
                previous = b.targetTenths;
            }
        }
    }
    c.movesPerPeriod = 0, c.engineTenths = 3000, c.incrementTenths = 0;
    int plain = allocateTime(c, 0, false).targetTenths;
    c.incrementTenths = 20;
    EXPECT_GT(allocateTime(c, 0, false).targetTenths, plain);
    // Little left: budgets in milliseconds, never the whole clock; the soft
    // one a share that leaves the hard limit room to extend it.
    for (int ms : {0, 50, 150, 550, 900, 2500}) {
        c.movesPerPeriod = 0, c.incrementTenths = 0, c.engineTenths = ms / 100, c.engineMs = ms;
        TimeBudget b = allocateTime(c, 0, false);
        EXPECT_GT(b.targetMs, 0) << ms;
        EXPECT_LE(b.targetMs, b.hardMs) << ms;
        EXPECT_LE(b.hardMs, std::max(ms / 2, 1)) << ms;
        if (ms >= 150) {
            EXPECT_LT(b.targetMs, b.hardMs) << ms;
        }
        EXPECT_LE(shortClockCapMs(c, 1, 1, 10), std::max(ms / 10, 1)) << "ten moves to the control";
    }
    // An increment given to the millisecond counts to the millisecond.
    c.engineMs = 3000, c.engineTenths = 30, c.incrementMs = 30;
    const int withIncrement = allocateTime(c, 0, false).targetMs;
    c.incrementMs = 0;
    EXPECT_GT(withIncrement, allocateTime(c, 0, false).targetMs);
    c.incrementMs = -1;
    c.engineMs = 60000, c.engineTenths = 600;
    EXPECT_EQ(allocateTime(c, 0, false).capMs, 0);
    TimeBudget analysis = allocateTime(c, 0, true);
    EXPECT_EQ(analysis.capMs, 0);
    EXPECT_GE(analysis.targetTenths, 24 * 36000);  // analysis runs a day and more
    EXPECT_EQ(analysis.maxDepth, 999);
}

TEST(Play, ResignsOnTheThirdFallingMateScore) {
    Game& g = game;
    newGame(g);
    ResignState r;
    EXPECT_EQ(resignCheck(r, 1, -32690), 0);
    EXPECT_EQ(resignCheck(r, 1, -32692), 0);
    EXPECT_EQ(resignCheck(r, 1, -32694), 10);
    EXPECT_EQ(resignCheck(r, 1, -32696), 0);  // no second resign
    EXPECT_EQ(resignCheck(r, 1, -100), 0);
    EXPECT_EQ(r.count, 0);
    for (int s = -32690; s > -32699; s--) EXPECT_EQ(resignCheck(r, 0, s), 0);
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

// A stop that arrives at once after GO is never lost: each "?" gives exactly
// one move, FORCE and QUIT none, and the session ends promptly.
TEST(Play, StopsRightAfterGoAreNeverLost) {
    std::string script = "xboard\noption USE BOOK=0\nlevel 40 60 0\ntime 360000\nhard\n";
    const int rounds = 1000;
    for (int i = 0; i < rounds; i++) script += i % 2 ? "new\ngo\n?\n" : "new\ngo\nforce\n";
    script += "new\ngo\nquit\n";
    auto start = std::chrono::steady_clock::now();
    EngineResult r = runEngine(script);
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(msSince(start), 60000);
    int moves = 0;
    for (size_t at = 0; (at = r.out.find("move ", at)) != std::string::npos; at += 5) moves += at == 0 || r.out[at - 1] == '\n';
    EXPECT_EQ(moves, rounds / 2);
}

// Fast self-play from varied openings: every move the search returns is
// legal in the game, and the game record stays consistent.
TEST(Play, SelfPlayNeverPlaysAnIllegalMove) {
    std::mt19937 rng(2026);
    useBook = 0;
    postThinking = 0;
    if (ttBucketCount() == 0) allocateTransTable(0);
    int games = 0, plies = 0;
    for (; games < 100; games++) {
        newGame(game);
        listMoves(game);
        clearTransTable();
        clearHistory();
        // a random opening of 2 to 8 half-moves
        int opening = 2 + int(rng() % 7);
        for (int i = 0; i < opening && game.result == 0; i++) {
            uint32_t legal[MAX_MOVES];
            int n = 0;
            for (int k = 0; game.legalMoves[k]; k++)
                if (!(game.legalMoves[k] & 0x8000)) legal[n++] = game.legalMoves[k] & 0xFFFF;
            if (n == 0) break;
            makeMove(game, legal[rng() % n]);
        }
        for (int ply = 0; ply < 160 && game.result == 0; ply++) {
            TimeBudget budget = unlimitedBudget();
            budget.maxDepth = 2 + int(rng() % 3);
            PonderState ponder;
            searchWorker.signals.abortSearch = 0;
            uint32_t r = think(game, budget, ponder);
            ASSERT_NE(r, 0xFFFFFFFFu);
            uint32_t m = r & 0xFFFF;
            bool legal = false;
            for (int k = 0; game.legalMoves[k]; k++)
                if ((game.legalMoves[k] & 0xFFFF) == m && !(game.legalMoves[k] & 0x8000)) legal = true;
            ASSERT_TRUE(legal) << "game " << games << " ply " << ply;
            int code = makeMove(game, m);
            ASSERT_GE(code, 0);
            ASSERT_NE(code, 1);
            plies++;
            if (code >= 4) break;  // a draw claim ends the test game
        }
    }
    EXPECT_EQ(internalErrors, 0);
    EXPECT_GT(plies, games * 20);
}

namespace {
// Sends ping n and counts the lines starting with prefix before pong n.
int countUntilPong(EngineProcess& e, int n, const char* prefix) {
    e.send("ping " + std::to_string(n));
    std::string line, pong = "pong " + std::to_string(n);
    int count = 0;
    while (e.readLine(line, 10000)) {
        if (line == pong) return count;
        count += line.compare(0, std::strlen(prefix), prefix) == 0;
    }
    return -1;  // no pong: a hang
}
}  // namespace

// Stops at random instants, every reply checked: one move per "?" and per
// answered user move, none after FORCE, NEW, UNDO, REMOVE, SETBOARD, EDIT, a
// move for the other side or in analyse mode; QUIT ends at once.
TEST(Play, RandomStopsGetExactReplies) {
    std::mt19937 rng(77);
    EngineProcess e;
    e.send("xboard");
    e.send("protover 2");
    e.send("option USE BOOK=0");
    e.send("level 40 60 0");
    int ping = 0;
    for (int round = 0; round < 1000; round++) {
        e.send("new");
        e.send("easy");
        e.send("time 360000");
        int kind = int(rng() % 8);
        auto pause = [&](unsigned us) { usleep(useconds_t(rng() % us)); };
        int expected = 0;
        switch (kind) {
        case 0: e.send("go"); pause(20000); e.send("?"); expected = 1; break;
        case 1: e.send("go"); pause(20000); e.send("force"); break;
        case 2: e.send("go"); pause(20000); e.send("new"); break;
        case 3: e.send("go"); pause(20000); e.send("undo"); break;  // nothing to take back: no move
        case 4: e.send("go"); pause(20000); e.send("e7e5"); e.send("force"); break;  // the other side's move, then stop
        case 5: e.send("analyze"); pause(20000); e.send("e2e4"); pause(5000); e.send("?"); e.send("exit"); break;
        case 6: {  // the engine thinks as Black on the user's move; the interface takes it back or sets up
            e.send("e2e4");
            pause(20000);
            int how = int(rng() % 4);
            if (how == 0) e.send("remove");
            else if (how == 1) e.send("undo");
            else if (how == 2) e.send("setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
            else { e.send("edit"); e.send("#"); e.send("Ke1"); e.send("c"); e.send("Ke8"); e.send("."); }
            break;
        }
        case 7: {  // pondering: the engine moves, ponders, and answers the reply exactly once
            e.send("hard");
            e.send("time 30");
            e.send("go");
            std::string line = e.waitFor("move ", 10000);
            ASSERT_FALSE(line.empty()) << "round " << round;
            Game g;
            newGame(g);
            listMoves(g);
            ASSERT_TRUE(playIfLegal(g, line.substr(5))) << line;
            std::vector<std::string> replies;
            for (int k = 0; g.legalMoves[k]; k++) {
                if (g.legalMoves[k] & 0x8000) continue;
                char text[8];
                moveToText(g.legalMoves[k] & 0xFFFF, text);
                replies.push_back(text);
            }
            ASSERT_FALSE(replies.empty());
            pause(120000);  // sometimes before the ponder search starts, mostly during it
            e.send(replies[rng() % replies.size()]);
            pause(20000);
            e.send("?");
            expected = 1;
            break;
        }
        }
        int moves = countUntilPong(e, ++ping, "move ");
        ASSERT_EQ(moves, expected) << "round " << round << " kind " << kind;
    }
    // UCI: one bestmove for every go, whatever stops it.
    EngineProcess u;
    u.send("uci");
    for (int round = 0; round < 500; round++) {
        u.send("position startpos moves e2e4");
        int kind = int(rng() % 4);
        u.send(kind == 0 ? "go infinite" : kind == 1 ? "go wtime 600000 btime 600000" : kind == 2 ? "go depth 40" : "go ponder wtime 600000 btime 600000");
        usleep(useconds_t(rng() % 20000));
        if (kind == 3 && rng() % 2) {
            u.send("ponderhit");
            usleep(useconds_t(rng() % 5000));
        }
        u.send(kind == 1 ? "position startpos" : "stop");
        u.send("isready");
        std::string line;
        int best = 0;
        while (u.readLine(line, 10000) && line != "readyok") best += line.compare(0, 9, "bestmove ") == 0;
        if (best == 0) {  // a bestmove may follow readyok when the stop came by position
            u.send("stop");
            u.send("isready");
            while (u.readLine(line, 10000) && line != "readyok") best += line.compare(0, 9, "bestmove ") == 0;
        }
        ASSERT_EQ(best, 1) << "round " << round << " kind " << kind;
    }
    auto start = std::chrono::steady_clock::now();
    e.send("new");
    e.send("time 360000");
    e.send("go");
    usleep(20000);
    e.send("quit");
    EXPECT_EQ(e.waitExit(1000), 0);
    EXPECT_LT(msSince(start), 1100);
}

// QUIT at any moment, whatever the engine is doing (thinking, analysing,
// pondering, a UCI infinite search, starting up), ends it within a second.
TEST(Play, RandomQuitsEndWithinASecond) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; round++) {
        EngineProcess e;
        int kind = int(rng() % 4);
        // The quit is sent once the engine has answered: a slow start-up
        // (a sanitized build on a loaded machine) is not counted against it.
        if (kind == 3) {
            e.send("uci");
            ASSERT_FALSE(e.waitFor("uciok", 10000).empty());
            e.send("position startpos moves e2e4");
            e.send("go infinite");
        } else {
            e.send("xboard");
            e.send("protover 2");
            ASSERT_FALSE(e.waitFor("feature option=\"USE BOOK", 10000).empty());
            e.send("option USE BOOK=0");
            e.send("level 40 60 0");
            e.send("time 360000");
            if (kind == 0) e.send("go");
            if (kind == 1) e.send("analyze");
            if (kind == 2) { e.send("hard"); e.send("time 30"); e.send("go"); }
        }
        usleep(useconds_t(rng() % 300000));
        auto start = std::chrono::steady_clock::now();
        e.send("quit");
        EXPECT_EQ(e.waitExit(1000), 0) << "round " << round << " kind " << kind;
        EXPECT_LT(msSince(start), 1100) << "round " << round << " kind " << kind;
    }
}
