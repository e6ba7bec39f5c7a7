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

namespace {

// Fills the node record from a root board the way the search's root call does.
NodeState nodeFromBoard(const Board& b) {
    NodeState ns{};
    for (int i = 0; i < 4; i++) ns.castle[i] = int16_t(b.castle[i]);
    for (int i = 0; i < 2; i++) {
        ns.pieceCount[i] = int16_t(b.pieceCount[i]);
        ns.pawnCount[i] = int16_t(b.pawnCount[i]);
        ns.nonPawnMaterial[i] = uint16_t(b.nonPawnMaterial[i]);
        ns.pawnFiles[i] = uint8_t(b.pawnFiles[i]);
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
        if (s >= 16 && s < 24) continue;
        if (b.slotSquare[s] != SQ_NONE && b.slotType[s] == QUEEN) ns.promotedQueens |= 1u << s;
    }
    return ns;
}

struct Prepared {
    Board board;
    NodeState ns;
    int side;
};

Prepared prepare(const std::string& fen) {
    Prepared p{};
    EXPECT_EQ(setupFromFen(game, fen.c_str()), 0) << fen;
    p.board = game.board;
    p.side = game.sideToMove;
    prepareEvaluation(p.board);
    p.ns = nodeFromBoard(p.board);
    copyBoardToWork(p.board);
    return p;
}

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

std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castling;
    in >> placement >> side >> castling;
    std::vector<std::string> ranks;
    std::string cur;
    for (char c : placement) {
        if (c == '/') {
            ranks.push_back(cur);
            cur.clear();
        } else {
            cur += std::isalpha((unsigned char)c) ? char(std::islower((unsigned char)c) ? std::toupper(c) : std::tolower(c)) : c;
        }
    }
    ranks.push_back(cur);
    std::string out;
    for (int i = int(ranks.size()) - 1; i >= 0; i--) {
        out += ranks[i];
        if (i) out += '/';
    }
    std::string rights;
    for (char want : std::string("KQkq")) {
        char from = std::islower((unsigned char)want) ? char(std::toupper(want)) : char(std::tolower(want));
        if (castling.find(from) != std::string::npos) rights += want;
    }
    if (rights.empty()) rights = "-";
    return out + (side == "w" ? " b " : " w ") + rights + " - 0 1";
}

std::string currentFen() {
    char buf[128];
    positionText(game, buf);
    std::string s(buf);
    // drop the en-passant field: the twin is built without it
    size_t last = s.rfind(' ');
    return s.substr(0, last) + " - 0 1";
}

TEST(Eval, MirroredPositionsScoreAlike) {
    const char* openings[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
        "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 0 4",
        "r3k2r/ppp2ppp/2nq1n2/3pp3/1b1PP1b1/2NQ1N2/PPPB1PPP/R3KB1R b KQkq - 0 8",
    };
    std::mt19937 rng(12345);
    int checked = 0;
    for (const char* start : openings) {
        for (int game_i = 0; game_i < 6; game_i++) {
            ASSERT_EQ(setupFromFen(game, start), 0);
            int plies = 10 + int(rng() % 50);
            for (int ply = 0; ply < plies; ply++) {
                std::vector<uint32_t> moves;
                for (int i = 0; game.legalMoves[i]; i++)
                    if (!(game.legalMoves[i] & MOVE_ILLEGAL)) moves.push_back(game.legalMoves[i]);
                if (moves.empty() || game.result) break;
                makeMove(game, moves[rng() % moves.size()]);
                if (game.result) break;

                std::string fen = currentFen();
                std::string twin = mirrorFen(fen);
                Game saved = game;
                Prepared a = prepare(fen);
                int scoreA = evaluate(a.side, a.ns);
                Prepared b = prepare(twin);
                int scoreB = evaluate(b.side, b.ns);
                EXPECT_EQ(a.side, 1 - b.side);
                EXPECT_EQ(a.board.stage, b.board.stage) << fen;
                EXPECT_EQ(a.board.pstScore, -b.board.pstScore) << fen;
                EXPECT_EQ(scoreA, scoreB) << fen << " vs " << twin;
                checked++;
                game = saved;
            }
        }
    }
    EXPECT_GT(checked, 100);
}

}  // namespace
