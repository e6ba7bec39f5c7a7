#include "board/movegen.h"
#include <cstdlib>
#include <cstring>
#include "board/attacks.h"
#include "board/game.h"
#include "board/side.h"
#include "board/tables.h"

// ---------------------------------------------------------------------------
// Pseudo-legal generation, shared by the game level (Board) and the search
// (WorkBoard): both carry the same placement arrays.

template <int C, class B>
static inline uint32_t* genPawn(const B& b, int from, uint32_t* out) {
    typedef Side<C> S;
    const PawnStep* p = pawnTable[C][from];
    while (p->target != 64) {
        int t = p->target;
        int occ = b.squareSlot[t];
        if (p->flags & 1) {
            if (occ != SLOT_EMPTY) {
                p += p->skip;
                continue;
            }
        } else if (!S::theirs(occ)) {
            p++;
            continue;
        }
        uint32_t m = makeMoveWord(from, t);
        if (p->flags & 2) {
            *out++ = m | MK_PROMO_QUEEN;
            *out++ = m | MK_PROMO_ROOK;
            *out++ = m | MK_PROMO_BISHOP;
            *out++ = m | MK_PROMO_KNIGHT;
        } else {
            *out++ = m;
        }
        p++;
    }
    return out;
}

template <int C, class B>
static inline uint32_t* genPiece(const B& b, int type, int from, uint32_t* out) {
    typedef Side<C> S;
    const RayEntry* e = rayTable[C][type][from];
    while (e->target != 64) {
        int t = e->target;
        int occ = b.squareSlot[t];
        if (occ == SLOT_EMPTY) {
            *out++ = makeMoveWord(from, t);
            e++;
        } else {
            if (S::theirs(occ)) *out++ = makeMoveWord(from, t);
            e += e->skip;
        }
    }
    return out;
}

template <int C, class B>
static inline uint32_t* genEnPassant(const B& b, int lastFrom, int lastTo, uint32_t* out) {
    typedef Side<C> S;
    int victim = b.squareSlot[lastTo];
    if (!S::theirs(victim) || b.slotType[victim] != S::ENEMY_PAWN) return out;
    if (rankOf(lastFrom) != S::ENEMY_FROM_RANK || rankOf(lastTo) != S::ENEMY_TO_RANK) return out;
    if (fileOf(lastTo) != 0) {
        int s = b.squareSlot[lastTo - 1];
        if (S::ours(s) && b.slotType[s] == S::PAWN)
            *out++ = makeMoveWord(lastTo - 1, lastTo + S::FORWARD, MK_EN_PASSANT);
    }
    if (fileOf(lastTo) != 7) {
        int s = b.squareSlot[lastTo + 1];
        if (S::ours(s) && b.slotType[s] == S::PAWN)
            *out++ = makeMoveWord(lastTo + 1, lastTo + S::FORWARD, MK_EN_PASSANT);
    }
    return out;
}

template <int C, class B, class CastleT>
static inline uint32_t* genCastling(const B& b, const CastleT* castle, uint32_t* out) {
    typedef Side<C> S;
    const int k = S::KING_HOME;
    if (castle[S::CS_KING] == 0 && b.squareSlot[k + 1] == SLOT_EMPTY && b.squareSlot[k + 2] == SLOT_EMPTY)
        *out++ = S::CASTLE_KING;
    if (castle[S::CS_QUEEN] == 0 && b.squareSlot[k - 1] == SLOT_EMPTY && b.squareSlot[k - 2] == SLOT_EMPTY &&
        b.squareSlot[k - 3] == SLOT_EMPTY)
        *out++ = S::CASTLE_QUEEN;
    return out;
}

template <int C, class B, class CastleT>
static int generateAll(const B& b, uint32_t* list, int lastFrom, int lastTo, bool castling, const CastleT* castle) {
    typedef Side<C> S;
    uint32_t* out = list;
    for (int slot = S::US; slot < S::US + 16; slot++) {
        int from = b.slotSquare[slot];
        if (from == SQ_NONE) continue;
        int type = b.slotType[slot];
        if (type == S::PAWN) out = genPawn<C>(b, from, out);
        else out = genPiece<C>(b, type, from, out);
    }
    out = genEnPassant<C>(b, lastFrom, lastTo, out);
    if (castling) out = genCastling<C>(b, castle, out);
    *out = 0;
    return int(out - list);
}

// ---------------------------------------------------------------------------
// Attack test: whether square t is attacked by side A.

template <int A, class B>
static bool attackedBy(const B& b, int t) {
    typedef Side<A> S;
    for (int slot = S::US; slot < S::US + 16; slot++) {
        const int s = b.slotSquare[slot];
        if (s != SQ_NONE && manAttacksSquare<A>(b, s, t)) return true;
    }
    return false;
}

