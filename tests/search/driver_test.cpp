#include <gtest/gtest.h>
#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/transtable.h"
#include "search/worker.h"
#include "tests/search/searchfixture.h"

namespace {

// One thinking report as the driver gave it.
struct Seen {
    int depth, score, marker, multiPv;
    bool scored;
    std::string first;  // the variation's first move
};
std::vector<Seen> seen;

void collect(const ThinkingReport& r) {
    char text[8] = "";
    if (r.variation[0] != 0) moveToText(r.variation[0] & 0xFFFF, text);
    seen.push_back({r.depth, r.score, r.marker, r.multiPv, r.scored, text});
}

// Fresh tables, the book off and the reports collected for one search.
struct DriverSetup {
    SearchReportHooks saved = searchReport;
    DriverSetup() {
        freshSearchState();
        seen.clear();
        searchReport.thinking = collect;
        searchReport.currentMove = nullptr;
    }
    ~DriverSetup() { searchReport = saved; }
};

std::string moveText(uint32_t r) {
    char t[8];
    moveToText(r & 0xFFFF, t);
    return t;
}

uint32_t searchFen(const char* fen, int depth, const SearchScope& scope = SearchScope()) {
    EXPECT_GE(setupFromFen(game, fen), 0) << fen;
    PonderState ponder;
    searchWorker.signals.abortSearch = 0;
    return think(game, depthBudget(depth), ponder, 1, scope);
}

uint32_t moveIn(const char* text) {
    std::string t = text;
    return parseMove(&t[0], game.sideToMove);
}

}  // namespace

// Three queens up, the first iteration's window still ends at 0: a fail high
// against it is no score of the search's and must not be reported.
TEST(Driver, ReportsOnlyScoresTheSearchFound) {
    DriverSetup setup;
    searchFen("4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1", 4);
    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) {
        EXPECT_GT(s.score, 3 * 4000) << "depth " << s.depth;
        EXPECT_TRUE(s.scored);
    }
    EXPECT_EQ(seen.front().depth, 2);
    EXPECT_EQ(seen.front().marker, -1);
    // Behind, the same: no made-up bound on either side.
    seen.clear();
    searchFen("qqq1k3/8/8/8/8/8/8/4K3 w - - 0 1", 4);
    for (const Seen& s : seen) EXPECT_LT(s.score, -3 * 4000) << "depth " << s.depth;
}

TEST(Driver, DepthLimitOfOneSearchesOnePly) {
    DriverSetup setup;
    uint32_t r = searchFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 1);
    EXPECT_NE(r & 0xFFFF, 0u);
    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) EXPECT_EQ(s.depth, 1);
    // A queen hangs: one ply is enough to take it.
    seen.clear();
    r = searchFen("4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1", 1);
    EXPECT_EQ(moveText(r), "d2d5");
}

// A mate in N ends the search once it is found; a longer mate does not.
TEST(Driver, MateLimitStopsOnceTheMateIsProven) {
    DriverSetup setup;
    SearchScope scope;
    scope.mateMoves = 2;
    searchFen("4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1", 30, scope);
    ASSERT_FALSE(seen.empty());
    EXPECT_GT(seen.back().score, MATE_BOUND);
    EXPECT_LE(seen.back().depth, 8);  // far below 30; reductions may need a few iterations to see it
    seen.clear();
    scope.mateMoves = 1;  // the mate takes two moves
    searchFen("4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1", 8, scope);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().depth, 8);
}

TEST(Driver, SearchMovesRestrictTheRoot) {
    DriverSetup setup;
    SearchScope scope;
    EXPECT_GE(setupFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
    scope.searchMoves[0] = moveIn("A2A3");
    scope.searchMoves[1] = moveIn("H2H3");
    uint32_t r = searchFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 5, scope);
    const std::set<std::string> allowed{"a2a3", "h2h3"};
    EXPECT_EQ(allowed.count(moveText(r)), 1u) << moveText(r);
    EXPECT_EQ(game.legalMoves[0] & 0xFFFF, r & 0xFFFF);
    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) EXPECT_EQ(allowed.count(s.first), 1u) << s.first;
    // Here the restriction costs the queen: the search must still keep to it.
    seen.clear();
    EXPECT_GE(setupFromFen(game, "4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1"), 0);
    scope.searchMoves[0] = moveIn("E1F1");
    scope.searchMoves[1] = 0;
    EXPECT_EQ(moveText(searchFen("4k3/8/8/3q4/8/8/3R4/4K3 w - - 0 1", 4, scope)), "e1f1");
}

