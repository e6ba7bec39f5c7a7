#include "board/game.h"
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "board/movegen.h"
#include "board/tables.h"

__thread WorkBoard workBoard;

static const char kAlphabet[] = "KQRBNPPRDTFCPP";
const char* pieceLetters = kAlphabet + 7;
void selectEnglishLetters() { pieceLetters = kAlphabet; }


struct GameSnapshot {
    Game saved;
};

Game game;

Game::Game()
    : historyCapacity(HISTORY_INITIAL), ply(-1), fromStart(1), epSquare(0), sideToMove(0), result(0), lastMove(0),
      setupLastMove(0), setupEpSquare(0), setupFiftyCount(0) {
    buildTables();
    history.assign(HISTORY_INITIAL, HistoryEntry{});
    std::memset(legalMoves, 0, sizeof legalMoves);
    std::memset(&board, 0, sizeof board);
    newGame(*this);
}

void copyBoardToWork(const Board& b) {
    std::memcpy(workBoard.slotSquare, b.slotSquare, sizeof workBoard.slotSquare);
    std::memcpy(workBoard.squareSlot, b.squareSlot, sizeof workBoard.squareSlot);
    std::memcpy(workBoard.slotType, b.slotType, sizeof workBoard.slotType);
    std::memcpy(workBoard.slotValue, b.slotValue, sizeof workBoard.slotValue);
}

void copyToBoard(const Game& g, Board& b) {
    std::memcpy(b.slotSquare, g.slotSquare, sizeof b.slotSquare);
    std::memcpy(b.squareSlot, g.squareSlot, sizeof b.squareSlot);
    std::memcpy(b.slotType, g.slotType, sizeof b.slotType);
    std::memcpy(b.castle, g.castle, sizeof b.castle);
    std::memcpy(b.slotValue, g.slotValue, sizeof b.slotValue);
    b.slotType[32] = NO_PIECE;
    b.slotValue[32] = 0;
}

void copyFromBoard(Game& g, const Board& b) {
    std::memcpy(g.slotSquare, b.slotSquare, sizeof g.slotSquare);
    std::memcpy(g.squareSlot, b.squareSlot, sizeof g.squareSlot);
    std::memcpy(g.slotType, b.slotType, sizeof g.slotType);
    std::memcpy(g.castle, b.castle, sizeof g.castle);
    std::memcpy(g.slotValue, b.slotValue, sizeof g.slotValue);
}

void computeKeys(int /*side*/, Board& b) {
    uint32_t key = 0, lock = 0, pkey = 0, plock = 0;
    for (int s = 0; s < 32; s++) {
        int sq = b.slotSquare[s];
        if (sq == SQ_NONE) continue;
        int colour = s >> 4;
        int type = b.slotType[s];
        uint32_t idx = zobristIndex(colour, type, sq);
        key ^= zobristKey[idx];
        lock ^= zobristLock[idx];
        if ((s & 15) >= 8 && type == (colour ? BLACK_PAWN : WHITE_PAWN)) {
            pkey ^= zobristKey[idx];
            plock ^= zobristLock[idx];
        }
    }
    int cw = 2 * (b.castle[CS_WHITE_KING] == 0) + (b.castle[CS_WHITE_QUEEN] == 0);
    int cb = 2 * (b.castle[CS_BLACK_KING] == 0) + (b.castle[CS_BLACK_QUEEN] == 0);
    key ^= zobristKey[448 + cw] ^ zobristKey[960 + cb];
    lock ^= zobristLock[448 + cw] ^ zobristLock[960 + cb];
    b.hashKey = key;
    b.hashLock = lock;
    b.pawnKey = pkey;
    b.pawnLock = plock;
}

// Counts and material of a board from its slots; the game level keeps them
// incrementally from here.
void recountBoard(Board& b) {
    b.pieceCount[0] = b.pieceCount[1] = 0;
    b.pawnCount[0] = b.pawnCount[1] = 0;
    b.nonPawnMaterial[0] = b.nonPawnMaterial[1] = 0;
    b.material = 0;
    for (int s = 0; s < 32; s++) {
        if (b.slotSquare[s] == SQ_NONE || (s & 15) == 0) continue;
        int c = s >> 4;
        int t = b.slotType[s];
        int v = b.slotValue[s];
        b.material += c ? -v : v;
        if (t >= WHITE_PAWN) b.pawnCount[c]++;
        else {
            b.pieceCount[c]++;
            b.nonPawnMaterial[c] += v;
        }
    }
}

