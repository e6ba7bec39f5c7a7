#include <gtest/gtest.h>
#include <string>
#include "board/game.h"
#include "board/notation.h"

namespace {

uint32_t sq(const char* s) { return uint32_t((s[0] - 'a') + 8 * (s[1] - '1')); }
uint32_t mv(const char* s) { return makeMoveWord(sq(s), sq(s + 2)); }

uint32_t coord(const char* text, int side) {
    std::string t = text;
    return parseMove(&t[0], side);
}

uint32_t san(const char* text) {
    std::string t = text;
    return parseSan(&t[0], game.sideToMove, game.legalMoves, game.board);
}

class Notation : public testing::Test {
protected:
    void SetUp() override { selectEnglishLetters(); }
};

TEST_F(Notation, CoordinateText) {
    EXPECT_EQ(coord("e7e8q", 0), mv("e7e8") | MK_PROMO_QUEEN);
    EXPECT_EQ(coord("E7E8=Q", 0), mv("e7e8") | MK_PROMO_QUEEN);
    EXPECT_EQ(coord("e7e8d", 0), mv("e7e8") | MK_PROMO_QUEEN);
    EXPECT_EQ(coord("e7e8n", 0), mv("e7e8") | MK_PROMO_KNIGHT);
    EXPECT_EQ(coord("e7e8x", 0), mv("e7e8"));
    EXPECT_EQ(coord("e5d6ep", 0), mv("e5d6") | MK_EN_PASSANT);
    EXPECT_EQ(coord("o-o", 0), CASTLE_WK_WHITE);
    EXPECT_EQ(coord("0-0", 1), CASTLE_BK_BLACK);
    EXPECT_EQ(coord("O-O-O", 0), CASTLE_WQ_WHITE);
    EXPECT_EQ(coord("0-0-0", 1), CASTLE_BQ_BLACK);
    for (const char* bad : {"", "e", "e2", "e2e", "z9z9", "O-", "O", "e2i4", "O-X"}) EXPECT_EQ(coord(bad, 0), 0u) << bad;
    char buf[8];
    moveToText(mv("e7e8") | MK_PROMO_QUEEN, buf);
    EXPECT_STREQ(buf, "e7e8Q");
    moveToText(CASTLE_WK_WHITE, buf);
    EXPECT_STREQ(buf, "e1g1");
}

TEST_F(Notation, SanReading) {
    ASSERT_EQ(setupFromFen(game, "rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"), 0);
    EXPECT_EQ(san("Nbd7"), mv("b8d7"));
    EXPECT_EQ(san("Nfd7"), mv("f6d7"));
    EXPECT_EQ(san("Nd7"), 0u);
    EXPECT_EQ(san("Nc6+"), mv("b8c6"));
    EXPECT_EQ(san("e5!?"), mv("e7e5"));
    ASSERT_EQ(setupFromFen(game, "4k3/8/2p5/1P1B4/8/8/8/4K3 w - -"), 0);
    EXPECT_EQ(san("bxc6"), mv("b5c6"));
    EXPECT_EQ(san("Bxc6"), mv("d5c6"));
    ASSERT_EQ(setupFromFen(game, "8/4P3/8/8/8/8/k7/4K3 w - -"), 0);
    EXPECT_EQ(san("e8=Q"), mv("e7e8") | MK_PROMO_QUEEN);
    EXPECT_EQ(san("e8Q"), 0u);
    EXPECT_EQ(san("e8"), 0u);
    for (const char* bad : {"", "N", "Nx", "Z", "x", "+", "Qz9", "e9"}) EXPECT_EQ(san(bad), 0u) << bad;
}

TEST_F(Notation, SanWriting) {
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/4K3/R6R w - -"), 0);
    std::string out;
    moveToSan(out, mv("a1d1"), game.legalMoves, game.board);
    EXPECT_EQ(out, "Rad1 ");
    out.clear();
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/R3K2R w KQ -"), 0);
    moveToSan(out, mv("e1g1"), game.legalMoves, game.board);
    EXPECT_EQ(out, "O-O ");
    newGame(game);
    listMoves(game);
    uint32_t line[] = {mv("e2e4"), mv("d7d5"), mv("e4d5"), mv("g8f6"), 0};
    out.clear();
    formatLine(out, line, 0, 0, game.legalMoves, game.board, 1);
    EXPECT_EQ(out, "e4 !d5 exd5 Nf6 ");
    formatLineCoordinates(out, line, 0);
    EXPECT_EQ(out, "e2e4? d7d5 e4d5 g8f6 ");
}

}  // namespace
