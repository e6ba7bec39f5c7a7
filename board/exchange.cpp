#include "board/exchange.h"
#include <algorithm>
#include <cstdlib>
#include "board/tables.h"
#include "board/types.h"

namespace {

// A king's worth in the exchange: more than everything else together, so a
// line that loses the king is never chosen.
constexpr int SEE_KING_VALUE = 50000;

inline int exchangeValue(int type) { return type == KING ? SEE_KING_VALUE : TYPE_VALUE[type]; }

// Whether the man in slot could attack t on an empty board: the right kind
// of man on a line, diagonal or knight's jump to it.
inline bool reaches(int slot, int t) {
    int s = workBoard.slotSquare[slot];
    if (s == SQ_NONE) return false;
    int d = directionTable[s][t];
    if (d == 0) return false;
    int type = workBoard.slotType[slot];
    switch (lineKind[std::abs(d)]) {
    case 3: return type == KNIGHT;
    case 2:
        if (type == WHITE_PAWN) return s + d == t && d > 0;
        if (type == BLACK_PAWN) return s + d == t && d < 0;
        return type == QUEEN || type == BISHOP || (type == KING && s + d == t);
    case 1: return type == QUEEN || type == ROOK || (type == KING && s + d == t);
    default: return false;
    }
}

// The men of one side that could take on the square, cheapest first (equal
// values in slot order). Gathered once per exchange: only the blockers
// change as men are traded off.
struct Attackers {
    int8_t slot[16];
    int count = 0;
    int next = 0;  // the men before it are traded off
};

void gatherAttackers(Attackers& a, int first, int t) {
    for (int slot = first; slot < first + 16; slot++) {
        if (!reaches(slot, t)) continue;
        const int v = exchangeValue(workBoard.slotType[slot]);
        int i = a.count++;
        while (i > 0 && exchangeValue(workBoard.slotType[a.slot[i - 1]]) > v) {
            a.slot[i] = a.slot[i - 1];
            i--;
        }
        a.slot[i] = int8_t(slot);
    }
}

// Whether nothing stands between the man in slot and t; the men in the gone
// mask count as already traded off, so a slider sees through them (x-rays).
inline bool pathClear(int slot, int t, uint32_t gone) {
    int s = workBoard.slotSquare[slot];
    int d = directionTable[s][t];
    for (int x = s + d; x != t; x += d) {
        int o = workBoard.squareSlot[x];
        if (o != SLOT_EMPTY && !(gone >> o & 1)) return false;
    }
    return true;
}

// The cheapest man of the list still in play with a clear path to t, or -1.
int cheapestAttacker(Attackers& a, int t, uint32_t gone) {
    while (a.next < a.count && (gone >> a.slot[a.next] & 1)) a.next++;
    for (int i = a.next; i < a.count; i++) {
        int slot = a.slot[i];
        if (!(gone >> slot & 1) && pathClear(slot, t, gone)) return slot;
    }
    return -1;
}

}  // namespace

int staticExchange(uint32_t m) {
    const int from = moveFrom(m), to = moveTo(m);
    const int mover = workBoard.squareSlot[from];
    const bool enPassant = moveKind(m) == MK_EN_PASSANT;
    const int victim = workBoard.squareSlot[to];
    int gain[34];
    gain[0] = enPassant ? VALUE_PAWN : victim == SLOT_EMPTY ? 0 : exchangeValue(workBoard.slotType[victim]);
    int onSquare = exchangeValue(workBoard.slotType[mover]);
    if (isPromotion(m)) {
        int promoted = TYPE_VALUE[promotedType(m)];
        gain[0] += promoted - VALUE_PAWN;
        onSquare = promoted;
    }
    uint32_t gone = 1u << mover;
    if (victim != SLOT_EMPTY) gone |= 1u << victim;
    if (enPassant) gone |= 1u << workBoard.squareSlot[mover < 16 ? to - 8 : to + 8];
    // Each side's list is gathered when it is first to move: most exchanges
    // end at the first recapture or before.
    Attackers sides[2];
    bool gathered[2] = {false, false};
    int side = mover < 16 ? 16 : 0;  // first slot of the side to recapture
    int depth = 0;
    for (;;) {
        if (!gathered[side >> 4]) {
            gatherAttackers(sides[side >> 4], side, to);
            gathered[side >> 4] = true;
        }
        int slot = cheapestAttacker(sides[side >> 4], to, gone);
        if (slot < 0) break;
        depth++;
        gain[depth] = onSquare - gain[depth - 1];
        onSquare = exchangeValue(workBoard.slotType[slot]);
        gone |= 1u << slot;
        side ^= 16;
        // Neither side would go on with a line that only loses (a pruning,
        // not a change of the result).
        if (std::max(-gain[depth - 1], gain[depth]) < 0) break;
    }
    while (depth > 0) {
        gain[depth - 1] = -std::max(-gain[depth - 1], gain[depth]);
        depth--;
    }
    return gain[0];
}