bool workAttackedByWhite(int t) { return attackedBy<0>(workBoard, t); }
bool workAttackedByBlack(int t) { return attackedBy<1>(workBoard, t); }

// ---------------------------------------------------------------------------
// Game level: apply a move of colour C to a copy, test it, list the replies.

template <int C>
static void captureOnBoard(Board& b, int victim) {
    typedef Side<C> S;
    constexpr int them = C ^ 1;
    int v = b.slotValue[victim];
    b.slotSquare[victim] = SQ_NONE;
    b.material += C ? v : -v;
    if (b.slotType[victim] >= WHITE_PAWN) {
        b.pawnCount[them]--;
    } else {
        b.pieceCount[them]--;
        b.nonPawnMaterial[them] -= v;
    }
    if (victim == S::THEM + 3 && b.castle[S::THEIR_CS_KING] == 0) b.castle[S::THEIR_CS_KING] = -1;
    if (victim == S::THEM + 2 && b.castle[S::THEIR_CS_QUEEN] == 0) b.castle[S::THEIR_CS_QUEEN] = -1;
}

template <int C>
static uint32_t makeAndGenerateT(uint32_t* list, uint32_t m, Board& board) {
    typedef Side<C> S;
    Board b;
    std::memcpy(&b, &board, sizeof b);
    m &= 0xFFFF;
    if (m != 0) {
        int from = moveFrom(m), to = moveTo(m);
        uint32_t kind = moveKind(m);
        int slot = b.squareSlot[from];
        int captured = b.squareSlot[to];
        if (captured != SLOT_EMPTY) captureOnBoard<C>(b, captured);
        b.slotSquare[slot] = to;
        b.squareSlot[to] = slot;
        b.squareSlot[from] = SLOT_EMPTY;
        if (kind == MK_CASTLE_KING) {
            int rook = S::US + 3;
            b.squareSlot[S::KING_HOME + 3] = SLOT_EMPTY;
            b.slotSquare[rook] = S::KING_HOME + 1;
            b.squareSlot[S::KING_HOME + 1] = rook;
            b.castle[S::CS_KING] = 1;
            b.castle[S::CS_QUEEN] = -1;
        } else if (kind == MK_CASTLE_QUEEN) {
            int rook = S::US + 2;
            b.squareSlot[S::KING_HOME - 4] = SLOT_EMPTY;
            b.slotSquare[rook] = S::KING_HOME - 1;
            b.squareSlot[S::KING_HOME - 1] = rook;
            b.castle[S::CS_QUEEN] = 1;
            b.castle[S::CS_KING] = -1;
        } else if (kind == MK_EN_PASSANT) {
            int sq = to - S::FORWARD;
            captured = b.squareSlot[sq];
            b.squareSlot[sq] = SLOT_EMPTY;
            if (captured != SLOT_EMPTY) captureOnBoard<C>(b, captured);
        } else if (kind >= MK_PROMO_QUEEN) {
            int type = promotedType(m);
            int v = TYPE_VALUE[type];
            int old = b.slotValue[slot];
            b.slotType[slot] = type;
            b.slotValue[slot] = v;
            b.nonPawnMaterial[C] += v;
            b.material += C ? -(v - old) : (v - old);
            b.pawnCount[C]--;
            b.pieceCount[C]++;
        } else if (slot == S::US) {
            if (b.castle[S::CS_KING] == 0) b.castle[S::CS_KING] = -1;
            if (b.castle[S::CS_QUEEN] == 0) b.castle[S::CS_QUEEN] = -1;
        } else if (slot == S::US + 3) {
            if (b.castle[S::CS_KING] == 0) b.castle[S::CS_KING] = -1;
        } else if (slot == S::US + 2) {
            if (b.castle[S::CS_QUEEN] == 0) b.castle[S::CS_QUEEN] = -1;
        }
        int king = b.slotSquare[S::US];
        bool illegal = king != SQ_NONE && attackedBy<C ^ 1>(b, king);
        if (!illegal && (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN)) {
            int crossed = kind == MK_CASTLE_KING ? S::KING_HOME + 1 : S::KING_HOME - 1;
            illegal = attackedBy<C ^ 1>(b, crossed) || attackedBy<C ^ 1>(b, S::KING_HOME);
        }
        if (illegal) return m | MOVE_ILLEGAL;
        b.lastMove = m | (uint32_t(captured) << 16);
        if (list == nullptr) return m;
    } else {
        int king = b.slotSquare[S::US];
        if (king != SQ_NONE && attackedBy<C ^ 1>(b, king)) return MOVE_ILLEGAL;
        if (list == nullptr) return 0;
    }
    int lastFrom = moveFrom(b.lastMove), lastTo = moveTo(b.lastMove);
    int n = generateAll<C ^ 1>(b, list, lastFrom, lastTo, true, b.castle);
    int legal = 0;
    for (int i = 0; i < n; i++) {
        uint32_t r = makeAndGenerateT<C ^ 1>(nullptr, list[i], b);
        list[i] = r;
        if (!(r & MOVE_ILLEGAL)) legal++;
    }
    std::memcpy(&board, &b, sizeof b);
    if (legal > 0) return insufficientMaterial(b) ? MG_NO_MATERIAL : m;
    int theirKing = b.slotSquare[S::THEM];
    bool check = theirKing != SQ_NONE && attackedBy<C>(b, theirKing);
    return check ? MG_MATE : MG_STALEMATE;
}

