#include <cstdlib>
#include "board/game.h"
#include "board/movegen.h"

void ensureHistoryRoom(Game& g, int index) {
    while (g.historyCapacity <= index) {
        g.historyCapacity += HISTORY_GROWTH;
        g.history.resize(size_t(g.historyCapacity));
    }
}

uint8_t castlingByte(const Game& g) {
    return uint8_t((g.castle[CS_WHITE_KING] + 1) | (g.castle[CS_WHITE_QUEEN] + 1) << 2 |
                   (g.castle[CS_BLACK_KING] + 1) << 4 | (g.castle[CS_BLACK_QUEEN] + 1) << 6);
}

void restoreCastling(Game& g, uint8_t byte) {
    g.castle[CS_WHITE_KING] = (byte & 3) - 1;
    g.castle[CS_WHITE_QUEEN] = (byte >> 2 & 3) - 1;
    g.castle[CS_BLACK_KING] = (byte >> 4 & 3) - 1;
    g.castle[CS_BLACK_QUEEN] = (byte >> 6 & 3) - 1;
}

int enPassantSquare(Move m, const Board& b) {
    int from = moveFrom(m), to = moveTo(m);
    int slot = b.squareSlot[from];
    if (slot == SLOT_EMPTY) return 0;
    int type = b.slotType[slot];
    if ((type != WHITE_PAWN && type != BLACK_PAWN) || std::abs(to - from) != 16) return 0;
    int enemy = rankOf(from) == 1 ? BLACK_PAWN : WHITE_PAWN;
    int enemyBase = enemy == BLACK_PAWN ? 16 : 0;
    for (int d : {-1, 1}) {
        int f = fileOf(to) + d;
        if (f < 0 || f > 7) continue;
        int s = b.squareSlot[to + d];
        if (s != SLOT_EMPTY && (s & 16) == enemyBase && b.slotType[s] == enemy) return (from < to ? from : to) + 8;
    }
    return 0;
}

int insufficientMaterial(const Board& b) {
    int count[2] = {0, 0}, last[2] = {-1, -1};
    for (int s = 1; s < 32; s++) {
        if (s == 16 || b.slotSquare[s] == SQ_NONE) continue;
        count[s >> 4]++;
        last[s >> 4] = s;
    }
    if (count[0] >= 2 || count[1] >= 2) return 0;
    if (count[0] == 0 && count[1] == 0) return 1;
    if (count[0] == 1 && count[1] == 1) {
        if (b.slotType[last[0]] != BISHOP || b.slotType[last[1]] != BISHOP) return 0;
        int a = b.slotSquare[last[0]], c = b.slotSquare[last[1]];
        return ((fileOf(a) + rankOf(a)) & 1) == ((fileOf(c) + rankOf(c)) & 1);
    }
    int t = b.slotType[count[0] ? last[0] : last[1]];
    return t == BISHOP || t == KNIGHT;
}

int repetitionCount(const Game& g, int side, const Board& b) {
    int count = 0;
    uint16_t keyHigh = uint16_t(b.hashKey >> 16);
    for (int i = g.ply - 1; i >= 0; i--) {
        const HistoryEntry& e = g.history[size_t(i)];
        if (e.hashLock == b.hashLock && e.keyHigh == keyHigh && (e.flags >> 7) == side) count++;
        if (e.move == 0 || (e.flags & 0x40)) break;
    }
    return count;
}

int fiftyCountFromHistory(const Game& g) {
    int count = 0;
    for (int i = g.ply; i >= 0; i--, count++)
        if (g.history[size_t(i)].flags & 0x40) return count;
    // No irreversible move since the set-up: count on from its own count.
    return count + g.setupFiftyCount;
}

