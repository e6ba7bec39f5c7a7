#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "eval/pawnhash.h"
#include "search/transtable.h"

namespace {

NodeState node(uint32_t key, uint32_t lock, int ply = 0) {
    NodeState ns{};
    ns.hashKey = key;
    ns.hashLock = lock;
    ns.searchPly = ply;
    return ns;
}

// The probe's copy of the entry, or nullptr when it finds none.
const TTEntry* probe(int side, const NodeState& ns) {
    static TTEntry copy;
    return ttProbe(side, ns, copy) ? &copy : nullptr;
}

class TransTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(setupFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
        copyBoardToWork(game.board);
        ASSERT_GT(allocateTransTable(1u << 20), 0);
        clearTransTable();
    }
    void TearDown() override { freeTransTable(); }
};

const uint32_t E2E4 = makeMoveWord(12, 28);

// The size reported at start-up ("Hash=3MB"): never
// more than asked, never under the minimum, the pawn table growing along.
TEST_F(TransTable, SizesFollowTheRequest) {
    EXPECT_EQ(allocateTransTable(1u << 20), int64_t(ttBucketCount()) * 24);
    EXPECT_EQ(ttSizeMiB(), 3);
    uint32_t smallPawnTable = pawnHashEntries;
    int previous = 3;
    for (int mib : {16, 64, 100, 256}) {
        ASSERT_GT(allocateTransTable(uint64_t(mib) << 20), 0);
        EXPECT_LE(ttSizeMiB(), mib);
        EXPECT_GT(ttSizeMiB(), previous);
        previous = ttSizeMiB();
    }
    EXPECT_GT(pawnHashEntries, smallPawnTable);
}

TEST_F(TransTable, LargeRequestDoesNotWrap) {
    int64_t got = allocateTransTable(uint64_t(4096) << 20);
    if (got == -1) {
        // Out of memory: the previous table must still be there.
        EXPECT_EQ(ttBucketCount(), 131072u);
        GTEST_SKIP() << "not enough memory for 4 GiB";
    }
    EXPECT_EQ(got, int64_t(134217728) * 24);
    EXPECT_EQ(ttBucketCount(), 134217728u);
    EXPECT_EQ(ttSizeMiB(), 3072);
}

TEST_F(TransTable, MateScoreRelativeToNode) {
    ttStore(TT_EXACT, 32692, E2E4, 5 * 256, 1, 0, node(0x1234, 0xBEEF, 3), 17);
    const TTEntry* e = probe(0, node(0x1234, 0xBEEF, 1));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->score, 32695);
    EXPECT_EQ(ttScoreFromEntry(*e, 1), 32694);
    EXPECT_EQ(e->eval, 17);
    EXPECT_EQ(e->depth(), 5);
    EXPECT_EQ(e->type(), TT_EXACT);
    EXPECT_EQ(e->pv(), 1);
    EXPECT_EQ(e->age(), 1);
    ttStore(TT_EXACT, -32692, E2E4, 256, 0, 0, node(0x1234, 0xBEEF, 3), 0);
    e = probe(0, node(0x1234, 0xBEEF, 1));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(ttScoreFromEntry(*e, 1), -32694);
}

TEST_F(TransTable, SidesUseDifferentBuckets) {
    ttStore(TT_LOWER, 10, 0, 256, 0, 0, node(0x10, 7), 0);
    EXPECT_NE(probe(0, node(0x11, 7)), nullptr);  // bit 0 of the key is ignored
    EXPECT_EQ(probe(1, node(0x10, 7)), nullptr);
}

TEST_F(TransTable, MoveCheckRejectsForeignMove) {
    ttStore(TT_LOWER, 10, E2E4, 256, 0, 0, node(0x20, 9), 0);
    EXPECT_NE(probe(0, node(0x20, 9)), nullptr);
    ttStore(TT_LOWER, 10, E2E4, 256, 0, 1, node(0x20, 9), 0);
    EXPECT_EQ(probe(1, node(0x20, 9)), nullptr);  // e2 holds no black piece
    ttStore(TT_LOWER, 10, makeMoveWord(4, 3), 256, 0, 0, node(0x40, 11), 0);
    EXPECT_EQ(probe(0, node(0x40, 11)), nullptr);  // to-square holds our queen
}

