#include "eval/pawnhash.h"
#include <cstdlib>
#include <cstring>

PawnHashEntry* pawnHash = nullptr;
uint32_t pawnHashMask = 0;
uint64_t pawnHashEntries = 0;

bool allocatePawnHash(uint64_t entries) {
    if (entries == 0) return false;
    // Allocate before freeing, so a failed resize leaves a working table.
    void* fresh = std::calloc(entries, sizeof(PawnHashEntry));
    if (fresh == nullptr) return false;
    std::free(pawnHash);
    pawnHash = static_cast<PawnHashEntry*>(fresh);
    pawnHashEntries = entries;
    pawnHashMask = uint32_t(entries - 1);
    return true;
}

void clearPawnHash() {
    if (pawnHash) std::memset(pawnHash, 0, pawnHashEntries * sizeof(PawnHashEntry));
}

void freePawnHash() {
    std::free(pawnHash);
    pawnHash = nullptr;
    pawnHashEntries = 0;
    pawnHashMask = 0;
}

bool PawnHashTable::allocate(uint64_t entryCount) {
    if (entryCount == 0) return false;
    void* fresh = std::calloc(entryCount, sizeof(PawnHashEntry));
    if (fresh == nullptr) return false;
    std::free(entries);
    entries = static_cast<PawnHashEntry*>(fresh);
    count = entryCount;
    mask = uint32_t(entryCount - 1);
    return true;
}

void PawnHashTable::clear() {
    if (entries) std::memset(entries, 0, count * sizeof(PawnHashEntry));
}

void PawnHashTable::release() {
    std::free(entries);
    entries = nullptr;
    count = 0;
    mask = 0;
}

static thread_local PawnHashTable* boundTable = nullptr;

void bindPawnHash(PawnHashTable* table) { boundTable = table; }

// The calling thread's table: its own when it bound one, else the engine's.
static inline PawnHashEntry* tableOf(uint32_t& mask) {
    if (PawnHashTable* t = boundTable) {
        mask = t->mask;
        return t->entries;
    }
    mask = pawnHashMask;
    return pawnHash;
}

// White and Black to move use neighbouring slots.
static uint32_t pawnHashIndex(int sideFlag, uint32_t pawnKey, uint32_t mask) {
    return ((pawnKey & ~1u) | uint32_t(sideFlag)) & mask;
}

static constexpr uint32_t packKingsAndPassers(int whiteKing, int blackKing, int whitePasser, int blackPasser,
                                              int whitePieces, int blackPieces) {
    return uint32_t(whiteKing & 63) | uint32_t(blackKing & 63) << 6 | uint32_t(whitePasser & 63) << 12 |
           uint32_t(blackPasser & 63) << 18 | uint32_t(whitePieces & 15) << 24 | uint32_t(blackPieces & 15) << 28;
}

const PawnHashEntry* probePawnHash(int sideFlag, uint32_t pawnKey, uint32_t pawnLock, int whiteKing,
                                   int blackKing, int whitePieces, int blackPieces) {
    uint32_t mask;
    const PawnHashEntry* table = tableOf(mask);
    if (table == nullptr) return nullptr;
    const PawnHashEntry& e = table[pawnHashIndex(sideFlag, pawnKey, mask)];
    if (e.lock != pawnLock || e.keyHigh != uint16_t(pawnKey >> 16)) return nullptr;
    if (whitePieces && blackPieces && entryWhitePieces(e) && entryBlackPieces(e)) return &e;
    uint32_t mine = packKingsAndPassers(whiteKing, blackKing, 0, 0, whitePieces, blackPieces);
    // The kings' and the piece counts' fields of the packed word.
    constexpr uint32_t kingsAndCounts = packKingsAndPassers(63, 63, 0, 0, 15, 15);
    return (e.packed & kingsAndCounts) == mine ? &e : nullptr;
}

void storePawnHash(int sideFlag, uint32_t pawnKey, uint32_t pawnLock, int whiteKing, int blackKing,
                   int whitePieces, int blackPieces, int score, const int passer[2], const uint64_t attacks[2]) {
    uint32_t mask;
    PawnHashEntry* table = tableOf(mask);
    if (table == nullptr) return;
    PawnHashEntry& e = table[pawnHashIndex(sideFlag, pawnKey, mask)];
    e.lock = pawnLock;
    e.keyHigh = uint16_t(pawnKey >> 16);
    e.score = int16_t(score);
    e.packed = packKingsAndPassers(whiteKing, blackKing, passer[0], passer[1], whitePieces, blackPieces);
    e.whiteAttacks = attacks[0];
    e.blackAttacks = attacks[1];
}
