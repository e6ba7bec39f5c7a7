// Pawn structure, passed pawns and the terms on the chosen passers; the pawn
// hash against fresh computation over a tree walk.
#include <gtest/gtest.h>
#include "eval/boardview.h"
#include "eval/pawnhash.h"
#include "eval/terms.h"
#include "tests/eval/evalfixture.h"

namespace {

using evalview::sq;

struct PawnResult {
    int score;
    int passer[2];
    uint64_t attacks[2];
    uint8_t passerFiles[2][8];
};

// Computed without the cache, so that every call is fresh.
PawnResult pawnsOf(const EvalPosition& p) {
    PawnHashEntry* saved = pawnHash;
    pawnHash = nullptr;
    PawnResult r{};
    use(p);
    r.score = evaluatePawns(p.side, p.ns, r.passer, r.attacks, r.passerFiles);
    pawnHash = saved;
    return r;
}
PawnResult pawnsAt(const char* fen) { return pawnsOf(setUp(fen)); }

TEST(EvalPawns, PassedPawnNeedsFreeNeighbourFilesAhead) {
    EXPECT_EQ(pawnsAt("4k3/8/3p4/4P3/8/8/8/4K3 w - - 0 1").passerFiles[0][4], 0);
    EXPECT_EQ(pawnsAt("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1").passerFiles[0][4], sq("e5"));
    EXPECT_EQ(pawnsAt("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1").passerFiles[1][3], sq("d5"));
    EXPECT_EQ(pawnsAt("4k3/4p3/8/4P3/8/8/8/4K3 w - - 0 1").passerFiles[0][4], 0);
}

TEST(EvalPawns, DoubledIsolatedAndBackwardPawnsCost) {
    // A second pawn on the isolated a-file, doubled, is worth less than none.
    EXPECT_LT(pawnsAt("4k3/p7/8/8/8/P7/P7/4K3 w - - 0 1").score, pawnsAt("4k3/p7/8/8/8/8/P7/4K3 w - - 0 1").score);
    // d3 behind c4 and e4 with its stop square d4 attacked from c5: backward.
    EXPECT_LT(pawnsAt("4k3/8/8/2p5/2P1P3/3P4/8/4K3 w - - 0 1").score,
              pawnsAt("4k3/8/2p5/8/2P1P3/3P4/8/4K3 w - - 0 1").score);
}

TEST(EvalPawns, AttackMasksStayOnTheBoard) {
    PawnResult r = pawnsAt("4k3/p6p/8/8/8/8/P6P/4K3 w - - 0 1");
    EXPECT_EQ(r.attacks[0], evalview::squareBit(sq("b3")) | evalview::squareBit(sq("g3")));
    EXPECT_EQ(r.attacks[1], evalview::squareBit(sq("b6")) | evalview::squareBit(sq("g6")));
}

TEST(EvalPawns, ChosenPasserIsTheMostAdvanced) {
    PawnResult r = pawnsAt("6k1/8/1P3P2/8/8/8/8/6K1 w - - 0 1");
    EXPECT_EQ(r.passer[0], sq("b6"));  // equal ranks: the outer one
    EXPECT_EQ(r.passer[1], NO_PASSER);
    EXPECT_EQ(pawnsAt("6k1/8/5P2/1P6/8/8/8/6K1 w - - 0 1").passer[0], sq("f6"));
}

TEST(EvalPawns, RuleOfTheSquare) {
    // g6 against a lone king on a1, Black to move: outside the square.
    int outside = pawnsAt("8/8/6P1/8/8/8/8/k6K b - - 0 1").score;
    int inside = pawnsAt("5k2/8/6P1/8/8/8/8/7K b - - 0 1").score;
    EXPECT_GT(outside, inside);
    // A black knight can still stop it.
    EXPECT_EQ(pawnsAt("8/8/6P1/8/8/8/8/kn5K b - - 0 1").score, inside);
    // The tempo: a king on d5 reaches the square only when it is to move.
    int blackMoves = pawnsAt("8/8/1P6/3k4/8/8/8/7K b - - 0 1").score;
    int whiteMoves = pawnsAt("8/8/1P6/3k4/8/8/8/7K w - - 0 1").score;
    EXPECT_GT(whiteMoves, blackMoves);
}

TEST(EvalPawns, HashKeepsTheSidesApart) {
    allocatePawnHash(65536);
    EvalPosition w = setUp("8/8/1P6/3k4/8/8/8/7K w - - 0 1");
    EvalPosition b = setUp("8/8/1P6/3k4/8/8/8/7K b - - 0 1");
    int freshW = pawnsOf(w).score, freshB = pawnsOf(b).score;
    ASSERT_NE(freshW, freshB);
    int passer[2];
    uint64_t attacks[2];
    for (int round = 0; round < 2; round++) {
        use(w);
        EXPECT_EQ(evaluatePawns(0, w.ns, passer, attacks), freshW);
        use(b);
        EXPECT_EQ(evaluatePawns(1, b.ns, passer, attacks), freshB);
    }
}

// Every leaf of a tree walk: the cached answer equals a fresh one, for
// either side to move, whether it came from the table or not.
TEST(EvalPawns, HashAgreesWithFreshComputationOverAWalk) {
    allocatePawnHash(4096);  // small, so that entries are overwritten often
    const char* roots[] = {
        "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8",
        "8/2p5/3k4/1P6/8/5K2/6P1/8 w - - 0 1",
        "4k3/p4p2/8/8/3P4/8/P5P1/4K2N w - - 0 1",
        "8/8/1k6/8/2pP4/8/5PK1/8 b - d3 0 1",
    };
    int depths[] = {3, 5, 4, 5};
    uint64_t leaves = 0, mismatches = 0;
    for (int i = 0; i < 4; i++) {
        ASSERT_EQ(setupFromFen(game, roots[i]), 0);
        Board root = game.board;
        prepareEvaluation(root);
        walkLeaves(root, game.legalMoves, game.sideToMove, depths[i], [&](Board& b, int side) {
            NodeState ns = freshNodeState(b);
            for (int flag : {side, side ^ 1}) {
                int cached[2], fresh[2];
                uint64_t cachedAttacks[2], freshAttacks[2];
                int c = evaluatePawns(flag, ns, cached, cachedAttacks);
                PawnHashEntry* saved = pawnHash;
                pawnHash = nullptr;
                int f = evaluatePawns(flag, ns, fresh, freshAttacks);
                pawnHash = saved;
                bool same = c == f && cached[0] == fresh[0] && cached[1] == fresh[1] &&
                            cachedAttacks[0] == freshAttacks[0] && cachedAttacks[1] == freshAttacks[1];
                mismatches += !same;
            }
            leaves++;
        });
    }
    EXPECT_GT(leaves, 10000u);
    EXPECT_EQ(mismatches, 0u);
    allocatePawnHash(65536);
}

// Terms on the chosen passers, each with and without its feature.
int passerTerm(const char* fen, int (*term)(const NodeState&, const int*, int)) {
    EvalPosition p = setUp(fen);
    PawnResult r = pawnsOf(p);
    use(p);
    return term(p.ns, r.passer, r.score);
}

TEST(EvalPassers, NoPasserNoTerm) {
    // Blocked e-pawns, so neither side has a passer; pieces placed where a
    // passer "on a1" would score: a white rook above a1, a white knight on
    // b3, White's dark bishop, a black rook between the files.
    const char* fen = "r3k3/8/8/4p3/4P3/1N6/8/R1B1K3 w - - 0 1";
    EvalPosition p = setUp(fen);
    PawnResult r = pawnsOf(p);
    use(p);
    ASSERT_EQ(r.passer[0], NO_PASSER);
    ASSERT_EQ(r.passer[1], NO_PASSER);
    EXPECT_EQ(bishopsAndPromotionSquare(r.passer), 0);
    EXPECT_EQ(rooksBehindPassers(r.passer), 0);
    EXPECT_EQ(knightsCatchingPassers(r.passer), 0);
    EXPECT_EQ(rooksCuttingOffKing(p.ns, r.passer), 0);
    EXPECT_EQ(passedPawnsAgainstKings(r.passer), 0);
    EXPECT_EQ(connectedPassersAgainstRook(p.ns, r.passer), 0);
}

TEST(EvalPassers, BishopOfThePromotionSquare) {
    // Both fitted near or below zero: pin sizes that show the sign.
    WeightsGuard guard("passer.bishop_with = 40\npasser.bishop_against = 32");
    auto term = [](const NodeState&, const int* passer, int) { return bishopsAndPromotionSquare(passer); };
    EXPECT_LT(passerTerm("4k3/8/8/2P5/8/8/8/4K2b w - - 0 1", term), 0);  // light bishop, c8 light
    EXPECT_EQ(passerTerm("4k3/8/8/2P5/8/8/8/4K1b1 w - - 0 1", term), 0);
    EXPECT_GT(passerTerm("4k3/8/8/2P5/8/8/8/4KB2 w - - 0 1", term), 0);
}

TEST(EvalPassers, RooksBehindAndCuttingOff) {
    auto behind = [](const NodeState&, const int* passer, int) { return rooksBehindPassers(passer); };
    EXPECT_GT(passerTerm("7k/8/8/4P3/8/8/8/K3R3 w - - 0 1", behind), 0);
    EXPECT_LT(passerTerm("7k/8/8/4P3/8/8/4r3/K7 w - - 0 1", behind), 0);
    EXPECT_EQ(passerTerm("7k/4R3/8/4P3/8/8/8/K7 w - - 0 1", behind), 0);  // in front, not behind
    auto cut = [](const NodeState& ns, const int* passer, int) { return rooksCuttingOffKing(ns, passer); };
    EXPECT_GT(passerTerm("8/8/8/k7/4P3/8/8/2R3K1 w - - 0 1", cut), 0);
    EXPECT_EQ(passerTerm("8/8/8/k7/4P3/8/8/6RK w - - 0 1", cut), 0);
    EXPECT_EQ(passerTerm("8/8/8/k7/4P3/8/8/q1R3K1 w - - 0 1", cut), 0);  // Black keeps a queen
}

TEST(EvalPassers, KnightsThatCatchThePasser) {
    WeightsGuard guard("passer.knight_catching = 30");  // fitted near zero
    auto term = [](const NodeState&, const int* passer, int) { return knightsCatchingPassers(passer); };
    EXPECT_LT(passerTerm("k7/4n3/8/4P3/8/8/8/7K w - - 0 1", term), 0);
    EXPECT_EQ(passerTerm("k7/8/8/4P3/8/8/8/n6K w - - 0 1", term), 0);
    EXPECT_EQ(passerTerm("n7/7P/8/8/8/8/k7/6K1 w - - 0 1", term), 0);  // a8 is no knight move from h7
}

TEST(EvalPassers, TradeDownWhenAhead) {
    // A pawn structure that scores for White with rising tables (the fitted
    // duo bonus on the second rank is below zero).
    WeightsGuard guard("pawn.duo = 0 21 24 36 87 144 258 0");
    EvalPosition p = setUp("4k3/pp6/8/8/8/8/PPP5/3NK1n1 w - - 0 1");
    PawnResult r = pawnsOf(p);
    ASSERT_GT(r.score, 0);
    use(p);
    EXPECT_EQ(tradeDown(p.ns, r.score), 0);  // nothing traded since the root
    rootPieceCount[1] = p.ns.pieceCount[1] + 1;
    EXPECT_GT(tradeDown(p.ns, r.score), 0);
}

TEST(EvalPassers, ConnectedPassersBeatALoneRook) {
    auto term = [](const NodeState& ns, const int* passer, int) { return connectedPassersAgainstRook(ns, passer); };
    EXPECT_GT(passerTerm("r7/8/5PP1/8/8/8/k7/6K1 w - - 0 1", term), 0);
    EXPECT_EQ(passerTerm("r7/8/5P2/8/6P1/8/k7/6K1 w - - 0 1", term), 0);
    EXPECT_EQ(passerTerm("r2k4/8/5PP1/8/8/8/8/6K1 w - - 0 1", term), 0);  // the king is near
    EXPECT_GT(passerTerm("r7/8/5P2/6P1/8/8/k7/6K1 w - - 0 1", term), 0);  // one behind, beside empty
}

TEST(EvalPassers, OpposedMajorities) {
    WeightsGuard guard("passer.kings_opposed_majorities = 16");  // the fit turned its sign
    auto term = [](const NodeState& ns, const int*, int) { return opposedMajorities(ns); };
    EXPECT_EQ(passerTerm("4k3/p6p/8/8/8/8/P5PP/R3K3 w - - 0 1", term), 0);  // Black has no piece
    EXPECT_EQ(passerTerm("1n2k3/p6p/8/8/8/8/P5PP/R3K3 w - - 0 1", term), 0);  // kings 7 apart
    EXPECT_LT(passerTerm("1n6/p6p/8/8/8/4k3/P5PP/R3K3 w - - 0 1", term), 0);
    EXPECT_EQ(passerTerm("1n6/7p/p7/8/8/4k3/6PP/R3K3 w - - 0 1", term), 0);  // White has no queen-side pawn
}

TEST(EvalPassers, PasserAgainstTheKings) {
    auto term = [](const NodeState&, const int* passer, int) { return passedPawnsAgainstKings(passer); };
    int free = passerTerm("k7/8/8/4P3/8/8/8/4K3 w - - 0 1", term);
    int blocked = passerTerm("k7/8/4n3/4P3/8/8/8/4K3 w - - 0 1", term);
    EXPECT_GT(free, blocked);
    // The defending king two steps nearer the square in front.
    int kingFar = passerTerm("k7/8/8/4P3/8/8/8/4K3 w - - 0 1", term);
    int kingNear = passerTerm("4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", term);
    EXPECT_GT(kingFar, kingNear);
    // A passer not yet on the fourth rank: nothing.
    EXPECT_EQ(passerTerm("k7/8/8/8/8/4P3/8/4K3 w - - 0 1", term), 0);
}

TEST(EvalPassers, KingsNearTheirPawns) {
    auto term = [](const NodeState&, const int*, int) { return kingPawnDistance(); };
    EXPECT_LT(passerTerm("4k3/8/8/8/8/8/P7/3K4 w - - 0 1", term), passerTerm("4k3/8/8/8/8/8/P7/1K6 w - - 0 1", term));
    EXPECT_EQ(passerTerm("4k3/8/8/8/8/8/8/3K4 w - - 0 1", term), 0);
}

}  // namespace
