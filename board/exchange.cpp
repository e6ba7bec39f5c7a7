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

// Whether the man in slot attacks t; the men in the gone mask count as
// already traded off, so a slider sees through them (x-rays).
inline bool attacksThrough(int slot, int t, uint32_t gone) {
    int s = workBoard.slotSquare[slot];
    int d = directionTable[s][t];
    if (d == 0) return false;
    int type = workBoard.slotType[slot];
    switch (lineKind[std::abs(d)]) {
    case 3: return type == KNIGHT;
    case 2:
        if (type == WHITE_PAWN) return s + d == t && d > 0;
        if (type == BLACK_PAWN) return s + d == t && d < 0;
        if (type != QUEEN && type != BISHOP) return type == KING && s + d == t;
        break;
    case 1:
        if (type != QUEEN && type != ROOK) return type == KING && s + d == t;
        break;
    default: return false;
    }
    for (int x = s + d; x != t; x += d) {
        int o = workBoard.squareSlot[x];
        if (o != SLOT_EMPTY && !(gone >> o & 1)) return false;
    }
    return true;
}

// The cheapest man of the colour (slots first..first+15) still in play that
// attacks t, or -1.
int cheapestAttacker(int first, int t, uint32_t gone) {
    int best = -1, bestValue = 0;
    for (int slot = first; slot < first + 16; slot++) {
        if (gone >> slot & 1 || workBoard.slotSquare[slot] == SQ_NONE) continue;
        int v = exchangeValue(workBoard.slotType[slot]);
        if (best >= 0 && v >= bestValue) continue;
        if (!attacksThrough(slot, t, gone)) continue;
        best = slot;
        bestValue = v;
    }
    return best;
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
    int side = mover < 16 ? 16 : 0;  // first slot of the side to recapture
    int depth = 0;
    for (;;) {
        int slot = cheapestAttacker(side, to, gone);
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
