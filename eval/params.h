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
    int pawnScaleBase = 30;

    // Opening knowledge.
    int castledKingSide = 116, castledQueenSide = 18;
    int lostKingSide = -82, lostQueenSide = -33;
    int undeveloped = 0;
    int queenFromKings = -4;
    int trappedBishop = 427, stuckKnight = 72, shutInRook = 168;
    int rookOpenFile = 108, rookHalfOpenFile = 78;
    int bishopNearKing = 24, knightNearKing = -6;
    int bishopPair = 166, bishopPairPawn = 2;
    int knightPawnLoss = 20;
    int loneMinor = 315, loneQueen = 0;

    // King safety.
    int shelterOwnPawn = 12, shelterEnemyPawn = -23;
    int kingCentreFile = 57, kingSideFile = 12, kingFullyOpenFile = 48, kingHeavyOnFile = 20;
    int matingPattern = 134;

    // Pawn structure, by rank from the pawn's own side (or by file).
    int passedBonus[8] = {0, 75, 71, 125, 155, 236, 360, 0};
    int duoBonus[8] = {0, -27, 24, 36, 103, 112, 210, 0};
    int passerFilePenalty[8] = {-32, 75, 22, 80, 32, 6, -21, 32};  // central passers are easier to stop
    int pawnDoubled = 84, pawnBackward = 64, pawnIsolated = 37;
    int unstoppableBase = 5088, unstoppableStep = 90;

    // Passed pawns and kings.
    int passerKingDistance = 8, passerFreeSquare = 60;
    int kingPawnDistance = 34;
    int bishopAgainstPasser = 32, bishopWithPasser = -8;
    int kingsOpposedMajorities = -32;
    int rookBehindPasser = 22;
    int rookCuttingOff = 78;
    int knightCatchingPasser = -2;
    int tradeDown = 80;
    int connectedPassersAgainstRook = 2376;

    // Piece placement and mobility, by reachable square count.
    int lineUp = 61;
    int heavyOnAdvancedRank = 32;
    int outpostSixth = 64, outpostFifth = 73;
    int mobilityKnight[9] = {-110, -101, -28, 12, 35, 61, 54, 76, 65};
    int mobilityBishop[14] = {-96, -68, -32, -6, 6, 51, 71, 79, 63, 52, 49, 33, 59, 82};
    int mobilityRook[15] = {-92, 12, 2, -13, 3, 27, 22, 15, 24, 56, 73, 64, 73, 9, 14};
    int mobilityQueen[28] = {-78, -60, -8,  -41, 4,   23,  7,   35,  38, 37,  48, 49,  65, 82,
                             99,  115, 120, 120, 125, 127, 141, 108, 92, 124, 94, 162, 66, 68};
    // By piece type (king, queen, rook, bishop, knight), per square next to the king.
    int kingAttackWeight[5] = {0, 2, 3, 4, 5};
    int kingAttackScale = 23;  // in fifths
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
