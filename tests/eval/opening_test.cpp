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
    return term(p.ns);
}

TEST(EvalOpening, CastlingState) {
    EvalPosition p = setUp("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    NodeState ns = p.ns;
    EXPECT_EQ(castlingState(ns), 0);
    for (int q : {-1, 0, 1}) {
        ns.castle[CS_WHITE_KING] = 1;
        ns.castle[CS_WHITE_QUEEN] = int16_t(q);
        EXPECT_EQ(castlingState(ns), 100) << "queen-side state " << q;
    }
    ns.castle[CS_WHITE_KING] = 0;
    ns.castle[CS_WHITE_QUEEN] = 1;
    EXPECT_EQ(castlingState(ns), 66);
    ns.castle[CS_WHITE_KING] = -1;
    ns.castle[CS_WHITE_QUEEN] = -1;
    EXPECT_EQ(castlingState(ns), -83);
    ns.castle[CS_WHITE_QUEEN] = 0;
    EXPECT_EQ(castlingState(ns), -50);
    ns.castle[CS_BLACK_KING] = 1;
    EXPECT_EQ(castlingState(ns), -150);
}

TEST(EvalOpening, DevelopmentBesideTheRook) {
    // Bishop and knight at home beside the h1 rook; the king on e1 is not
    // counted, only on f1 or g1.
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/8/4KBNR w - - 0 1", [](const NodeState&) { return development(); }), -64);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/4N3/4KB1R w - - 0 1", [](const NodeState&) { return development(); }), -32);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/7R/4KBN1 w - - 0 1", [](const NodeState&) { return development(); }), 0);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/8/5K1R w - - 0 1", [](const NodeState&) { return development(); }), -32);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/8/6KR w - - 0 1", [](const NodeState&) { return development(); }), -32);
    // Black's queen side: rook a8, knight b8, bishop c8.
    EXPECT_EQ(scoreAt("rnb1k3/8/8/8/8/8/8/4K3 w - - 0 1", [](const NodeState&) { return development(); }), 64);
    EXPECT_EQ(scoreAt("1nb1k3/r7/8/8/8/8/8/4K3 w - - 0 1", [](const NodeState&) { return development(); }), 0);
}

TEST(EvalOpening, QueensNearTheKings) {
    auto term = [](const NodeState&) { return queensNearKings(); };
    int far = scoreAt("4k3/8/8/8/8/8/8/Q3K3 w - - 0 1", term);
    int near = scoreAt("4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1", term);
    EXPECT_EQ(near - far, 48);  // four king steps fewer in all
    EXPECT_EQ(scoreAt("4k3/3q4/8/8/8/8/8/4K3 w - - 0 1", term), -scoreAt("4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1", term));
}

TEST(EvalOpening, PatternList) {
    auto term = [](const NodeState&) { return patternList(); };
    // The light bishop of f1 trapped on h7 behind g6 and f7.
    EXPECT_EQ(scoreAt("4k3/5p1B/6p1/8/8/8/8/4K3 w - - 0 1", term), -475);
    EXPECT_EQ(scoreAt("4k3/5p1B/8/6p1/8/8/8/4K3 w - - 0 1", term), 0);
    EXPECT_EQ(scoreAt("4k3/7B/6p1/8/8/8/8/4K3 w - - 0 1", term), 0);
    // The same trap by a second light bishop in a pawn slot does not count...
    EXPECT_EQ(scoreAt("1B2k3/1B3p1B/6p1/8/8/8/8/4K3 w - - 0 1", term), 0);
    // ...while the bishop of its own slot does.
    EXPECT_EQ(scoreAt("1B2k3/5p1B/6p1/8/8/8/8/4K3 w - - 0 1", term), -475);
    // Knights stuck in the corner or on the rim.
    EXPECT_EQ(scoreAt("N3k3/p7/8/8/8/8/8/4K3 w - - 0 1", term), -120);
    EXPECT_EQ(scoreAt("N3k3/8/p7/8/8/8/8/4K3 w - - 0 1", term), 0);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/5P2/6Pn/4K3 w - - 0 1", term), 120);
    EXPECT_EQ(scoreAt("4k3/8/8/8/5P2/8/6Pn/4K3 w - - 0 1", term), 0);
    // A black rook on a7 shut in by a white knight on b6.
    EXPECT_EQ(scoreAt("4k3/rp6/pN6/8/8/8/8/4K3 w - - 0 1", term), 120);
    EXPECT_EQ(scoreAt("4k3/r7/pN6/1p6/8/8/8/4K3 w - - 0 1", term), 0);
}

TEST(EvalOpening, RooksOnFiles) {
    auto term = [](const NodeState& ns) { return rooksOnOpenFiles(ns); };
    EXPECT_EQ(scoreAt("3k4/ppp2ppp/8/8/8/8/PPPP1PPP/4RK2 w - - 0 1", term), 60);
    EXPECT_EQ(scoreAt("3k4/ppp1pppp/8/8/8/8/PPPP1PPP/4RK2 w - - 0 1", term), 30);
    EXPECT_EQ(scoreAt("3k4/ppp2ppp/8/8/8/8/PPPP1PPP/3R1K2 w - - 0 1", term), 0);
    EXPECT_EQ(scoreAt("4rk2/ppp2ppp/8/8/8/8/PPP2PPP/3K4 w - - 0 1", term), -60);
}

TEST(EvalOpening, MinorsNearTheirKing) {
    auto term = [](const NodeState&) { return minorsNearKing(); };
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/8/4KN2 w - - 0 1", term) - scoreAt("4k3/8/8/8/8/8/8/4K2N w - - 0 1", term), 20);
    EXPECT_EQ(scoreAt("4k3/8/8/8/8/8/8/4KB2 w - - 0 1", term) - scoreAt("4k3/8/8/8/8/7B/8/4K3 w - - 0 1", term), 16);
    EXPECT_EQ(scoreAt("4kn2/8/8/8/8/8/8/4K3 w - - 0 1", term), 10);
}

TEST(EvalOpening, BishopPair) {
    auto term = [](const NodeState& ns) { return bishopPair(ns); };
    EXPECT_EQ(scoreAt("4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1KB2 w - - 0 1", term), (83 - 16) * 2);
    EXPECT_EQ(scoreAt("4k3/pppppppp/8/8/8/8/PPPPPPPP/2B1K3 w - - 0 1", term), 0);
    EXPECT_EQ(scoreAt("2b1kb2/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1", term), -(83 - 8) * 2);
}

TEST(EvalOpening, MaterialAdjustments) {
    auto term = [](const NodeState& ns) { return materialAdjustment(ns); };
    // A lone minor piece against pawns, and no adjustment when both sides have one.
    EXPECT_EQ(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/4KB2 w - - 0 1", term), -267);
    EXPECT_EQ(scoreAt("4kn2/pppp4/8/8/8/8/PPPP4/4KB2 w - - 0 1", term), (16 - 8) * 4);
    // A lone queen.
    EXPECT_EQ(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/3QK3 w - - 0 1", term), -48);
    // Knights lose as pawns leave: two white knights, 8 pawns gone.
    EXPECT_EQ(scoreAt("4k3/pppp4/8/8/8/8/PPPP4/1N2K1N1 w - - 0 1", term), -2 * 8 * 4);
}

}  // namespace
