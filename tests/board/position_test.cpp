#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/movegen.h"
#include "tools/lib/perft.h"

namespace {

std::string text() {
    char buf[128];
    positionText(game, buf);
    return buf;
}

uint32_t mv(const char* s) {
    return makeMoveWord((s[0] - 'a') + 8 * (s[1] - '1'), (s[2] - 'a') + 8 * (s[3] - '1'));
}

TEST(Position, SetupCodesKeepThePreviousPosition) {
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/4K2R w K -"), 0);
    std::string before = text();
    EXPECT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/3KK3 w - -"), SETUP_NO_SLOT);
    EXPECT_EQ(setupFromFen(game, "8/8/8/8/8/8/8/4K3 w - -"), SETUP_NO_KING);
    EXPECT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/4KR2 b - -"), 0);  // black to move, in check: fine
    EXPECT_EQ(setupFromFen(game, "4k3/4R3/8/8/8/8/8/4K3 w - -"), SETUP_IN_CHECK);
    EXPECT_EQ(text(), "4k3/8/8/8/8/8/8/4KR2/ b - -");
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/4K2R w K -"), 0);
    for (const char* bad : {"", "8/8", "SETBOARD", "kkkkkkkkkkkkkkkkkkkkkkkk",
                            "4k3/PPPPPPPP/P7/8/8/8/8/4K3 w - -",
                            "P3k3/8/8/8/8/8/8/4K3 w - -", "QQQQQQQQ/QQQQQQQQ/QQ6/8/8/8/8/k3K3 w - -"}) {
        EXPECT_NE(setupFromFen(game, bad), 0) << bad;
        EXPECT_EQ(text(), before) << bad;
    }
}

TEST(Position, CastlingFieldIsAuthoritative) {
    ASSERT_EQ(setupFromFen(game, "r3k2r/8/8/8/8/8/8/R3K2R w - -"), 0);
    for (int i = 0; game.legalMoves[i]; i++) {
        uint32_t k = moveKind(game.legalMoves[i]);
        EXPECT_TRUE(k != MK_CASTLE_KING && k != MK_CASTLE_QUEEN);
    }
    EXPECT_EQ(text(), "r3k2r/8/8/8/8/8/8/R3K2R/ w - -");
    ASSERT_EQ(setupFromFen(game, "r3k2r/8/8/8/8/8/8/R3K2R w Kq -"), 0);
    EXPECT_EQ(text(), "r3k2r/8/8/8/8/8/8/R3K2R/ w Kq -");
    // a letter for a wing whose rook is not at home does not count
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/R3K1R1 w KQ -"), 0);
    EXPECT_EQ(text(), "4k3/8/8/8/8/8/8/R3K1R1/ w Q -");
    // no field at all: rights from the placement
    ASSERT_EQ(setupFromFen(game, "r3k2r/8/8/8/8/8/8/R3K2R w"), 0);
    EXPECT_EQ(text(), "r3k2r/8/8/8/8/8/8/R3K2R/ w KQkq -");
    // a king already on its wing counts as castled there
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/6K1 w - -"), 0);
    EXPECT_EQ(game.castle[CS_WHITE_KING], 1);
    EXPECT_EQ(game.castle[CS_WHITE_QUEEN], -1);
}

TEST(Position, EnPassantFieldAndUndo) {
    // after 1.e4 d5 2.e5 f5: the FEN names f6 and exf6 is offered
    ASSERT_EQ(setupFromFen(game, "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3"), 0);
    EXPECT_EQ(makeMove(game, mv("e5f6")), 0);
    EXPECT_EQ(game.squareSlot[(5) + 8 * 4], SLOT_EMPTY);  // the f5 pawn is gone
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(makeMove(game, mv("e5f6")), 0) << "the set-up's capture is offered again after undo";
    // an inconsistent field is ignored
    ASSERT_EQ(setupFromFen(game, "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 3"), 0);
    EXPECT_EQ(text(), "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR/ w KQkq -");
    // a field on the first or last rank has no pawn square beside it (found by fuzzing)
    for (const char* fen : {"4k3/8/8/8/8/8/8/4K2R w K e1 0 1", "4k3/8/8/8/8/8/8/4K2R b K h8 0 1"}) {
        ASSERT_EQ(setupFromFen(game, fen), 0) << fen;
        EXPECT_EQ(text().substr(text().size() - 1), "-");
    }
    // played in the game: the capture is offered exactly once, and again after undo
    newGame(game);
    listMoves(game);
    for (const char* m : {"e2e4", "d7d5", "e4e5", "f7f5"}) ASSERT_EQ(makeMove(game, mv(m)), 0);
    int ep = 0;
    for (int i = 0; game.legalMoves[i]; i++) ep += moveKind(game.legalMoves[i]) == MK_EN_PASSANT;
    EXPECT_EQ(ep, 1);
    EXPECT_EQ(makeMove(game, mv("e5f6")), 0);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(text(), "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR/ w KQkq f6");
    EXPECT_EQ(makeMove(game, mv("e5f6")), 0);
}

TEST(Position, ResultCodes) {
    newGame(game);
    listMoves(game);
    const char* knights[] = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};
    for (const char* m : knights) ASSERT_EQ(makeMove(game, mv(m)), 0) << m;
    EXPECT_EQ(makeMove(game, mv("g1f3")), 4);
    EXPECT_EQ(makeMove(game, mv("e2e5")), -1);
    // promotion without a piece, then with the knight
    ASSERT_EQ(setupFromFen(game, "8/4P3/8/8/8/8/k6p/4K3 w - -"), 0);
    EXPECT_EQ(makeMove(game, mv("e7e8")), 1);
    EXPECT_EQ(makeMove(game, mv("e7e8") | MK_PROMO_KNIGHT), 0);
    EXPECT_EQ(game.slotType[game.squareSlot[60]], KNIGHT);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.slotType[game.squareSlot[52]], WHITE_PAWN);
    // mate and stalemate
    newGame(game);
    listMoves(game);
    for (const char* m : {"f2f3", "e7e5", "g2g4"}) ASSERT_EQ(makeMove(game, mv(m)), 0);
    EXPECT_EQ(makeMove(game, mv("d8h4")), 2);
    EXPECT_EQ(game.result, 2);
    ASSERT_EQ(setupFromFen(game, "k7/8/1Q6/8/8/8/8/4K3 w - -"), 0);
    EXPECT_EQ(makeMove(game, mv("b6b5")), 0);
    ASSERT_EQ(setupFromFen(game, "k7/8/8/2Q5/8/8/8/4K3 w - -"), 0);
    EXPECT_EQ(makeMove(game, mv("c5b6")), 3);
    // insufficient material after the last capture
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/4r3/4KB2 w - -"), 0);
    EXPECT_EQ(makeMove(game, mv("e1e2")), 6);
    // castling through an attacked square is marked illegal
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/5r2/4K2R w K -"), 0);
    for (int i = 0; game.legalMoves[i]; i++) {
        if ((game.legalMoves[i] & 0xFFFF & ~MOVE_ILLEGAL) == CASTLE_WK_WHITE) {
            EXPECT_TRUE(game.legalMoves[i] & MOVE_ILLEGAL);
        }
    }
    // a set-up already mated or stalemated is recorded as such
    ASSERT_EQ(setupFromFen(game, "k7/1Q6/1K6/8/8/8/8/8 b - -"), 0);
    EXPECT_EQ(game.result, 2);
    ASSERT_EQ(setupFromFen(game, "k7/8/1Q6/8/8/8/8/4K3 b - -"), 0);
    EXPECT_EQ(game.result, 3);
}

