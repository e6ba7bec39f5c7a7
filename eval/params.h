// The evaluation's weights and the one table that names them.
//
// Every weight of the terms lives in evalWeights (and the two piece-square
// tables in evaluate.cpp); the terms read them directly. Who writes them:
// static initialisation, and the tuner tool and tests through the table below,
// only while no search runs. Who reads them: every search thread, read-only
// while it searches. After a change, clear the pawn hash tables (they cache
// pawn scores) and prepare the root again (it blends the piece-square tables).
#pragma once
#include <string>

struct EvalWeights {
    // Final blend, in tenths: the piece-square sum and the positional sum.
    int pstScale = 11;
    int positionalScale = 14;
    // The pawn score grows as pieces leave: by (base - pieces in pawns) / 195.
    int pawnScaleBase = 78;

    // Opening knowledge.
    int castledKingSide = 100, castledQueenSide = 66;
    int lostKingSide = -50, lostQueenSide = -33;
    int undeveloped = 32;
    int queenFromKings = 12;
    int trappedBishop = 475, stuckKnight = 120, shutInRook = 120;
    int rookOpenFile = 60, rookHalfOpenFile = 30;
    int bishopNearKing = 8, knightNearKing = 10;
    int bishopPair = 166, bishopPairPawn = 2;
    int knightPawnLoss = 4;
    int loneMinor = 267, loneQueen = 48;

    // King safety.
    int shelterOwnPawn = 12, shelterEnemyPawn = 9;
    int kingCentreFile = 25, kingSideFile = 60, kingFullyOpenFile = 16, kingHeavyOnFile = 4;
    int matingPattern = 182;

    // Pawn structure, by rank from the pawn's own side (or by file).
    int passedBonus[8] = {0, 27, 39, 77, 107, 204, 408, 0};
    int duoBonus[8] = {0, 21, 24, 36, 87, 144, 258, 0};
    int passerFilePenalty[8] = {0, 27, 54, 80, 80, 54, 27, 0};  // central passers are easier to stop
    int pawnDoubled = 68, pawnBackward = 96, pawnIsolated = 53;
    int unstoppableBase = 5136, unstoppableStep = 42;

    // Passed pawns and kings.
    int passerKingDistance = 8, passerFreeSquare = 60;
    int kingPawnDistance = 50;
    int bishopAgainstPasser = 80, bishopWithPasser = 40;
    int kingsOpposedMajorities = 16;
    int rookBehindPasser = 6;
    int rookCuttingOff = 30;
    int knightCatchingPasser = 30;
    int tradeDown = 80;
    int connectedPassersAgainstRook = 2328;

    // Piece placement and mobility, by reachable square count.
    int lineUp = 45;
    int heavyOnAdvancedRank = 32;
    int outpostSixth = 96, outpostFifth = 25;
    int mobilityKnight[9] = {-62, -53, -12, -4, 3, 13, 22, 28, 33};
    int mobilityBishop[14] = {-48, -20, 16, 26, 38, 51, 55, 63, 63, 68, 81, 81, 91, 98};
    int mobilityRook[15] = {-60, -20, 2, 3, 3, 11, 22, 31, 40, 40, 41, 48, 57, 57, 62};
    int mobilityQueen[28] = {-30, -12, -8, -9, 20, 23, 23, 35,  38,  53,  64,  65,  65,  66,
                             67,  67,  72, 72, 77, 79, 93, 108, 108, 108, 110, 114, 114, 116};
    // By piece type (king, queen, rook, bishop, knight), per square next to the king.
    int kingAttackWeight[5] = {0, 2, 3, 4, 5};
    int kingAttackScale = 39;  // in fifths
};
extern EvalWeights evalWeights;

// One named entry: count ints from values on (an array is one entry).
struct EvalParam {
    const char* name;
    int* values;
    int count;
};
extern const EvalParam EVAL_PARAMS[];
extern const int EVAL_PARAM_COUNT;

// The entry of that name, or nullptr.
const EvalParam* findEvalParam(const std::string& name);

// The table as text, one entry a line: "name = v1 v2 ...".
std::string formatEvalParams();
// Sets the entries the text names (others keep their values); blank lines and
// lines from '#' on are ignored. Either every line is good and all are set,
// or nothing changes and error (when given) says which line is wrong.
bool parseEvalParams(const std::string& text, std::string* error = nullptr);
