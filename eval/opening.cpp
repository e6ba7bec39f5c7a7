// Opening and middlegame knowledge: castling, development, queen placement,
// the pattern list, rooks on files, minor pieces near their king, the bishop
// pair and the material adjustments.
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/terms.h"

using namespace evalview;

int castlingState(const NodeState& ns) {
    auto side = [](int kingSide, int queenSide) {
        const EvalWeights& wt = evalWeights;
        if (kingSide == 1) return wt.castledKingSide;
        if (queenSide == 1) return wt.castledQueenSide;
        return (kingSide == -1 ? wt.lostKingSide : 0) + (queenSide == -1 ? wt.lostQueenSide : 0);
    };
    return side(ns.castle[CS_WHITE_KING], ns.castle[CS_WHITE_QUEEN]) -
           side(ns.castle[CS_BLACK_KING], ns.castle[CS_BLACK_QUEEN]);
}

// Pieces still at home beside an unmoved rook hold up castling on that wing.
static int undevelopedWing(int rookSlot, int rookHome, int rookNext, int king, int kingA, int kingB,
                           int bishopSlot, int bishopHome, int knightSlot, int knightHome) {
    if (!slotOn(rookSlot, rookHome) && !slotOn(rookSlot, rookNext)) return 0;
    int n = (squareOf(king) == kingA || squareOf(king) == kingB) + slotOn(bishopSlot, bishopHome) +
            slotOn(knightSlot, knightHome);
    return evalWeights.undeveloped * n;
}

int development() {
    int white = undevelopedWing(3, sq("h1"), sq("g1"), 0, sq("f1"), sq("g1"), 5, sq("f1"), 7, sq("g1")) +
                undevelopedWing(2, sq("a1"), sq("b1"), 0, sq("b1"), sq("c1"), 4, sq("c1"), 6, sq("b1"));
    int black = undevelopedWing(19, sq("h8"), sq("g8"), 16, sq("f8"), sq("g8"), 21, sq("f8"), 23, sq("g8")) +
                undevelopedWing(18, sq("a8"), sq("b8"), 16, sq("b8"), sq("c8"), 20, sq("c8"), 22, sq("b8"));
    return black - white;
}

// A queen far from both kings neither attacks nor defends.
int queensNearKings() {
    int score = 0;
    int wk = whiteKing(), bk = blackKing();
    const int weight = evalWeights.queenFromKings;
    if (onBoard(1)) score -= weight * (distance(squareOf(1), wk) + distance(squareOf(1), bk) - 7);
    if (onBoard(17)) score += weight * (distance(squareOf(17), bk) + distance(squareOf(17), wk) - 7);
    return score;
}