uint32_t makeAndGenerateWhite(uint32_t* list, uint32_t m, Board& b) { return makeAndGenerateT<0>(list, m, b); }
uint32_t makeAndGenerateBlack(uint32_t* list, uint32_t m, Board& b) { return makeAndGenerateT<1>(list, m, b); }

// ---------------------------------------------------------------------------
// Search level, on workBoard.

int generateMovesWhite(uint32_t* list, int lastFrom, int lastTo, int inCheck, const int16_t* castle) {
    return generateAll<0>(workBoard, list, lastFrom, lastTo, !inCheck, castle);
}
int generateMovesBlack(uint32_t* list, int lastFrom, int lastTo, int inCheck, const int16_t* castle) {
    return generateAll<1>(workBoard, list, lastFrom, lastTo, !inCheck, castle);
}

template <int C>
static int generateCapturesT(uint32_t* list, int lastFrom, int lastTo) {
    typedef Side<C> S;
    const WorkBoard& b = workBoard;
    uint32_t* out = list;
    for (int slot = S::US; slot < S::US + 16; slot++) {
        int from = b.slotSquare[slot];
        if (from == SQ_NONE) continue;
        int type = b.slotType[slot];
        int mover = b.slotValue[slot];
        if (type == S::PAWN) {
            const PawnStep* p = pawnTable[C][from];
            while (p->target != 64) {
                int t = p->target;
                int occ = b.squareSlot[t];
                if (p->flags & 1) {
                    if (occ != SLOT_EMPTY) {
                        p += p->skip;
                        continue;
                    }
                    if (p->flags & 2) *out++ = makeMoveWord(from, t, MK_PROMO_QUEEN) | (10614u << 16);
                } else if (S::theirs(occ)) {
                    int victim = b.slotValue[occ];
                    if (p->flags & 2)
                        *out++ = makeMoveWord(from, t, MK_PROMO_QUEEN) | (uint32_t(victim + 10614) << 16);
                    else
                        *out++ = makeMoveWord(from, t) | (uint32_t(victim - mover + 6000) << 16);
                }
                p++;
            }
        } else {
            const RayEntry* e = rayTable[C][type][from];
            while (e->target != 64) {
                int occ = b.squareSlot[e->target];
                if (occ == SLOT_EMPTY) {
                    e++;
                    continue;
                }
                if (S::theirs(occ))
                    *out++ = makeMoveWord(from, e->target) | (uint32_t(b.slotValue[occ] - mover + 6000) << 16);
                e += e->skip;
            }
        }
    }
    uint32_t* ep = out;
    out = genEnPassant<C>(b, lastFrom, lastTo, out);
    for (; ep < out; ep++) *ep |= 6000u << 16;
    *out = 0;
    return int(out - list);
}

int generateCapturesWhite(uint32_t* list, int lastFrom, int lastTo) { return generateCapturesT<0>(list, lastFrom, lastTo); }
int generateCapturesBlack(uint32_t* list, int lastFrom, int lastTo) { return generateCapturesT<1>(list, lastFrom, lastTo); }

