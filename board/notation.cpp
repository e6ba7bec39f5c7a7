#include "board/notation.h"
#include <cctype>
#include <cstdio>
#include <cstring>
#include "board/game.h"
#include "board/movegen.h"

static void upcase(char* t) {
    for (; *t; t++)
        if (*t >= 'a' && *t <= 'z') *t = char(*t - 32);
}

void moveToText(uint32_t m, char* buffer) {
    int from = moveFrom(m), to = moveTo(m);
    int n = std::snprintf(buffer, 6, "%c%c%c%c", 'a' + fileOf(from), '1' + rankOf(from), 'a' + fileOf(to), '1' + rankOf(to));
    if (isPromotion(m) && n == 4) {
        buffer[4] = pieceLetters[promotedType(m)];
        buffer[5] = 0;
    }
}

static uint32_t promoKind(char c) {
    switch (c) {
    case 'Q': case 'D': return MK_PROMO_QUEEN;
    case 'R': case 'T': return MK_PROMO_ROOK;
    case 'B': case 'F': return MK_PROMO_BISHOP;
    case 'N': case 'C': return MK_PROMO_KNIGHT;
    default: return 0;
    }
}

uint32_t parseMove(char* text, int side) {
    upcase(text);
    if (text[0] != 'O' && text[0] != '0') {
        size_t len = std::strlen(text);
        if (len < 4) return 0;
        if (text[0] < 'A' || text[0] > 'H' || text[1] < '1' || text[1] > '8' || text[2] < 'A' || text[2] > 'H' ||
            text[3] < '1' || text[3] > '8')
            return 0;
        uint32_t m = makeMoveWord((text[0] - 'A') + 8 * (text[1] - '1'), (text[2] - 'A') + 8 * (text[3] - '1'));
        const char* rest = text + 4;
        if (*rest == 0) return m;
        if (rest[0] == 'E' && rest[1] == 'P') return m | MK_EN_PASSANT;
        char letter = rest[0] == '=' ? rest[1] : rest[0];
        if (!std::isalpha((unsigned char)letter)) return m;
        return m | promoKind(letter);
    }
    if (text[1] == 0 || text[2] == 0) return 0;
    bool o = text[0] == 'O';
    char c = o ? 'O' : '0';
    if (text[1] != '-' || text[2] != c) return 0;
    if (text[3] == '-') {
        if (text[4] != c) return 0;
        return side ? CASTLE_BQ_BLACK : CASTLE_WQ_WHITE;
    }
    return side ? CASTLE_BK_BLACK : CASTLE_WK_WHITE;
}

uint32_t parseSan(char* text, int side, const uint32_t* list, const Board& b) {
    // Check and mate signs, annotations and an "e.p." suffix carry no move.
    // Game files write them in either order ("exd6e.p.+", "exd6+ e.p.").
    size_t len = std::strlen(text);
    for (bool stripped = true; stripped && len > 0;) {
        stripped = false;
        while (len > 0 && (std::strchr("+#!? ", text[len - 1]) != nullptr)) {
            text[--len] = 0;
            stripped = true;
        }
        if (len >= 4 && (text[len - 4] | 32) == 'e' && text[len - 3] == '.' && (text[len - 2] | 32) == 'p' &&
            text[len - 1] == '.') {
            len -= 4;
            text[len] = 0;
            stripped = true;
        }
    }
    if (len == 0) return 0;
    if (text[0] == 'O' || text[0] == 'o' || text[0] == '0') return parseMove(text, side);
    unsigned char first = (unsigned char)text[0];
    bool piece = first < '[' || first == 'k' || first == 'n' || first == 'q' || first == 'r';
    upcase(text);
    const char* p = text;
    char pieceLetter = 0;
    if (piece) {
        pieceLetter = *p++;
        if (*p == 'X') p++;
        if (*p == 0) return 0;
    }
    char hint = *p++;
    if (*p == 'X') {
        p++;
        if (*p == 0) return 0;
    }
    char destFile = 0, destRank = 0, disamb = 0, promo = 0;
    if (*p != 0 && std::isalpha((unsigned char)*p)) {
        destFile = *p++;
        disamb = hint;
    } else {
        destRank = *p ? *p++ : 0;
        destFile = hint;
    }
    if (*p == '=') {
        promo = p[1];
    } else if (destRank == 0 && std::isdigit((unsigned char)*p)) {
        destRank = *p++;
        if (*p == '=') promo = p[1];
    }
    if (destFile < 'A' || destFile > 'H') return 0;
    if (piece && (destRank < '1' || destRank > '8')) return 0;
    if (destRank != 0 && (destRank < '1' || destRank > '8')) return 0;
    if (disamb && !std::isalnum((unsigned char)disamb)) return 0;
    int type;
    if (!piece) type = side ? BLACK_PAWN : WHITE_PAWN;
    else switch (pieceLetter) {
        case 'K': type = KING; break;
        case 'Q': type = QUEEN; break;
        case 'R': type = ROOK; break;
        case 'B': type = BISHOP; break;
        case 'N': type = KNIGHT; break;
        default: return 0;
        }
    int matches = 0;
    uint32_t found = 0;
    for (int i = 0; list[i]; i++) {
        // A pinned piece's move is no candidate: it must not make Nd4 ambiguous.
        if (list[i] & MOVE_ILLEGAL) continue;
        uint32_t m = list[i] & 0xFFFF;
        int from = moveFrom(m), to = moveTo(m);
        if (b.slotType[b.squareSlot[from]] != type) continue;
        if (fileOf(to) != destFile - 'A') continue;
        if (destRank && rankOf(to) != destRank - '1') continue;
        if (disamb && !(rankOf(from) == disamb - '1' || fileOf(from) == disamb - 'A')) continue;
        matches++;
        found = m;
    }
    if (matches == 0) return 0;
    if (matches > 1 && promo == 0) return 0;
    char coord[8];
    moveToText(found & ~uint32_t(MOVE_KIND_MASK), coord);
    if (promo) {
        coord[4] = '=';
        coord[5] = promo;
        coord[6] = 0;
    }
    return parseMove(coord, side);
}

