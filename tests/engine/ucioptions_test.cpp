// The UCI options as declared and as held, the clocks of the side to move,
// and input the engine cannot act on.
#include <gtest/gtest.h>
#include <cctype>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "engine/commandloop.h"
#include "engine/session.h"
#include "search/driver.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "search/worker.h"
#include "filetest_util.h"

namespace {

void runLines(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    ASSERT_NE(f, nullptr);
    runCommandLoop(f);
    std::fclose(f);
}

// The lines a command is answered with: everything before the readyok that
// follows it.
std::vector<std::string> answerTo(EngineProcess& e, const std::string& command) {
    e.send(command);
    e.send("isready");
    std::vector<std::string> lines;
    std::string line;
    while (e.readLine(line, 5000) && line != "readyok") lines.push_back(line);
    EXPECT_EQ(line, "readyok") << command;
    return lines;
}

// One "info string" line naming what, or a failure.
void expectNotice(const std::vector<std::string>& lines, const std::string& what, const std::string& command) {
    ASSERT_EQ(lines.size(), 1u) << command;
    EXPECT_EQ(lines[0].compare(0, 12, "info string "), 0) << command << ": " << lines[0];
    EXPECT_NE(lines[0].find(what), std::string::npos) << command << ": " << lines[0];
}

bool legalAfter(const std::string& moves, const std::string& move) {
    Game local;
    newGame(local);
    listMoves(local);
    std::istringstream in(moves);
    for (std::string m; in >> m;) {
        for (char& c : m) c = char(std::toupper((unsigned char)c));
        if (makeMove(local, parseMove(&m[0], local.sideToMove)) != 0) return false;
    }
    std::string t = move;
    for (char& c : t) c = char(std::toupper((unsigned char)c));
    return makeMove(local, parseMove(&t[0], local.sideToMove)) == 0;
}

}  // namespace

// The increment is the side to move's: Black with 10 s and no increment must
// not spend as if White's 5 s came with every move.
TEST(UciClocks, IncrementIsTheSideToMoves) {
    runLines("uci\nucinewgame\nposition startpos moves e2e4\ngo wtime 60000 btime 10000 winc 5000 binc 0\nstop\n");
    EXPECT_EQ(session.clocks.engineTenths, 100);
    EXPECT_EQ(session.clocks.incrementTenths, 0);
    EXPECT_LE(session.budget.hardTenths, 20);  // White's 5 s a move would give more
    runLines("position startpos\ngo wtime 10000 btime 60000 winc 0 binc 5000\nstop\n");
    EXPECT_EQ(session.clocks.incrementTenths, 0);
    runLines("position startpos moves e2e4\ngo wtime 10000 btime 10000 winc 0 binc 3000\nstop\n");
    EXPECT_EQ(session.clocks.incrementTenths, 30);
    runLines("position startpos moves e2e4 e7e5\ngo wtime 10000 btime 10000 winc 2000 binc 3000\nstop\n");
    EXPECT_EQ(session.clocks.incrementTenths, 20);
    session.uciMode = 0;
}

// Move Overhead comes off every budget drawn from a clock, never off a fixed
// time per move or an endless search; the search keeps at least a millisecond.
TEST(UciClocks, MoveOverheadShortensClockBudgets) {
    runLines(
        "uci\nucinewgame\nsetoption name Move Overhead value 300\nposition startpos\n"
        "go wtime 60000 btime 60000\nstop\n");
    EXPECT_EQ(session.clocks.overheadMs, 300);
    SearchClock clock;
    startClock(clock, session.budget);
    EXPECT_EQ(clock.softTimeMs, uint64_t(session.budget.targetMs) - 300);
    EXPECT_EQ(clock.hardTimeMs, uint64_t(session.budget.hardMs) - 300);
    runLines("position startpos\ngo movetime 1000\nstop\n");
    startClock(clock, session.budget);
    EXPECT_EQ(clock.hardTimeMs, 1000u);
    runLines("setoption name Move Overhead value 99999\nposition startpos\ngo wtime 3000 btime 3000\nstop\n");
    EXPECT_EQ(session.clocks.overheadMs, 5000);  // held to the declared maximum
    startClock(clock, session.budget);
    EXPECT_EQ(clock.softTimeMs, 1u);
    EXPECT_EQ(clock.hardTimeMs, 1u);
    // The xboard clocks share the rule.
    session.uciMode = 0;
    runLines("new\nforce\nlevel 0 5 0\ntime 30000\ngo\n?\n");
    EXPECT_EQ(session.budget.overheadMs, 5000);
    session.clocks.overheadMs = TC_DEFAULT_OVERHEAD_MS;
    runLines("new\nforce\nlevel 6 1 0\n");
    session.clocks.engineTenths = session.clocks.opponentTenths = 0;
    session.clocks.engineMs = -1;
}

