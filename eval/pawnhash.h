// Cache of the pawn-structure evaluation, keyed by the pawn Zobrist words.
#pragma once
#include <cstdint>

struct PawnHashEntry {
    uint32_t lock;       // pawnLock of the position
    uint16_t keyHigh;    // high 16 bits of pawnKey
    int16_t score;       // pawn score, White's view
    // bits 0-5 white king, 6-11 black king, 12-17 white passer, 18-23 black
    // passer, 24-27 white pieceCount, 28-31 black pieceCount
    uint32_t packed;
    uint64_t whiteAttacks;
    uint64_t blackAttacks;
} __attribute__((packed));
static_assert(sizeof(PawnHashEntry) == 28, "pawn hash entries are 28 bytes");

// The engine's table: the first search worker's, and the one every thread
// that binds no table of its own (tools, tests, the command loop) uses.
// Allocated, cleared and freed by the command loop while no search runs.
extern PawnHashEntry* pawnHash;
extern uint32_t pawnHashMask;  // entry count - 1
extern uint64_t pawnHashEntries;

// Returns false (and keeps the previous table) when memory runs out.
bool allocatePawnHash(uint64_t entries);
void clearPawnHash();
void freePawnHash();

// A table of a helper search worker's own: pawn entries are written at every
// evaluation, so workers do not share them. Written only by the worker's
// thread while it searches, and by the pool while that thread sleeps.
struct PawnHashTable {
    PawnHashEntry* entries = nullptr;
    uint32_t mask = 0;
    uint64_t count = 0;
    bool allocate(uint64_t entryCount);  // false (the old table kept) when memory runs out
    void clear();
    void release();
};
// Makes the calling thread's probes and stores use table (nullptr: the
// engine's table again).
void bindPawnHash(PawnHashTable* table);

// The entry that holds the pawn evaluation of this node, or nullptr. A hit
// needs the same pawns and either pieces on both sides now and in the entry
// (then the kings do not matter) or the same kings and piece counts.
const PawnHashEntry* probePawnHash(int sideFlag, uint32_t pawnKey, uint32_t pawnLock, int whiteKing,
                                   int blackKing, int whitePieces, int blackPieces);
void storePawnHash(int sideFlag, uint32_t pawnKey, uint32_t pawnLock, int whiteKing, int blackKing,
                   int whitePieces, int blackPieces, int score, const int passer[2], const uint64_t attacks[2]);
// Fields of the packed word.
inline int entryWhitePasser(const PawnHashEntry& e) { return int((e.packed >> 12) & 63); }
inline int entryBlackPasser(const PawnHashEntry& e) { return int((e.packed >> 18) & 63); }
inline int entryWhitePieces(const PawnHashEntry& e) { return int((e.packed >> 24) & 15); }
inline int entryBlackPieces(const PawnHashEntry& e) { return int(e.packed >> 28); }