TEST(Position, InsufficientMaterialCases) {
    struct { const char* fen; int expect; } cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - -", 1},    {"4k3/8/8/8/8/8/8/4KB2 w - -", 1},
        {"4k3/8/8/8/8/8/8/4KN2 w - -", 1},   {"4k3/8/8/8/8/8/8/4KR2 w - -", 0},
        {"2b1k3/8/8/8/8/8/8/4KB2 w - -", 1}, {"3bk3/8/8/8/8/8/8/4KB2 w - -", 0},
        {"4kn2/8/8/8/8/8/8/4KB2 w - -", 0},  {"4k3/8/8/8/8/8/4P3/4K3 w - -", 0},
    };
    for (auto& c : cases) {
        ASSERT_EQ(setupFromFen(game, c.fen), 0) << c.fen;
        EXPECT_EQ(insufficientMaterial(game.board), c.expect) << c.fen;
    }
}

TEST(Position, SlotRulesAndDiagram) {
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/2BBKB2 w - -"), 0);
    EXPECT_EQ(game.squareSlot[2], 4);   // c1 dark
    EXPECT_EQ(game.squareSlot[3], 5);   // d1 light
    EXPECT_EQ(game.squareSlot[5], 15);  // f1 light, both bishop slots taken
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/PPPPPP2/8/QQQ1K3 w - -"), 0);
    EXPECT_EQ(game.squareSlot[0], 1);
    EXPECT_EQ(game.squareSlot[1], 15);
    EXPECT_EQ(game.squareSlot[2], 14);
    newGame(game);
    testing::internal::CaptureStdout();
    printBoard(game);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, 9), "TCFDRFCT\n");
    EXPECT_EQ(out.substr(out.size() - 9), "tcfdrfct\n");
}

