// Static evaluation: root set-up (material, stage, blended tables) and leaf score.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "board/nodestate.h"

extern int32_t pstWhite[7][64];  // types 0..5 (5 = white pawn)
extern int32_t pstBlack[7][64];  // types 0..4 and 6 (black pawn)
extern int rootPieceCount[2];
extern int32_t openingPst[6][64];  // rank 8 first, White's view; weights of eval/params.h
extern int32_t endgamePst[6][64];
extern const int PHASE_WEIGHT[8];

int prepareEvaluation(Board& root);
// The parts of prepareEvaluation, for a caller that prepares many roots and
// blends the shared tables once for all roots of one phase (the tuner).
// setUpRootBoard writes only root (counts, material, stage, pawn files) and
// returns its stage; rootPhase is 0 (no pieces) to 24; blendPieceSquareTables
// writes pstWhite and pstBlack; pieceSquareSum reads them.
int setUpRootBoard(Board& root);
int rootPhase(const Board& root);
void blendPieceSquareTables(int phase);
int pieceSquareSum(const Board& root);
void computeMaterial(Board& root);
int recomputeStage(const NodeState& ns);
// sideToMove 0 = White, 1 = Black; the result is from its view.
int evaluate(int sideToMove, const NodeState& ns);
// The root NodeState from a board the set-up has prepared: copies the
// fields and marks promoted queens.
void nodeStateFromBoard(const Board& b, NodeState& ns);