TEST_F(TransTable, ReplacementByDepthAndAge) {
    ttStore(TT_LOWER, 1, 0, 10 * 256, 0, 0, node(0x100, 1), 0);
    ttStore(TT_LOWER, 2, 0, 4 * 256, 0, 0, node(0x100, 2), 0);
    // Same age: the shallower entry 1 goes.
    ttStore(TT_LOWER, 3, 0, 6 * 256, 0, 0, node(0x100, 3), 0);
    EXPECT_NE(probe(0, node(0x100, 1)), nullptr);
    EXPECT_EQ(probe(0, node(0x100, 2)), nullptr);
    EXPECT_NE(probe(0, node(0x100, 3)), nullptr);
    // One search later a fresh shallow entry outlives the stale deep one.
    newSearchAge();
    ttStore(TT_LOWER, 4, 0, 4 * 256, 0, 0, node(0x100, 3), 0);  // refresh entry 1 (same position)
    ttStore(TT_LOWER, 5, 0, 1 * 256, 0, 0, node(0x100, 5), 0);
    // worth: entry 0 = 10 - 8 = 2, entry 1 = 4 - 0 = 4, so entry 0 goes
    EXPECT_EQ(probe(0, node(0x100, 1)), nullptr);
    EXPECT_NE(probe(0, node(0x100, 5)), nullptr);
    EXPECT_NE(probe(0, node(0x100, 3)), nullptr);
}

TEST_F(TransTable, SamePositionShallowKeptExactOverwrites) {
    ttStore(TT_LOWER, 100, E2E4, 10 * 256, 0, 0, node(0x200, 42), 0);
    ttStore(TT_UPPER, -50, 0, 6 * 256, 0, 0, node(0x200, 42), 0);  // 7 > 6: kept
    const TTEntry* e = probe(0, node(0x200, 42));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth(), 10);
    EXPECT_EQ(e->score, 100);
    ttStore(TT_UPPER, -50, 0, 5 * 256, 1, 0, node(0x200, 42), 0);  // 7 > 7 fails at PV: written
    e = probe(0, node(0x200, 42));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth(), 5);
    EXPECT_EQ(e->move, E2E4);  // move 0 keeps the stored move
    ttStore(TT_LOWER, 30, E2E4, 40 * 256, 0, 0, node(0x200, 42), 0);
    ttStore(TT_EXACT, 7, 0, 0, 0, 0, node(0x200, 42), 0);
    e = probe(0, node(0x200, 42));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type(), TT_EXACT);
    EXPECT_EQ(e->depth(), 0);
    EXPECT_EQ(e->score, 7);
    EXPECT_EQ(e->move, E2E4);
    ttStore(TT_LOWER, 30, 0, 63 * 256, 0, 0, node(0x300, 43), 0);
    e = probe(0, node(0x300, 43));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth(), 63);
}

// Cleared entries carry age 0: a search of that age would take them for its own.
TEST_F(TransTable, AgeNeverReturnsToZero) {
    clearTransTable();
    for (int i = 0; i < 200; i++) {
        EXPECT_GE(ttAge, 1);
        EXPECT_LE(ttAge, 63);  // six bits in the entry
        newSearchAge();
    }
}

// An entry whose check word one store wrote and whose data word another
// (two workers storing into one slot at once) is no entry at all.
TEST_F(TransTable, TornEntryIsNotTaken) {
    const NodeState a = node(0x500, 0x1111), b = node(0x500, 0x2222);
    TTBucket& bucket = transTable[0x500 & ttMask];
    ttStore(TT_EXACT, -70, makeMoveWord(11, 27), 9 * 256, 0, 0, b, 0);
    const uint64_t dataOfB = bucket.data[0];
    clearTransTable();
    ttStore(TT_EXACT, 50, E2E4, 3 * 256, 0, 0, a, 5);
    ASSERT_NE(probe(0, a), nullptr);
    bucket.data[0] = dataOfB;
    EXPECT_EQ(probe(0, a), nullptr);
    EXPECT_EQ(probe(0, b), nullptr);
}

