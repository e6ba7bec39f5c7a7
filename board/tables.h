// Start-up tables: rays, pawn steps, directions, distances, Zobrist numbers.
#pragma once
#include <cstdint>

struct RayEntry {
    uint8_t target;  // 64 ends the list
    uint8_t skip;    // entries to skip to reach the next ray
};
struct PawnStep {
    uint8_t target;  // 64 ends the list
    uint8_t skip;
    uint8_t flags;   // bit 0 push, bit 1 promotes
};

// rayTable[colour set][type KING..KNIGHT][square][entry]
extern RayEntry rayTable[2][5][64][32];
extern PawnStep pawnTable[2][64][5];
extern int16_t directionTable[64][64];
extern uint8_t lineKind[18];
extern uint8_t kingDistance[64][64];
extern uint32_t zobristKey[1024];
extern uint32_t zobristLock[1024];

void buildTables();

// Small MT19937, as published.
class MersenneTwister {
public:
    explicit MersenneTwister(uint32_t seed);
    uint32_t next();
private:
    uint32_t state_[624];
    int index_;
};

inline uint32_t zobristIndex(int colour, int type, int square) { return colour * 512 + type * 64 + square; }
