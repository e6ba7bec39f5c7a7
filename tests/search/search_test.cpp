#include <gtest/gtest.h>
#include <atomic>
#include <cstdio>
#include <unistd.h>
#include <cstring>
#include <random>
#include <string>
#include "board/game.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "egtb/tablebase.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "eval/evaluate.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "tools/lib/tbgenerate.h"
#include "search/worker.h"
#include "tests/search/searchfixture.h"

namespace {

struct SearchSetup {
    SearchSetup() {
        freshSearchState();
        postThinking = 0;
        internalErrors = 0;
    }
};

// Searches the position to a fixed depth; returns score << 16 | move.
uint32_t searchFen(const char* fen, int depth, int* reached = nullptr) {
    SearchSetup setup;
    EXPECT_GE(setupFromFen(game, fen), 0) << fen;
    PonderState ponder;
    uint32_t r = think(game, depthBudget(depth), ponder);
    if (reached) *reached = searchWorker.progress.iterationDepth;
    return r;
}

std::string moveText(uint32_t r) {
    char t[8];
    moveToText(r & 0xFFFF, t);
    return t;
}

int scoreOfResult(uint32_t r) { return int16_t(uint16_t(r >> 16)); }

// Recomputes from scratch what the node entry keeps incrementally.
void expectStateMatches(const NodeState& ns, int side) {
    Board b;
    std::memset(&b, 0, sizeof b);
    std::memcpy(b.slotSquare, workBoard.slotSquare, sizeof b.slotSquare);
    std::memcpy(b.squareSlot, workBoard.squareSlot, sizeof b.squareSlot);
    std::memcpy(b.slotType, workBoard.slotType, sizeof b.slotType);
    std::memcpy(b.slotValue, workBoard.slotValue, sizeof b.slotValue);
    for (int i = 0; i < 4; i++) b.castle[i] = ns.castle[i];
    computeKeys(side, b);
    recountBoard(b);
    EXPECT_EQ(ns.hashKey, b.hashKey);
    EXPECT_EQ(ns.hashLock, b.hashLock);
    EXPECT_EQ(ns.pawnKey, b.pawnKey);
    EXPECT_EQ(ns.pawnLock, b.pawnLock);
    EXPECT_EQ(ns.pieceCount[0], b.pieceCount[0]);
    EXPECT_EQ(ns.pieceCount[1], b.pieceCount[1]);
    EXPECT_EQ(ns.pawnCount[0], b.pawnCount[0]);
    EXPECT_EQ(ns.pawnCount[1], b.pawnCount[1]);
    EXPECT_EQ(ns.nonPawnMaterial[0], b.nonPawnMaterial[0]);
    EXPECT_EQ(ns.nonPawnMaterial[1], b.nonPawnMaterial[1]);
    int material = 0, pst = 0;
    uint8_t files[2] = {0, 0};
    uint32_t queens = 0;
    for (int s = 0; s < 32; s++) {
        int sq = workBoard.slotSquare[s];
        if (sq == SQ_NONE) continue;
        int t = workBoard.slotType[s];
        if (s != 0 && s != 16) material += s < 16 ? workBoard.slotValue[s] : -workBoard.slotValue[s];
        pst += s < 16 ? pstWhite[t][sq] : -pstBlack[t][sq];
        if (t == WHITE_PAWN || t == BLACK_PAWN) files[s >= 16] |= uint8_t(1u << (sq & 7));
        if ((s & 15) >= 8 && t == QUEEN) queens |= 1u << s;
    }
    EXPECT_EQ(ns.material, material);
    EXPECT_EQ(ns.pstScore, pst);
    EXPECT_EQ(ns.pawnFiles[0], files[0]);
    EXPECT_EQ(ns.pawnFiles[1], files[1]);
    EXPECT_EQ(ns.promotedQueens, queens);
    EXPECT_EQ(ns.stage, recomputeStage(ns));
}

}  // namespace

// Random walks with the search's own make: keys, counts, material, the
// piece-square sum, pawn files and promoted queens stay what a fresh count
// gives, through captures, castling, en passant and promotions.
TEST(Search, NodeEntryKeepsStateInStep) {
    const char* starts[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    };
    std::mt19937 rng(20261206);
    for (const char* fen : starts) {
        for (int walk = 0; walk < 30; walk++) {
            ASSERT_GE(setupFromFen(game, fen), 0);
            Board root = game.board;
            computeKeys(game.sideToMove, root);
            prepareEvaluation(root);
            NodeState ns;
            nodeStateFromBoard(root, ns);
            copyBoardToWork(root);
            int side = game.sideToMove;
            for (int step = 0; step < 40; step++) {
                uint32_t list[SEARCH_LIST_SIZE];
                int n = side ? generateMovesBlack(list, moveFrom(ns.lastMove), moveTo(ns.lastMove), 0, ns.castle)
                             : generateMovesWhite(list, moveFrom(ns.lastMove), moveTo(ns.lastMove), 0, ns.castle);
                if (n == 0) break;
                uint32_t m = list[rng() % n] & 0x7FFF;
                if (workBoard.squareSlot[moveTo(m)] == (side ? 0 : 16)) break;  // would take the king
                int captured = makeNodeMove(side, ns, m);
                ns.lastMove = uint32_t(captured) << 16 | m;
                side ^= 1;
                expectStateMatches(ns, side);
                if (HasFailure()) return;
            }
        }
    }
}

