#include "eval/evaluate.h"
#include <algorithm>
#include "eval/params.h"
#include "eval/terms.h"

int32_t pstWhite[7][64];
int32_t pstBlack[7][64];
int rootPieceCount[2];

const int PHASE_WEIGHT[8] = {0, 4, 2, 1, 1, 0, 0, 0};

// A queen plus a rook: above this a side still counts as having heavy material.
constexpr int HEAVY_LIMIT = 8423;
constexpr int PAWNLESS_TEMPO = 8;
// Fixed, so that no table can make it 0: the pawn scale's base is the weight.
constexpr int EVAL_PAWN_SCALE_DIVISOR = 195;

// clang-format off
int32_t openingPst[6][64] = {
    // king, rank 8 first
    {
        -65, 23, 16, -15, -56, -34, 2, 13,
        29, -1, -20, -7, -8, -4, -38, -29,
        -9, 24, 2, -16, -20, 6, 22, -22,
        -17, -20, -12, -27, -30, -25, -14, -36,
        -49, -1, -27, -39, -46, -44, -33, -51,
        -14, -14, -22, -46, -44, -30, -15, -27,
        1, 7, -8, -64, -43, -16, 9, 8,
        -15, 36, 12, -54, 8, -28, 24, 14,
    },
    // queen, rank 8 first
    {
        -28, 0, 29, 12, 59, 44, 43, 45,
        -24, -39, -5, 1, -16, 57, 28, 54,
        -13, -17, 7, 8, 29, 56, 47, 57,
        -27, -27, -16, -16, -1, 17, -2, 1,
        -9, -26, -9, -10, -2, -4, 3, -3,
        -14, 2, -11, -2, -5, 2, 14, 5,
        -35, -8, 11, 2, 8, 15, -3, 1,
        -1, -18, -9, 10, -15, -25, -31, -50,
    },
    // rook, rank 8 first
    {
        32, 42, 32, 51, 63, 9, 31, 43,
        27, 32, 58, 62, 80, 67, 26, 44,
        -5, 19, 26, 36, 17, 45, 61, 16,
        -24, -11, 7, 26, 24, 35, -8, -20,
        -36, -26, -12, -1, 9, -7, 6, -23,
        -45, -25, -16, -17, 3, 0, -5, -33,
        -44, -16, -20, -9, -1, 11, -6, -71,
        -19, -13, 1, 17, 16, 7, -37, -26,
    },
    // bishop, rank 8 first
    {
        -29, 4, -82, -37, -25, -42, 7, -8,
        -26, 16, -18, -13, 30, 59, 18, -47,
        -16, 37, 43, 40, 35, 50, 37, -2,
        -4, 5, 19, 50, 37, 37, 7, -2,
        -6, 13, 13, 26, 34, 12, 10, 4,
        0, 15, 15, 15, 14, 27, 18, 10,
        4, 15, 16, 0, 7, 21, 33, 1,
        -33, -3, -14, -21, -13, -12, -39, -21,
    },
    // knight, rank 8 first
    {
        -167, -89, -34, -49, 61, -97, -15, -107,
        -73, -41, 72, 36, 23, 62, 7, -17,
        -47, 60, 37, 65, 84, 129, 73, 44,
        -9, 17, 19, 53, 37, 69, 18, 22,
        -13, 4, 16, 13, 28, 19, 21, -8,
        -23, -9, 12, 10, 19, 17, 25, -16,
        -29, -53, -12, -3, -1, 18, -14, -19,
        -105, -21, -58, -33, -17, -28, -19, -23,
    },
    // pawn, rank 8 first
    {
        0, 0, 0, 0, 0, 0, 0, 0,
        98, 134, 61, 95, 68, 126, 34, -11,
        -6, 7, 26, 31, 65, 56, 25, -20,
        -14, 13, 6, 21, 23, 12, 17, -23,
        -27, -2, -5, 12, 17, 6, 10, -25,
        -26, -4, -4, -10, 3, 3, 33, -12,
        -35, -1, -20, -23, -15, 24, 38, -22,
        0, 0, 0, 0, 0, 0, 0, 0,
    },
};
int32_t endgamePst[6][64] = {
    // king, rank 8 first
    {
        -74, -35, -18, -18, -11, 15, 4, -17,
        -12, 17, 14, 17, 17, 38, 23, 11,
        10, 17, 23, 15, 20, 45, 44, 13,
        -8, 22, 24, 27, 26, 33, 26, 3,
        -18, -4, 21, 24, 27, 23, 9, -11,
        -19, -3, 11, 21, 23, 16, 7, -9,
        -27, -11, 4, 13, 14, 4, -5, -17,
        -53, -34, -21, -11, -28, -14, -24, -43,
    },
    // queen, rank 8 first
    {
        -9, 22, 22, 27, 27, 19, 10, 20,
        -17, 20, 32, 41, 58, 25, 30, 0,
        -20, 6, 9, 49, 47, 35, 19, 9,
        3, 22, 24, 45, 57, 40, 57, 36,
        -18, 28, 19, 47, 31, 34, 39, 23,
        -16, -27, 15, 6, 9, 17, 10, 5,
        -22, -23, -30, -16, -16, -23, -36, -32,
        -33, -28, -22, -43, -5, -32, -20, -41,
    },
    // rook, rank 8 first
    {
        13, 10, 18, 15, 12, 12, 8, 5,
        11, 13, 13, 11, -3, 3, 8, 3,
        7, 7, 7, 5, 4, -3, -5, -3,
        4, 3, 13, 1, 2, 1, -1, 2,
        3, 5, 8, 4, -5, -6, -8, -11,
        -4, 0, -5, -1, -7, -12, -8, -16,
        -6, -6, 0, 2, -9, -9, -11, -3,
        -9, 2, 3, -1, -5, -13, 4, -20,
    },
    // bishop, rank 8 first
    {
        -14, -21, -11, -8, -7, -9, -17, -24,
        -8, -4, 7, -12, -3, -13, -4, -14,
        2, -8, 0, -1, -2, 6, 0, 4,
        -3, 9, 12, 9, 14, 10, 3, 2,
        -6, 3, 13, 19, 7, 10, -3, -9,
        -12, -3, 8, 10, 13, 3, -7, -15,
        -14, -18, -7, -1, 4, -9, -15, -27,
        -23, -9, -23, -5, -9, -16, -5, -17,
    },
    // knight, rank 8 first
    {
        -58, -38, -13, -28, -31, -27, -63, -99,
        -25, -8, -25, -2, -9, -25, -24, -52,
        -24, -20, 10, 9, -1, -9, -19, -41,
        -17, 3, 22, 22, 22, 11, 8, -18,
        -18, -6, 16, 25, 16, 17, 4, -18,
        -23, -3, -1, 15, 10, -3, -20, -22,
        -42, -20, -10, -5, -2, -20, -23, -44,
        -29, -51, -23, -15, -22, -18, -50, -64,
    },
    // pawn, rank 8 first
    {
        0, 0, 0, 0, 0, 0, 0, 0,
        178, 173, 158, 134, 147, 132, 165, 187,
        94, 100, 85, 67, 56, 53, 82, 84,
        32, 24, 13, 5, -2, 4, 17, 17,
        13, 9, -3, -7, -7, -8, 3, -1,
        4, 7, -6, 1, 0, -5, -1, -8,
        13, 8, 8, 10, 13, 0, 2, -7,
        0, 0, 0, 0, 0, 0, 0, 0,
    },
};
// clang-format on

