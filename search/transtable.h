// Transposition table: two 12-byte entries per bucket; side to move picks the
// bucket parity. Shared by every search worker without a lock.
#pragma once
#include <cstdint>
#include "board/nodestate.h"

// One entry as a probe sees it (a copy: the table may change under it).
struct TTEntry {
    uint32_t lock;
    int16_t score;
    int16_t eval;    // -32767 = none
    uint16_t move;   // low 15 bits of the move word
    uint8_t typeDepth;  // bits 0-2 type, 3-7 depth bits 0-4
    uint8_t depthAgePv; // bit 0 depth bit 5, bits 1-6 age, bit 7 pv

    int type() const { return typeDepth & 7; }
    int depth() const { return (typeDepth >> 3) | ((depthAgePv & 1) << 5); }
    int age() const { return (depthAgePv >> 1) & 63; }
    int pv() const { return depthAgePv >> 7; }
};
static_assert(sizeof(TTEntry) == 12, "entries are 12 bytes");

// Each entry is stored as a data word (score, eval, move, type/depth,
// depth/age/pv from the low bits up) and a check word: its lock XORed with
// both halves of the data word. Workers read and write each word whole but
// not the pair at once, so an entry two of them wrote together (one's check,
// the other's data) fails the lock test instead of being taken as valid.
struct TTBucket {
    uint32_t check[2];
    uint64_t data[2];
};
static_assert(sizeof(TTBucket) == 24, "buckets are 24 bytes");

constexpr int TT_EMPTY = 0, TT_LOWER = 1, TT_UPPER = 2, TT_EXACT = 3, TT_TABLEBASE = 5;
constexpr int16_t TT_NO_EVAL = -32767;
constexpr uint64_t TT_MIN_BUCKETS = 131072;

extern TTBucket* transTable;
extern uint32_t ttMask;
// Set by the main worker's driver before it wakes the helpers; read by all.
extern uint8_t ttAge;

// Returns the bytes in use, or -1 when memory runs out (the old tables stay).
int64_t allocateTransTable(uint64_t bytes);
void clearTransTable();
void newSearchAge();
void freeTransTable();
// Copies the node's entry into out; false when the table holds none (or one
// whose move cannot be ours here).
bool ttProbe(int side, const NodeState& ns, TTEntry& out);
// Score of an entry as seen from a node searchPly plies from the root.
int ttScoreFromEntry(const TTEntry& e, int searchPly);
void ttStore(int type, int score, uint32_t move, int depth256, int pv, int side,
             const NodeState& ns, int eval);
uint32_t ttBucketCount();
// Permille of the table in use by the current search's age, from a sample.
int ttHashfull();
int ttSizeMiB();
int memoryCommandCacheMiB(int n);
