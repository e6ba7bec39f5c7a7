// Terms on the chosen passed pawns and the kings, and the endgame rules of
// stage 3. A side without a passer (square 0) gets none of the passer terms.
#include <algorithm>
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/terms.h"

using namespace evalview;

// Bits of a pawnFiles mask (bit f: a pawn on file f): the two outer files of each wing.
constexpr unsigned PAWN_FILES_AB = 0x03;
constexpr unsigned PAWN_FILES_GH = 0xC0;

static bool hasPasser(const int passer[2], int c) { return passer[c] != NO_PASSER; }
// A passer's rank from its own side, and the square in front of it.
static int ownRank(int s, int c) { return c ? 7 - rankOf(s) : rankOf(s); }
static int frontOf(int s, int c) { return c ? s - 8 : s + 8; }

int passedPawnsAgainstKings(const int passer[2]) {
    int score = 0;
    int wk = whiteKing(), bk = blackKing();
    for (int c = 0; c < 2; c++) {
        if (!hasPasser(passer, c)) continue;
        int r = ownRank(passer[c], c);
        if (r < 3 || r == 7) continue;
        int q = frontOf(passer[c], c);
        int own = c ? bk : wk, enemy = c ? wk : bk;
        int v =
            (2 * std::min(distance(enemy, q), 5) - std::min(distance(own, q), 5)) * r * evalWeights.passerKingDistance;
        if (isEmpty(q)) v += evalWeights.passerFreeSquare;
        score += c ? -v : v;
    }
    return score;
}

int kingPawnDistance() {
    int score = 0;
    for (int c = 0; c < 2; c++) {
        int king = squareOf(c * 16), type = c ? BLACK_PAWN : WHITE_PAWN;
        int nearest = 8;
        for (int slot = c * 16 + 8; slot < c * 16 + 16; slot++)
            if (onBoard(slot) && workBoard.slotType[slot] == type)
                nearest = std::min(nearest, distance(king, squareOf(slot)));
        if (nearest < 8) score += (c ? 1 : -1) * evalWeights.kingPawnDistance * nearest;
    }
    return score;
}

// The bishop that can guard the queening square helps its side.
int bishopsAndPromotionSquare(const int passer[2]) {
    int score = 0;
    if (hasPasser(passer, WHITE)) {
        bool lightQueening = fileOf(passer[0]) % 2 == 0;  // a8, c8, e8, g8
        if (onBoard(lightQueening ? 20 : 21)) score -= evalWeights.bishopAgainstPasser;
        if (onBoard(lightQueening ? 5 : 4)) score += evalWeights.bishopWithPasser;
    }
    if (hasPasser(passer, BLACK)) {
        bool darkQueening = fileOf(passer[1]) % 2 == 0;  // a1, c1, e1, g1
        if (onBoard(darkQueening ? 4 : 5)) score += evalWeights.bishopAgainstPasser;
        if (onBoard(darkQueening ? 21 : 20)) score -= evalWeights.bishopWithPasser;
    }
    return score;
}

// Pawns on both wings with one piece each: the side behind in material
// wants its king near the other.
int opposedMajorities(const NodeState& ns) {
    if (ns.pieceCount[0] != 1 || ns.pieceCount[1] != 1 || ns.material == 0) return 0;
    for (int c = 0; c < 2; c++)
        if (!(ns.pawnFiles[c] & PAWN_FILES_AB) || !(ns.pawnFiles[c] & PAWN_FILES_GH)) return 0;
    int v = evalWeights.kingsOpposedMajorities * (7 - distance(whiteKing(), blackKing()));
    return ns.material < 0 ? v : -v;
}

// A rook of the slots base+2, base+3 on the passer's file behind it.
static bool rookBehind(int base, int s, int c) {
    for (int slot = base + 2; slot <= base + 3; slot++) {
        int r = squareOf(slot);
        if (r == SQ_NONE || fileOf(r) != fileOf(s)) continue;
        if (c ? rankOf(r) > rankOf(s) : rankOf(r) < rankOf(s)) return true;
    }
    return false;
}

