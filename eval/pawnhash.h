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

extern PawnHashEntry* pawnHash;
extern uint32_t pawnHashMask;  // entry count - 1
extern uint64_t pawnHashEntries;

// Returns false (and keeps the previous table) when memory runs out.
bool allocatePawnHash(uint64_t entries);
void clearPawnHash();
void freePawnHash();