// Every option a GUI is shown is one it can set, within the range shown, and
// a value outside it is held to it with a line saying so.
TEST(UciOptions, ValuesAreHeldToTheDeclaredRanges) {
    EngineProcess e;
    e.send("uci");
    std::vector<std::string> options;
    std::string line;
    while (e.readLine(line, 3000) && line != "uciok")
        if (line.compare(0, 12, "option name ") == 0) options.push_back(line);
    ASSERT_EQ(line, "uciok");
    for (const std::string& o : options) {
        size_t type = o.find(" type ");
        ASSERT_NE(type, std::string::npos) << o;
        std::string name = o.substr(12, type - 12);
        // Each declared option is taken: never "No such option".
        std::vector<std::string> reply = answerTo(e, "setoption name " + name);
        for (const std::string& r : reply) EXPECT_EQ(r.find("No such option"), std::string::npos) << r;
        if (o.find(" type spin ") == std::string::npos) continue;
        long def, lo, hi;
        ASSERT_EQ(std::sscanf(o.c_str() + o.find(" default "), " default %ld min %ld max %ld", &def, &lo, &hi), 3) << o;
        EXPECT_LE(lo, def) << o;
        EXPECT_LE(def, hi) << o;
    }

    EXPECT_TRUE(answerTo(e, "setoption name Move Overhead value 50").empty());
    EXPECT_TRUE(answerTo(e, "setoption name hash value 8").empty());  // names in any case
    expectNotice(answerTo(e, "setoption name Move Overhead value -5"), "taken as 0", "overhead -5");
    expectNotice(answerTo(e, "setoption name Move Overhead value 6000"), "taken as 5000", "overhead 6000");
    expectNotice(answerTo(e, "setoption name Hash value 1"), "taken as 3", "hash 1");
    expectNotice(answerTo(e, "setoption name NalimovCache value 100"), "taken as 64", "cache 100");
    expectNotice(answerTo(e, "setoption name Hash value lots"), "Hash", "hash lots");
    expectNotice(answerTo(e, "setoption name Ponder value maybe"), "Ponder", "ponder maybe");
    expectNotice(answerTo(e, "setoption name BookFile value /nonexistent/book.bin"), "/nonexistent/book.bin",
                 "book file");
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

TEST(UciOptions, BookSwitchBookFileAndClearHash) {
    TempDir dir;
    const std::string bookPath = dir.write("my.bo2", std::string(200, '\0'));
    runLines("uci\nsetoption name OwnBook value false\n");
    EXPECT_EQ(int(useBook), 0);
    runLines("setoption name OwnBook value true\nsetoption name BookFile value " + bookPath + "\n");
    EXPECT_EQ(int(useBook), 1);
    std::string opened;
    FILE* f = openBook(&opened);
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(opened, bookPath);
    runLines("setoption name BookFile value\n");  // empty: the usual places again
    opened.clear();
    f = openBook(&opened);
    if (f != nullptr) std::fclose(f);
    EXPECT_NE(opened, bookPath);

    // Clear Hash empties the table a search filled.
    auto used = [] {
        uint32_t n = 0;
        for (uint32_t i = 0; i < ttBucketCount(); i++)
            for (uint64_t data : transTable[i].data) n += data != 0;  // an empty entry is all zero
        return n;
    };
    ASSERT_GE(allocateTransTable(uint64_t(4) << 20), 0);
    newGame(game);
    listMoves(game);
    useBook = 0;
    TimeBudget budget;
    budget.maxDepth = 4;
    PonderState ponder;
    searchWorker.signals.abortSearch = 0;
    think(game, budget, ponder);
    EXPECT_GT(used(), 0u);
    runLines("setoption name Clear Hash\n");
    EXPECT_EQ(used(), 0u);
    useBook = 1;
    session.uciMode = 0;
}

// The book's weighted choice draws afresh at every search: searches within
// one second once all drew the same number and so the same move.
TEST(UciOptions, BookChoiceVariesBetweenQuickSearches) {
    EngineProcess e;
    e.send("uci");
    ASSERT_EQ(e.waitFor("uciok", 5000), "uciok");
    e.send("setoption name BookFile value " + std::string(VELMORA_SOURCE_DIR) + "/Mini.bo2");
    std::set<std::string> moves;
    for (int i = 0; i < 24; i++) {
        e.send("position startpos");
        e.send("go depth 1");
        std::string line = e.waitFor("bestmove", 5000);
        ASSERT_FALSE(line.empty());
        moves.insert(line);
    }
    // Both first moves the book holds (60 and 40 per cent) turn up.
    EXPECT_EQ(moves.size(), 2u);
}

// UCI has no error line: what the engine cannot act on is said in an "info
// string"; xboard keeps its "Error (...)" replies. Commands UCI defines but
// that need nothing here are taken without a word.
TEST(UciInput, UnusableInputIsAnsweredInTheProtocolsForm) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    for (const char* quiet : {"debug on", "debug off", "register later", "register name Someone code 1234"})
        EXPECT_TRUE(answerTo(e, quiet).empty()) << quiet;
    expectNotice(answerTo(e, "setoption name NoSuchOption value 3"), "No such option: NoSuchOption", "unknown");
    expectNotice(answerTo(e, "setoption"), "name", "no name");
    expectNotice(answerTo(e, "egtpath syzygy /tmp"), "syzygy", "syzygy");
    expectNotice(answerTo(e, "setoption name NalimovPath value /nonexistent/tb"), "/nonexistent/tb", "missing dir");
    // An illegal move ends the list: the moves after it are not played.
    expectNotice(answerTo(e, "position startpos moves e2e4 e2e5 d2d4"), "e2e5", "illegal move");
    e.send("go depth 1");
    std::string best = e.waitFor("bestmove ", 5000);
    ASSERT_FALSE(best.empty());
    EXPECT_TRUE(legalAfter("e2e4", best.substr(9, 4))) << best;
    expectNotice(answerTo(e, "position startpos moves e7e8q"), "e7e8q", "wrong side");
    expectNotice(answerTo(e, "position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8"), "a7a8", "no piece");
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);

    EngineProcess x;
    x.send("xboard");
    x.send("egtpath syzygy /tmp");
    EXPECT_EQ(x.waitFor("Error", 3000), "Error (unsupported tablebase type): EGTPATH syzygy /tmp");
    x.send("egtpath nalimov /nonexistent/tb");
    EXPECT_EQ(x.waitFor("Error", 3000), "Error (no such directory): /nonexistent/tb");
    x.send("quit");
    EXPECT_EQ(x.waitExit(3000), 0);
}

// bestmove names the reply the engine expects, so that a GUI can let it
// ponder; never one that is illegal or comes after the game has ended.
TEST(UciPonder, BestmoveNamesALegalExpectedReply) {
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    e.send("setoption name Ponder value true");
    e.send("setoption name OwnBook value false");  // a book move comes without a reply
    for (const char* moves : {"e2e4", "d2d4 d7d5 c2c4", "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6"}) {
        e.send(std::string("position startpos moves ") + moves);
        e.send("go depth 6");
        std::istringstream best(e.waitFor("bestmove ", 10000));
        std::string word, move, ponder, reply;
        best >> word >> move >> ponder >> reply;
        ASSERT_EQ(ponder, "ponder") << moves;
        EXPECT_TRUE(legalAfter(moves, move)) << moves << ": " << move;
        EXPECT_TRUE(legalAfter(std::string(moves) + " " + move, reply)) << moves << ": " << move << " " << reply;
    }
    e.send("position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1");  // mate in one: no reply
    e.send("go depth 4");
    EXPECT_EQ(e.waitFor("bestmove ", 5000), "bestmove d1d8");
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}