TEST(Position, SearchGeneratorsAndGivesCheck) {
    // capture scores and queen-only promotions for the quiescence search
    ASSERT_EQ(setupFromFen(game, "3r3k/4P3/8/8/8/8/8/4K3 w - -"), 0);
    copyBoardToWork(game.board);
    uint32_t list[MAX_MOVES];
    int n = generateCapturesWhite(list, 0, 0);
    ASSERT_EQ(n, 2);
    const uint32_t push = mv("e7e8") | MK_PROMO_QUEEN, take = mv("e7d8") | MK_PROMO_QUEEN;
    int pushAt = (list[0] & 0xFFFF) == push ? 0 : 1;
    EXPECT_EQ(list[pushAt] & 0xFFFF, push);
    EXPECT_EQ(list[1 - pushAt] & 0xFFFF, take);
    EXPECT_GT(list[1 - pushAt] >> 16, list[pushAt] >> 16);  // taking the rook as well scores higher
    // a rook move that pins the black knight against its king counts as check
    NodeState ns{};
    ns.pieceCount[0] = 1;
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/4n3/8/8/8/R5K1 w - -"), 0);
    copyBoardToWork(game.board);
    EXPECT_EQ(givesCheckWhite(mv("a1e1"), 60, ns), 1);
    EXPECT_EQ(givesCheckWhite(mv("a1a8"), 60, ns), 1);
    EXPECT_EQ(givesCheckWhite(mv("a1b1"), 60, ns), 0);
    // discovered check by the rook behind a moving knight
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/4N3/8/8/4RK2 w - -"), 0);
    copyBoardToWork(game.board);
    EXPECT_EQ(givesCheckWhite(mv("e4c3"), 60, ns), 1);
}