// Two threads store positions into one bucket while this one probes it: every
// hit is exactly what was stored for that position, its move a legal one.
TEST_F(TransTable, ThreadsHammeringOneBucketNeverHandBackAMixedEntry) {
    struct Record {
        uint32_t lock, move;
        int score, depth;
    };
    const char* moves[] = {"e2e4", "d2d4", "g1f3", "b1c3", "c2c4", "e2e3", "g2g3", "b2b3"};
    std::vector<Record> records;
    for (int i = 0; i < 8; i++) {
        std::string text = moves[i];
        for (char& c : text) c = char(std::toupper((unsigned char)c));
        uint32_t m = parseMove(&text[0], 0);
        ASSERT_NE(m, 0u) << moves[i];
        records.push_back({0x9E3779B9u * uint32_t(i + 1), m & 0x7FFF, 100 * i - 350, 1 + 3 * i});
    }
    std::atomic<bool> done{false};
    std::atomic<int> stores{0};
    auto writer = [&](unsigned seed) {
        std::mt19937 rng(seed);
        while (!done.load(std::memory_order_relaxed)) {
            stores.fetch_add(1, std::memory_order_relaxed);
            const Record& r = records[rng() % records.size()];
            ttStore(rng() % 2 ? TT_EXACT : TT_LOWER, r.score, r.move, r.depth * 256, 0, 0, node(0x700, r.lock),
                    r.score);
        }
    };
    std::thread first(writer, 1u), second(writer, 2u);
    int hits = 0, wrong = 0;
    // Until both writers have stored plenty (a loaded machine may start them late), or ten seconds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (stores.load(std::memory_order_relaxed) < 400000 && std::chrono::steady_clock::now() < until)
        for (const Record& r : records) {
            const TTEntry* e = probe(0, node(0x700, r.lock));
            if (e == nullptr) continue;
            hits++;
            wrong += e->lock != r.lock || e->move != r.move || e->score != r.score || e->eval != r.score ||
                     e->depth() != r.depth;
        }
    done = true;
    first.join();
    second.join();
    EXPECT_GT(hits, 0);
    EXPECT_EQ(wrong, 0);
    for (const Record& r : records) {
        const TTEntry* e = probe(0, node(0x700, r.lock));
        if (e == nullptr) continue;
        bool legal = false;
        for (int i = 0; game.legalMoves[i] != 0; i++)
            legal |= (game.legalMoves[i] & 0x7FFF) == e->move && !(game.legalMoves[i] & MOVE_ILLEGAL);
        EXPECT_TRUE(legal) << e->move;
    }
}

// Hashfull counts the current search's entries in a sample from the table's
// start: an empty table is at 0, a full one at 1000, older searches' entries
// are no longer in use.
TEST_F(TransTable, HashfullSamplesTheCurrentAge) {
    EXPECT_EQ(ttHashfull(), 0);
    // White's entries go to even buckets: one in each of the first 500 buckets' even half.
    for (uint32_t key = 0; key < 250; key++) ttStore(TT_LOWER, 10, 0, 256, 0, 0, node(key * 2, key + 1), 0);
    EXPECT_EQ(ttHashfull(), 250);
    for (uint32_t key = 0; key < 250; key++)
        for (int side = 0; side < 2; side++) {
            ttStore(TT_LOWER, 10, 0, 256, 0, side, node(key * 2, key + 1000), 0);
            ttStore(TT_LOWER, 10, 0, 256, 0, side, node(key * 2, key + 5000), 0);
        }
    EXPECT_EQ(ttHashfull(), 1000);
    newSearchAge();
    EXPECT_EQ(ttHashfull(), 0);
}

}  // namespace