namespace {

// One condition of a pattern: a given slot on a square, or a man of a colour
// and type on a square, optionally negated.
struct PatternAtom {
    bool used = false;
    int8_t slot = -1;
    int8_t colour = 0;
    int8_t type = 0;
    int8_t square = 0;
    bool negate = false;
};
// Holds when any of its atoms holds.
struct PatternClause {
    PatternAtom any[4];
};
// What a row is worth: one weight per kind of row.
enum PatternKind { PK_TRAPPED_BISHOP, PK_STUCK_KNIGHT, PK_SHUT_IN_ROOK };
// Adds sign times its kind's weight when all of its clauses hold.
struct PatternRow {
    int sign;
    PatternKind kind;
    PatternClause all[5];
};

constexpr PatternAtom inSlot(int slot, const char* s) { return {true, int8_t(slot), 0, 0, int8_t(sq(s)), false}; }
constexpr PatternAtom man(int colour, int type, const char* s) {
    return {true, -1, int8_t(colour), int8_t(type), int8_t(sq(s)), false};
}
constexpr PatternAtom wP(const char* s) { return man(WHITE, WHITE_PAWN, s); }
constexpr PatternAtom bP(const char* s) { return man(BLACK, BLACK_PAWN, s); }
constexpr PatternAtom wN(const char* s) { return man(WHITE, KNIGHT, s); }
constexpr PatternAtom bN(const char* s) { return man(BLACK, KNIGHT, s); }
constexpr PatternAtom wB(const char* s) { return man(WHITE, BISHOP, s); }
constexpr PatternAtom bB(const char* s) { return man(BLACK, BISHOP, s); }
constexpr PatternAtom wR(const char* s) { return man(WHITE, ROOK, s); }
constexpr PatternAtom bR(const char* s) { return man(BLACK, ROOK, s); }
constexpr PatternAtom no(PatternAtom a) { return a.negate = true, a; }

// Trapped bishops, knights stuck on the rim or behind blocked chains, rooks
// shut in by a knight. Slots 26/29 and 10/13 are the c- and f-pawns.
constexpr PatternRow PATTERN_ROWS[] = {
    {-1, PK_TRAPPED_BISHOP, {{inSlot(5, "h7")}, {bP("g6")}, {inSlot(29, "f7"), bB("f7"), inSlot(16, "f7"), bN("e7")}}},
    {-1, PK_TRAPPED_BISHOP, {{inSlot(4, "a7")}, {bP("b6")}, {inSlot(26, "c7"), bB("c7"), inSlot(16, "c7"), bN("d7")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(21, "h2")}, {wP("g3")}, {inSlot(13, "f2"), wB("f2"), inSlot(0, "f2"), wN("e2")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(20, "a2")}, {wP("b3")}, {inSlot(10, "c2"), wB("c2"), inSlot(0, "c2"), wN("d2")}}},
    {-1, PK_TRAPPED_BISHOP, {{inSlot(5, "b3")}, {wP("a2")}, {wP("c2")}, {bP("b5")}, {bP("c4")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(21, "b6")}, {bP("a7")}, {bP("c7")}, {wP("b4")}, {wP("c5")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("h7")}, {bP("g7")}, {bP("f6"), bP("h6")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("a7")}, {bP("b7")}, {bP("c6"), bP("a6")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("h2")}, {wP("g2")}, {wP("f3"), wP("h3")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("a2")}, {wP("b2")}, {wP("c3"), wP("a3")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("a4")}, {wP("c3")}, {wP("b2")}, {bP("b6"), bP("d6")}, {bP("a7"), bP("c7")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("a5")}, {bP("c6")}, {bP("b7")}, {wP("b3"), wP("d3")}, {wP("a2"), wP("c2")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("g7")}, {inSlot(29, "f7")}, {bP("g6")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("b7")}, {inSlot(26, "c7")}, {bP("b6")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("g2")}, {inSlot(13, "f2")}, {wP("g3")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("b2")}, {inSlot(10, "c2")}, {wP("b3")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("f7")}, {bP("g7")}, {bP("c7")}, {bP("f6")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("c7")}, {bP("b7")}, {bP("f7")}, {bP("c6")}, {no(wN("f7")), no(bP("g7")), no(bP("c7"))}}},
    {+1, PK_STUCK_KNIGHT, {{bN("f2")}, {wP("g2")}, {wP("c2")}, {wP("f3")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("c2")}, {wP("b2")}, {wP("f2")}, {wP("c3")}, {no(bN("f2")), no(wP("g2")), no(wP("c2"))}}},
    {-1, PK_STUCK_KNIGHT, {{wN("h6")}, {bP("g6")}, {bP("h5")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("a6")}, {bP("b6")}, {bP("a5")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("h3")}, {wP("g3")}, {wP("h4")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("a3")}, {wP("b3")}, {wP("a4")}}},
    {-1, PK_TRAPPED_BISHOP, {{inSlot(4, "g3")}, {wP("f2")}, {wP("h2")}, {bP("f4")}, {bP("g5")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(20, "g6")}, {bP("f7")}, {bP("h7")}, {wP("f5")}, {wP("g4")}}},
    {-1, PK_TRAPPED_BISHOP, {{inSlot(5, "h3")}, {wP("g2")}, {bP("g4")}, {bP("f5"), bP("h5")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(21, "h6")}, {bP("g7")}, {wP("g5")}, {wP("f4"), wP("h4")}}},
    {-1, PK_TRAPPED_BISHOP, {{inSlot(4, "h4")}, {wP("g3")}, {bP("g5")}, {bP("f6"), bP("h6")}}},
    {+1, PK_TRAPPED_BISHOP, {{inSlot(20, "h5")}, {bP("g6")}, {wP("g4")}, {wP("f3"), wP("h3")}}},
    {+1, PK_SHUT_IN_ROOK, {{bR("a7")}, {wN("b6")}, {bP("a6")}, {bP("b7")}}},
    {+1, PK_SHUT_IN_ROOK, {{bR("h7")}, {wN("g6")}, {bP("h6")}, {bP("g7")}}},
    {-1, PK_SHUT_IN_ROOK, {{wR("a2")}, {bN("b3")}, {wP("a3")}, {wP("b2")}}},
    {-1, PK_SHUT_IN_ROOK, {{wR("h2")}, {bN("g3")}, {wP("h3")}, {wP("g2")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("a8")}, {bP("a7")}}},
    {-1, PK_STUCK_KNIGHT, {{wN("h8")}, {bP("h7")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("a1")}, {wP("a2")}}},
    {+1, PK_STUCK_KNIGHT, {{bN("h1")}, {wP("h2")}}},
};

// Every row opens with a single man on a square, which seldom holds: those
// first men, packed apart from the rows, are tested before a row's walk
// (atomHolds' test written out: through it the pattern list cost half again).
constexpr int PATTERN_ROW_COUNT = sizeof PATTERN_ROWS / sizeof PATTERN_ROWS[0];
struct FirstMan {
    int8_t square = 0;
    int8_t slot = -1;  // the slot asked for, or -1 for any man of the colour and type
    int8_t colour = 0, type = 0;
};
struct FirstMen {
    FirstMan of[PATTERN_ROW_COUNT];
    bool single = true;
};
constexpr FirstMen firstMen() {
    FirstMen men;
    for (int r = 0; r < PATTERN_ROW_COUNT; r++) {
        const PatternAtom& a = PATTERN_ROWS[r].all[0].any[0];
        if (PATTERN_ROWS[r].all[0].any[1].used || a.negate) men.single = false;
        men.of[r].square = a.square;
        men.of[r].slot = a.slot;
        men.of[r].colour = a.colour;
        men.of[r].type = a.type;
    }
    return men;
}
constexpr FirstMen FIRST_MEN = firstMen();
static_assert(FIRST_MEN.single, "a pattern row must open with one man on a square");

bool atomHolds(const PatternAtom& a) {
    bool holds = a.slot >= 0 ? ((a.slot & 15) >= 8 ? pawnSlotOn(a.slot, a.square) : slotOn(a.slot, a.square))
                             : pieceOn(a.square, a.colour, a.type);
    return holds != a.negate;
}

bool rowHolds(const PatternRow& row) {
    for (const PatternClause& clause : row.all) {
        if (!clause.any[0].used) break;
        bool any = false;
        for (const PatternAtom& a : clause.any) {
            if (!a.used) break;
            if (atomHolds(a)) {
                any = true;
                break;
            }
        }
        if (!any) return false;
    }
    return true;
}

}  // namespace

