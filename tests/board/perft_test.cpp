#include <gtest/gtest.h>
#include <cstring>
#include "board/game.h"
#include "board/movegen.h"
#include "tools/lib/perft.h"

namespace {

struct PerftCase {
    const char* fen;
    std::vector<uint64_t> counts;
};

const PerftCase kCases[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {20, 400, 8902, 197281}},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", {48, 2039, 97862}},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", {14, 191, 2812, 43238}},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", {6, 264, 9467}},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", {44, 1486, 62379}},
};

TEST(Perft, PublishedCounts) {
    for (const auto& c : kCases) {
        ASSERT_TRUE(perftSetup(game, c.fen)) << c.fen;
        for (size_t d = 0; d < c.counts.size(); d++)
            EXPECT_EQ(perftCount(game, int(d + 1)), c.counts[d]) << c.fen << " depth " << d + 1;
    }
}

// The game-level list must hold exactly the moves the search-level walk finds
// legal, and make then undo through the game must restore everything.
void compareAt(int depth) {
    std::vector<PerftDivide> divide;
    perftCount(game, 1, &divide);
    std::vector<std::string> searchLegal;
    for (auto& d : divide) searchLegal.push_back(d.move.substr(0, 4));
    std::vector<std::string> gameLegal;
    std::vector<uint32_t> moves;
    for (int i = 0; game.legalMoves[i]; i++) {
        uint32_t m = game.legalMoves[i];
        if (m & MOVE_ILLEGAL) continue;
        char t[8];
        std::snprintf(t, sizeof t, "%c%c%c%c", 'a' + (m & 7), '1' + ((m >> 3) & 7), 'a' + ((m >> 6) & 7),
                      '1' + ((m >> 9) & 7));
        gameLegal.push_back(t);
        moves.push_back(m & 0xFFFF);
    }
    std::sort(searchLegal.begin(), searchLegal.end());
    std::sort(gameLegal.begin(), gameLegal.end());
    ASSERT_EQ(searchLegal, gameLegal);
    if (depth <= 1) return;
    for (uint32_t m : moves) {
        Board before = game.board;
        uint32_t list[MAX_MOVES];
        std::memcpy(list, game.legalMoves, sizeof list);
        int side = game.sideToMove;
        int code = makeMove(game, m);
        ASSERT_GE(code, 0);
        ASSERT_NE(code, 1);
        compareAt(depth - 1);
        ASSERT_EQ(undoMove(game), 0);
        EXPECT_EQ(game.sideToMove, side);
        EXPECT_EQ(std::memcmp(game.board.slotSquare, before.slotSquare, sizeof before.slotSquare), 0);
        EXPECT_EQ(std::memcmp(game.board.squareSlot, before.squareSlot, sizeof before.squareSlot), 0);
        EXPECT_EQ(std::memcmp(game.board.slotType, before.slotType, sizeof before.slotType), 0);
        EXPECT_EQ(std::memcmp(game.castle, before.castle, sizeof before.castle), 0);
        EXPECT_EQ(game.board.hashKey, before.hashKey);
        EXPECT_EQ(game.board.hashLock, before.hashLock);
        EXPECT_EQ(game.board.pawnKey, before.pawnKey);
        for (int i = 0; list[i] || game.legalMoves[i]; i++) ASSERT_EQ(game.legalMoves[i], list[i]);
    }
}

TEST(Perft, GameListMatchesSearchWalkAndUndoRestores) {
    for (int k : {1, 2, 4}) {
        ASSERT_TRUE(perftSetup(game, kCases[k].fen));
        compareAt(3);
    }
}

}  // namespace
