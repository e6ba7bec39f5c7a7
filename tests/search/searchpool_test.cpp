#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <vector>
#include "board/game.h"
#include "engine/report.h"
#include "platform/platform.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/transtable.h"
#include "search/worker.h"

namespace {

const char* const POSITIONS[] = {
    "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P1B2/2PBPN2/PP1N1PPP/R2QK2R w KQ - 4 9",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN5/PPP2PPP/R2Q1RK1 w - - 0 12", "8/5pk1/6p1/3R4/7P/6P1/r4PK1/8 b - - 0 40",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",  // a mate in one
};

struct Result {
    uint32_t move;
    uint32_t nodes;
};

// A fixed-depth search from fresh tables; the nodes are the main worker's.
Result searchFresh(const char* fen, int depth) {
    if (ttBucketCount() == 0) allocateTransTable(uint64_t(8) << 20);
    clearTransTable();
    clearPawnHash();
    clearHistory();
    clearHelperTables();
    useBook = 0;
    postThinking = 0;
    searchWorker.signals.abortSearch = 0;
    EXPECT_GE(setupFromFen(game, fen), 0) << fen;
    TimeBudget budget;
    budget.targetTenths = budget.hardTenths = 1 << 28;
    budget.maxDepth = depth;
    PonderState ponder;
    const uint32_t r = think(game, budget, ponder);
    return {r & 0xFFFF, uint32_t(searchWorker.counters.nodeCount)};
}

bool legalIn(const char* fen, uint32_t move) {
    Game g;
    if (setupFromFen(g, fen) < 0) return false;
    for (int i = 0; g.legalMoves[i] != 0; i++)
        if ((g.legalMoves[i] & 0x7FFF) == (move & 0x7FFF) && !(g.legalMoves[i] & MOVE_ILLEGAL)) return true;
    return false;
}

class SearchPool : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(setSearchThreads(1), 1); }
};

// With helpers the moves stay legal and the node count covers them; once they
// are gone a single thread searches exactly as one that never had any.
TEST_F(SearchPool, HelpersLeaveNoTraceOnASingleThread) {
    ASSERT_EQ(setSearchThreads(1), 1);
    std::vector<Result> alone;
    for (const char* fen : POSITIONS) alone.push_back(searchFresh(fen, 7));

    ASSERT_EQ(setSearchThreads(3), 3);
    uint64_t mainNodes = 0, allNodes = 0;
    for (const char* fen : POSITIONS) {
        Result r = searchFresh(fen, 7);
        EXPECT_TRUE(legalIn(fen, r.move)) << fen;
        mainNodes += r.nodes;
        allNodes += searchNodeTotal(searchWorker);
    }
    EXPECT_GT(allNodes, mainNodes);
    // The mate is found whoever fills the table.
    EXPECT_EQ(searchFresh(POSITIONS[3], 5).move, makeMoveWord(3, 59));

    ASSERT_EQ(setSearchThreads(1), 1);
    for (size_t i = 0; i < alone.size(); i++) {
        Result r = searchFresh(POSITIONS[i], 7);
        EXPECT_EQ(r.move, alone[i].move) << POSITIONS[i];
        EXPECT_EQ(r.nodes, alone[i].nodes) << POSITIONS[i];
        EXPECT_EQ(searchNodeTotal(searchWorker), r.nodes);
    }
}

TEST_F(SearchPool, GrowsAndShrinksBetweenSearches) {
    EXPECT_EQ(setSearchThreads(0), 1);
    for (int n : {2, 8, 1, 5, 3, 1, 4}) {
        ASSERT_EQ(setSearchThreads(n), n);
        EXPECT_EQ(searchThreads(), n);
        Result r = searchFresh(POSITIONS[n % 3], 5);
        EXPECT_TRUE(legalIn(POSITIONS[n % 3], r.move)) << n;
    }
}

// A stop from another thread ends the helpers with the main worker, at any moment.
TEST_F(SearchPool, StopEndsEveryWorker) {
    ASSERT_EQ(setSearchThreads(4), 4);
    for (int delayMs : {0, 1, 5, 20, 60}) {
        std::atomic<bool> finished{false};
        // Raised until the search returns: the search clears it as it starts.
        std::thread stopper([&] {
            sleepMs(delayMs);
            while (!finished) {
                searchWorker.signals.abortSearch = 1;
                sleepMs(1);
            }
        });
        Result r = searchFresh(POSITIONS[0], 40);
        finished = true;
        stopper.join();
        EXPECT_TRUE(legalIn(POSITIONS[0], r.move)) << delayMs;
    }
}

}  // namespace
