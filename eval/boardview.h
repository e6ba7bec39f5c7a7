// Small reads of the search board shared by the evaluation terms.
#pragma once
#include <cstdint>
#include "board/tables.h"
#include "board/types.h"

namespace evalview {

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
inline int squareOf(int slot) { return workBoard.slotSquare[slot]; }
inline bool onBoard(int slot) { return workBoard.slotSquare[slot] != SQ_NONE; }
inline bool slotOn(int slot, int square) { return workBoard.slotSquare[slot] == square; }
// A pawn slot counts as its pawn only while it still holds a pawn.
inline bool pawnSlotOn(int slot, int square) {
    return workBoard.slotSquare[slot] == square && workBoard.slotType[slot] == (slot < 16 ? WHITE_PAWN : BLACK_PAWN);
}
inline bool isEmpty(int square) { return workBoard.squareSlot[square] == SLOT_EMPTY; }
// A man of that colour and type on the square, whatever its slot.
inline bool pieceOn(int square, int colour, int type) {
    int slot = workBoard.squareSlot[square];
    return slot != SLOT_EMPTY && (slot >> 4) == colour && workBoard.slotType[slot] == type;
}
inline bool whitePawnOn(int square) { return pieceOn(square, WHITE, WHITE_PAWN); }
inline bool blackPawnOn(int square) { return pieceOn(square, BLACK, BLACK_PAWN); }
inline int distance(int a, int b) { return kingDistance[a][b]; }
inline int whiteKing() { return workBoard.slotSquare[0]; }
inline int blackKing() { return workBoard.slotSquare[16]; }
inline uint64_t squareBit(int square) { return uint64_t(1) << square; }
// Every man's square as one bit; branch-free, as slots off the board (square
// 64) add nothing.
inline uint64_t occupiedSquares() {
    uint64_t m = 0;
    for (int slot = 0; slot < 32; slot++) {
        const int s = workBoard.slotSquare[slot];
        m |= uint64_t(s < 64) << (s & 63);
    }
    return m;
}

}  // namespace evalview
