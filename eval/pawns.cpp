// Pawn structure: doubled, isolated and backward pawns, duos, passed pawns
// with the rule of the square, and the pawn-attack masks; cached in the pawn
// hash. Also the knightCatch table that the passer terms read.
#include <algorithm>
#include <cstdlib>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "eval/terms.h"

using namespace evalview;

bool knightCatch[64][64];

static bool knightStep(int a, int b) {
    int d = std::abs(a - b);
    return (d == 6 || d == 10 || d == 15 || d == 17) && std::abs(fileOf(a) - fileOf(b)) < 3;
}

void buildKnightCatch() {
    for (int p = 0; p < 64; p++)
        for (int s = 0; s < 64; s++) {
            bool c = false;
            int r = rankOf(p);
            if (p < 8 || p == s) c = false;
            else if (r == 6) c = knightStep(p, s) || knightStep(p + 8, s) || s == p + 8;
            else if (r == 7) c = knightStep(p, s);
            else {
                int promotion = 56 + fileOf(p);
                int d = std::max(std::abs(fileOf(promotion) - fileOf(s)), std::abs(rankOf(promotion) - rankOf(s)));
                c = d / 2 < std::min(7 - r, 5);
            }
            knightCatch[p][s] = c;
        }
}

// Built with the other start-up tables; needs nothing but itself.
static const bool knightCatchReady = (buildKnightCatch(), true);

namespace {

// Per file and colour, what the structure terms look at. front/rear follow
// the usual "0 = none" reading, counted so that a larger front is further
// advanced and a larger rear further back, from the pawn's own side.
struct PawnFiles {
    int count[2][8] = {};
    int front[2][8] = {};
    int rear[2][8] = {};
    int frontSquare[2][8] = {};
    int pawns[2] = {};
    uint64_t attacks[2] = {};
};

void collectPawns(PawnFiles& pf) {
    for (int c = 0; c < 2; c++) {
        int type = c ? BLACK_PAWN : WHITE_PAWN;
        for (int slot = c * 16 + 8; slot < c * 16 + 16; slot++) {
            int s = squareOf(slot);
            if (s == SQ_NONE || workBoard.slotType[slot] != type) continue;
            int f = fileOf(s);
            int own = c ? 7 - rankOf(s) : rankOf(s);  // rank from its own side
            pf.pawns[c]++;
            if (pf.count[c][f] == 0 || own > pf.front[c][f]) {
                pf.front[c][f] = own;
                pf.frontSquare[c][f] = s;
            }
            if (pf.count[c][f] == 0 || 7 - own > pf.rear[c][f]) pf.rear[c][f] = 7 - own;
            pf.count[c][f]++;
            // A pawn on its last rank (only a set-up could make one) attacks nothing.
            if (own == 7) continue;
            int left = c ? s - 9 : s + 7, right = c ? s - 7 : s + 9;
            if (f > 0) pf.attacks[c] |= squareBit(left);
            if (f < 7) pf.attacks[c] |= squareBit(right);
        }
    }
}

struct StructureCounts {
    int doubled = 0, isolated = 0, backward = 0;
};

StructureCounts structureOf(const PawnFiles& pf, int c) {
    StructureCounts n;
    int them = c ^ 1;
    int files = 0;
    for (int f = 0; f < 8; f++) {
        if (!pf.count[c][f]) continue;
        files++;
        bool left = f > 0 && pf.count[c][f - 1], right = f < 7 && pf.count[c][f + 1];
        if (!left && !right) {
            n.isolated += pf.count[c][f] >= 2 ? 2 : 1;
            continue;
        }
        int rear = pf.rear[c][f];
        int leftRear = f > 0 ? pf.rear[c][f - 1] : 0, rightRear = f < 7 ? pf.rear[c][f + 1] : 0;
        if (leftRear >= rear || rightRear >= rear) continue;
        // An enemy pawn right in front, or one attacking the stop square. The
        // enemy pawn must exist: an empty file's 0 would otherwise make a pawn
        // on the sixth or seventh rank backward.
        auto enemyFrontIs = [&](int file, int gap) {
            return file >= 0 && file < 8 && pf.count[them][file] && pf.front[them][file] + gap == rear;
        };
        if (enemyFrontIs(f, 1) || enemyFrontIs(f - 1, 2) || enemyFrontIs(f + 1, 2)) n.backward++;
    }
    n.doubled = pf.pawns[c] - files;
    return n;
}

}  // namespace

