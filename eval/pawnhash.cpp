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
