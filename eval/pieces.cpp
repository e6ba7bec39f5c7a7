// Piece placement: bishops and rooks lined up with the enemy king, rooks and
// queens on the last two ranks, knight and bishop outposts.
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/terms.h"

using namespace evalview;

// A bishop or rook aimed at the king with at most one man in between
// threatens a pin or a discovered attack.
static bool linedUp(int slot, int kind, int king) {
    int from = squareOf(slot);
    if (from == SQ_NONE) return false;
    int e = directionTable[from][king];
    if (lineKind[std::abs(e)] != kind) return false;
    int between = 0;
    for (int s = from + e; s != king; s += e)
        if (!isEmpty(s) && ++between > 1) return false;
    return true;
}

int lineUps() {
    static const int SLOTS[4] = {5, 4, 3, 2};
    static const int KINDS[4] = {2, 2, 1, 1};  // lineKind: 1 file or rank, 2 diagonal
    int score = 0;
    for (int i = 0; i < 4; i++) {
        if (linedUp(SLOTS[i], KINDS[i], blackKing())) score += evalWeights.lineUp;
        if (linedUp(SLOTS[i] + 16, KINDS[i], whiteKing())) score -= evalWeights.lineUp;
    }
    return score;
}

int rooksQueensOnAdvancedRanks() {
    static const int SLOTS[3] = {2, 3, 1};
    int score = 0;
    for (int slot : SLOTS) {
        int w = squareOf(slot), b = squareOf(slot + 16);
        if (w != SQ_NONE && rankOf(w) >= 6) score += evalWeights.heavyOnAdvancedRank * (rankOf(w) - 5);
        if (b != SQ_NONE && rankOf(b) <= 1) score -= evalWeights.heavyOnAdvancedRank * (2 - rankOf(b));
    }
    return score;
}

// Squares on files c to f of the fifth/sixth rank (fourth/third for Black)
// that a pawn defends and no enemy pawn can challenge.
int outpostWhite(int s) {
    if (s == SQ_NONE || fileOf(s) < 2 || fileOf(s) > 5) return 0;
    int r = rankOf(s);
    if ((r != 5 && r != 4) || !(whitePawnOn(s - 7) || whitePawnOn(s - 9))) return 0;
    if (blackPawnOn(s + 7) || blackPawnOn(s + 9)) return 0;
    if (r == 5) return evalWeights.outpostSixth;
    return blackPawnOn(s + 15) || blackPawnOn(s + 17) ? 0 : evalWeights.outpostFifth;
}

int outpostBlack(int s) {
    if (s == SQ_NONE || fileOf(s) < 2 || fileOf(s) > 5) return 0;
    int r = rankOf(s);
    if ((r != 2 && r != 3) || !(blackPawnOn(s + 7) || blackPawnOn(s + 9))) return 0;
    if (whitePawnOn(s - 7) || whitePawnOn(s - 9)) return 0;
    if (r == 2) return evalWeights.outpostSixth;
    return whitePawnOn(s - 15) || whitePawnOn(s - 17) ? 0 : evalWeights.outpostFifth;
}

int outposts() {
    static const int SLOTS[4] = {7, 6, 5, 4};
    int score = 0;
    for (int slot : SLOTS) score += outpostWhite(squareOf(slot)) - outpostBlack(squareOf(slot + 16));
    return score;
}
