#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "egtb/tablebase.h"
#include "engine/commandloop.h"
#include "search/transtable.h"
#include "filetest_util.h"
#include "engine_process.h"

namespace {

// The clock is read every 250000 nodes: a sanitized engine needs far longer
// for them than the 300 ms asked.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr long MOVETIME_BOUND_MS = 15000;
#else
constexpr long MOVETIME_BOUND_MS = 2500;
#endif

void runLines(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    ASSERT_NE(f, nullptr);
    runCommandLoop(f);
    std::fclose(f);
}

bool isLegalIn(Game& g, const std::string& text) {
    std::string t = text;
    for (char& c : t) c = char(std::toupper((unsigned char)c));
    uint32_t m = parseMove(&t[0], g.sideToMove);
    if (m == 0) return false;
    for (int i = 0; g.legalMoves[i]; i++)
        if ((g.legalMoves[i] & 0x8000) == 0 && (g.legalMoves[i] & 0xFFF) == (m & 0xFFF)) return true;
    return false;
}

// The move of a "bestmove <move> [ponder <reply>]" line.
std::string moveOf(const std::string& bestmove) {
    if (bestmove.compare(0, 9, "bestmove ") != 0) return "";
    const size_t end = bestmove.find(' ', 9);
    return bestmove.substr(9, end == std::string::npos ? std::string::npos : end - 9);
}

long msSince(std::chrono::steady_clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}

}  // namespace

TEST(Uci, GoReadsTheClocks) {
    runLines("uci\nucinewgame\nposition startpos\n"
             "go wtime 300000 btime 300000 winc 2000 binc 2000 movestogo 40\nstop\n");
    EXPECT_EQ(session.clocks.engineTenths, 3000);
    EXPECT_EQ(session.clocks.opponentTenths, 3000);
    EXPECT_EQ(session.clocks.baseSeconds, 300);
    EXPECT_EQ(session.clocks.incrementTenths, 20);
    EXPECT_EQ(session.clocks.movesPerPeriod, 40);
    runLines("position startpos moves e2e4\ngo wtime 200000 btime 250000 movestogo 39\nstop\n");
    EXPECT_EQ(session.clocks.movesPerPeriod, 40);
    EXPECT_EQ(session.clocks.engineTenths, 2500);  // Black to move
    EXPECT_EQ(session.clocks.opponentTenths, 2000);
    // NalimovCache is held to 1..64 MiB, 8 sets 8 MiB; Hash resizes the table.
    runLines("setoption name NalimovCache value 0\n");
    EXPECT_EQ(tbCacheBytes, 1u << 20);
    runLines("setoption name NalimovCache value 65\n");
    EXPECT_EQ(tbCacheBytes, 64u << 20);
    runLines("setoption name NalimovCache value 8\nsetoption name Hash value 64\n");
    EXPECT_EQ(tbCacheBytes, 8388608u);
    EXPECT_EQ(ttSizeMiB(), 48);
    runLines("setoption name NalimovPath value\nsetoption name Hash value 1\n");
    EXPECT_EQ(ttSizeMiB(), 3);
    session.uciMode = 0;
}

// Budgets are kept in tenths; under a tenth of a second they would round up
// past the time asked for, or past what is left on the clock.
TEST(Uci, ShortClocksAndMoveTimesAreCappedInMilliseconds) {
    runLines("uci\nucinewgame\nposition startpos\ngo wtime 500 btime 500\nstop\n");
    EXPECT_EQ(session.clocks.engineMs, 500);
    EXPECT_EQ(session.budget.hardTenths, 1);
    EXPECT_GT(session.budget.capMs, 0);  // a share of the clock, far from all of it
    EXPECT_LT(session.budget.capMs, 100);
    runLines("position startpos\ngo movetime 30\nstop\n");
    EXPECT_EQ(session.budget.capMs, 30);
    runLines("position startpos\ngo movetime 250\nstop\n");
    EXPECT_EQ(session.budget.hardTenths, 2);
    runLines("position startpos\ngo infinite\nstop\n");
    EXPECT_EQ(session.budget.capMs, 0);
    runLines("position startpos\ngo wtime 60000 btime 60000\nstop\n");
    EXPECT_EQ(session.budget.capMs, 0);
    session.uciMode = 0;
    runLines("new\nforce\ntime 50\nlevel 0 0:10 0\ngo\n?\n");
    EXPECT_EQ(session.clocks.engineMs, 500);
    EXPECT_GT(session.budget.capMs, 0);
    EXPECT_LT(session.budget.capMs, 100);
    runLines("new\nforce\ntime 6000\ngo\n?\n");
    EXPECT_EQ(session.budget.capMs, 0);
    session.clocks.engineMs = -1;
}