int makeMove(Game& g, Move given) {
    given &= 0xFFFF;
    uint32_t entry = 0;
    for (int i = 0; g.legalMoves[i]; i++) {
        uint32_t w = g.legalMoves[i];
        if (w & MOVE_ILLEGAL) continue;
        if ((w & 0xFFF) == (given & 0xFFF)) {
            entry = w & 0xFFFF;
            break;
        }
    }
    if (entry == 0) return -1;
    if (isPromotion(entry)) {
        if (!isPromotion(given)) return 1;
        entry = 0;
        for (int i = 0; g.legalMoves[i]; i++) {
            uint32_t w = g.legalMoves[i];
            if (!(w & MOVE_ILLEGAL) && (w & 0xFFFF) == given) {
                entry = given;
                break;
            }
        }
        if (entry == 0) return -1;
    }
    int side = g.sideToMove;
    int from = moveFrom(entry), to = moveTo(entry);
    uint32_t kind = moveKind(entry);
    g.ply++;
    // The search appends its own entries beyond the game: keep room for them.
    ensureHistoryRoom(g, g.ply + HISTORY_SEARCH_ROOM);
    HistoryEntry& h = g.history[size_t(g.ply)];
    h = HistoryEntry{};
    h.move = uint16_t(entry);
    h.castling = castlingByte(g);
    int captured = kind == MK_EN_PASSANT ? g.squareSlot[side ? to + 8 : to - 8] : g.squareSlot[to];
    h.flags = uint8_t(captured & 63);

    copyToBoard(g, g.board);
    g.lastMove = entry;
    int moverSlot = g.squareSlot[from];
    bool irreversible = g.slotType[moverSlot] >= WHITE_PAWN || g.squareSlot[to] != SLOT_EMPTY || kind != 0;
    g.epSquare = enPassantSquare(entry, g.board);
    int fiftyBefore = g.board.fiftyCount;
    g.board.fiftyCount = irreversible ? 0 : fiftyBefore + 1;
    uint32_t r = makeAndGenerate(side, g.legalMoves, entry, g.board);
    if (r & MOVE_ILLEGAL) {
        g.ply--;
        g.epSquare = 0;
        g.board.fiftyCount = fiftyBefore;
        return -2;
    }
    copyFromBoard(g, g.board);
    g.sideToMove = side ^ 1;
    computeKeys(g.sideToMove, g.board);
    h.hashLock = g.board.hashLock;
    h.keyHigh = uint16_t(g.board.hashKey >> 16);
    h.flags = uint8_t(h.flags | (irreversible ? 0x40 : 0) | (g.sideToMove << 7));
    if (r == MG_MATE) {
        g.result = 2;
        return 2;
    }
    if (r == MG_STALEMATE) {
        g.result = 3;
        return 3;
    }
    if (r == MG_NO_MATERIAL) return 6;
    if (g.board.fiftyCount < 4) return 0;
    if (repetitionCount(g, g.sideToMove, g.board) > 1) return 4;
    if (g.board.fiftyCount == 100) return 5;
    return 0;
}

int undoMove(Game& g) {
    if (g.ply < 0) return 1;
    const HistoryEntry e = g.history[size_t(g.ply)];
    int from = moveFrom(e.move), to = moveTo(e.move);
    uint32_t kind = moveKind(e.move);
    int mover = g.sideToMove ^ 1;
    int slot = g.squareSlot[to];
    g.slotSquare[slot] = from;
    g.squareSlot[from] = slot;
    g.squareSlot[to] = SLOT_EMPTY;
    int captured = e.flags & 63;
    if (captured != SLOT_EMPTY) {
        int sq = kind == MK_EN_PASSANT ? (mover ? to + 8 : to - 8) : to;
        g.slotSquare[captured] = sq;
        g.squareSlot[sq] = captured;
    }
    int base = mover * 16, home = mover ? 60 : 4;
    if (kind == MK_CASTLE_KING) {
        g.squareSlot[home + 1] = SLOT_EMPTY;
        g.slotSquare[base + 3] = home + 3;
        g.squareSlot[home + 3] = base + 3;
    } else if (kind == MK_CASTLE_QUEEN) {
        g.squareSlot[home - 1] = SLOT_EMPTY;
        g.slotSquare[base + 2] = home - 4;
        g.squareSlot[home - 4] = base + 2;
    } else if (kind >= MK_PROMO_QUEEN) {
        g.slotType[slot] = mover ? BLACK_PAWN : WHITE_PAWN;
        g.slotValue[slot] = VALUE_PAWN;
    }
    g.sideToMove = mover;
    g.ply--;
    restoreCastling(g, e.castling);
    g.result = 0;
    g.lastMove = 0;

    copyToBoard(g, g.board);
    recountBoard(g.board);
    // The record keeps no counter, but each entry says whether its move was
    // irreversible: enough to count back to the last one.
    g.board.fiftyCount = fiftyCountFromHistory(g);
    // The move now last played may be a double step: offer its en-passant
    // capture again (the set-up's own double step when back at the start).
    g.board.lastMove = 0;
    g.epSquare = 0;
    if (g.ply >= 0) {
        uint32_t prev = g.history[size_t(g.ply)].move;
        int pTo = moveTo(prev);
        int s = g.squareSlot[pTo];
        if (s != SLOT_EMPTY && g.slotType[s] >= WHITE_PAWN && std::abs(pTo - moveFrom(prev)) == 16) {
            g.board.lastMove = prev | (uint32_t(SLOT_EMPTY) << 16);
            int enemy = g.slotType[s] == WHITE_PAWN ? BLACK_PAWN : WHITE_PAWN;
            for (int d : {-1, 1}) {
                int f = fileOf(pTo) + d;
                if (f < 0 || f > 7) continue;
                int n = g.squareSlot[pTo + d];
                if (n != SLOT_EMPTY && g.slotType[n] == enemy) g.epSquare = (pTo + moveFrom(prev)) / 2;
            }
        }
    } else if (!g.fromStart) {
        g.board.lastMove = g.setupLastMove;
        g.epSquare = g.setupEpSquare;
    }
    computeKeys(mover, g.board);
    makeAndGenerate(mover ^ 1, g.legalMoves, 0, g.board);
    return 0;
}