TEST(Position, FenHalfMoveFieldStartsTheFiftyMoveCount) {
    struct { const char* fen; int count; } cases[] = {
        {"4k3/8/8/8/8/8/8/R3K3 w - - 98 80", 98},
        {"4k3/8/8/8/8/8/8/R3K3 b - - 7", 7},            // no full-move number
        {"4k3/8/8/8/8/8/8/R3K3 w Q - 0 1", 0},
        {"4k3/8/8/8/8/8/8/R3K3 w - -", 0},              // EPD-like: no counters
        {"4k3/8/8/8/8/8/8/R3K3 w - - bm Ra8+;", 0},     // EPD operations
        {"4k3/8/8/8/8/8/8/R3K3 w - - x 1", 0},          // malformed fields count as none
        {"4k3/8/8/8/8/8/8/R3K3 w - - -5 1", 0},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 12x 1", 0},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 99999999999999999999 1", 0},
        {"4k3/8/8/8/8/8/8/R3K3 w", 0},
    };
    for (auto& c : cases) {
        ASSERT_EQ(setupFromFen(game, c.fen), 0) << c.fen;
        EXPECT_EQ(game.board.fiftyCount, c.count) << c.fen;
    }
    // The count runs on from the set-up: the 100th half-move is a claim.
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/4P3/R3K3 w - - 98 80"), 0);
    EXPECT_EQ(makeMove(game, mv("a1a2")), 0);
    EXPECT_EQ(makeMove(game, mv("e8d8")), 5);
    EXPECT_EQ(game.board.fiftyCount, 100);
    // A pawn move starts it again.
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/4P3/R3K3 w - - 98 80"), 0);
    EXPECT_EQ(makeMove(game, mv("e2e4")), 0);
    EXPECT_EQ(game.board.fiftyCount, 0);
    // A new game, and a set-up without counters, start from 0 again.
    newGame(game);
    listMoves(game);
    EXPECT_EQ(game.board.fiftyCount, 0);
}

TEST(Position, UndoRebuildsTheFiftyMoveCount) {
    newGame(game);
    listMoves(game);
    for (const char* m : {"e2e4", "g8f6", "g1f3", "f6g8", "f3g1"}) ASSERT_EQ(makeMove(game, mv(m)), 0) << m;
    ASSERT_EQ(game.board.fiftyCount, 4);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 3);
    for (int i = 0; i < 3; i++) ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 0);  // back to just after e2e4
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 0);

    // A take-back just before the claim keeps the claim for the replayed move.
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/4P3/R3K3 w - - 97 80"), 0);
    EXPECT_EQ(makeMove(game, mv("a1a2")), 0);
    EXPECT_EQ(makeMove(game, mv("e8d8")), 0);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 98);
    EXPECT_EQ(makeMove(game, mv("e8f8")), 0);
    EXPECT_EQ(makeMove(game, mv("a2a1")), 5);
    // Undone back to the set-up, the FEN's own count returns.
    while (undoMove(game) == 0) {
    }
    EXPECT_EQ(game.board.fiftyCount, 97);
    EXPECT_EQ(makeMove(game, mv("a1a3")), 0);
    EXPECT_EQ(makeMove(game, mv("e8e7")), 0);
    EXPECT_EQ(makeMove(game, mv("a3a4")), 5);
    // A capture inside the record stops the count there.
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/r7/R3K3 w - - 60 80"), 0);
    for (const char* m : {"a1a2", "e8d8", "a2b2", "d8e8"}) ASSERT_EQ(makeMove(game, mv(m)), 0) << m;
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 2);
}

TEST(Position, RepetitionsAfterUndoAndAfterASetUpWithACount) {
    const char* knights[] = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};
    // A take-back must not hide a repetition for the next few moves.
    newGame(game);
    listMoves(game);
    for (const char* m : knights) ASSERT_EQ(makeMove(game, mv(m)), 0) << m;
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(makeMove(game, mv("f6g8")), 0);
    EXPECT_EQ(makeMove(game, mv("g1f3")), 4);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(makeMove(game, mv("g1f3")), 4);
    // From a set-up with a high count the repetition comes first, then the claim.
    ASSERT_EQ(setupFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 90 80"), 0);
    for (const char* m : knights) ASSERT_EQ(makeMove(game, mv(m)), 0) << m;
    EXPECT_EQ(makeMove(game, mv("g1f3")), 4);
    EXPECT_EQ(makeMove(game, mv("b8c6")), 5);
}

}  // namespace
