// Attack tests on one line, shared by the generators and the search: inline,
// since both run at every node.
#pragma once
#include <cstdlib>
#include "board/side.h"
#include "board/tables.h"
#include "board/types.h"

// Whether the man of colour C on square from attacks square t on board b
// (a Board or the WorkBoard).
template <int C, class B>
inline bool manAttacksSquare(const B& b, int from, int t) {
    const int d = directionTable[from][t];
    if (d == 0) return false;
    const int type = b.slotType[b.squareSlot[from]];
    switch (lineKind[std::abs(d)]) {
    case 3: return type == KNIGHT;
    case 2:
        if (type == Side<C>::PAWN) return from + d == t && (C ? d < 0 : d > 0);
        if (type != QUEEN && type != BISHOP) return type == KING && from + d == t;
        break;
    case 1:
        if (type != QUEEN && type != ROOK) return type == KING && from + d == t;
        break;
    default: return false;
    }
    int x = from + d;
    while (x != t && b.squareSlot[x] == SLOT_EMPTY) x += d;
    return x == t;
}

// Whether the first man on the line from square king in direction e (a line
// or diagonal step), square skip counted as empty, is a slider of colour C
// that moves along it.
template <int C, class B>
inline bool sliderAlong(const B& b, int king, int e, int skip) {
    const int kind = lineKind[std::abs(e)];
    for (int x = king;;) {
        const int next = x + e;
        // A step of a line or diagonal moves one file at most: more is a wrap.
        if (next < 0 || next >= 64 || std::abs(fileOf(next) - fileOf(x)) > 1) return false;
        x = next;
        const int occ = b.squareSlot[x];
        if (occ == SLOT_EMPTY || x == skip) continue;
        if (!Side<C>::ours(occ)) return false;
        const int type = b.slotType[occ];
        return type == QUEEN || (kind == 1 ? type == ROOK : type == BISHOP);
    }
}
