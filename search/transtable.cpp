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

// Every worker reads and writes the words with relaxed atomic accesses: a
// whole word each time, and no data race for the check words to catch.
template <class T>
static inline T loadWord(const T& word) {
    return __atomic_load_n(&word, __ATOMIC_RELAXED);
}
template <class T>
static inline void storeWord(T& word, T value) {
    __atomic_store_n(&word, value, __ATOMIC_RELAXED);
}

static inline uint32_t foldData(uint64_t data) { return uint32_t(data) ^ uint32_t(data >> 32); }

static inline TTEntry readEntry(const TTBucket& b, int i) {
    const uint64_t data = loadWord(b.data[i]);
    TTEntry e;
    e.lock = loadWord(b.check[i]) ^ foldData(data);
    e.score = int16_t(uint16_t(data));
    e.eval = int16_t(uint16_t(data >> 16));
    e.move = uint16_t(data >> 32);
    e.typeDepth = uint8_t(data >> 48);
    e.depthAgePv = uint8_t(data >> 56);
    return e;
}

static inline void writeEntry(TTBucket& b, int i, const TTEntry& e) {
    const uint64_t data = uint64_t(uint16_t(e.score)) | uint64_t(uint16_t(e.eval)) << 16 | uint64_t(e.move) << 32 |
                          uint64_t(e.typeDepth) << 48 | uint64_t(e.depthAgePv) << 56;
    storeWord(b.data[i], data);
    storeWord(b.check[i], e.lock ^ foldData(data));
}

bool ttProbe(int side, const NodeState& ns, TTEntry& out) {
    if (transTable == nullptr) return false;
    const TTBucket& b = bucketFor(side, ns);
    out = readEntry(b, 0);
    if (out.type() == TT_EMPTY || out.lock != ns.hashLock) {
        out = readEntry(b, 1);
        if (out.type() == TT_EMPTY || out.lock != ns.hashLock) return false;
    }
    if (out.move) {
        // A lock collision can hand back a move of another position; reject
        // it unless it at least moves one of our pieces onto a non-own square.
        int from = moveFrom(out.move), to = moveTo(out.move);
        int fs = workBoard.squareSlot[from], ts = workBoard.squareSlot[to];
        bool ours = fs != SLOT_EMPTY && ((fs >= 16) == (side == 1));
        bool ownTarget = ts != SLOT_EMPTY && ((ts >= 16) == (side == 1));
        if (!ours || ownTarget) return false;
    }
    return true;
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
    const TTEntry first = readEntry(b, 0), second = readEntry(b, 1);
    // An empty entry or the same position's first, else the less worth keeping.
    int slot = 0;
    if (first.type() != TT_EMPTY && first.lock != lock) {
        auto worth = [](const TTEntry& x) { return x.depth() - 8 * ((ttAge + 64 - x.age()) % 64); };
        if (second.type() == TT_EMPTY || second.lock == lock) slot = 1;
        else slot = worth(second) < worth(first) ? 1 : 0;
    }
    const TTEntry& old = slot ? second : first;
    const bool same = old.type() != TT_EMPTY && old.lock == lock;
    uint16_t newMove = uint16_t(move & 0x7FFF);
    if (same) {
        // Keep a clearly deeper bound of the same position.
        if (old.depth() - 3 > depth + 2 * pv && type != TT_EXACT) return;
        if (newMove == 0) newMove = old.move;
    }
    if (score > MATE_BOUND) score += ns.searchPly;
    else if (score < -MATE_BOUND) score -= ns.searchPly;
    TTEntry e;
    e.lock = lock;
    e.score = int16_t(score);
    e.eval = int16_t(eval);
    e.move = newMove;
    e.typeDepth = uint8_t(type | ((depth & 31) << 3));
    e.depthAgePv = uint8_t(((depth >> 5) & 1) | (ttAge << 1) | (pv << 7));
    writeEntry(b, slot, e);
}

uint32_t ttBucketCount() { return uint32_t(bucketCount); }

int ttHashfull() {
    // The first thousand entries stand for the table: their slots are as
    // likely to be hit as any.
    const uint64_t buckets = bucketCount < 500 ? bucketCount : 500;
    if (buckets == 0) return 0;
    int used = 0;
    for (uint64_t i = 0; i < buckets; i++)
        for (int k = 0; k < 2; k++) {
            const TTEntry e = readEntry(transTable[i], k);
            used += e.type() != TT_EMPTY && e.age() == ttAge;
        }
    return int(used * 1000 / (2 * buckets));
}

int ttSizeMiB() { return int((bucketCount * sizeof(TTBucket)) >> 20); }

int memoryCommandCacheMiB(int n) {
    int p = 1;
    while (p <= n / 2) p *= 2;
    int rest = n - p;
    return rest > 4 ? rest : 4;
}