template <int C>
static int givesCheckT(uint32_t m, int king, const NodeState& ns) {
    typedef Side<C> S;
    if (king == SQ_NONE) return 0;
    const WorkBoard& b = workBoard;
    int from = moveFrom(m), to = moveTo(m);
    int slot = b.squareSlot[from];
    int type = isPromotion(m) ? promotedType(m) : b.slotType[slot];
    // Direct check by the man from its arrival square. Its start square is
    // treated as empty: a slider moving away from the king along the line
    // still checks.
    int d = directionTable[to][king];
    if (d != 0) {
        int lk = lineKind[std::abs(d)];
        if ((lk == 2 && (type == QUEEN || type == BISHOP)) || (lk == 1 && (type == QUEEN || type == ROOK))) {
            int x = to + d;
            while (x != king && (x == from || b.squareSlot[x] == SLOT_EMPTY)) x += d;
            if (x == king) return 1;
            int blocker = b.squareSlot[x];
            if (S::theirs(blocker) && b.slotType[blocker] != S::ENEMY_PAWN) {
                x += d;
                while (x != king && (x == from || b.squareSlot[x] == SLOT_EMPTY)) x += d;
                if (x == king) return 1;
            }
        } else if (lk == 2 && type == S::PAWN) {
            if ((C ? d < 0 : d > 0) && to + d == king) return 1;
        } else if (lk == 3 && type == KNIGHT) {
            return 1;
        }
    }
    // Discovered check by a slider behind the start square.
    if (ns.pieceCount[C] >= 1) {
        int e = directionTable[king][from];
        if (e == 0) return 0;
        int lk = lineKind[std::abs(e)];
        if (lk != 1 && lk != 2) return 0;
        if (directionTable[king][to] == e) return 0;  // the man stays on the line
        return sliderAlong<C>(b, king, e, from) ? 1 : 0;
    }
    return 0;
}

int givesCheckWhite(uint32_t m, int kingSquare, const NodeState& ns) { return givesCheckT<0>(m, kingSquare, ns); }
int givesCheckBlack(uint32_t m, int kingSquare, const NodeState& ns) { return givesCheckT<1>(m, kingSquare, ns); }

template <int C>
static int searchMakeT(uint32_t m) {
    typedef Side<C> S;
    WorkBoard& b = workBoard;
    int from = moveFrom(m), to = moveTo(m);
    uint32_t kind = moveKind(m);
    int slot = b.squareSlot[from];
    int captured;
    if (kind == MK_EN_PASSANT) {
        int sq = to - S::FORWARD;
        captured = b.squareSlot[sq];
        b.squareSlot[sq] = SLOT_EMPTY;
    } else {
        captured = b.squareSlot[to];
    }
    if (captured != SLOT_EMPTY) b.slotSquare[captured] = SQ_NONE;
    b.squareSlot[from] = SLOT_EMPTY;
    b.squareSlot[to] = slot;
    b.slotSquare[slot] = to;
    if (kind == MK_CASTLE_KING) {
        b.squareSlot[S::KING_HOME + 3] = SLOT_EMPTY;
        b.squareSlot[S::KING_HOME + 1] = S::US + 3;
        b.slotSquare[S::US + 3] = S::KING_HOME + 1;
    } else if (kind == MK_CASTLE_QUEEN) {
        b.squareSlot[S::KING_HOME - 4] = SLOT_EMPTY;
        b.squareSlot[S::KING_HOME - 1] = S::US + 2;
        b.slotSquare[S::US + 2] = S::KING_HOME - 1;
    } else if (kind >= MK_PROMO_QUEEN) {
        int type = promotedType(m);
        b.slotType[slot] = type;
        b.slotValue[slot] = TYPE_VALUE[type];
    }
    return captured;
}

template <int C>
static void searchUnmakeT(uint32_t m, int captured) {
    typedef Side<C> S;
    WorkBoard& b = workBoard;
    int from = moveFrom(m), to = moveTo(m);
    uint32_t kind = moveKind(m);
    int slot = b.squareSlot[to];
    b.squareSlot[from] = slot;
    b.slotSquare[slot] = from;
    b.squareSlot[to] = SLOT_EMPTY;
    if (captured != SLOT_EMPTY) {
        int sq = kind == MK_EN_PASSANT ? to - S::FORWARD : to;
        b.squareSlot[sq] = captured;
        b.slotSquare[captured] = sq;
    }
    if (kind == MK_CASTLE_KING) {
        b.squareSlot[S::KING_HOME + 1] = SLOT_EMPTY;
        b.squareSlot[S::KING_HOME + 3] = S::US + 3;
        b.slotSquare[S::US + 3] = S::KING_HOME + 3;
    } else if (kind == MK_CASTLE_QUEEN) {
        b.squareSlot[S::KING_HOME - 1] = SLOT_EMPTY;
        b.squareSlot[S::KING_HOME - 4] = S::US + 2;
        b.slotSquare[S::US + 2] = S::KING_HOME - 4;
    } else if (kind >= MK_PROMO_QUEEN) {
        b.slotType[slot] = S::PAWN;
        b.slotValue[slot] = VALUE_PAWN;
    }
}

int searchMakeWhite(uint32_t m) { return searchMakeT<0>(m); }
int searchMakeBlack(uint32_t m) { return searchMakeT<1>(m); }
void searchUnmakeWhite(uint32_t m, int captured) { searchUnmakeT<0>(m, captured); }
void searchUnmakeBlack(uint32_t m, int captured) { searchUnmakeT<1>(m, captured); }