TEST(Search, MatesAreFoundWithTheirDistance) {
    struct Case {
        const char* fen;
        int depth;
        int score;
        const char* move;
    } cases[] = {
        // mate in 1: the mated node is at ply 1
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 4, 32699, "d1d8"},
        {"r1bqkbnr/pppp1ppp/2n5/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 0 1", 4, 32699, "h5f7"},
        {"k7/8/1K6/8/8/8/8/2R5 w - - 0 1", 4, 32699, "c1c8"},
        // mate in 2 (ply 3) and in 3 (ply 5)
        {"2k5/8/1K6/8/8/8/8/3R4 w - - 0 1", 6, 32697, nullptr},
        {"6k1/8/5K2/8/8/8/8/7R w - - 0 1", 6, 32697, nullptr},
        {"r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1", 8, 32695, "f8c5"},
        {"2r3k1/p4p2/3Rp2p/1p2P1pK/8/1P4P1/P3Q2P/1q6 b - - 0 1", 8, 32695, "b1g6"},
    };
    for (const Case& c : cases) {
        uint32_t r = searchFen(c.fen, c.depth);
        EXPECT_EQ(scoreOfResult(r), c.score) << c.fen;
        if (c.move) {
            EXPECT_EQ(moveText(r), c.move) << c.fen;
        }
        EXPECT_EQ(internalErrors, 0);
    }
    // Mated in 2: the defender's score counts the mated ply (4).
    uint32_t r = searchFen("6k1/8/6K1/8/8/8/8/1R6 b - - 0 1", 6);
    EXPECT_EQ(scoreOfResult(r), 4 - 32700);
}

