// Positions without pawns: known draws, and otherwise the material with the
// weaker king driven to the edge or the right corner.
#include <algorithm>
#include "eval/boardview.h"
#include "eval/terms.h"

using namespace evalview;

static int edgeDistance(int k) {
    return std::min(std::min(rankOf(k), fileOf(k)), std::min(7 - rankOf(k), 7 - fileOf(k)));
}
static int darkCorner(int k) { return std::min(distance(k, sq("a1")), distance(k, sq("h8"))); }
static int lightCorner(int k) { return std::min(distance(k, sq("a8")), distance(k, sq("h1"))); }
static int anyCorner(int k) { return std::min(darkCorner(k), lightCorner(k)); }

// How far the stronger side (its pieces by type in `count`) still has to
// drive the defending king; the stronger side's light bishop decides the
// corner in the bishop and knight ending.
static int driveDistance(const int count[5], int defender, int kingDistanceBetween, bool lightBishop) {
    if (count[QUEEN] + count[ROOK] >= 2) return 2 * edgeDistance(defender);
    if (count[QUEEN] + count[ROOK] == 1) return kingDistanceBetween + 2 * edgeDistance(defender);
    if (count[BISHOP] >= 2) return kingDistanceBetween + 2 * anyCorner(defender);
    if (count[BISHOP] == 1 && count[KNIGHT] >= 1)
        return kingDistanceBetween + 2 * (lightBishop ? lightCorner(defender) : darkCorner(defender));
    return 0;
}

int evaluatePawnless(const NodeState& ns) {
    int count[2][5] = {};
    for (int slot = 1; slot < 32; slot++) {
        if (slot == 16 || !onBoard(slot)) continue;
        int type = workBoard.slotType[slot];
        if (type >= QUEEN && type <= KNIGHT) count[slot >> 4][type]++;
    }
    int n = 0, minors[2];
    for (int c = 0; c < 2; c++) {
        minors[c] = count[c][BISHOP] + count[c][KNIGHT];
        for (int t = QUEEN; t <= KNIGHT; t++) n += count[c][t];
    }
    if (n == 0) return 0;
    if (n == 1 && minors[0] + minors[1] == 1) return 0;
    if (n == 2 && (count[0][KNIGHT] == 2 || count[1][KNIGHT] == 2 || (minors[0] == 1 && minors[1] == 1))) return 0;

    int m = ns.material;
    int dk = distance(whiteKing(), blackKing());
    if (m > 0) return m - driveDistance(count[0], blackKing(), dk, onBoard(5));
    if (m < 0) return m + driveDistance(count[1], whiteKing(), dk, onBoard(20));
    return 0;
}
