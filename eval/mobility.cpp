// Piece mobility over the ray tables, with a count of the squares each side
// reaches next to the enemy king.
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/terms.h"

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
};

// Walks one piece; rays go on through empty squares and through the squares
// in passThrough. Returns the squares reached.
uint64_t walkPiece(SideWalk& w, int type, int from, uint64_t passThrough, uint64_t excluded, bool heavy) {
    const RayEntry* ray = rayTable[w.colour][type][from];
    uint64_t reached = 0;
    int count = 0, nearKing = 0;
    for (int i = 0; ray[i].target != 64;) {
        int t = ray[i].target;
        uint64_t bit = squareBit(t);
        reached |= bit;
        count += (excluded & bit) == 0;
        nearKing += (w.kingZone & bit) != 0;
        i += (isEmpty(t) || (passThrough & bit)) ? 1 : ray[i].skip;
    }
    w.mobility += MOBILITY_TABLE[type][count];
    // Queens join an attack only once a lighter piece has started it.
    if (nearKing && (!heavy || w.attackers)) {
        w.attackSum += evalWeights.kingAttackWeight[type] * nearKing;
        w.attackers++;
    }
    return reached;
}

// The enemy king's square and the squares next to it.
uint64_t kingZone(int king) {
    uint64_t zone = squareBit(king);
    for (int i = 0; rayTable[0][KING][king][i].target != 64; i++) zone |= squareBit(rayTable[0][KING][king][i].target);
    return zone;
}

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
