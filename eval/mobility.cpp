// Piece mobility over the ray tables, with a count of the squares each side
// reaches next to the enemy king.
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/terms.h"
#include "platform/platform.h"

using namespace evalview;

// By piece type: king, queen, rook, bishop, knight.
static const int* const MOBILITY_TABLE[5] = {nullptr, evalWeights.mobilityQueen, evalWeights.mobilityRook,
                                             evalWeights.mobilityBishop, evalWeights.mobilityKnight};

namespace {

struct SideWalk {
    int colour;
    int mobility = 0;
    int attackers = 0;
    int attackSum = 0;
    uint64_t minors = 0;  // squares the knights and bishops reach
    uint64_t rooks = 0;   // squares the rooks reach
    uint64_t kingZone = 0;  // squares at distance below 2 from the enemy king
    uint64_t occupied = 0;  // every man of both sides
};

// Squares a piece reaches, from bitboards built at start-up: the ray walk
// over the board was a fifth of the search's time. Rays in the eight
// directions (rook ones first) run outwards from each square.
struct ReachTables {
    uint64_t ray[8][64] = {};
    uint64_t knight[64] = {}, king[64] = {};
    ReachTables() {
        static const int DF[8] = {1, -1, 0, 0, 1, -1, 1, -1}, DR[8] = {0, 0, 1, -1, 1, -1, -1, 1};
        static const int KF[8] = {1, 2, 2, 1, -1, -2, -2, -1}, KR[8] = {2, 1, -1, -2, -2, -1, 1, 2};
        auto inside = [](int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; };
        for (int sq = 0; sq < 64; sq++) {
            const int f = sq & 7, r = sq >> 3;
            for (int d = 0; d < 8; d++) {
                for (int k = 1; inside(f + k * DF[d], r + k * DR[d]); k++)
                    ray[d][sq] |= uint64_t(1) << (f + k * DF[d] + 8 * (r + k * DR[d]));
                if (inside(f + DF[d], r + DR[d])) king[sq] |= uint64_t(1) << (f + DF[d] + 8 * (r + DR[d]));
                if (inside(f + KF[d], r + KR[d])) knight[sq] |= uint64_t(1) << (f + KF[d] + 8 * (r + KR[d]));
            }
        }
    }
};
const ReachTables reach;

// Directions 0, 2, 4 and 7 step to higher squares: their nearest blocker is
// the lowest set bit; the others' the highest.
inline uint64_t slide(int from, int firstDirection, int lastDirection, uint64_t blockers) {
    uint64_t reached = 0;
    for (int d = firstDirection; d <= lastDirection; d++) {
        uint64_t r = reach.ray[d][from];
        if (uint64_t b = r & blockers) {
            const bool up = d == 0 || d == 2 || d == 4 || d == 7;
            r ^= reach.ray[d][up ? __builtin_ctzll(b) : 63 - __builtin_clzll(b)];
        }
        reached |= r;
    }
    return reached;
}

// The squares one piece reaches: sliders go on through empty squares and
// through the squares in passThrough.
uint64_t reachOf(int type, int from, uint64_t blockers) {
    switch (type) {
    case QUEEN: return slide(from, 0, 7, blockers);
    case ROOK: return slide(from, 0, 3, blockers);
    case BISHOP: return slide(from, 4, 7, blockers);
    case KNIGHT: return reach.knight[from];
    default: return reach.king[from];
    }
}

// Scores one piece's mobility and its share in the attack on the enemy king.
// Returns the squares reached.
PLATFORM_POPCOUNT_CLONES uint64_t walkPiece(SideWalk& w, int type, int from, uint64_t passThrough, uint64_t excluded,
                                            bool heavy) {
    const uint64_t reached = reachOf(type, from, w.occupied & ~passThrough);
    const int count = __builtin_popcountll(reached & ~excluded);
    const int nearKing = __builtin_popcountll(reached & w.kingZone);
    w.mobility += MOBILITY_TABLE[type][count];
    // Queens join an attack only once a lighter piece has started it.
    if (nearKing && (!heavy || w.attackers)) {
        w.attackSum += evalWeights.kingAttackWeight[type] * nearKing;
        w.attackers++;
    }
    return reached;
}

// The enemy king's square and the squares next to it.
uint64_t kingZone(int king) { return squareBit(king) | reach.king[king]; }

uint64_t slotSquares(int first, int last) {
    uint64_t m = 0;
    for (int slot = first; slot <= last; slot++)
        if (onBoard(slot)) m |= squareBit(squareOf(slot));
    return m;
}

void walkMinors(SideWalk& w, uint64_t enemyPawnAttacks) {
    int base = w.colour * 16;
    for (int slot = base + 6; slot <= base + 7; slot++)
        if (onBoard(slot)) w.minors |= walkPiece(w, KNIGHT, squareOf(slot), 0, enemyPawnAttacks, false);
}

void walkBishops(SideWalk& w, uint64_t enemyPawnAttacks) {
    int base = w.colour * 16;
    uint64_t queen = slotSquares(base + 1, base + 1);
    for (int slot = base + 4; slot <= base + 5; slot++)
        if (onBoard(slot)) w.minors |= walkPiece(w, BISHOP, squareOf(slot), queen, enemyPawnAttacks, false);
}

void walkRooks(SideWalk& w, uint64_t excluded) {
    int base = w.colour * 16;
    uint64_t heavies = slotSquares(base + 1, base + 3);
    for (int slot = base + 2; slot <= base + 3; slot++)
        if (onBoard(slot)) w.rooks |= walkPiece(w, ROOK, squareOf(slot), heavies, excluded, false);
}

// Promoted pieces first, then the queen of the queen slot. Returns whether the
// side has any of them, which keeps its attack at full weight.
bool walkQueens(SideWalk& w, uint64_t excluded, uint32_t promotedQueens) {
    int base = w.colour * 16;
    bool any = false;
    for (int slot = base + 8; slot <= base + 15; slot++) {
        if (!(promotedQueens & (1u << slot)) || !onBoard(slot)) continue;
        int type = workBoard.slotType[slot];
        if (type < QUEEN || type > KNIGHT) continue;
        walkPiece(w, type, squareOf(slot), 0, excluded, true);
        any = true;
    }
    if (onBoard(base + 1)) {
        walkPiece(w, QUEEN, squareOf(base + 1), 0, excluded, true);
        any = true;
    }
    return any;
}

}  // namespace