void computeMaterial(Board& b) {
    static const int32_t pieceOrder[8] = {KING, QUEEN, ROOK, ROOK, BISHOP, BISHOP, KNIGHT, KNIGHT};
    for (int i = 0; i < 8; i++) {
        b.slotType[i] = pieceOrder[i];
        b.slotType[16 + i] = pieceOrder[i];
    }
    b.material = 0;
    b.nonPawnMaterial[0] = b.nonPawnMaterial[1] = 0;
    b.lastMove = 0;
    for (int s = 0; s < 32; s++) {
        int t = b.slotType[s];
        b.slotValue[s] = (t >= 0 && t < 8) ? TYPE_VALUE[t] : 0;
    }
    for (int s = 0; s < 32; s++) {
        if (s == 0 || s == 16 || b.slotSquare[s] == SQ_NONE) continue;
        int side = s >= 16;
        b.material += side ? -b.slotValue[s] : b.slotValue[s];
        if (b.slotType[s] < 5) b.nonPawnMaterial[side] += b.slotValue[s];
    }
    b.slotValue[32] = 0;
    b.slotType[32] = NO_PIECE;
}

static int rootStage(const Board& b) {
    int pawns = b.pawnCount[0] + b.pawnCount[1];
    int pieces = b.pieceCount[0] + b.pieceCount[1];
    bool heavy = b.nonPawnMaterial[0] > HEAVY_LIMIT || b.nonPawnMaterial[1] > HEAVY_LIMIT;
    int noRights = b.castle[0] && b.castle[1] && b.castle[2] && b.castle[3];
    if (pawns >= 12 && pieces >= 10) return heavy ? noRights : 3;
    int stage = heavy ? 2 : 3;
    if (pieces == 0) stage = 4;
    if (pieces <= 4 && pawns == 0) stage = 5;
    return stage;
}