// MultiPV: every iteration reports its k best moves, best first, each once;
// the answer is the first line's move.
TEST(Driver, MultiPvReportsTheBestLinesInOrder) {
    DriverSetup setup;
    SearchScope scope;
    scope.multiPv = 3;
    uint32_t r = searchFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 5, scope);
    for (int depth = 2; depth <= 5; depth++) {
        std::vector<Seen> exact;
        for (const Seen& s : seen)
            if (s.depth == depth && s.marker == -1) exact.push_back(s);
        ASSERT_EQ(exact.size(), 3u) << "depth " << depth;
        std::set<std::string> moves;
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(exact[k].multiPv, k + 1);
            if (k > 0) {
                EXPECT_LE(exact[k].score, exact[k - 1].score) << "depth " << depth;
            }
            moves.insert(exact[k].first);
        }
        EXPECT_EQ(moves.size(), 3u) << "depth " << depth;
        if (depth == 5) {
            EXPECT_EQ(exact[0].first, moveText(r));
        }
    }
    const PublishedVariations& v = searchWorker.variations;
    EXPECT_EQ(v.lineCount, 3);
    EXPECT_EQ(v.lines[0].variation[0] & 0xFFFF, r & 0xFFFF);

    // More lines than legal moves: one line per move.
    seen.clear();
    scope.multiPv = 10;
    searchFen("7k/8/8/8/8/8/6q1/6RK w - - 0 1", 4, scope);
    for (const Seen& s : seen) EXPECT_LE(s.multiPv, 2);
    EXPECT_LE(searchWorker.variations.lineCount, 2);
}

// The move played is the one the last complete iteration reported, even when
// another move failed high in that iteration and scored less on the re-search.
TEST(Driver, PlaysTheMoveOfTheLastReportedLine) {
    const struct {
        const char* fen;
        int depth;
    } cases[] = {
        {"rnbqkbnr/pp3ppp/2p1p3/4N3/2pP4/6P1/PP2PP1P/RNBQKB1R b KQkq - 0 1", 9},
        {"rnbqkb1r/ppp2ppp/4pn2/3p4/3P1B2/2P2N2/PP2PPPP/RN1QKB1R b KQkq - 0 1", 10},
        {"rnbqkb1r/pp2pp1p/5np1/2pp4/P7/2P2NP1/1P1PPP1P/RNBQKB1R w KQkq - 0 1", 5},
        {"rnbqkb1r/pp2pppp/2p2n2/3p4/2PP4/8/PPQ1PPPP/RNB1KBNR w KQkq - 0 1", 7},
    };
    for (const auto& c : cases) {
        DriverSetup setup;
        uint32_t r = searchFen(c.fen, c.depth);
        std::string last;
        for (const Seen& s : seen)
            if (s.scored && s.marker == -1 && s.multiPv == 1) last = s.first;
        EXPECT_EQ(moveText(r), last) << c.fen << " depth " << c.depth;
    }
}

// With no line to name it, the expected reply comes from the table: the
// move the search stored for the position after the one played.
TEST(Driver, ReplyFromTheTableIsTheLinesReply) {
    DriverSetup setup;
    ASSERT_GE(setupFromFen(game, "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4"), 0);
    PonderState ponder;
    searchWorker.signals.abortSearch = 0;
    uint32_t r = think(game, depthBudget(8), ponder, 1);
    ASSERT_NE(ponder.move, 0u);
    EXPECT_EQ(replyFromTable(game, r & 0xFFFF), ponder.move);
    clearTransTable();
    EXPECT_EQ(replyFromTable(game, r & 0xFFFF), 0u);
}

// A last line cut short by a fail high still leaves the expected reply: the
// full line before it, when it opens with the same move, gives it.
TEST(Driver, PonderMoveSurvivesAFailHighLine) {
    const uint32_t best = 0x0C1C, reply = 0x08B4, answer = 0x0D55;  // any three words
    PonderState ponder;
    auto prepare = [&](std::vector<uint32_t> principal, std::vector<uint32_t> previous) {
        SearchWorker& w = searchWorker;
        std::fill(std::begin(w.variations.principal), std::end(w.variations.principal), 0u);
        std::fill(std::begin(w.variations.previous), std::end(w.variations.previous), 0u);
        std::copy(principal.begin(), principal.end(), w.variations.principal);
        std::copy(previous.begin(), previous.end(), w.variations.previous);
        ponder = PonderState();
        preparePonder(ponder, 10);
    };
    prepare({best}, {best, reply, answer});
    EXPECT_EQ(ponder.move, reply);
    EXPECT_EQ(ponder.reply, answer);
    // A full last line is taken as it is; a line before it that opened with
    // another move says nothing about this one.
    prepare({best, answer}, {best, reply});
    EXPECT_EQ(ponder.move, answer);
    prepare({best}, {reply, answer});
    EXPECT_EQ(ponder.move, 0u);
}