int rooksBehindPassers(const int passer[2]) {
    int score = 0;
    if (hasPasser(passer, WHITE)) {
        int r = ownRank(passer[0], WHITE);
        if (r >= 4) {
            if (rookBehind(0, passer[0], WHITE)) score += evalWeights.rookBehindPasser * r;
            if (rookBehind(16, passer[0], WHITE)) score -= evalWeights.rookBehindPasser * r;
        }
    }
    if (hasPasser(passer, BLACK)) {
        int r = ownRank(passer[1], BLACK);
        if (r >= 4) {
            if (rookBehind(0, passer[1], BLACK)) score += evalWeights.rookBehindPasser * r;
            if (rookBehind(16, passer[1], BLACK)) score -= evalWeights.rookBehindPasser * r;
        }
    }
    return score;
}

int rooksCuttingOffKing(const NodeState& ns, const int passer[2]) {
    int score = 0;
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        if (!hasPasser(passer, c) || ownRank(passer[c], c) < 3) continue;
        if (ns.pieceCount[them] > 2 || ns.nonPawnMaterial[them] >= 4681) continue;
        int pf = fileOf(passer[c]), kf = fileOf(squareOf(them * 16));
        int lo = std::min(pf, kf), hi = std::max(pf, kf);
        for (int slot = c * 16 + 2; slot <= c * 16 + 3; slot++) {
            if (!onBoard(slot)) continue;
            int rf = fileOf(squareOf(slot));
            if (rf > lo && rf < hi) score += c ? -evalWeights.rookCuttingOff : evalWeights.rookCuttingOff;
        }
    }
    return score;
}

int knightsCatchingPassers(const int passer[2]) {
    int score = 0;
    if (hasPasser(passer, WHITE)) {
        int p = passer[0];
        bool caught = false;
        for (int slot = 22; slot <= 23; slot++) caught |= onBoard(slot) && knightCatch[p][squareOf(slot)];
        if (caught) score -= evalWeights.knightCatchingPasser * rankOf(p);
    }
    if (hasPasser(passer, BLACK)) {
        int p = passer[1];
        bool caught = false;
        for (int slot = 6; slot <= 7; slot++) caught |= onBoard(slot) && knightCatch[p ^ 56][squareOf(slot) ^ 56];
        if (caught) score += evalWeights.knightCatchingPasser * (7 - rankOf(p));
    }
    return score;
}

// Ahead in pawns with pieces traded since the root: keep trading.
int tradeDown(const NodeState& ns, int pawnScore) {
    if (ns.material >= 0 && pawnScore > 0 && ns.pawnCount[0] > ns.pawnCount[1] && ns.pieceCount[1] < rootPieceCount[1])
        return evalWeights.tradeDown;
    if (ns.material <= 0 && pawnScore < 0 && ns.pawnCount[0] < ns.pawnCount[1] && ns.pieceCount[0] < rootPieceCount[0])
        return -evalWeights.tradeDown;
    return 0;
}

// Two connected passers far advanced beat a lone rook.
int connectedPassersAgainstRook(const NodeState& ns, const int passer[2]) {
    int score = 0;
    for (int c = 0; c < 2; c++) {
        int them = c ^ 1;
        if (!hasPasser(passer, c)) continue;
        int p = passer[c];
        int r = ownRank(p, c), f = fileOf(p);
        if (r < 5 || r == 7 || ns.nonPawnMaterial[them] != VALUE_ROOK || ns.pawnCount[c] < 2) continue;
        if (!isEmpty(frontOf(p, c)) || distance(p, squareOf(them * 16)) <= 3) continue;
        auto ownPawn = [&](int s) { return c ? blackPawnOn(s) : whitePawnOn(s); };
        int back = c ? 8 : -8;
        bool connected = false;
        for (int side = -1; side <= 1; side += 2) {
            if (f + side < 0 || f + side > 7) continue;
            int beside = p + side;
            if (ownPawn(beside) || (ownPawn(beside + back) && isEmpty(beside))) connected = true;
        }
        if (connected) score += c ? -evalWeights.connectedPassersAgainstRook : evalWeights.connectedPassersAgainstRook;
    }
    return score;
}

int stageThreeRules(const NodeState& ns, int pawnScore, const int passer[2]) {
    return bishopsAndPromotionSquare(passer) + opposedMajorities(ns) + rooksBehindPassers(passer) +
           rooksCuttingOffKing(ns, passer) + knightsCatchingPassers(passer) + tradeDown(ns, pawnScore) +
           connectedPassersAgainstRook(ns, passer);
}