int evaluateMobility(uint64_t whitePawnAttacks, uint64_t blackPawnAttacks, int& distanceSum, const NodeState& ns) {
    SideWalk white, black;
    white.colour = WHITE;
    black.colour = BLACK;
    white.occupied = black.occupied = occupiedSquares();
    white.kingZone = kingZone(blackKing());
    black.kingZone = kingZone(whiteKing());
    if (distance(whiteKing(), blackKing()) == 2) {
        white.attackers = black.attackers = 1;
        white.attackSum = black.attackSum = 2;
    }
    walkMinors(white, blackPawnAttacks);
    walkMinors(black, whitePawnAttacks);
    walkBishops(white, blackPawnAttacks);
    walkBishops(black, whitePawnAttacks);
    walkRooks(white, blackPawnAttacks | black.minors);
    walkRooks(black, whitePawnAttacks | white.minors);
    bool whiteQueens = walkQueens(white, blackPawnAttacks | black.minors | black.rooks, ns.promotedQueens);
    bool blackQueens = walkQueens(black, whitePawnAttacks | white.minors | white.rooks, ns.promotedQueens);
    if (!whiteQueens) white.attackSum = white.attackSum * 2 / 3;
    if (!blackQueens) black.attackSum = black.attackSum * 2 / 3;
    int attack =
        ((white.attackers * white.attackSum - black.attackers * black.attackSum) * evalWeights.kingAttackScale) / 5;
    if (std::abs(attack) > 80) distanceSum += attack;
    return 3 * (white.mobility - black.mobility);
}