namespace {

struct PasserResult {
    int sum = 0;           // passer, duo and file terms, White's view
    int passer[2] = {NO_PASSER, NO_PASSER};
    int unstoppable[2] = {-1, -1};  // best own-side rank of a pawn the king cannot catch
};

void passedPawnsOf(const PawnFiles& pf, int c, int sideFlag, PasserResult& out, uint8_t (*passerFiles)[8]) {
    int them = c ^ 1;
    int sign = c ? -1 : 1;
    int enemyKing = c ? whiteKing() : blackKing();
    // The defender's extra tempo when it is to move.
    int tempo = c ? (sideFlag == 0) : sideFlag;
    int best = 1 << 30;
    for (int f = 0; f < 8; f++) {
        if (!pf.count[c][f]) continue;
        int r = pf.front[c][f];
        bool leftDuo = f > 0 && pf.count[c][f - 1] && std::abs(pf.front[c][f - 1] - r) <= 1;
        int duoRank = leftDuo ? std::max(r, pf.front[c][f - 1]) : 0;
        bool passed = r > pf.rear[them][f] && (f == 0 || r >= pf.rear[them][f - 1]) &&
                      (f == 7 || r >= pf.rear[them][f + 1]);
        if (!passed) {
            if (leftDuo) out.sum += sign * evalWeights.duoBonus[duoRank];
            continue;
        }
        int s = pf.frontSquare[c][f];
        if (passerFiles) passerFiles[c][f] = uint8_t(s);
        out.sum += sign * (evalWeights.passedBonus[r] * 13) / 10;
        // Outside the square: too far in rank or in file to reach the queening square.
        int steps = 7 - r;
        int kingRankFromPawnSide = c ? 7 - rankOf(enemyKing) : rankOf(enemyKing);
        if (kingRankFromPawnSide < r - tempo || std::abs(fileOf(enemyKing) - f) > steps + tempo)
            out.unstoppable[c] = std::max(out.unstoppable[c], r);
        if (leftDuo) out.sum += sign * (evalWeights.duoBonus[duoRank] * 11) / 5;
        out.sum -= sign * evalWeights.passerFilePenalty[f];
        // The most advanced passer, the outer one on equal ranks; one on its
        // last rank has no square ahead and is never chosen.
        int key = steps * 8 + std::min(f, 7 - f);
        if (steps > 0 && key < best) {
            best = key;
            out.passer[c] = s;
        }
    }
}

// Half the promotion's gain: pawn endings weigh the pawn score up by as much
// as two fifths, and the queen the passer becomes must still outscore it.
int unstoppableTerm(int r) {
    const EvalWeights& wt = evalWeights;
    return (wt.unstoppableBase - wt.unstoppableStep * (7 - r) - (wt.passedBonus[r] * 13) / 10) / 2;
}

}  // namespace

int evaluatePawns(int sideFlag, const NodeState& ns, int passer[2], uint64_t attacks[2], uint8_t (*passerFiles)[8]) {
    int wk = whiteKing(), bk = blackKing();
    const PawnHashEntry* hit =
        probePawnHash(sideFlag, ns.pawnKey, ns.pawnLock, wk, bk, ns.pieceCount[0], ns.pieceCount[1]);
    if (hit) {
        passer[0] = entryWhitePasser(*hit);
        passer[1] = entryBlackPasser(*hit);
        attacks[0] = hit->whiteAttacks;
        attacks[1] = hit->blackAttacks;
        return hit->score;
    }

    PawnFiles pf;
    collectPawns(pf);
    if (passerFiles)
        for (int c = 0; c < 2; c++)
            for (int f = 0; f < 8; f++) passerFiles[c][f] = 0;
    PasserResult pr;
    passedPawnsOf(pf, WHITE, sideFlag, pr, passerFiles);
    passedPawnsOf(pf, BLACK, sideFlag, pr, passerFiles);
    int score = pr.sum;
    if (pr.unstoppable[0] >= 0 && ns.pieceCount[1] == 0) score += unstoppableTerm(pr.unstoppable[0]);
    if (pr.unstoppable[1] >= 0 && ns.pieceCount[0] == 0) score -= unstoppableTerm(pr.unstoppable[1]);
    StructureCounts w = structureOf(pf, WHITE), b = structureOf(pf, BLACK);
    score += (b.doubled - w.doubled) * evalWeights.pawnDoubled + (b.backward - w.backward) * evalWeights.pawnBackward +
             (b.isolated - w.isolated) * evalWeights.pawnIsolated;

    passer[0] = pr.passer[0];
    passer[1] = pr.passer[1];
    attacks[0] = pf.attacks[0];
    attacks[1] = pf.attacks[1];
    storePawnHash(sideFlag, ns.pawnKey, ns.pawnLock, wk, bk, ns.pieceCount[0], ns.pieceCount[1], score, passer,
                  attacks);
    return score;
}