TEST(Uci, HandshakeReadinessAndStop) {
    EngineProcess e;
    e.send("isready");
    std::string line;
    ASSERT_TRUE(e.readLine(line, 3000));
    EXPECT_EQ(line, "Error (unknown command): ISREADY");
    e.send("uci");
    // The defaults are what a fresh engine runs with: a 3 MB table, a 4 MB cache.
    const char* expected[] = {"id name Velmora 4.0",
                              "id author",
                              "option name NalimovPath type string default",
                              "option name NalimovCache type spin default 4 min 1 max 64",
                              "option name Hash type spin default 3 min 3 max 49152",
                              "option name Clear Hash type button",
                              "option name Ponder type check default false",
                              "option name OwnBook type check default true",
                              "option name BookFile type string default",
                              "option name Move Overhead type spin default 10 min 0 max 5000"};
    for (const char* x : expected) {
        ASSERT_TRUE(e.readLine(line, 3000));
        EXPECT_EQ(line.compare(0, std::strlen(x), x), 0) << line;
    }
    while (e.readLine(line, 3000) && line.compare(0, 7, "option ") == 0) {}
    EXPECT_EQ(line, "uciok");
    e.send("setoption name OwnBook value false");
    e.send("stop");  // idle: nothing
    e.send("isready");
    ASSERT_TRUE(e.readLine(line, 3000));
    EXPECT_EQ(line, "readyok");

    // go infinite: answered only after stop, exactly once, readyok meanwhile.
    e.send("position startpos moves e2e4 e7e5");
    e.send("go infinite");
    usleep(300000);
    e.send("isready");
    EXPECT_EQ(e.waitFor("readyok", 2000), "readyok");
    for (const std::string& l : e.lines) EXPECT_NE(l.compare(0, 8, "bestmove"), 0) << l;
    e.send("stop");
    std::string best = e.waitFor("bestmove ", 3000);
    EXPECT_FALSE(best.empty());
    e.send("isready");
    EXPECT_EQ(e.waitFor("readyok", 2000), "readyok");
    int bestmoves = 0;
    for (const std::string& l : e.lines) bestmoves += l.compare(0, 9, "bestmove ") == 0;
    EXPECT_EQ(bestmoves, 1);

    // A bare go also waits; a mate-in-one found early still waits for stop.
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    e.send("go");
    usleep(300000);
    e.send("stop");
    EXPECT_EQ(moveOf(e.waitFor("bestmove ", 3000)), "d1d8");

    // movetime, depth, no legal move, lower-case promotions.
    auto start = std::chrono::steady_clock::now();
    e.send("position startpos");
    e.send("go movetime 300");
    EXPECT_FALSE(e.waitFor("bestmove ", 5000).empty());
    EXPECT_LT(msSince(start), MOVETIME_BOUND_MS);
    // Fresh tables: what the timed searches above left in them varies with the
    // machine's load, and a fixed-depth answer must not.
    e.send("ucinewgame");
    e.send("position fen 8/4P3/8/8/8/8/k7/4K3 w - - 0 1");
    e.send("go depth 14");  // shallower, the unstoppable pawn outscores its queen
    EXPECT_EQ(moveOf(e.waitFor("bestmove ", 5000)), "e7e8q");
    e.send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    e.send("go depth 3");
    EXPECT_EQ(e.waitFor("bestmove ", 3000), "bestmove 0000");
    e.send("position fen 8/8/8 w - -");
    EXPECT_EQ(e.waitFor("info string", 3000).compare(0, 11, "info string"), 0);
    e.send("go nodes 20000");
    EXPECT_FALSE(e.waitFor("bestmove ", 5000).empty());
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// A GUI's habits: the whole move list before every go, clocks that run.
TEST(Uci, PlaysAGameAgainstItselfWithLegalMoves) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    e.send("ucinewgame");
    e.send("isready");
    ASSERT_FALSE(e.waitFor("readyok", 3000).empty());
    Game local;
    newGame(local);
    listMoves(local);
    std::string moves;
    int wtime = 10000, btime = 10000;
    for (int ply = 0; ply < 24 && local.result == 0; ply++) {
        e.send("position startpos" + (moves.empty() ? std::string() : " moves" + moves));
        e.send("go wtime " + std::to_string(wtime) + " btime " + std::to_string(btime) + " winc 100 binc 100");
        auto start = std::chrono::steady_clock::now();
        std::string best = e.waitFor("bestmove ", 10000);
        ASSERT_FALSE(best.empty()) << "ply " << ply;
        int used = int(msSince(start));
        (local.sideToMove ? btime : wtime) += 100 - used;
        std::string m = moveOf(best);
        ASSERT_TRUE(isLegalIn(local, m)) << m << " at ply " << ply;
        std::string t = m;
        for (char& c : t) c = char(std::toupper((unsigned char)c));
        int code = makeMove(local, parseMove(&t[0], local.sideToMove));
        moves += " " + m;
        if (code >= 2) break;
    }
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// A move list of hundreds of moves is read whole and replayed exactly.
TEST(Uci, LongMoveListsAreReplayedWhole) {
    std::mt19937 rng(99);
    Game local;
    std::string moves;
    for (int attempt = 0; attempt < 200; attempt++) {
        newGame(local);
        listMoves(local);
        moves.clear();
        while (local.ply < 300) {
            uint32_t legal[MAX_MOVES];
            int n = 0;
            for (int i = 0; local.legalMoves[i]; i++)
                if (!(local.legalMoves[i] & 0x8000)) legal[n++] = local.legalMoves[i] & 0xFFFF;
            if (n == 0) break;
            uint32_t m = legal[rng() % n];
            char t[8];
            moveToText(m, t);
            int code = makeMove(local, m);
            for (char* p = t; *p; p++) *p = char(std::tolower((unsigned char)*p));
            moves += " " + std::string(t);
            if (code == 2 || code == 3 || code == 6) break;
        }
        if (local.ply >= 280) break;
    }
    ASSERT_GE(local.ply, 280);
    EngineProcess e;
    e.send("uci");
    e.send("position startpos moves" + moves);
    e.send("print");
    e.send("quit");
    std::string diagram, line;
    while (e.readLine(line, 3000))
        if (line.size() == 8 && line.find_first_not_of(".rdtfcpRDTFCP") == std::string::npos) diagram += line + "\n";
    // The engine's own record against ours: the same final position.
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    FILE* saved = stdout;
    stdout = f;
    printBoard(local);
    std::fflush(stdout);
    stdout = saved;
    std::fclose(f);
    std::string expected(text, size);
    std::free(text);
    EXPECT_EQ(diagram.size(), 72u);
    EXPECT_EQ(diagram, expected);
}

// Tablebase paths keep their leading '/' or '.'; only quotes or brackets
// around them go, and an empty value adds nothing. A directory already in
// the list is not added twice, a missing one not at all.
TEST(Uci, TablebasePathsKeepTheirCharacters) {
    TempDir dir;
    for (const char* sub : {"tbx", "with space", "opt"}) ASSERT_EQ(mkdir(dir.file(sub).c_str(), 0700), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    std::string saved = tbPath;
    tbPath.clear();
    const std::string spaced = dir.file("with space"), opt = dir.file("opt");
    runLines("uci\nsetoption name NalimovPath value ./tbx\nsetoption name NalimovPath value\n");
    runLines("egtpath nalimov \"" + spaced + "\"\negtpath nalimov\negtpath nalimov \n");
    runLines("setoption name NalimovPath value {" + opt + "}\nsetoption name NalimovPath value ./missing\n");
    runLines("setoption name NalimovPath value ./tbx\n");
    EXPECT_EQ(tbPath, "./tbx;" + dir.file("with space") + ";" + dir.file("opt"));
    session.uciMode = 0;
    closeTablebases();
    tbPath = saved;
    tbMaxPieces = initTablebases(tbPath.c_str(), tbCacheBytes);
    EXPECT_EQ(chdir(cwd), 0);
}

// A go sent the instant the previous bestmove arrives (or the readyok after
// it) is a new search, never lost while the old thread ends: an interface
// that waits for its bestmove would lose on time. Every go gets exactly one.
TEST(Uci, EveryGoGetsExactlyOneBestmove) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    e.send("position fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8");
    const int ROUNDS = 1500;
    int lost = 0;
    for (int round = 0; round < ROUNDS && lost < 3; round++) {
        if (round % 3 == 1) {
            e.send("isready");
            if (e.waitFor("readyok", 2000).empty()) lost++;
        }
        e.send("go depth 1");
        if (e.waitFor("bestmove ", 2000).empty()) lost++;
    }
    EXPECT_EQ(lost, 0);
    e.send("isready");
    ASSERT_FALSE(e.waitFor("readyok", 3000).empty());
    int bestmoves = 0;
    for (const std::string& l : e.lines) bestmoves += l.compare(0, 9, "bestmove ") == 0;
    EXPECT_EQ(bestmoves, ROUNDS);

    // A go while a search still runs: that search answers first, then the new one.
    e.send("go infinite");
    usleep(100000);
    e.send("go depth 1");
    EXPECT_FALSE(e.waitFor("bestmove ", 3000).empty());
    EXPECT_FALSE(e.waitFor("bestmove ", 3000).empty());
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// A limit that is given bounds the search whatever its value: none of these
// may wait for a stop that the interface will never send.
TEST(Uci, ZeroAndNegativeLimitsAreAnswered) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    for (const char* go : {"go depth 0", "go nodes 0", "go depth -4", "go nodes -100", "go movetime 0",
                           "go movetime -50", "go depth", "go nodes"}) {
        e.send("position startpos moves e2e4 c7c5 g1f3 d7d6");
        e.send(go);
        EXPECT_FALSE(e.waitFor("bestmove ", 5000).empty()) << go;
    }
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// Times from the protocol are brought into range before any arithmetic:
// huge values give long but sound budgets, never wrapped or negative ones.
TEST(Uci, HugeTimeValuesGiveSoundBudgets) {
    auto sound = [](const char* what) {
        EXPECT_GE(session.budget.targetTenths, 1) << what;
        EXPECT_GE(session.budget.hardTenths, session.budget.targetTenths) << what;
        EXPECT_GE(session.clocks.engineTenths, 0) << what;
        EXPECT_GE(session.clocks.baseSeconds, 0) << what;
        EXPECT_GE(session.clocks.incrementTenths, 0) << what;
        EXPECT_GE(session.clocks.movesPerPeriod, 0) << what;
    };
    runLines("uci\nucinewgame\nposition startpos\ngo wtime 500 btime 500 winc 99999999999 binc 99999999999\nstop\n");
    sound("huge increments");
    EXPECT_GT(session.clocks.incrementTenths, 1000000);
    runLines("ucinewgame\nposition startpos\ngo wtime 9999999999999 btime 9999999999999 movestogo 99999999999\nstop\n");
    sound("huge clocks");
    EXPECT_GT(session.clocks.engineTenths, 1000000);
    EXPECT_GT(session.clocks.movesPerPeriod, 1000);
    runLines("ucinewgame\nposition startpos\ngo wtime -300 btime -300 winc -5 movetime 99999999999\nstop\n");
    sound("negative clocks");
    EXPECT_EQ(session.clocks.engineTenths, 0);
    EXPECT_EQ(session.clocks.incrementTenths, 0);
    session.uciMode = 0;

    // The xboard time commands, through the budget of the next search.
    runLines("new\nforce\nlevel 0 99999999 0\ntime 99999999999\notim -99999999999\ngo\n?\n");
    sound("huge base");
    EXPECT_GT(session.clocks.baseSeconds, 1000000);
    EXPECT_EQ(session.clocks.opponentTenths, 0);
    runLines("new\nforce\nlevel 2147483647 1 2147483647\ntime 1000\ngo\n?\n");
    sound("huge period and increment");
    EXPECT_EQ(session.clocks.baseSeconds, 60);
    runLines("new\nforce\nlevel 40 99999999999999999999:99999999999999999999 5\ntime 1000\ngo\n?\n");
    sound("huge minutes and seconds");
    EXPECT_EQ(session.clocks.incrementTenths, 50);
    runLines("new\nforce\nlevel -40 -5 -3\ntime -100\ngo\n?\n");
    sound("negative fields");
    EXPECT_EQ(session.clocks.engineTenths, 0);
    // Back to the settings the engine starts with, for the tests that follow.
    runLines("new\nforce\nlevel 6 1 0\n");
    session.clocks.engineTenths = session.clocks.opponentTenths = 0;
    session.clocks.engineMs = -1;
    session.budget.capMs = 0;
}