int setUpRootBoard(Board& b) {
    b.pieceCount[0] = b.pieceCount[1] = 0;
    b.pawnCount[0] = b.pawnCount[1] = 0;
    for (int s = 0; s < 32; s++) {
        if (b.slotSquare[s] == SQ_NONE) continue;
        int t = b.slotType[s];
        if (t == KING) continue;
        int side = s >= 16;
        if (t < 5) b.pieceCount[side]++;
        else if (t == WHITE_PAWN || t == BLACK_PAWN) b.pawnCount[side]++;
    }
    computeMaterial(b);
    b.stage = rootStage(b);

    b.pawnFiles[0] = b.pawnFiles[1] = 0;
    for (int s = 8; s < 16; s++)
        if (b.slotSquare[s] != SQ_NONE && b.slotType[s] == WHITE_PAWN) b.pawnFiles[0] |= 1u << (b.slotSquare[s] & 7);
    for (int s = 24; s < 32; s++)
        if (b.slotSquare[s] != SQ_NONE && b.slotType[s] == BLACK_PAWN) b.pawnFiles[1] |= 1u << (b.slotSquare[s] & 7);
    return b.stage;
}

int rootPhase(const Board& b) {
    int phase = 0;
    for (int s = 0; s < 32; s++)
        if (b.slotSquare[s] != SQ_NONE) phase += PHASE_WEIGHT[b.slotType[s] & 7];
    return std::min(phase, 24);
}

void blendPieceSquareTables(int phase) {
    for (int t = 0; t < 7; t++)
        for (int s = 0; s < 64; s++) pstWhite[t][s] = pstBlack[t][s] = 0;
    for (int t = 0; t < 6; t++) {
        int wt = t == 5 ? WHITE_PAWN : t;
        int bt = t == 5 ? BLACK_PAWN : t;
        for (int s = 0; s < 64; s++) {
            int iw = (7 - (s >> 3)) * 8 + (s & 7);
            pstWhite[wt][s] = ((openingPst[t][iw] * phase + endgamePst[t][iw] * (24 - phase)) * 3) / 24;
            pstBlack[bt][s] = ((openingPst[t][s] * phase + endgamePst[t][s] * (24 - phase)) * 3) / 24;
        }
    }
}

int pieceSquareSum(const Board& b) {
    int pst = 0;
    for (int s = 0; s < 32; s++) {
        int sq = b.slotSquare[s];
        if (sq == SQ_NONE) continue;
        int t = b.slotType[s];
        if (t < 0 || t > 6) continue;
        if (s < 16) pst += pstWhite[t][sq];
        else pst -= pstBlack[t][sq];
    }
    return pst;
}

int prepareEvaluation(Board& b) {
    setUpRootBoard(b);
    rootPieceCount[0] = b.pieceCount[0];
    rootPieceCount[1] = b.pieceCount[1];
    // Blended once per search with the root's phase; nodes never re-blend.
    blendPieceSquareTables(rootPhase(b));
    b.pstScore = pieceSquareSum(b);
    return b.stage;
}

