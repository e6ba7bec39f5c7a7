#include "tools/lib/perft.h"
#include <cstdlib>
#include <cstring>
#include "board/movegen.h"
#include "board/notation.h"
#include "board/tables.h"

namespace {

struct PerftState {
    int16_t castle[4];
    uint32_t lastMove;
};

template <int C>
struct PerftSide;
template <>
struct PerftSide<0> {
    static int gen(uint32_t* l, int f, int t, int chk, const int16_t* c) { return generateMovesWhite(l, f, t, chk, c); }
    static int make(uint32_t m) { return searchMakeWhite(m); }
    static void unmake(uint32_t m, int c) { searchUnmakeWhite(m, c); }
    static bool attackedByThem(int sq) { return workAttackedByBlack(sq); }
};
template <>
struct PerftSide<1> {
    static int gen(uint32_t* l, int f, int t, int chk, const int16_t* c) { return generateMovesBlack(l, f, t, chk, c); }
    static int make(uint32_t m) { return searchMakeBlack(m); }
    static void unmake(uint32_t m, int c) { searchUnmakeBlack(m, c); }
    static bool attackedByThem(int sq) { return workAttackedByWhite(sq); }
};

template <int C>
void updateCastle(PerftState& s, uint32_t m, int moverSlot, int captured) {
    const int us = C * 16, them = 16 - us;
    const int ks = C ? CS_BLACK_KING : CS_WHITE_KING, qs = C ? CS_BLACK_QUEEN : CS_WHITE_QUEEN;
    const int tks = C ? CS_WHITE_KING : CS_BLACK_KING, tqs = C ? CS_WHITE_QUEEN : CS_BLACK_QUEEN;
    uint32_t kind = moveKind(m);
    if (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN || moverSlot == us) {
        if (s.castle[ks] == 0) s.castle[ks] = -1;
        if (s.castle[qs] == 0) s.castle[qs] = -1;
    }
    if (moverSlot == us + 3 && s.castle[ks] == 0) s.castle[ks] = -1;
    if (moverSlot == us + 2 && s.castle[qs] == 0) s.castle[qs] = -1;
    if (captured == them + 3 && s.castle[tks] == 0) s.castle[tks] = -1;
    if (captured == them + 2 && s.castle[tqs] == 0) s.castle[tqs] = -1;
}

// Moves of the man on from that land on an empty or enemy square (a
// promotion counts four), counted or, with out given, listed.
template <int C>
inline int leafMoves(int slot, int from, uint32_t* out) {
    const WorkBoard& b = workBoard;
    int type = b.slotType[slot];
    int n = 0;
    if (type == (C ? BLACK_PAWN : WHITE_PAWN)) {
        const PawnStep* p = pawnTable[C][from];
        while (p->target != 64) {
            int occ = b.squareSlot[p->target];
            if (p->flags & 1) {
                if (occ != SLOT_EMPTY) {
                    p += p->skip;
                    continue;
                }
            } else if (occ == SLOT_EMPTY || (occ >> 4) == C) {
                p++;
                continue;
            }
            if (out) {
                uint32_t m = makeMoveWord(from, p->target);
                if (p->flags & 2)
                    for (uint32_t k : {MK_PROMO_QUEEN, MK_PROMO_ROOK, MK_PROMO_BISHOP, MK_PROMO_KNIGHT}) out[n++] = m | k;
                else
                    out[n++] = m;
            } else {
                n += (p->flags & 2) ? 4 : 1;
            }
            p++;
        }
        return n;
    }
    const RayEntry* e = rayTable[C][type][from];
    while (e->target != 64) {
        int occ = b.squareSlot[e->target];
        if (occ == SLOT_EMPTY) {
            if (out) out[n] = makeMoveWord(from, e->target);
            n++;
            e++;
        } else {
            if ((occ >> 4) != C) {
                if (out) out[n] = makeMoveWord(from, e->target);
                n++;
            }
            e += e->skip;
        }
    }
    return n;
}

// The last ply, not in check: a man off every line through its king cannot
// uncover it, so its moves are only counted; the king, men on such lines,
// en passant and castling are made and tested.
template <int C>
uint64_t countLeaf(const PerftState& st, int kingSq) {
    typedef PerftSide<C> S;
    const int us = C * 16;
    uint64_t total = 0;
    uint32_t list[MAX_MOVES];
    int n = 0;
    // Our men pinned to the king: along each line from the king, our first
    // man with an enemy slider of that line's kind right behind it.
    uint32_t pinned = 0;
    const RayEntry* e = rayTable[C][QUEEN][kingSq];
    while (e->target != 64) {
        const RayEntry* next = e + e->skip;
        int kind = lineKind[std::abs(directionTable[kingSq][e->target])];
        int ours = -1;
        for (const RayEntry* r = e; r != next; r++) {
            int occ = workBoard.squareSlot[r->target];
            if (occ == SLOT_EMPTY) continue;
            if (ours < 0 && (occ >> 4) == C) {
                ours = occ;
                continue;
            }
            if (ours >= 0 && (occ >> 4) != C) {
                int t = workBoard.slotType[occ];
                if (t == QUEEN || t == (kind == 1 ? ROOK : BISHOP)) pinned |= 1u << (ours & 15);
            }
            break;
        }
        e = next;
    }
    for (int slot = us; slot < us + 16; slot++) {
        int from = workBoard.slotSquare[slot];
        if (from == SQ_NONE) continue;
        if (slot != us && !(pinned & (1u << (slot & 15)))) total += uint64_t(leafMoves<C>(slot, from, nullptr));
        else n += leafMoves<C>(slot, from, list + n);
    }
    // Castling and en passant, as the generator offers them.
    const WorkBoard& w = workBoard;
    const int home = C ? 60 : 4;
    if (st.castle[C ? CS_BLACK_KING : CS_WHITE_KING] == 0 && w.squareSlot[home + 1] == SLOT_EMPTY &&
        w.squareSlot[home + 2] == SLOT_EMPTY)
        list[n++] = C ? CASTLE_BK_BLACK : CASTLE_WK_WHITE;
    if (st.castle[C ? CS_BLACK_QUEEN : CS_WHITE_QUEEN] == 0 && w.squareSlot[home - 1] == SLOT_EMPTY &&
        w.squareSlot[home - 2] == SLOT_EMPTY && w.squareSlot[home - 3] == SLOT_EMPTY)
        list[n++] = C ? CASTLE_BQ_BLACK : CASTLE_WQ_WHITE;
    int lf = moveFrom(st.lastMove), lt = moveTo(st.lastMove);
    int victim = w.squareSlot[lt];
    if (victim != SLOT_EMPTY && (victim >> 4) != C && w.slotType[victim] == (C ? WHITE_PAWN : BLACK_PAWN) &&
        rankOf(lf) == (C ? 1 : 6) && rankOf(lt) == (C ? 3 : 4)) {
        const int forward = C ? -8 : 8;
        for (int side : {-1, 1}) {
            if ((side < 0 && fileOf(lt) == 0) || (side > 0 && fileOf(lt) == 7)) continue;
            int s2 = w.squareSlot[lt + side];
            if (s2 != SLOT_EMPTY && (s2 >> 4) == C && w.slotType[s2] == (C ? BLACK_PAWN : WHITE_PAWN))
                list[n++] = makeMoveWord(lt + side, lt + forward, MK_EN_PASSANT);
        }
    }
    for (int i = 0; i < n; i++) {
        uint32_t m = list[i];
        int captured = S::make(m);
        bool illegal = S::attackedByThem(workBoard.slotSquare[us]);
        uint32_t kind = moveKind(m);
        if (!illegal && (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN)) {
            int home = C ? 60 : 4;
            illegal = S::attackedByThem(home) || S::attackedByThem(kind == MK_CASTLE_KING ? home + 1 : home - 1);
        }
        S::unmake(m, captured);
        total += !illegal;
    }
    return total;
}

template <int C>
uint64_t walk(const PerftState& st, int depth, std::vector<PerftDivide>* divide) {
    typedef PerftSide<C> S;
    const int kingSlot = C * 16;
    int kingSq = workBoard.slotSquare[kingSlot];
    bool inCheck = S::attackedByThem(kingSq);
    if (depth == 1 && !divide && !inCheck) return countLeaf<C>(st, kingSq);
    uint32_t list[MAX_MOVES];
    int n = S::gen(list, moveFrom(st.lastMove), moveTo(st.lastMove), inCheck, st.castle);
    uint64_t total = 0;
    for (int i = 0; i < n; i++) {
        uint32_t m = list[i];
        int moverSlot = workBoard.squareSlot[moveFrom(m)];
        // At the last ply a move that cannot uncover the king needs no make:
        // not in check, not the king, not en passant, and the man not on a
        // line with its king.
        bool safe = false;
        if (!inCheck && moverSlot != kingSlot && moveKind(m) != MK_EN_PASSANT) {
            int d = directionTable[kingSq][moveFrom(m)];
            safe = d == 0 || lineKind[d < 0 ? -d : d] == 3;
        }
        if (safe && depth == 1 && !divide) {
            total++;
            continue;
        }
        int captured = S::make(m);
        int king = workBoard.slotSquare[kingSlot];
        bool illegal = !safe && S::attackedByThem(king);
        uint32_t kind = moveKind(m);
        if (!illegal && (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN)) {
            int home = C ? 60 : 4;
            illegal = S::attackedByThem(home) || S::attackedByThem(kind == MK_CASTLE_KING ? home + 1 : home - 1);
        }
        if (!illegal) {
            uint64_t c = 1;
            if (depth > 1) {
                PerftState next = st;
                next.lastMove = m;
                updateCastle<C>(next, m, moverSlot, captured);
                c = walk<C ^ 1>(next, depth - 1, nullptr);
            }
            total += c;
            if (divide) {
                char text[8];
                moveToText(m, text);
                divide->push_back({text, c});
            }
        }
        S::unmake(m, captured);
    }
    return total;
}

}  // namespace

bool perftSetup(Game& g, const char* fen) { return setupFromFen(g, fen) == 0; }

uint64_t perftCount(const Game& g, int depth, std::vector<PerftDivide>* divide) {
    if (depth <= 0) return 1;
    copyBoardToWork(g.board);
    PerftState st;
    for (int i = 0; i < 4; i++) st.castle[i] = int16_t(g.castle[i]);
    st.lastMove = g.board.lastMove;
    return g.sideToMove ? walk<1>(st, depth, divide) : walk<0>(st, depth, divide);
}
