// Move generation: the game-level make-and-list operation and the search-level
// generators, each written once per colour (template instances, no side tests).
#pragma once
#include <cstdint>
#include "board/types.h"
#include "board/nodestate.h"

// Applies move m of the colour to b (when a list is given, b becomes the
// position after the move and list receives the other side's moves, each
// marked 0x8000 when illegal). Returns the move, the move | 0x8000 when
// illegal, or MG_MATE / MG_STALEMATE / MG_NO_MATERIAL.
uint32_t makeAndGenerateWhite(uint32_t* list, uint32_t m, Board& b);
uint32_t makeAndGenerateBlack(uint32_t* list, uint32_t m, Board& b);
inline uint32_t makeAndGenerate(int colour, uint32_t* list, uint32_t m, Board& b) {
    return colour ? makeAndGenerateBlack(list, m, b) : makeAndGenerateWhite(list, m, b);
}

// Search level, on workBoard.
int generateMovesWhite(uint32_t* list, int lastFrom, int lastTo, int inCheck, const int16_t* castle);
int generateMovesBlack(uint32_t* list, int lastFrom, int lastTo, int inCheck, const int16_t* castle);
int generateCapturesWhite(uint32_t* list, int lastFrom, int lastTo);
int generateCapturesBlack(uint32_t* list, int lastFrom, int lastTo);
int givesCheckWhite(uint32_t m, int kingSquare, const NodeState& ns);
int givesCheckBlack(uint32_t m, int kingSquare, const NodeState& ns);
// Whether square t is attacked by that colour on workBoard (king included).
bool workAttackedByWhite(int t);
bool workAttackedByBlack(int t);

// Search make/unmake of the placement on workBoard. searchMake returns the
// captured slot (32 when none).
int searchMakeWhite(uint32_t m);
int searchMakeBlack(uint32_t m);
void searchUnmakeWhite(uint32_t m, int captured);
void searchUnmakeBlack(uint32_t m, int captured);
