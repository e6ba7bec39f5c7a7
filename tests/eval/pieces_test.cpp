// Outposts, line-ups with the enemy king, rooks and queens on the last
// ranks, mobility with the king attack, and the pawnless endings.
#include <gtest/gtest.h>
#include "eval/boardview.h"
#include "eval/terms.h"
#include "tests/eval/evalfixture.h"

namespace {

using evalview::sq;

template <class Term>
int scoreAt(const char* fen, Term term) {
    EvalPosition p = setUp(fen);
    return term(p);
}

TEST(EvalPieces, OutpostsAndLineUps) {
    WeightsGuard guard("piece.outpost_sixth = 96\npiece.outpost_fifth = 25");  // fitted nearly equal
    auto outposts_ = [](const EvalPosition&) { return outposts(); };
    EXPECT_GT(scoreAt("7k/8/3N4/2P5/8/8/8/4K3 w - - 0 1", outposts_),
              scoreAt("4k3/8/8/3N4/2P5/8/8/4K3 w - - 0 1", outposts_));
    expectSigns("outposts", outposts_,
                {{"7k/4p3/3N4/2P5/8/8/8/4K3 w - - 0 1", 0},   // e7 can drive it away
                 {"7k/8/3N4/8/8/8/8/4K3 w - - 0 1", 0},       // undefended
                 {"4k3/8/8/3N4/2P5/8/8/4K3 w - - 0 1", 1},    {"4k3/2p5/8/3N4/2P5/8/8/4K3 w - - 0 1", 0},
                 {"4k3/8/8/8/8/N7/1P6/4K3 w - - 0 1", 0},     // not on files c to f
                 {"4k3/8/8/4p3/3b4/8/8/4K3 w - - 0 1", -1}}); // Black's bishop on d4
    expectSigns("lineUps", [](const EvalPosition&) { return lineUps(); },
                {{"8/6k1/5p2/8/8/8/1B6/4K3 w - - 0 1", 1},    {"8/6k1/5p2/8/3N4/8/1B6/4K3 w - - 0 1", 0},  // two between
                 {"6k1/8/8/8/8/8/8/4K1R1 b - - 0 1", 1},      {"6k1/8/8/8/8/8/8/4KR2 w - - 0 1", 0}});     // no line
}

TEST(EvalPieces, RooksAndQueensOnTheLastRanks) {
    auto term = [](const EvalPosition&) { return rooksQueensOnAdvancedRanks(); };
    int seventh = scoreAt("4k3/R7/8/8/8/8/8/4K3 w - - 0 1", term);
    EXPECT_GT(seventh, 0);
    EXPECT_GT(scoreAt("R3k3/8/8/8/8/8/8/4K3 b - - 0 1", term), seventh);  // on the king's rank
    EXPECT_EQ(scoreAt("4k3/8/R7/8/8/8/8/4K3 w - - 0 1", term), 0);
}

struct Mobility {
    int score;
    int distance;
};
Mobility mobilityAt(const char* fen) {
    EvalPosition p = setUp(fen);
    int passer[2];
    uint64_t attacks[2];
    evaluatePawns(p.side, p.ns, passer, attacks);
    Mobility m{0, 0};
    m.score = evaluateMobility(attacks[0], attacks[1], m.distance, p.ns);
    return m;
}

TEST(EvalPieces, MobilityCountsReachedSquares) {
    // Rising tables, so that a count shows in the score (the fitted ones are
    // noisy where games rarely reach a count).
    WeightsGuard guard("mobility.rook = -60 -20 2 3 3 11 22 31 40 40 41 48 57 57 62");
    // A square attacked by an enemy pawn is not counted.
    EXPECT_GT(mobilityAt("7k/8/8/8/3R4/8/8/K7 w - - 0 1").score, mobilityAt("7k/8/4p3/8/3R4/8/8/K7 w - - 0 1").score);
    // The first man met is counted whatever its colour, nothing beyond it.
    EXPECT_EQ(mobilityAt("7k/8/8/8/8/3P4/8/K2R4 w - - 0 1").score, mobilityAt("7k/8/8/8/8/3p4/8/K2R4 w - - 0 1").score);
    EXPECT_LT(mobilityAt("7k/8/8/8/8/3P4/8/K2R4 w - - 0 1").score, mobilityAt("7k/8/8/8/8/8/8/K2R4 w - - 0 1").score);
    EXPECT_GT(mobilityAt("7k/8/8/8/3N4/8/8/K7 w - - 0 1").score, mobilityAt("N6k/8/8/8/8/8/8/K7 w - - 0 1").score);
    // A bishop sees through its own queen.
    EXPECT_EQ(mobilityAt("6k1/8/8/8/8/8/1Q6/B6K w - - 0 1").score - mobilityAt("6k1/8/8/8/8/8/8/B6K w - - 0 1").score,
              mobilityAt("6k1/8/8/8/8/8/1Q6/7K w - - 0 1").score);
}

TEST(EvalPieces, KingAttackAboveTheThreshold) {
    // A knight next to the king alone stays under 80 and is dropped.
    EXPECT_EQ(mobilityAt("7k/8/5N2/8/8/8/8/K7 w - - 0 1").distance, 0);
    // With a rook on the open g-file as well it counts.
    EXPECT_GT(mobilityAt("7k/8/5N2/8/8/8/8/K5R1 w - - 0 1").distance, 0);
}

int pawnlessAt(const char* fen) {
    EvalPosition p = setUp(fen);
    return evaluatePawnless(p.ns);
}

TEST(EvalPawnless, KnownDraws) {
    for (const char* fen : {"8/8/3k4/8/8/3K4/8/8 w - - 0 1", "8/8/3k4/8/8/3KB3/8/8 w - - 0 1",
                            "8/8/3k4/8/8/2NKN3/8/8 w - - 0 1", "8/8/3kn3/8/8/3KB3/8/8 w - - 0 1",
                            "8/8/2nkn3/8/8/3K4/8/8 w - - 0 1"})
        EXPECT_EQ(pawnlessAt(fen), 0) << fen;
    // evaluate reports the draw as -2, not as 80 for the side to move.
    EvalPosition p = setUp("8/8/3k4/8/8/2NKN3/8/8 w - - 0 1");
    ASSERT_EQ(p.ns.stage, 5);
    EXPECT_EQ(evaluate(0, p.ns), -2);
    EXPECT_EQ(evaluate(1, p.ns), -2);
}

TEST(EvalPawnless, DriveTheKing) {
    // Rook: toward the edge and toward the own king.
    int centre = pawnlessAt("8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
    int edge = pawnlessAt("3k4/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_GT(edge, centre);
    EXPECT_GT(centre, 0);
    // Bishop and knight: the corner of the bishop's colour. White's dark
    // bishop (from c1) wants the king on a1 or h8.
    int darkCorner = pawnlessAt("8/8/8/8/8/2K5/8/k1BN4 w - - 0 1");
    int lightCorner = pawnlessAt("k7/8/2K5/8/8/8/8/2BN4 w - - 0 1");
    EXPECT_GT(darkCorner, lightCorner);
    int lightBishop = pawnlessAt("k7/8/2K5/8/8/8/8/3N1B2 w - - 0 1");
    int lightBishopWrongCorner = pawnlessAt("8/8/8/8/8/2K5/8/k2N1B2 w - - 0 1");
    EXPECT_GT(lightBishop, lightBishopWrongCorner);
    // Black stronger: the mirror sign.
    EXPECT_EQ(pawnlessAt("r3k3/8/8/8/8/8/8/3K4 w - - 0 1"), -edge);
    // Stage 5 returns the value itself, unrounded, with a tempo for the side
    // to move that the two sides share evenly.
    EvalPosition p = setUp("8/8/8/3k4/8/8/8/R3K3 w - - 0 1");
    EXPECT_GT(evaluate(0, p.ns), centre);
    EXPECT_GT(evaluate(1, p.ns), -centre);
    EXPECT_EQ(evaluate(0, p.ns) - evaluate(1, p.ns), 2 * centre);
}

}  // namespace
