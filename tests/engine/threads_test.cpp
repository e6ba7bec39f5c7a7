// The engine with several search threads, driven through its pipes: searches
// stopped at random moments by every command that ends one.
#include <gtest/gtest.h>
#include <cctype>
#include <random>
#include <string>
#include <unistd.h>
#include "board/game.h"
#include "board/notation.h"
#include "engine_process.h"
#include "replies.h"

namespace {

const char* const FENS[] = {
    "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P1B2/2PBPN2/PP1N1PPP/R2QK2R w KQ - 4 9",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN5/PPP2PPP/R2Q1RK1 w - - 0 12",
    "8/5pk1/6p1/3R4/7P/6P1/r4PK1/8 b - - 0 40",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
};

bool legalIn(const char* fen, const std::string& text) {
    Game g;
    return setupFromFen(g, fen) >= 0 && playIfLegal(g, text);
}

// Every go is answered by exactly one legal bestmove, whatever ends the
// search and however many threads search: a stop, a new position, a new game,
// a change of the thread count, a ponderhit followed by a stop.
TEST(Threads, RandomStopsGetOneLegalBestmove) {
    std::mt19937 rng(22);
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 5000).empty());
    for (int threads = 1; threads <= 8; threads++) {
        e.send("setoption name Threads value " + std::to_string(threads));
        for (int round = 0; round < 12; round++) {
            const char* fen = FENS[rng() % 4];
            e.send(std::string("position fen ") + fen);
            const int kind = int(rng() % 4);
            e.send(kind == 0   ? "go infinite"
                   : kind == 1 ? "go wtime 600000 btime 600000"
                   : kind == 2 ? "go depth 40"
                               : "go ponder wtime 600000 btime 600000");
            usleep(useconds_t(rng() % 30000));
            switch (rng() % 5) {
            case 0: e.send("stop"); break;
            case 1: e.send("position startpos"); break;
            case 2: e.send("ucinewgame"); break;
            case 3: e.send("setoption name Threads value " + std::to_string(1 + rng() % 8)); break;
            case 4:
                e.send("ponderhit");
                usleep(useconds_t(rng() % 10000));
                e.send("stop");
                break;
            }
            e.send("stop");
            e.send("isready");
            std::string line;
            int answers = 0;
            while (e.readLine(line, 20000) && line != "readyok") {
                if (line.compare(0, 9, "bestmove ") != 0) continue;
                answers++;
                std::string move = line.substr(9, line.find(' ', 9) - 9);
                EXPECT_TRUE(legalIn(fen, move)) << line << " in " << fen;
            }
            ASSERT_EQ(line, "readyok") << "threads " << threads << " round " << round;
            ASSERT_EQ(answers, 1) << "threads " << threads << " round " << round << " kind " << kind;
            // The thread count the round may have changed is set again.
            e.send("setoption name Threads value " + std::to_string(threads));
        }
    }
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

// A quit in the middle of a many-threaded search ends the engine at once;
// so does one right after the thread count changed.
TEST(Threads, QuitEndsEveryThread) {
    std::mt19937 rng(8);
    for (int threads = 2; threads <= 8; threads += 2) {
        EngineProcess e("-T" + std::to_string(threads));
        e.send("uci");
        e.send("position startpos moves e2e4");
        e.send(rng() % 2 ? "go infinite" : "go ponder wtime 1000 btime 1000");
        usleep(useconds_t(rng() % 50000));
        if (threads == 4) e.send("setoption name Threads value 1");
        e.send("quit");
        EXPECT_EQ(e.waitExit(3000), 0) << threads;
    }
}

// xboard: "cores" sets the threads; the engine still plays legal moves.
TEST(Threads, XboardCoresAndMoves) {
    EngineProcess e;
    e.send("xboard");
    e.send("protover 2");
    EXPECT_FALSE(e.waitFor("feature smp=1", 5000).empty());
    e.send("option USE BOOK=0");
    e.send("cores 3");
    e.send("new");
    e.send("time 300");
    e.send("e2e4");
    std::string reply = e.waitFor("move ", 10000);
    ASSERT_FALSE(reply.empty());
    Game g;
    newGame(g);
    listMoves(g);
    std::string text = "E2E4";
    ASSERT_GE(makeMove(g, parseMove(&text[0], g.sideToMove)), 0);
    text = reply.substr(5);
    for (char& c : text) c = char(std::toupper((unsigned char)c));
    uint32_t m = parseMove(&text[0], g.sideToMove);
    ASSERT_NE(m, 0u) << reply;
    EXPECT_GE(makeMove(g, m), 0) << reply;
    e.send("cores 1");
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

}  // namespace
