#include "board/perft.h"
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

template <int C>
uint64_t walk(const PerftState& st, int depth, std::vector<PerftDivide>* divide) {
    typedef PerftSide<C> S;
    const int kingSlot = C * 16;
    int kingSq = workBoard.slotSquare[kingSlot];
    bool inCheck = S::attackedByThem(kingSq);
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