int recomputeStage(const NodeState& ns) {
    int pawns = ns.pawnCount[0] + ns.pawnCount[1];
    int pieces = ns.pieceCount[0] + ns.pieceCount[1];
    bool heavy = ns.nonPawnMaterial[0] > HEAVY_LIMIT || ns.nonPawnMaterial[1] > HEAVY_LIMIT;
    if (pawns >= 12 && pieces >= 10) return heavy ? 0 : 3;
    if (pawns == 0) return 5;
    if (pieces == 0) return 4;
    return heavy ? 2 : 3;
}

int evaluate(int sideToMove, const NodeState& ns) {
    int stage = ns.stage;
    EvalSums sums;
    sums.material = ns.material;
    int pst = ns.pstScore;
    int e;

    if (stage <= 2) sums.positional += castlingState(ns) + development() + queensNearKings();
    if (stage <= 3) {
        sums.positional += patternList() + rooksOnOpenFiles(ns);
        sums.distance += minorsNearKing();
        if (stage != 3) sums.kingSafety += kingSafety(ns);
        sums.positional += bishopPair(ns);
        sums.material += materialAdjustment(ns);
        sums.positional += lineUps();
    }
    if (stage == 2 || stage == 3) sums.positional += rooksQueensOnAdvancedRanks();
    if (stage <= 4) {
        sums.pawn = evaluatePawns(sideToMove, ns, sums.passer, sums.pawnAttacks);
        if (stage == 3 || stage == 4) sums.positional += passedPawnsAgainstKings(sums.passer);
        if (stage >= 2) sums.distance += kingPawnDistance();
    }

    if (stage == 5) {
        e = evaluatePawnless(ns);
        // A tempo for the side to move: without it, promoting a move later in
        // the quiescence search looks as good as promoting now.
        if (e != 0) e += sideToMove ? -PAWNLESS_TEMPO : PAWNLESS_TEMPO;
    } else {
        if (stage <= 3) {
            sums.positional += outposts();
            if (stage == 3) sums.positional += stageThreeRules(ns, sums.pawn, sums.passer);
            sums.mobility = evaluateMobility(sums.pawnAttacks[0], sums.pawnAttacks[1], sums.distance, ns);
        }
        const EvalWeights& wt = evalWeights;
        int w = wt.pawnScaleBase - (ns.nonPawnMaterial[0] + ns.nonPawnMaterial[1]) / 480;
        e = sums.pawn + (w * sums.pawn) / EVAL_PAWN_SCALE_DIVISOR + sums.material + (pst * wt.pstScale) / 10 +
            (sums.positional * wt.positionalScale) / 10 + sums.kingSafety + sums.distance;
        if (stage <= 3) e += sums.mobility / 2;
    }

    if (sideToMove == 1) e = -e;
    if (stage != 5) {
        // Drift toward a draw as the fifty-move count runs; a count past 100
        // (possible after set-up) must not flip the sign.
        int keep = std::max(0, 100 - ns.fiftyCount);
        e = ((e * keep) / 100 + 80) / 10 * 10;
    }
    if (e == 0) return -2;
    return std::clamp(e, -32000, 32000);
}

void nodeStateFromBoard(const Board& b, NodeState& ns) {
    for (int i = 0; i < 4; i++) ns.castle[i] = int16_t(b.castle[i]);
    for (int c = 0; c < 2; c++) {
        ns.pieceCount[c] = int16_t(b.pieceCount[c]);
        ns.pawnCount[c] = int16_t(b.pawnCount[c]);
        ns.nonPawnMaterial[c] = uint16_t(b.nonPawnMaterial[c]);
        ns.pawnFiles[c] = uint8_t(b.pawnFiles[c]);
    }
    ns.hashKey = b.hashKey;
    ns.hashLock = b.hashLock;
    ns.pawnKey = b.pawnKey;
    ns.pawnLock = b.pawnLock;
    ns.stage = b.stage;
    ns.material = b.material;
    ns.pstScore = b.pstScore;
    ns.searchPly = 0;
    ns.lastMove = b.lastMove;
    ns.fiftyCount = b.fiftyCount;
    ns.promotedQueens = 0;
    for (int s = 8; s < 32; s++) {
        if ((s & 15) < 8) continue;
        if (b.slotSquare[s] != SQ_NONE && b.slotType[s] == QUEEN) ns.promotedQueens |= 1u << s;
    }
}
