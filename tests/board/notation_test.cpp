#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"

namespace {

uint32_t sq(const char* s) { return uint32_t((s[0] - 'a') + 8 * (s[1] - '1')); }
uint32_t mv(const char* s, uint32_t kind = 0) { return makeMoveWord(sq(s), sq(s + 2), kind); }

uint32_t coord(const char* text, int side) {
    // Exactly sized, so reading past the terminator is a real overrun.
    std::vector<char> t(text, text + std::strlen(text) + 1);
    return parseMove(t.data(), side);
}

uint32_t san(const char* text) {
    std::vector<char> t(text, text + std::strlen(text) + 1);
    return parseSan(t.data(), game.sideToMove, game.legalMoves, game.board);
}

std::string sanOf(uint32_t m) {
    std::string out;
    moveToSan(out, m, game.legalMoves, game.board);
    return out;
}

std::string text(uint32_t m) {
    char buf[8];
    moveToText(m, buf);
    return buf;
}

bool listed(uint32_t m, bool legal) {
    for (int i = 0; game.legalMoves[i]; i++)
        if ((game.legalMoves[i] & 0x7FFF) == m) return legal == !(game.legalMoves[i] & MOVE_ILLEGAL);
    return false;
}

class LettersFixture : public testing::Test {
protected:
    void SetUp() override { selectEnglishLetters(); }
    void setup(const char* fen) { ASSERT_EQ(setupFromFen(game, fen), 0) << fen; }
};

class NotationCoordinates : public LettersFixture {};
class NotationSanReading : public LettersFixture {};
class NotationSanWriting : public LettersFixture {};
class NotationLine : public LettersFixture {};

// --- coordinate notation ---------------------------------------------------

TEST_F(NotationCoordinates, PromotionLettersEnglishAndFrench) {
    const uint32_t e7e8 = mv("e7e8");
    struct Case { const char* text; uint32_t kind; } cases[] = {
        {"e7e8q", MK_PROMO_QUEEN},  {"E7E8=Q", MK_PROMO_QUEEN}, {"e7e8d", MK_PROMO_QUEEN},
        {"e7e8r", MK_PROMO_ROOK},   {"e7e8=t", MK_PROMO_ROOK},  {"e7e8B", MK_PROMO_BISHOP},
        {"e7e8f", MK_PROMO_BISHOP}, {"e7e8n", MK_PROMO_KNIGHT}, {"e7e8=C", MK_PROMO_KNIGHT},
        {"e7e8x", 0},  {"e7e8k", 0},  {"e7e8=x", 0}, {"e7e8=", 0}, {"e7e8 ", 0}, {"e7e8+", 0}, {"e7e8", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(coord(c.text, 0), e7e8 | c.kind) << c.text;
}

TEST_F(NotationCoordinates, EnPassantSuffixAndPlainMoves) {
    EXPECT_EQ(coord("e5d6ep", 0), mv("e5d6", MK_EN_PASSANT));
    EXPECT_EQ(coord("E5D6EP", 0), mv("e5d6", MK_EN_PASSANT));
    EXPECT_EQ(coord("e5d6", 0), mv("e5d6"));
    EXPECT_EQ(coord("e5d6e", 0), mv("e5d6"));  // a lone E is no promotion letter
    EXPECT_EQ(coord("a1h8", 1), mv("a1h8"));
    EXPECT_EQ(coord("h8a1", 0), mv("h8a1"));
}

TEST_F(NotationCoordinates, CastlingWordsDependOnSide) {
    for (const char* k : {"o-o", "O-O", "0-0", "O-O+", "0-0 "}) {
        EXPECT_EQ(coord(k, WHITE), CASTLE_WK_WHITE) << k;
        EXPECT_EQ(coord(k, BLACK), CASTLE_BK_BLACK) << k;
    }
    for (const char* q : {"o-o-o", "O-O-O", "0-0-0", "O-O-O#"}) {
        EXPECT_EQ(coord(q, WHITE), CASTLE_WQ_WHITE) << q;
        EXPECT_EQ(coord(q, BLACK), CASTLE_BQ_BLACK) << q;
    }
}

TEST_F(NotationCoordinates, MalformedTextIsNoMove) {
    for (const char* bad : {"", "e", "e2", "e2e", "z9z9", "i2i4", "a0a1", "a9a1", "e2e9", "2e4e", "O", "0", "O-",
                            "0-", "O-O-", "O-0", "0-O", "O-O-0", "OO", "O--O", "-", " e2e4"})
        EXPECT_EQ(coord(bad, 0), 0u) << '"' << bad << '"';
}

TEST_F(NotationCoordinates, WritingUsesActiveLettersAndKingMoves) {
    EXPECT_EQ(text(mv("a2a1", MK_PROMO_QUEEN)), "a2a1Q");
    EXPECT_EQ(text(mv("h7g8", MK_PROMO_ROOK)), "h7g8R");
    EXPECT_EQ(text(mv("b7b8", MK_PROMO_BISHOP)), "b7b8B");
    EXPECT_EQ(text(mv("b7a8", MK_PROMO_KNIGHT)), "b7a8N");
    EXPECT_EQ(text(CASTLE_WQ_WHITE), "e1c1");
    EXPECT_EQ(text(CASTLE_BK_BLACK), "e8g8");
    EXPECT_EQ(text(mv("e5d6", MK_EN_PASSANT)), "e5d6");
    EXPECT_EQ(text(mv("a1a1")), "a1a1");
    EXPECT_EQ(text(mv("h8h8")), "h8h8");
}

TEST_F(NotationCoordinates, EveryLegalMoveSurvivesARoundTrip) {
    // Promotions with and without capture, en passant and both castlings.
    setup("r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6");
    int count = 0;
    for (int i = 0; game.legalMoves[i]; i++) {
        uint32_t m = game.legalMoves[i] & 0xFFFF;
        if (m & MOVE_ILLEGAL) continue;
        count++;
        uint32_t kind = moveKind(m);
        // Coordinates carry no castling or en-passant kind; makeMove restores it.
        uint32_t expected = kind == MK_EN_PASSANT || kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN ? m & 0xFFF : m;
        std::string t = text(m);
        EXPECT_EQ(parseMove(&t[0], WHITE), expected) << text(m);
    }
    EXPECT_GT(count, 30);
}

// --- algebraic notation, reading --------------------------------------------

TEST_F(NotationSanReading, FileAndRankDisambiguation) {
    setup("rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(san("Nbd7"), mv("b8d7"));
    EXPECT_EQ(san("nbd7"), mv("b8d7"));  // lower-case n is still a piece letter
    EXPECT_EQ(san("Nfd7"), mv("f6d7"));
    EXPECT_EQ(san("Nd7"), 0u);
    EXPECT_EQ(san("Ncd7"), 0u);

    setup("4k3/8/8/R7/8/8/8/R3K3 w - -");
    EXPECT_EQ(san("R1a3"), mv("a1a3"));
    EXPECT_EQ(san("R5a3"), mv("a5a3"));
    EXPECT_EQ(san("Ra3"), 0u);
    EXPECT_EQ(san("Raa3"), 0u);  // both rooks stand on the a-file
    EXPECT_EQ(san("Rb1"), mv("a1b1"));
    EXPECT_EQ(san("Rh5"), mv("a5h5"));

    setup("4k3/8/8/3p4/8/2N1N3/8/4K3 w - -");
    EXPECT_EQ(san("Ncxd5"), mv("c3d5"));
    EXPECT_EQ(san("Nexd5"), mv("e3d5"));
    EXPECT_EQ(san("Nxd5"), 0u);
}

// A pinned knight's move is illegal and must not make the other one's move
// ambiguous, in reading or in writing.
TEST_F(NotationSanReading, PinnedRivalsDoNotNeedNamingApart) {
    setup("4k3/4r3/8/8/8/8/2N1N3/4K3 w - -");
    EXPECT_EQ(san("Nd4"), mv("c2d4"));
    EXPECT_EQ(sanOf(mv("c2d4")), "Nd4 ");
    EXPECT_EQ(san("Ned4"), 0u);
}

TEST_F(NotationSanReading, PawnCapturesAgainstPieceLetters) {
    setup("4k3/8/8/4b3/1p6/2P5/8/4K3 b - -");
    EXPECT_EQ(san("bxc3"), mv("b4c3"));
    EXPECT_EQ(san("Bxc3"), mv("e5c3"));
    EXPECT_EQ(san("bc3"), mv("b4c3"));
    EXPECT_EQ(san("b3"), mv("b4b3"));

    setup("4k3/8/8/3p4/2P1P3/8/8/4K3 w - -");
    EXPECT_EQ(san("cxd5"), mv("c4d5"));
    EXPECT_EQ(san("exd5"), mv("e4d5"));
    EXPECT_EQ(san("exd"), mv("e4d5"));  // destination file alone
    EXPECT_EQ(san("c5"), mv("c4c5"));
    EXPECT_EQ(san("dxd5"), 0u);
    EXPECT_EQ(san("xd5"), 0u);
}

TEST_F(NotationSanReading, PromotionNeedsAnEqualsSign) {
    setup("3r4/4P3/8/8/8/8/k7/4K3 w - -");
    EXPECT_EQ(san("e8=Q"), mv("e7e8", MK_PROMO_QUEEN));
    EXPECT_EQ(san("e8=n"), mv("e7e8", MK_PROMO_KNIGHT));
    EXPECT_EQ(san("exd8=R"), mv("e7d8", MK_PROMO_ROOK));
    EXPECT_EQ(san("exd8=B+"), mv("e7d8", MK_PROMO_BISHOP));
    EXPECT_EQ(san("e8Q"), 0u);
    EXPECT_EQ(san("e8"), 0u);
    EXPECT_EQ(san("exd8"), 0u);
    EXPECT_EQ(san("e8="), 0u);
}

TEST_F(NotationSanReading, EntriesMarkedIllegalAreNoCandidates) {
    // The d2 knight is pinned; its moves are in the list, marked illegal.
    setup("4k3/8/8/8/1b6/8/3N4/4K1N1 w - -");
    ASSERT_TRUE(listed(mv("d2f3"), false));
    ASSERT_TRUE(listed(mv("g1f3"), true));
    EXPECT_EQ(san("Nf3"), mv("g1f3"));
    EXPECT_EQ(san("Ngf3"), mv("g1f3"));
    EXPECT_EQ(san("Nb3"), 0u);
}

TEST_F(NotationSanReading, CastlingAndKingMoves) {
    setup("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(san("O-O"), CASTLE_WK_WHITE);
    EXPECT_EQ(san("0-0-0"), CASTLE_WQ_WHITE);
    EXPECT_EQ(san("Kf1"), mv("e1f1"));
    setup("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    EXPECT_EQ(san("o-o"), CASTLE_BK_BLACK);
    EXPECT_EQ(san("O-O-O"), CASTLE_BQ_BLACK);
}

TEST_F(NotationSanReading, CheckSignsAnnotationsAndEnPassantSuffixAreIgnored) {
    newGame(game);
    listMoves(game);
    for (const char* t : {"Nf3+", "Nf3#", "Nf3!", "Nf3??", "Nf3!?", "Ngf3+!", "Nf3 "})
        EXPECT_EQ(san(t), mv("g1f3")) << t;
    EXPECT_EQ(san("e4!?"), mv("e2e4"));
    EXPECT_EQ(san("e4#"), mv("e2e4"));

    setup("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(san("O-O+"), CASTLE_WK_WHITE);
    EXPECT_EQ(san("O-O-O#"), CASTLE_WQ_WHITE);
    EXPECT_EQ(san("0-0-0!"), CASTLE_WQ_WHITE);

    setup("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    for (const char* t : {"exd6", "exd6e.p.", "exd6 e.p.", "exd6E.P.", "exd6e.p.+", "exd6+e.p.", "exd6+"})
        EXPECT_EQ(san(t), mv("e5d6")) << t;
}

TEST_F(NotationSanReading, MalformedTextIsNoMove) {
    newGame(game);
    listMoves(game);
    for (const char* bad : {"", "N", "Nx", "Nxe", "Nf", "Z", "x", "+", "#", "!!", "e.p.", "e9", "i4", "Qz9", "Pe4",
                            "Xe4", "N0f3", "Nf9", "e5", "O-", "-"})
        EXPECT_EQ(san(bad), 0u) << '"' << bad << '"';
}

TEST_F(NotationSanWriting, FormatSanPieces) {
    std::string out;
    formatSan(out, CASTLE_BQ_BLACK, KING, 0, 0);
    formatSan(out, CASTLE_WK_WHITE, KING, 0, 0);
    EXPECT_EQ(out, "O-O-O O-O ");
    out = "";
    formatSan(out, mv("e5d6", MK_EN_PASSANT), WHITE_PAWN, 0, 0);
    EXPECT_EQ(out, "exd6 ");
    out = "";
    formatSan(out, mv("b2a1", MK_PROMO_KNIGHT), BLACK_PAWN, 1, 0);
    EXPECT_EQ(out, "bxa1=N ");
    out = "";
    formatSan(out, mv("e2e4"), WHITE_PAWN, 0, 'e');  // pawns never disambiguate
    EXPECT_EQ(out, "e4 ");
    out = "";
    formatSan(out, mv("b8d7"), KNIGHT, 1, 'b');
    formatSan(out, mv("a1a3"), ROOK, 0, '1');
    formatSan(out, mv("d1h5"), QUEEN, 0, 0);
    EXPECT_EQ(out, "Nbxd7 R1a3 Qh5 ");
}

TEST_F(NotationSanWriting, DisambiguationByFileThenRank) {
    setup("4k3/8/8/8/8/8/4K3/R6R w - -");
    EXPECT_EQ(sanOf(mv("a1d1")), "Rad1 ");
    EXPECT_EQ(sanOf(mv("h1d1")), "Rhd1 ");
    EXPECT_EQ(sanOf(mv("a1a5")), "Ra5 ");

    setup("4k3/8/8/R7/8/8/8/R3K3 w - -");
    EXPECT_EQ(sanOf(mv("a1a3")), "R1a3 ");
    EXPECT_EQ(sanOf(mv("a5a3")), "R5a3 ");
    EXPECT_EQ(sanOf(mv("a1b1")), "Rb1 ");

    setup("4k3/8/8/3p4/8/2N1N3/8/4K3 w - -");
    EXPECT_EQ(sanOf(mv("c3d5")), "Ncxd5 ");
    EXPECT_EQ(sanOf(mv("e3d5")), "Nexd5 ");

    // A pinned rival cannot go there: no letter is needed.
    setup("4k3/8/8/8/1b6/8/3N4/4K1N1 w - -");
    EXPECT_EQ(sanOf(mv("g1f3")), "Nf3 ");
    EXPECT_EQ(sanOf(mv("g1h3")), "Nh3 ");
}

TEST_F(NotationSanWriting, PawnsCastlingAndEnPassantTakeKindsFromTheList) {
    setup("4k3/8/8/3p4/2P1P3/8/8/4K3 w - -");
    EXPECT_EQ(sanOf(mv("c4d5")), "cxd5 ");
    EXPECT_EQ(sanOf(mv("e4d5")), "exd5 ");
    EXPECT_EQ(sanOf(mv("e4e5")), "e5 ");

    setup("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    EXPECT_EQ(sanOf(mv("e5d6")), "exd6 ");
    EXPECT_EQ(sanOf(mv("e5d6", MK_EN_PASSANT)), "exd6 ");

    setup("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    EXPECT_EQ(sanOf(mv("e8g8")), "O-O ");
    EXPECT_EQ(sanOf(mv("e8c8")), "O-O-O ");
    EXPECT_EQ(sanOf(mv("h8h1")), "Rxh1 ");
}

TEST_F(NotationSanWriting, PromotionsMustMatchAnEntry) {
    setup("3r4/4P3/8/8/8/8/k7/4K3 w - -");
    EXPECT_EQ(sanOf(mv("e7e8", MK_PROMO_QUEEN)), "e8=Q ");
    EXPECT_EQ(sanOf(mv("e7d8", MK_PROMO_KNIGHT)), "exd8=N ");
    EXPECT_EQ(sanOf(mv("e7e8")), "");
    EXPECT_EQ(sanOf(mv("e1d1", MK_PROMO_QUEEN)), "");
}

TEST_F(NotationSanWriting, NothingForEmptySquaresOrUnlistedMoves) {
    newGame(game);
    listMoves(game);
    EXPECT_EQ(sanOf(mv("e3e4")), "");
    EXPECT_EQ(sanOf(mv("e2e5")), "");
    EXPECT_EQ(sanOf(mv("e7e5")), "");  // the other side's man
    std::string out = "1. ";
    moveToSan(out, mv("g1f3"), game.legalMoves, game.board);
    EXPECT_EQ(out, "1. Nf3 ");
}

TEST_F(NotationSanWriting, EverySanSurvivesARoundTrip) {
    const char* fens[] = {"r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6",
                          "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
                          "4k3/8/8/R7/8/2N1N3/8/R3K3 w - -"};
    for (const char* fen : fens) {
        setup(fen);
        for (int i = 0; game.legalMoves[i]; i++) {
            uint32_t m = game.legalMoves[i] & 0xFFFF;
            if (m & MOVE_ILLEGAL) continue;
            std::string s = sanOf(m);
            ASSERT_FALSE(s.empty()) << text(m);
            ASSERT_EQ(s.back(), ' ');
            s.pop_back();
            uint32_t kind = moveKind(m);
            uint32_t expected = kind == MK_EN_PASSANT ? m & 0xFFF : m;
            EXPECT_EQ(san(s.c_str()), expected) << fen << " " << s;
        }
    }
}

// --- lines ------------------------------------------------------------------

uint32_t scored(int score, uint32_t m) { return (uint32_t(score) << 16) | m; }

std::string line(const std::vector<uint32_t>& seq, int annotation, int first = 0) {
    std::vector<uint32_t> s = seq;
    s.push_back(0);
    std::string out;
    formatLine(out, s.data(), first, game.sideToMove, game.legalMoves, game.board, annotation);
    return out;
}

TEST_F(NotationLine, AnnotationFollowsTheFirstMovesBlank) {
    newGame(game);
    listMoves(game);
    std::vector<uint32_t> seq = {mv("e2e4"), scored(-35, mv("e7e5")), scored(12, mv("g1f3")), mv("b8c6")};
    EXPECT_EQ(line(seq, 1), "e4 !e5 Nf3 Nc6 ");
    EXPECT_EQ(line(seq, 0), "e4 ?e5 Nf3 Nc6 ");
    EXPECT_EQ(line(seq, 2), "e4 ?e5 Nf3 Nc6 ");
    EXPECT_EQ(line(seq, -1), "e4 e5 Nf3 Nc6 ");
}

TEST_F(NotationLine, StartsAtTheFirstIndexAndAppends) {
    setup("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    std::vector<uint32_t> seq = {mv("e2e4"), mv("e7e5"), mv("g1f3"), 0};
    seq.pop_back();
    // The annotation belongs to index 0, which is not written here.
    EXPECT_EQ(line(seq, 1, 1), "e5 Nf3 ");
    std::vector<uint32_t> s = seq;
    s.push_back(0);
    std::string out = "pv ";
    formatLine(out, s.data(), 1, BLACK, game.legalMoves, game.board, -1);
    EXPECT_EQ(out, "pv e5 Nf3 ");
}

TEST_F(NotationLine, PlaysCastlingAndTracksDisambiguation) {
    setup("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    // Plain king moves: the castling kind must come from the list, or the
    // rooks stay home and the rook moves below are not found.
    EXPECT_EQ(line({mv("e1g1"), mv("e8c8"), mv("f1d1"), mv("h8e8"), mv("a1b1"), mv("e8e1")}, -1),
              "O-O O-O-O Rfd1 Rhe8 Rab1 Re1 ");
}

TEST_F(NotationLine, PlaysEnPassantAsACapture) {
    setup("4k3/8/8/8/3p4/8/4PK2/8 w - -");
    EXPECT_EQ(line({mv("e2e4"), mv("d4e3"), mv("f2e3"), mv("e8d7")}, -1), "e4 dxe3 Kxe3 Kd7 ");
}

TEST_F(NotationLine, StopsAtMovesNotInTheList) {
    newGame(game);
    listMoves(game);
    EXPECT_EQ(line({mv("e2e4"), mv("e2e4"), mv("g1f3")}, -1), "e4 ");
    EXPECT_EQ(line({mv("e2e5"), mv("e7e5")}, 1), "");
    // Fool's mate: after the mate the list holds no entry for a1a8.
    EXPECT_EQ(line({mv("f2f3"), mv("e7e5"), mv("g2g4"), mv("d8h4"), mv("a1a8")}, -1), "f3 e5 g4 Qh4 ");
}

TEST_F(NotationLine, StopsAfterAnIllegalMove) {
    setup("4k3/8/8/8/1b6/8/3N4/4K1N1 w - -");
    std::string out = line({mv("d2f3"), mv("e8d8"), mv("g1h3")}, -1);
    EXPECT_EQ(out.rfind("Ndf3 ", 0), 0u) << out;
    EXPECT_EQ(out.find("Kd8"), std::string::npos) << out;
    EXPECT_EQ(out.find("Nh3"), std::string::npos) << out;
}

TEST_F(NotationLine, LeavesTheCallersBoardAndListAlone) {
    newGame(game);
    listMoves(game);
    Board before = game.board;
    std::vector<uint32_t> list(game.legalMoves, game.legalMoves + MAX_MOVES);
    line({mv("e2e4"), mv("e7e5"), mv("d1h5"), mv("b8c6")}, 1);
    EXPECT_EQ(std::memcmp(&before, &game.board, sizeof before), 0);
    EXPECT_TRUE(std::equal(list.begin(), list.end(), game.legalMoves));
}

TEST_F(NotationLine, AtMostFiftyNineMoves) {
    newGame(game);
    listMoves(game);
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<uint32_t> seq;
    for (int i = 0; i < 70; i++) seq.push_back(mv(cycle[i % 4]));
    std::string out = line(seq, -1);
    EXPECT_EQ(std::count(out.begin(), out.end(), ' '), 59) << out;
    seq.push_back(0);
    formatLineCoordinates(out, seq.data(), -1);
    EXPECT_EQ(std::count(out.begin(), out.end(), ' '), 59) << out;
}

TEST_F(NotationLine, CoordinateLineReplacesOutput) {
    uint32_t seq[] = {scored(-200, mv("e7e8", MK_PROMO_QUEEN)), CASTLE_BK_BLACK, scored(7, mv("e5d6", MK_EN_PASSANT)), 0,
                      mv("a1a2")};
    std::string out = "stale text";
    formatLineCoordinates(out, seq, 1);
    EXPECT_EQ(out, "e7e8Q! e8g8 e5d6 ");
    formatLineCoordinates(out, seq, -1);
    EXPECT_EQ(out, "e7e8Q e8g8 e5d6 ");
    formatLineCoordinates(out, seq, 3);
    EXPECT_EQ(out, "e7e8Q? e8g8 e5d6 ");
    uint32_t empty[] = {0};
    formatLineCoordinates(out, empty, 1);
    EXPECT_EQ(out, "");
}

}  // namespace