int patternList() {
    const int weights[3] = {evalWeights.trappedBishop, evalWeights.stuckKnight, evalWeights.shutInRook};
    int score = 0;
    for (int r = 0; r < PATTERN_ROW_COUNT; r++) {
        const FirstMan& first = FIRST_MEN.of[r];
        const int slot = workBoard.squareSlot[first.square];
        if (slot == SLOT_EMPTY) continue;
        if (first.slot < 0 ? (slot >> 4) != first.colour || workBoard.slotType[slot] != first.type : slot != first.slot)
            continue;
        if (rowHolds(PATTERN_ROWS[r])) score += PATTERN_ROWS[r].sign * weights[PATTERN_ROWS[r].kind];
    }
    return score;
}

int rooksOnOpenFiles(const NodeState& ns) {
    auto rook = [&](int slot, int own, int other) {
        if (!onBoard(slot)) return 0;
        unsigned bit = 1u << (squareOf(slot) & 7);
        if (ns.pawnFiles[own] & bit) return 0;
        return (ns.pawnFiles[other] & bit) ? evalWeights.rookHalfOpenFile : evalWeights.rookOpenFile;
    };
    return rook(3, 0, 1) + rook(2, 0, 1) - rook(19, 1, 0) - rook(18, 1, 0);
}

// Minor pieces that stray far from their own king leave it bare.
int minorsNearKing() {
    int score = 0;
    int wk = whiteKing(), bk = blackKing();
    for (int s = 4; s <= 7; s++) {
        int weight = s < 6 ? evalWeights.bishopNearKing : evalWeights.knightNearKing;
        if (onBoard(s)) score -= weight * distance(squareOf(s), wk);
        if (onBoard(s + 16)) score += weight * distance(squareOf(s + 16), bk);
    }
    return score;
}

// Both bishops still in their own slots are worth more the fewer pawns block them.
int bishopPair(const NodeState& ns) {
    int pawns = ns.pawnCount[0] + ns.pawnCount[1];
    int score = 0;
    int pair = evalWeights.bishopPair - evalWeights.bishopPairPawn * pawns;
    if (onBoard(4) && onBoard(5)) score += pair;
    if (onBoard(20) && onBoard(21)) score -= pair;
    return score;
}

static bool knightInSlot(int s) { return onBoard(s) && workBoard.slotType[s] == KNIGHT; }

// Knights weaken as pawns go, a lone minor cannot win alone, a lone queen
// lacks support.
int materialAdjustment(const NodeState& ns) {
    int pawns = ns.pawnCount[0] + ns.pawnCount[1];
    int mw = ns.nonPawnMaterial[0], mb = ns.nonPawnMaterial[1];
    int whiteKnights = knightInSlot(6) + knightInSlot(7);
    int blackKnights = knightInSlot(22) + knightInSlot(23);
    const EvalWeights& wt = evalWeights;
    int adj = (blackKnights - whiteKnights) * (16 - pawns) * wt.knightPawnLoss;
    if (mw == VALUE_KNIGHT && mb != VALUE_KNIGHT) adj -= wt.loneMinor;
    if (mb == VALUE_KNIGHT && mw != VALUE_KNIGHT) adj += wt.loneMinor;
    if (mw == VALUE_QUEEN && ns.pieceCount[0] == 1) adj -= wt.loneQueen;
    if (mb == VALUE_QUEEN && ns.pieceCount[1] == 1) adj += wt.loneQueen;
    return adj;
}
