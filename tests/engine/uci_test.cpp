#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <regex>
#include <sstream>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "egtb/tablebase.h"
#include "engine/commandloop.h"
#include "search/transtable.h"
#include "filetest_util.h"
#include "engine_process.h"
#include "replies.h"

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

// The lines of one search: from the go to its bestmove (the last line).
std::vector<std::string> searchLines(EngineProcess& e, const std::string& go, int timeoutMs) {
    const size_t from = e.lines.size();
    e.send(go);
    e.waitFor("bestmove ", timeoutMs);
    return std::vector<std::string>(e.lines.begin() + long(from), e.lines.end());
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The value after a field name of an info line ("" when absent).
std::string fieldOf(const std::string& line, const std::string& name) {
    std::vector<std::string> w = wordsOf(line);
    for (size_t i = 0; i + 1 < w.size(); i++)
        if (w[i] == name) return w[i + 1];
    return "";
}

// The moves after "pv".
std::vector<std::string> pvOf(const std::string& line) {
    std::vector<std::string> w = wordsOf(line), pv;
    size_t i = 0;
    while (i < w.size() && w[i] != "pv") i++;
    pv.assign(w.begin() + long(std::min(i + 1, w.size())), w.end());
    return pv;
}

// How a final line may stand without depth and score: never after a
// search, always for a book move, either after a stop before the first
// iteration ended.
enum FinalScore { SEARCHED, BOOK, EITHER };

// A search's lines end with a final info line, with depth, score and a pv
// that starts with the bestmove, just before the bestmove.
void expectFinalLine(const std::vector<std::string>& lines, const std::string& what, FinalScore kind = SEARCHED) {
    ASSERT_GE(lines.size(), 2u) << what;
    const std::string& best = lines.back();
    ASSERT_EQ(best.compare(0, 9, "bestmove "), 0) << what;
    const std::string& final = lines[lines.size() - 2];
    EXPECT_EQ(final.compare(0, 5, "info "), 0) << what << ": " << final;
    const bool scored = final.find(" score ") != std::string::npos;
    if (kind != EITHER) {
        EXPECT_EQ(scored, kind == SEARCHED) << what << ": " << final;
    }
    EXPECT_EQ(final.find(" depth ") != std::string::npos, scored) << what << ": " << final;
    std::vector<std::string> pv = pvOf(final);
    ASSERT_FALSE(pv.empty()) << what << ": " << final;
    EXPECT_EQ(pv[0], wordsOf(best)[1]) << what;
}

// The move of a "bestmove <move> [ponder <reply>]" line.
std::string moveOf(const std::string& bestmove) {
    if (bestmove.compare(0, 9, "bestmove ") != 0) return "";
    const size_t end = bestmove.find(' ', 9);
    return bestmove.substr(9, end == std::string::npos ? std::string::npos : end - 9);
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

// Under a tenth of a second, budgets in tenths would round up past the time
// asked for or past what is left on the clock: such clocks and move times
// are budgeted in milliseconds.
TEST(Uci, ShortClocksAndMoveTimesAreCappedInMilliseconds) {
    runLines("uci\nucinewgame\nposition startpos\ngo wtime 500 btime 500\nstop\n");
    EXPECT_EQ(session.clocks.engineMs, 500);
    EXPECT_EQ(session.budget.hardTenths, 1);
    EXPECT_GT(session.budget.hardMs, 0);  // a share of the clock, far from all of it
    EXPECT_LT(session.budget.hardMs, 100);
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
    EXPECT_GT(session.budget.hardMs, 0);
    EXPECT_LT(session.budget.hardMs, 100);
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
                              "option name Threads type spin default 1 min 1 max 256",
                              "option name Clear Hash type button",
                              "option name Ponder type check default false",
                              "option name OwnBook type check default true",
                              "option name BookFile type string default",
                              "option name Move Overhead type spin default 10 min 0 max 5000",
                              "option name MultiPV type spin default 1 min 1 max 256"};
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

// Info lines as UCI has them: the pv is moves only, a bound is said after
// the score, the search's counters go with every line, the root move under
// search is shown once the search has run a second, and a final line comes
// before every bestmove.
TEST(Uci, InfoLinesFollowTheProtocol) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    // Out of the book, which would answer the start at once.
    const std::string middleGame = "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    e.send(middleGame);
    // Until the root moves are shown (after a second) and a few iterations
    // are reported, then stop.
    size_t from = e.lines.size();
    e.send("go infinite");
    std::string line;
    bool rootMoveShown = false;
    int iterations = 0;
    auto start = std::chrono::steady_clock::now();
    while (msSince(start) < 20000 && !(rootMoveShown && iterations >= 3)) {
        if (!e.readLine(line, 500)) continue;
        rootMoveShown = rootMoveShown || line.find(" currmove ") != std::string::npos;
        iterations += line.find(" score ") != std::string::npos;
    }
    e.send("stop");
    e.waitFor("bestmove ", 5000);
    std::vector<std::string> lines(e.lines.begin() + long(from), e.lines.end());
    expectFinalLine(lines, "infinite");
    const std::regex move("[a-h][1-8][a-h][1-8][qrbn]?");
    int scored = 0, currmoves = 0;
    for (const std::string& l : lines) {
        if (l.compare(0, 5, "info ") != 0) continue;
        if (l.find(" currmove ") != std::string::npos) {
            currmoves++;
            EXPECT_TRUE(std::regex_match(fieldOf(l, "currmove"), move)) << l;
            EXPECT_GE(std::stoi(fieldOf(l, "currmovenumber")), 1) << l;
            continue;
        }
        for (const std::string& m : pvOf(l)) EXPECT_TRUE(std::regex_match(m, move)) << l;
        if (l.find(" score ") == std::string::npos) continue;
        scored++;
        std::vector<std::string> w = wordsOf(l);
        size_t at = 0;
        while (w[at] != "score") at++;
        ASSERT_LT(at + 3, w.size()) << l;
        // "score cp N [lowerbound|upperbound]", then the next field.
        EXPECT_TRUE(w[at + 1] == "cp" || w[at + 1] == "mate") << l;
        if (w[at + 3] == "lowerbound" || w[at + 3] == "upperbound") at++;
        EXPECT_EQ(w[at + 3], "nodes") << l;
        EXPECT_GE(std::stoi(fieldOf(l, "seldepth")), 1) << l;
        EXPECT_EQ(fieldOf(l, "multipv"), "1") << l;
        EXPECT_FALSE(fieldOf(l, "nps").empty()) << l;
        int hashfull = std::stoi(fieldOf(l, "hashfull"));
        EXPECT_GE(hashfull, 0) << l;
        EXPECT_LE(hashfull, 1000) << l;
        EXPECT_EQ(fieldOf(l, "tbhits"), "0") << l;
    }
    EXPECT_GT(scored, 3);
    EXPECT_GT(currmoves, 0);

    // The fail high of the first window is no score: three queens up, every
    // line says so.
    e.send("position fen 4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1");
    lines = searchLines(e, "go depth 4", 5000);
    expectFinalLine(lines, "three queens");
    for (const std::string& l : lines) {
        if (l.find(" score cp ") != std::string::npos) {
            EXPECT_GT(std::stoi(fieldOf(l, "cp")), 3000) << l;
        }
    }

    // go depth 1 searches and reports one ply.
    e.send(middleGame);
    lines = searchLines(e, "go depth 1", 3000);
    expectFinalLine(lines, "depth 1");
    for (const std::string& l : lines) {
        if (l.compare(0, 11, "info depth ") == 0) {
            EXPECT_EQ(fieldOf(l, "depth"), "1") << l;
        }
    }

    // The game is over: a final line all the same.
    e.send("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    lines = searchLines(e, "go depth 3", 3000);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "info depth 0 score cp 0");  // stalemate
    EXPECT_EQ(lines.back(), "bestmove 0000");
    e.send("position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
    lines = searchLines(e, "go depth 3", 3000);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "info depth 0 score mate 0");

    // A book move is no search: its final line has the move alone (the
    // book may also pass, after the misses above).
    e.send("position startpos");
    expectFinalLine(searchLines(e, "go depth 5", 3000), "book", EITHER);

    // Stopped at once: the move, with a score if an iteration ended.
    e.send(middleGame);
    from = e.lines.size();
    e.send("go infinite");
    e.send("stop");
    ASSERT_FALSE(e.waitFor("bestmove ", 3000).empty());
    expectFinalLine(std::vector<std::string>(e.lines.begin() + long(from), e.lines.end()), "stopped at once", EITHER);
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// go mate answers once the mate is found, searchmoves keeps to its moves,
// MultiPV reports its lines in order.
TEST(Uci, MateSearchMovesAndMultiPv) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(searchLines(e, "go mate 1", 3000).back(), "bestmove d1d8");
    EXPECT_LT(msSince(start), 2000);
    e.send("position fen 4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1");
    std::vector<std::string> lines = searchLines(e, "go mate 2", 3000);
    expectFinalLine(lines, "mate 2");
    EXPECT_EQ(fieldOf(lines[lines.size() - 2], "mate"), "2");
    // No mate to find: the search goes on until stop.
    e.send("position startpos");
    const size_t from = e.lines.size();
    e.send("go mate 3");
    usleep(500000);
    for (size_t i = from; i < e.lines.size(); i++) {
        EXPECT_NE(e.lines[i].compare(0, 8, "bestmove"), 0);
    }
    e.send("stop");
    EXPECT_FALSE(e.waitFor("bestmove ", 3000).empty());

    e.send("position startpos");
    lines = searchLines(e, "go depth 6 searchmoves a2a3 h2h3", 5000);
    expectFinalLine(lines, "searchmoves");
    const std::string best = lines.back();
    EXPECT_TRUE(moveOf(best) == "a2a3" || moveOf(best) == "h2h3") << best;
    for (const std::string& l : lines) {
        std::vector<std::string> pv = pvOf(l);
        if (!pv.empty()) {
            EXPECT_TRUE(pv[0] == "a2a3" || pv[0] == "h2h3") << l;
        }
    }

    e.send("setoption name MultiPV value 3");
    e.send("position startpos moves e2e4");
    lines = searchLines(e, "go depth 5", 5000);
    expectFinalLine(lines, "MultiPV");
    std::vector<std::string> last;  // the last iteration's lines, in order
    for (size_t i = lines.size() - 5; i + 2 < lines.size(); i++) last.push_back(lines[i]);
    std::set<std::string> firsts;
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(fieldOf(last[k], "multipv"), std::to_string(k + 1)) << last[k];
        EXPECT_EQ(fieldOf(last[k], "depth"), "5") << last[k];
        if (k > 0) {
            EXPECT_LE(std::stoi(fieldOf(last[k], "cp")), std::stoi(fieldOf(last[k - 1], "cp"))) << last[k];
        }
        firsts.insert(pvOf(last[k]).at(0));
    }
    EXPECT_EQ(firsts.size(), 3u);
    EXPECT_EQ(pvOf(last[0]).at(0), wordsOf(lines.back())[1]);
    EXPECT_EQ(lines[lines.size() - 2], last[0].substr(0, last[0].find(" nodes ")) +
                                           lines[lines.size() - 2].substr(lines[lines.size() - 2].find(" nodes ")));
    e.send("setoption name MultiPV value 0");
    EXPECT_NE(e.waitFor("info string", 2000).find("MultiPV"), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}
