// Colour constants of one copy of a colour-templated routine.
#pragma once
#include "board/types.h"

// Colour constants of one copy. C is the side whose moves are generated or
// made; everything colour-dependent comes from here, so the copies are twins.
template <int C>
struct Side {
    static constexpr int US = C ? 16 : 0;
    static constexpr int THEM = C ? 0 : 16;
    static constexpr int PAWN = C ? BLACK_PAWN : WHITE_PAWN;
    static constexpr int ENEMY_PAWN = C ? WHITE_PAWN : BLACK_PAWN;
    static constexpr int FORWARD = C ? -8 : 8;
    static constexpr int KING_HOME = C ? 60 : 4;
    static constexpr int CS_KING = C ? CS_BLACK_KING : CS_WHITE_KING;
    static constexpr int CS_QUEEN = C ? CS_BLACK_QUEEN : CS_WHITE_QUEEN;
    static constexpr int THEIR_CS_KING = C ? CS_WHITE_KING : CS_BLACK_KING;
    static constexpr int THEIR_CS_QUEEN = C ? CS_WHITE_QUEEN : CS_BLACK_QUEEN;
    static constexpr uint32_t CASTLE_KING = C ? CASTLE_BK_BLACK : CASTLE_WK_WHITE;
    static constexpr uint32_t CASTLE_QUEEN = C ? CASTLE_BQ_BLACK : CASTLE_WQ_WHITE;
    // rank indices of an enemy double step, seen from this side
    static constexpr int ENEMY_FROM_RANK = C ? 1 : 6;
    static constexpr int ENEMY_TO_RANK = C ? 3 : 4;
    static bool ours(int slot) { return C ? (slot >= 16 && slot < 32) : slot < 16; }
    static bool theirs(int slot) { return C ? slot < 16 : (slot >= 16 && slot < 32); }
};