TEST(Search, RootWithoutMovesAndDeadDraws) {
    SearchSetup setup;
    // Stalemate and mate at the root, searched directly.
    for (auto [fen, expected] : {std::pair<const char*, int>{"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", 0},
                                 {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", -32700}}) {
        ASSERT_GE(setupFromFen(game, fen), 0);
        Board b = game.board;
        computeKeys(1, b);
        prepareEvaluation(b);
        searchWorker.rootMoves[0] = 0;
        searchWorker.searchHistory = game.history.data();
        searchWorker.historyBase = game.ply;
        int score = searchRoot(searchWorker, 0, 0, SF_ROOT | SF_FIRST_CHILD, 3, -INFINITE_SCORE, INFINITE_SCORE, b);
        EXPECT_EQ(score, expected) << fen;
    }
    // A move into stalemate is worth nothing: the queen must not stalemate.
    uint32_t r = searchFen("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1", 4);
    EXPECT_NE(moveText(r), "f1f7");
    EXPECT_GT(scoreOfResult(r), 1000);
    // Past the fifty-move mark every continuation is a draw, even a mate.
    ASSERT_GE(setupFromFen(game, "6k1/5ppp/8/8/8/8/8/3R2K1 w - - 0 1"), 0);
    game.board.fiftyCount = 120;
    searchWorker.signals.abortSearch = 0;
    PonderState ponder;
    r = think(game, depthBudget(4), ponder);
    EXPECT_EQ(scoreOfResult(r), 0);
    // Capturing the last man leaves two kings: a draw.
    r = searchFen("8/8/8/3k4/3r4/8/8/3QK3 b - - 0 1", 3);
    EXPECT_EQ(moveText(r), "d4d1");
    EXPECT_GT(scoreOfResult(r), -100);
}

TEST(Search, RepetitionWalkRules) {
    // A history of 12 entries; the node's own entry is at searchWorker.historyBase + ply.
    std::vector<HistoryEntry> h(16);
    for (int i = 0; i < 16; i++) {
        h[size_t(i)] = HistoryEntry{};
        h[size_t(i)].hashLock = 1000u + unsigned(i);
        h[size_t(i)].move = 0x100;
        h[size_t(i)].flags = uint8_t(((i & 1) ^ 1) << 7);  // entry 0: Black to move
    }
    searchWorker.searchHistory = h.data();
    NodeState ns{};
    ns.hashLock = 4242;
    auto at = [&](int i) -> HistoryEntry& { return h[size_t(i)]; };
    auto score = [&](int base, int ply, int side) {
        searchWorker.historyBase = base;
        ns.searchPly = ply;
        return repetitionScore(searchWorker, ns, side);
    };
    // Node at index 11 (base 7, ply 4), White to move.
    at(11).hashLock = 4242;
    EXPECT_EQ(score(7, 4, 0), -1);  // nothing earlier matches
    at(7).hashLock = 4242;           // the root position itself
    EXPECT_EQ(score(7, 4, 0), 2);
    at(7).hashLock = 1007;
    at(5).hashLock = 4242;           // once, before the root: not a draw
    EXPECT_EQ(score(7, 4, 0), -1);
    at(3).hashLock = 4242;           // twice before: a draw
    EXPECT_EQ(score(7, 4, 0), 1);
    at(4).flags |= 0x40;             // an irreversible move at an odd offset is skipped
    EXPECT_EQ(score(7, 4, 0), 1);
    at(5).flags |= 0x40;             // the walk ends after an irreversible entry
    EXPECT_EQ(score(7, 4, 0), -1);
    at(5).flags &= uint8_t(~0x40);
    at(5).move = 0;                  // and after a null move
    EXPECT_EQ(score(7, 4, 0), -1);
    at(5).move = 0x100;
    EXPECT_EQ(score(7, 4, 1), -1);   // the other side to move never matches
}

TEST(Search, SingleLegalMoveRunsOneIteration) {
    int reached = 0;
    uint32_t r = searchFen("7k/8/8/8/8/8/6q1/7K w - - 0 1", 20, &reached);
    EXPECT_EQ(moveText(r), "h1g2");
    EXPECT_EQ(reached, 2);
}

TEST(Search, DepthLimitEndsTheSearch) {
    int reached = 0;
    searchFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 5, &reached);
    EXPECT_EQ(reached, 5);
    EXPECT_EQ(internalErrors, 0);
}

TEST(Search, TimedSearchStopsAfterItsHardTime) {
    SearchSetup setup;
    ASSERT_GE(setupFromFen(game, "r2q1rk1/pp2bppp/2n1pn2/2pp4/3P1B2/2PBPN2/PP1N1PPP/R2QK2R w KQ - 4 9"), 0);
    TimeBudget budget;
    budget.targetTenths = 2;
    budget.hardTenths = 3;
    uint32_t start = tickCount();
    PonderState ponder;
    uint32_t r = think(game, budget, ponder);
    uint32_t elapsed = tickCount() - start;
    // Three tenths plus one poll interval (250000 nodes) and a generous margin.
    EXPECT_LT(elapsed, 3000u);
    EXPECT_NE(r & 0xFFFF, 0u);
    EXPECT_EQ(internalErrors, 0);
}

namespace {
struct ThreadSearch {
    std::atomic<int> done{0};
    uint32_t result = 0;
};
void runThink(void* arg) {
    ThreadSearch* t = static_cast<ThreadSearch*>(arg);
    PonderState ponder;
    t->result = think(game, depthBudget(999), ponder);
    t->done.store(1);
}
}  // namespace

// A search on its own thread stopped at random moments returns a legal move
// and leaves the game as it was; run under the thread sanitizer too.
TEST(Search, StopsFromAnotherThreadAtAnyMoment) {
    SearchSetup setup;
    const char* fen = "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN5/PPP2PPP/R2Q1RK1 w - - 0 12";
    std::mt19937 rng(7);
    for (int round = 0; round < 40; round++) {
        ASSERT_GE(setupFromFen(game, fen), 0);
        char before[128];
        positionText(game, before);
        searchWorker.signals.abortSearch = 0;
        ThreadSearch t;
        ASSERT_TRUE(startThread(runThink, &t, 4 << 20));
        sleepMs(int(rng() % 40));
        if (round % 5 == 0) printStatus();
        searchWorker.signals.abortSearch = 1;
        while (!t.done.load()) sleepMs(1);
        char after[128];
        positionText(game, after);
        EXPECT_STREQ(before, after);
        uint32_t m = t.result & 0xFFFF;
        bool legal = false;
        for (int i = 0; game.legalMoves[i]; i++)
            if (!(game.legalMoves[i] & MOVE_ILLEGAL) && (game.legalMoves[i] & 0xFFFF) == m) legal = true;
        EXPECT_TRUE(legal) << round;
    }
}

// With tables present the search takes their values: exact mate distances
// at once, in both colours.
TEST(Search, TablebaseScoresAreExactMateDistances) {
    char dir[] = "/tmp/velmora_tbXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    TbSolvedSet solved;
    std::string error;
    for (const char* n : {"krk", "kqk"}) {
        int c = tbClassByName(n);
        ASSERT_TRUE(tbSolveClass(c, solved, error)) << error;
        ASSERT_TRUE(tbWritePlain(dir, solved[c], error)) << error;
    }
    ASSERT_EQ(initTablebases(dir, 1 << 20), 3);
    tbMaxPieces = 3;
    char text[24];
    uint32_t r = searchFen("8/8/8/4k3/8/8/8/R3K3 w - - 0 1", 8);
    uciScoreText(text, scoreOfResult(r));
    EXPECT_STREQ(text, "mate 14");
    r = searchFen("8/8/8/4k3/8/8/8/R3K3 b - - 0 1", 8);
    uciScoreText(text, scoreOfResult(r));
    EXPECT_STREQ(text, "mate -14");
    r = searchFen("8/8/8/8/8/8/2k5/K1Q5 b - - 0 1", 6);  // taking the queen draws
    EXPECT_EQ(moveText(r), "c2c1");
    EXPECT_LE(std::abs(scoreOfResult(r)), 100);
    closeTablebases();
    tbMaxPieces = 0;
    for (const char* f : {"krk.nbw", "krk.nbb", "kqk.nbw", "kqk.nbb"}) std::remove((std::string(dir) + "/" + f).c_str());
    rmdir(dir);
}

// Short budgets read the clock more often than long ones, so a fast game is
// not lost on time; a cap in milliseconds bounds both limits.
TEST(Search, ClockIsReadOftenerUnderShortBudgets) {
    SearchClock& c = searchWorker.clock;
    startClock(c, 600, 900);
    uint32_t longInterval = c.pollInterval;
    startClock(c, 2, 3);
    EXPECT_LT(c.pollInterval, longInterval);
    startClock(c, 0, 0);
    EXPECT_LT(c.pollInterval, longInterval);
    startClock(c, TC_UNLIMITED_TENTHS, TC_UNLIMITED_TENTHS);
    EXPECT_EQ(c.hardTimeMs, 2592000000u);  // thirty days in milliseconds, without overflow
    for (int cap : {1, 16, 250}) {
        startClock(c, 3, 6, cap);
        EXPECT_LE(c.softTimeMs, uint32_t(cap));
        EXPECT_LE(c.hardTimeMs, uint32_t(cap));
        EXPECT_LT(c.pollInterval, longInterval);
    }
}

// A search stopped before its first node, or whose budget is spent at once,
// still plays a legal move, even where the list starts with illegal entries.
TEST(Search, AnInstantStopStillGivesALegalMove) {
    SearchSetup setup;
    Game& g = game;
    int illegalHeads = 0;
    for (const char* fen : {"4k3/8/8/8/1b6/8/8/4K3 w - - 0 1", "rnbqkbnr/ppp2ppp/8/1B1pp3/4P3/8/PPPP1PPP/RNBQK1NR b KQkq - 1 3",
                            "4k3/8/8/8/8/5n2/8/R3K2R w KQ - 0 1", "k7/8/8/8/8/8/r7/1K6 w - - 0 1"}) {
        for (int stopped = 0; stopped < 2; stopped++) {
            ASSERT_GE(setupFromFen(g, fen), 0) << fen;
            illegalHeads += (g.legalMoves[0] & MOVE_ILLEGAL) != 0;
            PonderState ponder;
            TimeBudget budget;
            budget.capMs = 1;
            budget.targetTenths = budget.hardTenths = 1;
            searchWorker.signals.abortSearch = stopped;
            uint32_t m = think(g, budget, ponder) & 0xFFFF;
            searchWorker.signals.abortSearch = 0;
            bool legal = false;
            for (int i = 0; g.legalMoves[i]; i++)
                if (!(g.legalMoves[i] & MOVE_ILLEGAL) && (g.legalMoves[i] & 0xFFFF) == m) legal = true;
            EXPECT_TRUE(legal) << fen << (stopped ? " stopped" : " 1 ms");
        }
    }
    EXPECT_GT(illegalHeads, 0);  // the lists do start with illegal entries
}

// A man pinned to its king may not take, however much it would win: moves
// made out of check are tested only along the line they open, which must
// still see the pinning slider on a file and on a diagonal.
TEST(Search, PinnedMenCannotTake) {
    for (const char* fen : {"4k3/4n3/8/3Q4/8/8/8/4R1K1 b - - 0 1", "7k/6n1/4Q3/8/8/8/1B6/K7 b - - 0 1"}) {
        SearchSetup setup;
        ASSERT_EQ(setupFromFen(game, fen), 0) << fen;
        Board b = game.board;
        computeKeys(game.sideToMove, b);
        prepareEvaluation(b);
        // The knight's capture of the queen would leave Black about even.
        EXPECT_LT(quiescenceScore(searchWorker, b, game.sideToMove), -6 * VALUE_PAWN) << fen;
        EXPECT_LT(scoreOfResult(searchFen(fen, 4)), -6 * VALUE_PAWN) << fen;
    }
}