void formatSan(std::string& out, uint32_t m, int type, int capture, char disambiguation) {
    uint32_t kind = moveKind(m);
    if (kind == MK_CASTLE_KING) {
        out += "O-O ";
        return;
    }
    if (kind == MK_CASTLE_QUEEN) {
        out += "O-O-O ";
        return;
    }
    int from = moveFrom(m), to = moveTo(m);
    if (type == WHITE_PAWN || type == BLACK_PAWN) {
        if (capture || kind == MK_EN_PASSANT) {
            out += char('a' + fileOf(from));
            out += 'x';
        }
    } else {
        out += pieceLetters[type & 7];
        if (disambiguation) out += disambiguation;
        if (capture) out += 'x';
    }
    out += char('a' + fileOf(to));
    out += char('1' + rankOf(to));
    if (isPromotion(m)) {
        out += '=';
        out += pieceLetters[promotedType(m)];
    }
    out += ' ';
}

static char disambiguationFor(uint32_t m, const uint32_t* list, const Board& b) {
    int from = moveFrom(m), to = moveTo(m);
    int type = b.slotType[b.squareSlot[from]];
    if (type == WHITE_PAWN || type == BLACK_PAWN) return 0;
    char c = 0;
    for (int i = 0; list[i]; i++) {
        if (list[i] & MOVE_ILLEGAL) continue;  // only legal rivals need naming apart
        uint32_t o = list[i] & 0xFFFF;
        int of = moveFrom(o);
        if (of == from || moveTo(o) != to) continue;
        if (b.slotType[b.squareSlot[of]] != type) continue;
        c = fileOf(of) != fileOf(from) ? char('a' + fileOf(from)) : char('1' + rankOf(from));
    }
    return c;
}

// The list entry for a move given by its squares (and promotion kind), so
// that castling and en-passant kinds come from the list; 0 when absent.
static uint32_t listEntry(uint32_t m, const uint32_t* list) {
    m &= 0x7FFF;
    uint32_t found = 0;
    for (int i = 0; list[i]; i++) {
        uint32_t e = list[i] & 0x7FFF;
        if ((e & 0xFFF) == (m & 0xFFF)) found = e;
    }
    if (found == 0) return 0;
    if (isPromotion(found) || isPromotion(m)) {
        if (!isPromotion(m) || !isPromotion(found)) return 0;
        for (int i = 0; list[i]; i++)
            if ((list[i] & 0x7FFF) == m) return m;
        return 0;
    }
    return found;
}

void moveToSan(std::string& out, uint32_t m, const uint32_t* list, const Board& b) {
    int from = moveFrom(m);
    if (b.squareSlot[from] == SLOT_EMPTY) return;
    uint32_t e = listEntry(m, list);
    if (e == 0) return;
    formatSan(out, e, b.slotType[b.squareSlot[from]], b.squareSlot[moveTo(e)] != SLOT_EMPTY,
              disambiguationFor(e, list, b));
}

static void annotate(std::string& out, int annotation) {
    if (annotation == -1) return;
    out += annotation == 1 ? "!" : "?";
}

void formatLine(std::string& out, const uint32_t* sequence, int first, int side, const uint32_t* list,
                const Board& board, int annotation) {
    Board b = board;
    uint32_t moves[MAX_MOVES];
    int n = 0;
    while (list[n] && n < MAX_MOVES - 1) {
        moves[n] = list[n];
        n++;
    }
    moves[n] = 0;
    for (int i = first; i < 59 && (sequence[i] & 0xFFFF) != 0; i++) {
        // The list entry supplies the castling and en-passant kinds the
        // sequence word may lack; an illegal entry is still written and then
        // ends the line when it is played.
        uint32_t e = listEntry(sequence[i] & 0x7FFF, moves);
        if (e == 0 || b.squareSlot[moveFrom(e)] == SLOT_EMPTY) break;
        formatSan(out, e, b.slotType[b.squareSlot[moveFrom(e)]], b.squareSlot[moveTo(e)] != SLOT_EMPTY,
                  disambiguationFor(e, moves, b));
        if (i == 0) annotate(out, annotation);
        uint32_t r = makeAndGenerate(side, moves, e, b);
        if (r & MOVE_ILLEGAL) break;
        side ^= 1;
    }
}

void formatLineCoordinates(std::string& out, const uint32_t* sequence, int annotation) {
    out.clear();
    for (int i = 0; i < 59 && (sequence[i] & 0xFFFF) != 0; i++) {
        char t[8];
        moveToText(sequence[i] & 0x7FFF, t);
        out += t;
        if (i == 0) annotate(out, annotation);
        out += ' ';
    }
}