static void resetHistory(Game& g) {
    g.ply = -1;
    if (g.historyCapacity != HISTORY_INITIAL) {
        g.history.assign(HISTORY_INITIAL, HistoryEntry{});
        g.historyCapacity = HISTORY_INITIAL;
    }
}

void newGame(Game& g) {
    static const int kHome[16] = {4, 3, 0, 7, 2, 5, 1, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static const int kType[8] = {KING, QUEEN, ROOK, ROOK, BISHOP, BISHOP, KNIGHT, KNIGHT};
    for (int sq = 0; sq < 64; sq++) g.squareSlot[sq] = SLOT_EMPTY;
    for (int s = 0; s < 16; s++) {
        int w = kHome[s];
        int b = s < 8 ? (w ^ 56) : w + 40;  // a7..h7 for the pawns
        int t = s < 8 ? kType[s] : WHITE_PAWN;
        g.slotSquare[s] = w;
        g.squareSlot[w] = s;
        g.slotType[s] = t;
        g.slotValue[s] = TYPE_VALUE[t];
        g.slotSquare[s + 16] = b;
        g.squareSlot[b] = s + 16;
        g.slotType[s + 16] = s < 8 ? t : BLACK_PAWN;
        g.slotValue[s + 16] = TYPE_VALUE[t];
    }
    g.slotType[32] = NO_PIECE;
    g.slotValue[32] = 0;
    for (int i = 0; i < 4; i++) g.castle[i] = 0;
    g.sideToMove = 0;
    g.epSquare = 0;
    g.fromStart = 1;
    g.result = 0;
    g.lastMove = 0;
    g.setupLastMove = 0;
    g.setupEpSquare = 0;
    g.setupFiftyCount = 0;
    std::memset(&g.board, 0, sizeof g.board);
    resetHistory(g);
    copyToBoard(g, g.board);
    recountBoard(g.board);
    computeKeys(0, g.board);
}

void listMoves(Game& g) {
    copyToBoard(g, g.board);
    makeAndGenerateBlack(g.legalMoves, 0, g.board);
}

void emptyBoard(Game& g) {
    for (int sq = 0; sq < 64; sq++) g.squareSlot[sq] = SLOT_EMPTY;
    for (int s = 0; s < 32; s++) {
        g.slotSquare[s] = SQ_NONE;
        g.slotType[s] = 0;
        g.slotValue[s] = 0;
    }
    g.slotType[32] = NO_PIECE;
    g.slotValue[32] = 0;
    g.setupLastMove = 0;
    g.setupEpSquare = 0;
}

static int putInSlot(Game& g, int slot, int type, int square) {
    g.slotSquare[slot] = square;
    g.squareSlot[square] = slot;
    g.slotType[slot] = type;
    g.slotValue[slot] = TYPE_VALUE[type];
    return slot;
}

static bool slotFree(const Game& g, int slot) { return g.slotSquare[slot] == SQ_NONE; }

static int freePawnSlot(const Game& g, int base) {
    for (int s = base + 15; s >= base + 8; s--)
        if (slotFree(g, s)) return s;
    return -1;
}

int placePiece(Game& g, int colour, int type, int square) {
    if (square < 0 || square > 63) return -1;
    if (type < 0 || type > 4) return -2;
    int base = colour ? 16 : 0;
    int slot = -1;
    switch (type) {
    case KING:
        if (!slotFree(g, base)) return -1;
        slot = base;
        break;
    case QUEEN:
        slot = slotFree(g, base + 1) ? base + 1 : freePawnSlot(g, base);
        break;
    case BISHOP: {
        bool dark = ((fileOf(square) + rankOf(square)) & 1) == 0;
        // White's slot 4 holds the dark-squared bishop, Black's slot 20 the light one.
        int first = base + ((colour == 0) == dark ? 4 : 5);
        int other = first == base + 4 ? base + 5 : base + 4;
        slot = slotFree(g, first) ? first : slotFree(g, other) ? other : freePawnSlot(g, base);
        break;
    }
    default: {  // rook, knight
        int pair = base + (type == ROOK ? 2 : 6);
        int first = fileOf(square) < 4 ? pair : pair + 1;
        int other = first == pair ? pair + 1 : pair;
        slot = slotFree(g, first) ? first : slotFree(g, other) ? other : freePawnSlot(g, base);
        break;
    }
    }
    if (slot < 0) return -1;
    return putInSlot(g, slot, type, square);
}

int placePawn(Game& g, int colour, int square) {
    if (square < 0 || square > 63) return -1;
    // A pawn on its first or last rank has no legal life; refusing it keeps
    // every pawn step on the board.
    if (rankOf(square) == 0 || rankOf(square) == 7) return -1;
    int base = colour ? 16 : 0;
    int f = fileOf(square);
    const int tries[5] = {f, f - 1, f + 1, f - 2, f + 2};
    for (int t : tries) {
        if (t < 0 || t > 7) continue;
        if (slotFree(g, base + 8 + t)) return putInSlot(g, base + 8 + t, colour ? BLACK_PAWN : WHITE_PAWN, square);
    }
    return -1;
}

static int placeFenPawn(Game& g, int colour, int square) {
    if (rankOf(square) == 0 || rankOf(square) == 7) return -1;
    int base = colour ? 16 : 0;
    int pref = base + 8 + fileOf(square);
    for (int k = 0; k < 15; k++) {
        int off = (k + 1) / 2 * ((k & 1) ? 1 : -1);  // 0, +1, -1, +2, -2 ...
        int s = pref + off;
        if (s < base + 8 || s > base + 15) continue;
        if (slotFree(g, s)) return putInSlot(g, s, colour ? BLACK_PAWN : WHITE_PAWN, square);
    }
    return -1;
}

void deriveCastling(Game& g) {
    for (int c = 0; c < 2; c++) {
        int base = c * 16;
        int kingHome = c ? 60 : 4;
        int ks = c ? CS_BLACK_KING : CS_WHITE_KING;
        int qs = c ? CS_BLACK_QUEEN : CS_WHITE_QUEEN;
        g.castle[ks] = g.castle[qs] = -1;
        if (g.slotSquare[base] == kingHome) {
            if (g.slotSquare[base + 3] == kingHome + 3 && g.slotType[base + 3] == ROOK) g.castle[ks] = 0;
            if (g.slotSquare[base + 2] == kingHome - 4 && g.slotType[base + 2] == ROOK) g.castle[qs] = 0;
        }
        if (g.castle[ks] == -1 && g.castle[qs] == -1 && g.slotSquare[base] != SQ_NONE)
            g.castle[fileOf(g.slotSquare[base]) >= 4 ? ks : qs] = 1;
    }
}

int finishSetup(Game& g, int side, int fiftyCount) {
    for (int sq = 0; sq < 64; sq++) g.squareSlot[sq] = SLOT_EMPTY;
    for (int s = 0; s < 32; s++)
        if (g.slotSquare[s] != SQ_NONE) g.squareSlot[g.slotSquare[s]] = s;
    g.slotType[32] = NO_PIECE;
    g.slotValue[32] = 0;
    g.sideToMove = side;
    g.result = 0;
    resetHistory(g);
    g.fromStart = 0;
    g.epSquare = g.setupEpSquare;
    g.lastMove = 0;
    std::memset(&g.board, 0, sizeof g.board);
    copyToBoard(g, g.board);
    recountBoard(g.board);
    computeKeys(side, g.board);
    g.board.lastMove = g.setupLastMove;
    g.setupFiftyCount = fiftyCount < 0 ? 0 : fiftyCount;
    g.board.fiftyCount = g.setupFiftyCount;
    uint32_t r = makeAndGenerate(side ^ 1, g.legalMoves, 0, g.board);
    if (r & MOVE_ILLEGAL) {
        g.result = 1;
        return SETUP_IN_CHECK;
    }
    if (r == MG_MATE) g.result = 2;
    else if (r == MG_STALEMATE) g.result = 3;
    return 0;
}

GameSnapshot* saveGame(const Game& g) { return new GameSnapshot{g}; }
void restoreGame(Game& g, GameSnapshot* s) {
    g = s->saved;
    delete s;
}
void dropSnapshot(GameSnapshot* s) { delete s; }

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The half-move field: a plain count of digits. EPD-like texts have
// operations or nothing here, and a malformed field counts as 0, as a
// position without counters always did.
static int readHalfMoveField(const char* text) {
    int n = 0;
    size_t p = 0;
    for (; std::isdigit((unsigned char)text[p]); p++) {
        n = n * 10 + (text[p] - '0');
        if (n > FEN_FIFTY_MAX) return 0;
    }
    if (p == 0 || (text[p] != 0 && !std::isspace((unsigned char)text[p]))) return 0;
    return n;
}

static int readFen(Game& g, const char* text) {
    emptyBoard(g);
    int fifty = 0;
    bool pawnMap[2][64] = {};
    size_t p = 0;
    while (isBlank(text[p])) p++;
    int file = 0, rank = 7;
    while (text[p] != 0 && rank >= 0 && !std::isspace((unsigned char)text[p])) {
        unsigned char c = (unsigned char)text[p];
        if (std::isdigit(c)) {
            file += c - '0';
        } else if (std::isalpha(c)) {
            int sq = file + 8 * rank;
            int colour = std::islower(c) ? 1 : 0;
            int type = -1;
            switch (std::toupper(c)) {
            case 'K': type = KING; break;
            case 'Q': type = QUEEN; break;
            case 'R': type = ROOK; break;
            case 'B': type = BISHOP; break;
            case 'N': type = KNIGHT; break;
            case 'P': pawnMap[colour][sq] = true; break;
            default: break;
            }
            if (type >= 0 && placePiece(g, colour, type, sq) < 0) return SETUP_NO_SLOT;
            file++;
        }
        if (file >= 8) {
            rank--;
            file = 0;
            p++;
            if (text[p] != 0) p++;  // the rank separator, or the blank after the last rank
        } else {
            p++;
        }
    }
    if (g.slotSquare[0] == SQ_NONE || g.slotSquare[16] == SQ_NONE) return SETUP_NO_KING;
    for (int sq = 0; sq < 64; sq++)
        if (pawnMap[0][sq] && placeFenPawn(g, 0, sq) < 0) return SETUP_NO_SLOT;
    for (int sq = 63; sq >= 0; sq--)
        if (pawnMap[1][sq] && placeFenPawn(g, 1, sq) < 0) return SETUP_NO_SLOT;

    while (isBlank(text[p])) p++;
    int side = std::toupper((unsigned char)text[p]) == 'W' ? 0 : 1;
    if (text[p] != 0) p++;
    while (isBlank(text[p])) p++;

    if (text[p] == 0) {
        // No castling field at all: rights follow from the placement.
        deriveCastling(g);
    } else {
        // The field is authoritative; a letter counts only while its king
        // and rook stand at home.
        for (int i = 0; i < 4; i++) g.castle[i] = -1;
        struct { char letter; int state, king, kingSq, rook, rookSq; } rights[4] = {
            {'K', CS_WHITE_KING, 0, 4, 3, 7}, {'Q', CS_WHITE_QUEEN, 0, 4, 2, 0},
            {'k', CS_BLACK_KING, 16, 60, 19, 63}, {'q', CS_BLACK_QUEEN, 16, 60, 18, 56}};
        for (auto& r : rights) {
            if (text[p] != r.letter) continue;
            p++;
            if (g.slotSquare[r.king] == r.kingSq && g.slotSquare[r.rook] == r.rookSq && g.slotType[r.rook] == ROOK)
                g.castle[r.state] = 0;
        }
        if (text[p] == '-') p++;
        for (int c = 0; c < 2; c++) {
            int ks = c ? CS_BLACK_KING : CS_WHITE_KING, qs = c ? CS_BLACK_QUEEN : CS_WHITE_QUEEN;
            if (g.castle[ks] == -1 && g.castle[qs] == -1)
                g.castle[fileOf(g.slotSquare[c * 16]) >= 4 ? ks : qs] = 1;
        }
        while (text[p] != 0 && !isBlank(text[p])) p++;
        while (isBlank(text[p])) p++;
        // En-passant field, honoured only when the position agrees with it.
        if (text[p] >= 'a' && text[p] <= 'h' && text[p + 1] >= '1' && text[p + 1] <= '8') {
            int ep = (text[p] - 'a') + 8 * (text[p + 1] - '1');
            int fwd = side == 0 ? -8 : 8;  // from the ep square toward the pawn that passed it
            int pawnSq = ep + fwd, fromSq = ep - fwd;
            int wantRank = side == 0 ? 5 : 2;
            // Only a square on the right rank has both neighbours on the board.
            int pawnSlot = rankOf(ep) == wantRank ? g.squareSlot[pawnSq] : SLOT_EMPTY;
            if (pawnSlot != SLOT_EMPTY && (pawnSlot >> 4) == (side ^ 1) &&
                g.slotType[pawnSlot] == (side ? WHITE_PAWN : BLACK_PAWN) &&
                g.squareSlot[ep] == SLOT_EMPTY && g.squareSlot[fromSq] == SLOT_EMPTY) {
                g.setupLastMove = makeMoveWord(fromSq, pawnSq) | (uint32_t(SLOT_EMPTY) << 16);
                int ourPawn = side ? BLACK_PAWN : WHITE_PAWN;
                for (int d : {-1, 1}) {
                    int f = fileOf(pawnSq) + d;
                    if (f < 0 || f > 7) continue;
                    int s = g.squareSlot[pawnSq + d];
                    if (s != SLOT_EMPTY && (s >> 4) == side && g.slotType[s] == ourPawn) g.setupEpSquare = ep;
                }
            }
        }
        while (text[p] != 0 && !isBlank(text[p])) p++;
        while (isBlank(text[p])) p++;
        fifty = readHalfMoveField(text + p);
    }
    return finishSetup(g, side, fifty);
}

int setupFromFen(Game& g, const char* text) {
    if (text == nullptr) text = "";
    GameSnapshot* snap = saveGame(g);
    int code = readFen(g, text);
    if (code != 0) restoreGame(g, snap);
    else dropSnapshot(snap);
    return code;
}

void positionText(const Game& g, char* out) {
    static const char kLetters[] = "KQRBNPP";
    int n = 0;
    for (int rank = 7; rank >= 0; rank--) {
        int run = 0;
        for (int file = 0; file < 8; file++) {
            int s = g.squareSlot[rank * 8 + file];
            if (s == SLOT_EMPTY) {
                run++;
                continue;
            }
            if (run) out[n++] = char('0' + run);
            run = 0;
            int t = g.slotType[s];
            char c = t >= 0 && t < 7 ? kLetters[t] : '?';
            out[n++] = s >= 16 ? char(c + 32) : c;
        }
        if (run) out[n++] = char('0' + run);
        out[n++] = '/';
    }
    out[n++] = ' ';
    out[n++] = g.sideToMove ? 'b' : 'w';
    out[n++] = ' ';
    int before = n;
    if (g.castle[CS_WHITE_KING] == 0) out[n++] = 'K';
    if (g.castle[CS_WHITE_QUEEN] == 0) out[n++] = 'Q';
    if (g.castle[CS_BLACK_KING] == 0) out[n++] = 'k';
    if (g.castle[CS_BLACK_QUEEN] == 0) out[n++] = 'q';
    if (n == before) out[n++] = '-';
    out[n++] = ' ';
    if (g.epSquare) {
        out[n++] = char('a' + fileOf(g.epSquare));
        out[n++] = char('1' + rankOf(g.epSquare));
    } else {
        out[n++] = '-';
    }
    out[n] = 0;
}

void printBoard(const Game& g) {
    static const char kFrench[] = "rdtfcpp";
    char text[8 * 9 + 1];
    int n = 0;
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int s = g.squareSlot[rank * 8 + file];
            char c = '.';
            if (s != SLOT_EMPTY) {
                int t = g.slotType[s];
                c = t >= 0 && t < 7 ? kFrench[t] : '?';
                if (s >= 16) c = char(std::toupper((unsigned char)c));
            }
            text[n++] = c;
        }
        text[n++] = '\n';
    }
    text[n] = 0;
    std::fputs(text, stdout);
    std::fflush(stdout);
}
