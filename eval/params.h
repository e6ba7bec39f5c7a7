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
    int pawnScaleBase = 38;

    // Opening knowledge.
    int castledKingSide = 124, castledQueenSide = -14;
    int lostKingSide = -66, lostQueenSide = -1;
    int undeveloped = 8;
    int queenFromKings = 4;
    int trappedBishop = 427, stuckKnight = 104, shutInRook = 168;
    int rookOpenFile = 100, rookHalfOpenFile = 78;
    int bishopNearKing = 16, knightNearKing = 2;
    int bishopPair = 166, bishopPairPawn = 2;
    int knightPawnLoss = 20;
    int loneMinor = 347, loneQueen = -32;

    // King safety.
    int shelterOwnPawn = 12, shelterEnemyPawn = -23;
    int kingCentreFile = 73, kingSideFile = 20, kingFullyOpenFile = 32, kingHeavyOnFile = 52;
    int matingPattern = 158;

    // Pawn structure, by rank from the pawn's own side (or by file).
    int passedBonus[8] = {0, 67, 87, 109, 187, 252, 328, 0};
    int duoBonus[8] = {0, 5, 48, 60, 79, 144, 178, 0};
    int passerFilePenalty[8] = {-16, 43, 14, 104, 8, -26, -45, 48};  // central passers are easier to stop
    int pawnDoubled = 52, pawnBackward = 32, pawnIsolated = 29;
    int unstoppableBase = 5056, unstoppableStep = 122;

    // Passed pawns and kings.
    int passerKingDistance = 8, passerFreeSquare = 76;
    int kingPawnDistance = 50;
    int bishopAgainstPasser = 0, bishopWithPasser = -40;
    int kingsOpposedMajorities = -64;
    int rookBehindPasser = 22;
    int rookCuttingOff = 110;
    int knightCatchingPasser = -2;
    int tradeDown = 80;
    int connectedPassersAgainstRook = 2376;

    // Piece placement and mobility, by reachable square count.
    int lineUp = 53;
    int heavyOnAdvancedRank = 24;
    int outpostSixth = 96, outpostFifth = 49;
    int mobilityKnight[9] = {-110, -69, -4, 4, 43, 45, 54, 60, 81};
    int mobilityBishop[14] = {-96, -100, -64, -6, 6, 35, 55, 55, 55, 60, 65, 41, 91, 50};
    int mobilityRook[15] = {-92, -20, -30, -29, 3, 27, 38, 15, 40, 64, 73, 72, 81, 41, 14};
    int mobilityQueen[28] = {-78, -60, -40, -57, -28, 15,  31,  35,  46,  45,  56,  73,  97, 114,
                             123, 131, 152, 152, 157, 127, 165, 140, 124, 156, 126, 162, 66, 68};
    // By piece type (king, queen, rook, bishop, knight), per square next to the king.
    int kingAttackWeight[5] = {0, 10, 3, 4, 5};
    int kingAttackScale = 31;  // in fifths
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
