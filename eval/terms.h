// Positional terms gathered by evaluate(). Each reads workBoard and the node
// record and returns its share in White's-view units.
#pragma once
#include <cstdint>
#include "board/nodestate.h"

// Passer squares are 0 when a side has none: no real passer stands on a1.
constexpr int NO_PASSER = 0;

// Accumulators of one evaluate() call.
struct EvalSums {
    int material = 0;
    int positional = 0;
    int kingSafety = 0;
    int distance = 0;
    int pawn = 0;
    int mobility = 0;
    int passer[2] = {NO_PASSER, NO_PASSER};  // chosen passed pawn per side
    uint64_t pawnAttacks[2] = {0, 0};        // squares attacked by White's / Black's pawns
};

// Opening and middlegame knowledge (opening.cpp).
int castlingState(const NodeState& ns);
int development();
int queensNearKings();
int patternList();
int rooksOnOpenFiles(const NodeState& ns);
int minorsNearKing();
int bishopPair(const NodeState& ns);
int materialAdjustment(const NodeState& ns);

// King safety (kingsafety.cpp).
int shelterWhite(int kingSquare, const NodeState& ns);
int shelterBlack(int kingSquare, const NodeState& ns);
int heavyOnFileWhite(int square, const NodeState& ns);
int heavyOnFileBlack(int square, const NodeState& ns);
int kingSafety(const NodeState& ns);

// Pawn structure, cached in the pawn hash (pawns.cpp). passerFiles, when
// given, receives per side and file the square of a passed pawn (0 = none);
// it is written only when the entry is computed, not on a hash hit.
extern bool knightCatch[64][64];
void buildKnightCatch();
int evaluatePawns(int sideFlag, const NodeState& ns, int passer[2], uint64_t attacks[2],
                  uint8_t (*passerFiles)[8] = nullptr);

// Passed pawns and kings after the pawn structure (passers.cpp).
int passedPawnsAgainstKings(const int passer[2]);
int kingPawnDistance();
int bishopsAndPromotionSquare(const int passer[2]);
int opposedMajorities(const NodeState& ns);
int rooksBehindPassers(const int passer[2]);
int rooksCuttingOffKing(const NodeState& ns, const int passer[2]);
int knightsCatchingPassers(const int passer[2]);
int tradeDown(const NodeState& ns, int pawnScore);
int connectedPassersAgainstRook(const NodeState& ns, const int passer[2]);
int stageThreeRules(const NodeState& ns, int pawnScore, const int passer[2]);

// Piece placement and mobility (pieces.cpp, mobility.cpp).
int lineUps();
int rooksQueensOnAdvancedRanks();
int outpostWhite(int square);
int outpostBlack(int square);
int outposts();
// Three times the mobility sum; adds the king-attack term to distance.
int evaluateMobility(uint64_t whitePawnAttacks, uint64_t blackPawnAttacks, int& distance, const NodeState& ns);

// Positions without pawns (pawnless.cpp).
int evaluatePawnless(const NodeState& ns);
