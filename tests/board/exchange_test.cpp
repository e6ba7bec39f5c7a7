#include <gtest/gtest.h>
#include "board/exchange.h"
#include "board/game.h"

namespace {

int exchange(const char* fen, const char* move, uint32_t kind = 0) {
    EXPECT_EQ(setupFromFen(game, fen), 0) << fen;
    copyBoardToWork(game.board);
    int from = (move[0] - 'a') + 8 * (move[1] - '1'), to = (move[2] - 'a') + 8 * (move[3] - '1');
    return staticExchange(makeMoveWord(from, to, kind));
}

TEST(Exchange, RecapturesAndXrays) {
    // Undefended pawn: a clean win.
    EXPECT_EQ(exchange("4k3/8/8/3p4/8/8/8/3RK3 w - -", "d1d5"), VALUE_PAWN);
    // Pawn defended by a pawn: the rook is lost for it.
    EXPECT_EQ(exchange("4k3/8/4p3/3p4/8/8/8/3RK3 w - -", "d1d5"), VALUE_PAWN - VALUE_ROOK);
    // Knight takes a pawn a pawn defends; the rook wins the second pawn back.
    EXPECT_EQ(exchange("4k3/8/4p3/3p4/8/2N5/8/3RK3 w - -", "c3d5"), VALUE_PAWN - VALUE_KNIGHT + VALUE_PAWN);
    // Doubled rooks against one defender: the rear rook retakes through the front one.
    EXPECT_EQ(exchange("3rk3/8/8/3n4/8/8/3R4/3RK3 w - -", "d2d5"), VALUE_KNIGHT - VALUE_ROOK + VALUE_ROOK);
    // Black to move, the same shape: pawn takes a defended knight and keeps the gain.
    EXPECT_EQ(exchange("4k3/8/4p3/3N4/8/8/8/3RK3 b - -", "e6d5"), VALUE_KNIGHT - VALUE_PAWN);
}

TEST(Exchange, KingOnlyTakesWhatNobodyGuards) {
    EXPECT_EQ(exchange("8/8/8/3Pk3/8/8/8/3RK3 b - -", "e5d5"), VALUE_PAWN - 50000);
    EXPECT_EQ(exchange("8/8/8/3Pk3/8/8/8/4K3 b - -", "e5d5"), VALUE_PAWN);
}

TEST(Exchange, EnPassantAndPromotion) {
    EXPECT_EQ(exchange("4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6", MK_EN_PASSANT), VALUE_PAWN);
    EXPECT_EQ(exchange("2r1k3/1P6/8/8/8/8/8/4K3 w - -", "b7c8", MK_PROMO_QUEEN), VALUE_ROOK + VALUE_QUEEN - VALUE_PAWN);
    EXPECT_EQ(exchange("1qr1k3/1P6/8/8/8/8/8/4K3 w - -", "b7c8", MK_PROMO_QUEEN), VALUE_ROOK - VALUE_PAWN);
}

}  // namespace
