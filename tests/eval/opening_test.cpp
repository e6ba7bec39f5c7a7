// Castling, development, queens, the pattern list, rooks on files, minor
// pieces near the king, the bishop pair and the material adjustments: each
// checked as the difference its feature makes.
#include <gtest/gtest.h>
#include "eval/terms.h"
#include "tests/eval/evalfixture.h"

namespace {

template <class Term>
int scoreAt(const char* fen, Term term) {
    EvalPosition p = setUp(fen);
    return term(p);
}

TEST(EvalOpening, CastlingState) {
    // Castled beats a right still kept, which beats a right lost; Black's
    // state counts the other way.
    EvalPosition p = setUp("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    NodeState ns = p.ns;
    EXPECT_EQ(castlingState(ns), 0);
    auto with = [&](int kingSide, int queenSide) {
        ns.castle[CS_WHITE_KING] = int16_t(kingSide);
        ns.castle[CS_WHITE_QUEEN] = int16_t(queenSide);
        return castlingState(ns);
    };
    EXPECT_GT(with(1, -1), with(0, 1));
    EXPECT_GT(with(0, 1), with(-1, 0));
    EXPECT_GT(with(-1, 0), with(-1, -1));
    int white = with(-1, 0);
    ns.castle[CS_BLACK_KING] = 1;
    EXPECT_LT(castlingState(ns), white);
}

TEST(EvalOpening, DevelopmentQueensAndPatterns) {
    // Bishop and knight at home beside the h1 rook; the king on e1 is not
    // counted, only on f1 or g1. Black's queen side: rook a8, knight b8, bishop c8.
    // The fitted development and queen weights are near zero: give them a size.
    WeightsGuard guard("opening.undeveloped = 32\nopening.queen_from_kings = 12");
    auto development_ = [](const EvalPosition&) { return development(); };
    EXPECT_LT(scoreAt("4k3/8/8/8/8/8/8/4KBNR w - - 0 1", development_),
              scoreAt("4k3/8/8/8/8/8/4N3/4KB1R w - - 0 1", development_));
    expectSigns("development", development_,
                {{"4k3/8/8/8/8/8/4N3/4KB1R w - - 0 1", -1}, {"4k3/8/8/8/8/8/7R/4KBN1 w - - 0 1", 0},
                 {"4k3/8/8/8/8/8/8/5K1R w - - 0 1", -1},    {"4k3/8/8/8/8/8/8/6KR w - - 0 1", -1},
                 {"rnb1k3/8/8/8/8/8/8/4K3 w - - 0 1", 1},   {"1nb1k3/r7/8/8/8/8/8/4K3 w - - 0 1", 0}});
    auto queens = [](const EvalPosition&) { return queensNearKings(); };
    EXPECT_GT(scoreAt("4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1", queens), scoreAt("4k3/8/8/8/8/8/8/Q3K3 w - - 0 1", queens));
    expectSigns("patternList", [](const EvalPosition&) { return patternList(); },
                {// The light bishop of f1 trapped on h7 behind g6 and f7; the same trap
                 // by a second light bishop in a pawn slot does not count.
                 {"4k3/5p1B/6p1/8/8/8/8/4K3 w - - 0 1", -1},    {"4k3/5p1B/8/6p1/8/8/8/4K3 w - - 0 1", 0},
                 {"4k3/7B/6p1/8/8/8/8/4K3 w - - 0 1", 0},       {"1B2k3/1B3p1B/6p1/8/8/8/8/4K3 w - - 0 1", 0},
                 {"1B2k3/5p1B/6p1/8/8/8/8/4K3 w - - 0 1", -1},
                 // Knights stuck in the corner or on the rim.
                 {"N3k3/p7/8/8/8/8/8/4K3 w - - 0 1", -1},       {"N3k3/8/p7/8/8/8/8/4K3 w - - 0 1", 0},
                 {"4k3/8/8/8/8/5P2/6Pn/4K3 w - - 0 1", 1},      {"4k3/8/8/8/5P2/8/6Pn/4K3 w - - 0 1", 0},
                 // A black rook on a7 shut in by a white knight on b6.
                 {"4k3/rp6/pN6/8/8/8/8/4K3 w - - 0 1", 1},      {"4k3/r7/pN6/1p6/8/8/8/4K3 w - - 0 1", 0}});
}

TEST(EvalOpening, RooksOnFiles) {
    auto term = [](const EvalPosition& p) { return rooksOnOpenFiles(p.ns); };
    int open = scoreAt("3k4/ppp2ppp/8/8/8/8/PPPP1PPP/4RK2 w - - 0 1", term);
    int halfOpen = scoreAt("3k4/ppp1pppp/8/8/8/8/PPPP1PPP/4RK2 w - - 0 1", term);
    EXPECT_GT(open, halfOpen);
    EXPECT_GT(halfOpen, 0);
    EXPECT_EQ(scoreAt("3k4/ppp2ppp/8/8/8/8/PPPP1PPP/3R1K2 w - - 0 1", term), 0);
}

TEST(EvalOpening, MinorsBishopPairAndMaterial) {
    WeightsGuard guard("minor.knight_near_king = 10");  // fitted slightly below zero
    auto minors = [](const EvalPosition&) { return minorsNearKing(); };
    EXPECT_GT(scoreAt("4k3/8/8/8/8/8/8/4KN2 w - - 0 1", minors), scoreAt("4k3/8/8/8/8/8/8/4K2N w - - 0 1", minors));
    EXPECT_GT(scoreAt("4k3/8/8/8/8/8/8/4KB2 w - - 0 1", minors), scoreAt("4k3/8/8/8/8/7B/8/4K3 w - - 0 1", minors));
    auto pair = [](const EvalPosition& p) { return bishopPair(p.ns); };
    EXPECT_GT(scoreAt("4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", pair), 0);
    EXPECT_EQ(scoreAt("4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1K3 w - - 0 1", pair), 0);
    // The pair is worth more as pawns leave.
    EXPECT_GT(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/2B1KB2 w - - 0 1", pair),
              scoreAt("4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", pair));
    auto material = [](const EvalPosition& p) { return materialAdjustment(p.ns); };
    // A lone minor piece against pawns is worth less than its value.
    EXPECT_LT(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/4KB2 w - - 0 1", material), 0);
    // Knights lose as pawns leave.
    EXPECT_LT(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/1N2K1N1 w - - 0 1", material), 0);
}

}  // namespace
