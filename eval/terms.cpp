#include "eval/terms.h"
#include "board/types.h"

// Placeholders until the individual terms are written: each contributes nothing,
// so the score is material plus piece-square sum.

int castlingAndDevelopment(const NodeState&) { return 0; }
int patternList(const NodeState&) { return 0; }
int rooksOnOpenFiles(const NodeState&) { return 0; }
int minorsNearKing(const NodeState&) { return 0; }
int kingSafety(const NodeState&) { return 0; }

// Both bishops still in their own slots are worth more the fewer pawns block them.
int bishopPair(const NodeState& ns) {
    int pawns = ns.pawnCount[0] + ns.pawnCount[1];
    auto hasPair = [](int base) {
        for (int s = base + 4; s <= base + 5; s++)
            if (workBoard.slotSquare[s] == SQ_NONE || workBoard.slotType[s] != BISHOP) return false;
        return true;
    };
    int score = 0;
    if (hasPair(0)) score += (83 - pawns) * 2;
    if (hasPair(16)) score -= (83 - pawns) * 2;
    return score;
}

int lineUps(const NodeState&) { return 0; }
int rooksQueensOnAdvancedRanks(const NodeState&) { return 0; }

int evaluatePawns(int, const NodeState&, int passer[2], uint64_t attacks[2]) {
    passer[0] = passer[1] = 0;
    attacks[0] = attacks[1] = 0;
    return 0;
}

void passedPawnsAgainstKings(int, const NodeState&, EvalSums&) {}
int kingPawnDistance(const NodeState&) { return 0; }
int evaluatePawnless(const NodeState& ns) { return ns.material; }
int outposts(const NodeState&, const uint64_t[2]) { return 0; }
void stageThreeRules(int, const NodeState&, EvalSums&) {}
int evaluateMobility(const NodeState&, const uint64_t[2], EvalSums&) { return 0; }
