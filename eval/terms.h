// Positional terms gathered by evaluate(); each returns White's-view units.
#pragma once
#include <cstdint>
#include "search/nodestate.h"

// Accumulators shared by the terms that feed more than one part of the sum.
struct EvalSums {
    int material = 0;
    int positional = 0;
    int kingSafety = 0;
    int distance = 0;
    int pawn = 0;
    int mobility = 0;
    int passer[2] = {0, 0};              // chosen passed-pawn square per side, 0 = none
    uint64_t pawnAttacks[2] = {0, 0};    // squares attacked by White's / Black's pawns
};

int castlingAndDevelopment(const NodeState& ns);
int patternList(const NodeState& ns);
int rooksOnOpenFiles(const NodeState& ns);
int minorsNearKing(const NodeState& ns);
int kingSafety(const NodeState& ns);
int bishopPair(const NodeState& ns);
int lineUps(const NodeState& ns);
int rooksQueensOnAdvancedRanks(const NodeState& ns);
// Pawn structure (cached in the pawn hash): fills the passers and attack masks.
int evaluatePawns(int sideFlag, const NodeState& ns, int passer[2], uint64_t attacks[2]);
void passedPawnsAgainstKings(int sideFlag, const NodeState& ns, EvalSums& sums);
int kingPawnDistance(const NodeState& ns);
int evaluatePawnless(const NodeState& ns);
int outposts(const NodeState& ns, const uint64_t attacks[2]);
void stageThreeRules(int sideFlag, const NodeState& ns, EvalSums& sums);
// Mobility sum; the king-attack term goes into sums.distance.
int evaluateMobility(const NodeState& ns, const uint64_t attacks[2], EvalSums& sums);
