#include <gtest/gtest.h>
#include <cctype>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#include "board/game.h"
#include "eval/evaluate.h"
#include "search/nodestate.h"
#include "tests/eval/evalfixture.h"

namespace {

typedef EvalPosition Prepared;
Prepared prepare(const std::string& fen) { return setUp(fen); }

int stageOf(const std::string& fen) { return prepare(fen).board.stage; }

TEST(Eval, StartPositionCounts) {
    Prepared p = prepare("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(p.board.stage, 0);
    EXPECT_EQ(p.board.material, 0);
    EXPECT_EQ(p.board.pieceCount[0], 7);
    EXPECT_EQ(p.board.pawnCount[1], 8);
    EXPECT_EQ(p.board.nonPawnMaterial[0], 18720);
    EXPECT_EQ(p.board.nonPawnMaterial[1], 18720);
    EXPECT_EQ(p.board.pawnFiles[0], 255u);
    EXPECT_EQ(p.board.pawnFiles[1], 255u);
    EXPECT_EQ(p.board.pstScore, 0);
    EXPECT_EQ(p.board.lastMove, 0u);
    EXPECT_EQ(rootPieceCount[0], 7);
    EXPECT_EQ(p.board.slotValue[32], 0);
    EXPECT_EQ(p.board.slotType[32], NO_PIECE);
    EXPECT_EQ(recomputeStage(p.ns), 0);
    EXPECT_EQ(evaluate(0, p.ns), 80);
}

TEST(Eval, StageThresholds) {
    // castling rights decide 0 or 1 with full material
    EXPECT_EQ(stageOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
    EXPECT_EQ(stageOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1"), 1);
    // 12 pawns and 10 pieces still open; 11 pawns is a middlegame
    EXPECT_EQ(stageOf("rnbqkbnr/pppp4/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 0);
    EXPECT_EQ(stageOf("rnbqkbnr/ppp5/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 2);
    // heavy material boundary: queen + rook is heavy, queen + bishop is not
    EXPECT_EQ(stageOf("4k3/pppppppp/8/8/8/8/PPPPPPPP/QR2K3 w - - 0 1"), 2);
    EXPECT_EQ(stageOf("4k3/pppppppp/8/8/8/8/PPPPPPPP/Q1B1K3 w - - 0 1"), 3);
    // no pieces at all: pawn ending
    EXPECT_EQ(stageOf("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1"), 4);
    EXPECT_EQ(stageOf("4k3/pppp4/8/8/8/8/PPPP4/3NK3 w - - 0 1"), 3);
    // pawnless with at most four pieces
    EXPECT_EQ(stageOf("4k3/8/8/8/8/8/8/4K3 w - - 0 1"), 5);
    EXPECT_EQ(stageOf("r1b1k3/8/8/8/8/8/8/R1B1K3 w - - 0 1"), 5);
    Prepared five = prepare("r1b1k3/8/8/8/8/8/8/QRB1K3 w - - 0 1");
    EXPECT_EQ(five.board.stage, 2);
    EXPECT_EQ(recomputeStage(five.ns), 5);  // the search rule ignores the piece count
}

TEST(Eval, RecomputeStage) {
    NodeState ns{};
    ns.pawnCount[0] = 6;
    ns.pawnCount[1] = 6;
    ns.pieceCount[0] = 5;
    ns.pieceCount[1] = 5;
    ns.nonPawnMaterial[0] = 8424;
    EXPECT_EQ(recomputeStage(ns), 0);
    ns.nonPawnMaterial[0] = 8423;
    EXPECT_EQ(recomputeStage(ns), 3);
    ns.pawnCount[1] = 5;
    ns.nonPawnMaterial[1] = 8424;
    EXPECT_EQ(recomputeStage(ns), 2);
    ns.nonPawnMaterial[1] = 0;
    EXPECT_EQ(recomputeStage(ns), 3);
    ns.pieceCount[0] = ns.pieceCount[1] = 0;
    EXPECT_EQ(recomputeStage(ns), 4);
    ns.pawnCount[0] = ns.pawnCount[1] = 0;
    EXPECT_EQ(recomputeStage(ns), 5);
}

TEST(Eval, PhaseOneKnightBlend) {
    Prepared p = prepare("4k3/pppp4/8/8/4N3/8/PPPP4/4K3 w - - 0 1");
    EXPECT_EQ(pstWhite[KNIGHT][28], 49);  // e4
    EXPECT_EQ(pstBlack[KNIGHT][36], 49);  // e5
    (void)p;
    prepare("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(pstWhite[KNIGHT][28], (28 * 24 * 3) / 24);  // phase 24: opening only
    prepare("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1");
    EXPECT_EQ(pstWhite[KNIGHT][28], (16 * 24 * 3) / 24);  // phase 0: endgame only
}

TEST(Eval, SideFlagFlipsAndGivesTempo) {
    Prepared p = prepare("rnbqkb1r/pppppppp/8/8/4N3/8/PPPPPPPP/R1BQKBNR w KQkq - 0 1");
    int white = evaluate(0, p.ns);
    int black = evaluate(1, p.ns);
    EXPECT_GT(white, 80);
    EXPECT_LT(black, 80);
    EXPECT_LE(std::abs(white + black - 160), 20);
    EXPECT_EQ(white % 10, 0);
}

TEST(Eval, FiftyMoveScaling) {
    Prepared p = prepare("rnbqkb1r/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_GT(evaluate(0, p.ns), 1000);
    p.ns.fiftyCount = 100;
    EXPECT_EQ(evaluate(0, p.ns), 80);
    EXPECT_EQ(evaluate(1, p.ns), 80);
    p.ns.fiftyCount = 150;
    EXPECT_EQ(evaluate(0, p.ns), 80);
    EXPECT_EQ(evaluate(1, p.ns), 80);
    p.ns.fiftyCount = 50;
    EXPECT_GT(evaluate(0, p.ns), 80);
}

TEST(Eval, ZeroBecomesMinusTwo) {
    // -80 before the tempo makes exactly 0.
    Prepared p = prepare("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - - 0 1");
    p.ns.pstScore = 0;
    p.ns.material = 0;
    p.ns.fiftyCount = 0;
    // With zero material and pst the result is the tempo alone.
    EXPECT_EQ(evaluate(0, p.ns), 80);
    p.ns.material = -80;
    // pawn ending: E = M = -80 -> (-80 + 80) = 0 -> -2
    EXPECT_EQ(evaluate(0, p.ns), -2);
}

}  // namespace
