#include "search/transtable.h"
#include <cstdlib>
#include <cstring>
#include "board/types.h"
#include "eval/pawnhash.h"
#include "search/search.h"

TTBucket* transTable = nullptr;
uint32_t ttMask = 0;
uint8_t ttAge = 1;
static uint64_t bucketCount = 0;

int64_t allocateTransTable(uint64_t bytes) {
    uint64_t wanted = bytes / sizeof(TTBucket);
    uint64_t buckets = 1;
    while (buckets * 2 <= wanted && buckets < (uint64_t(1) << 31)) buckets *= 2;
    if (buckets < TT_MIN_BUCKETS) buckets = TT_MIN_BUCKETS;
    uint64_t pawnEntries = buckets < 262144 ? 65536 : buckets / 4;

    // New tables first: a failed request must not cost the working ones.
    void* fresh = std::calloc(buckets, sizeof(TTBucket));
    if (fresh == nullptr) return -1;
    if (!allocatePawnHash(pawnEntries)) {
        std::free(fresh);
        return -1;
    }
    std::free(transTable);
    transTable = static_cast<TTBucket*>(fresh);
    bucketCount = buckets;
    ttMask = uint32_t(buckets - 1);
    ttAge = 1;
    return int64_t(buckets * sizeof(TTBucket));
}

void clearTransTable() {
    if (transTable) std::memset(transTable, 0, bucketCount * sizeof(TTBucket));
    ttAge = 1;
}

void newSearchAge() { ttAge = ttAge >= 63 ? 1 : ttAge + 1; }

void freeTransTable() {
    std::free(transTable);
    transTable = nullptr;
    bucketCount = 0;
    ttMask = 0;
    freePawnHash();
}

static inline TTBucket& bucketFor(int side, const NodeState& ns) {
    return transTable[((ns.hashKey & ~1u) | uint32_t(side)) & ttMask];
}

TTEntry* ttProbe(int side, const NodeState& ns) {
    if (transTable == nullptr) return nullptr;
    TTBucket& b = bucketFor(side, ns);
    TTEntry* e = nullptr;
    if (b.entry[0].type() != TT_EMPTY && b.entry[0].lock == ns.hashLock) e = &b.entry[0];
    else if (b.entry[1].type() != TT_EMPTY && b.entry[1].lock == ns.hashLock) e = &b.entry[1];
    if (e == nullptr) return nullptr;
    if (e->move) {
        // A lock collision can hand back a move of another position; reject
        // it unless it at least moves one of our pieces onto a non-own square.
        int from = moveFrom(e->move), to = moveTo(e->move);
        int fs = workBoard.squareSlot[from], ts = workBoard.squareSlot[to];
        bool ours = fs != SLOT_EMPTY && ((fs >= 16) == (side == 1));
        bool ownTarget = ts != SLOT_EMPTY && ((ts >= 16) == (side == 1));
        if (!ours || ownTarget) return nullptr;
    }
    return e;
}

int ttScoreFromEntry(const TTEntry& e, int searchPly) {
    int s = e.score;
    // Stored relative to the entry's node, returned relative to the root.
    if (s > MATE_BOUND) return s - searchPly;
    if (s < -MATE_BOUND) return s + searchPly;
    return s;
}

void ttStore(int type, int score, uint32_t move, int depth256, int pv, int side,
             const NodeState& ns, int eval) {
    if (transTable == nullptr) return;
    TTBucket& b = bucketFor(side, ns);
    uint32_t lock = ns.hashLock;
    int depth = depth256 >> 8;
    TTEntry* e;
    bool same = false;
    if (b.entry[0].type() == TT_EMPTY) e = &b.entry[0];
    else if (b.entry[0].lock == lock) { e = &b.entry[0]; same = true; }
    else if (b.entry[1].type() == TT_EMPTY) e = &b.entry[1];
    else if (b.entry[1].lock == lock) { e = &b.entry[1]; same = true; }
    else {
        auto worth = [](const TTEntry& x) { return x.depth() - 8 * ((ttAge + 64 - x.age()) % 64); };
        e = worth(b.entry[1]) < worth(b.entry[0]) ? &b.entry[1] : &b.entry[0];
    }
    uint16_t newMove = uint16_t(move & 0x7FFF);
    if (same) {
        // Keep a clearly deeper bound of the same position.
        if (e->depth() - 3 > depth + 2 * pv && type != TT_EXACT) return;
        if (newMove == 0) newMove = e->move;
    }
    if (score > MATE_BOUND) score += ns.searchPly;
    else if (score < -MATE_BOUND) score -= ns.searchPly;
    e->lock = lock;
    e->score = int16_t(score);
    e->eval = int16_t(eval);
    e->move = newMove;
    e->typeDepth = uint8_t(type | ((depth & 31) << 3));
    e->depthAgePv = uint8_t(((depth >> 5) & 1) | (ttAge << 1) | (pv << 7));
}

uint32_t ttBucketCount() { return uint32_t(bucketCount); }

int ttHashfull() {
    // The first thousand entries stand for the table: their slots are as
    // likely to be hit as any.
    const uint64_t buckets = bucketCount < 500 ? bucketCount : 500;
    if (buckets == 0) return 0;
    int used = 0;
    for (uint64_t i = 0; i < buckets; i++)
        for (const TTEntry& e : transTable[i].entry) used += e.type() != TT_EMPTY && e.age() == ttAge;
    return int(used * 1000 / (2 * buckets));
}

int ttSizeMiB() { return int((bucketCount * sizeof(TTBucket)) >> 20); }

int memoryCommandCacheMiB(int n) {
    int p = 1;
    while (p <= n / 2) p *= 2;
    int rest = n - p;
    return rest > 4 ? rest : 4;
}
