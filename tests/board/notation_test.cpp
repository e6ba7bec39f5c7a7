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

TEST_F(NotationCoordinates, ReadingPromotionLettersEnPassantAndCastling) {
    const uint32_t e7e8 = mv("e7e8");
    struct Case { const char* text; int side; uint32_t want; } cases[] = {
        // English and French promotion letters; anything else promotes to nothing
        {"e7e8q", 0, e7e8 | MK_PROMO_QUEEN},   {"E7E8=Q", 0, e7e8 | MK_PROMO_QUEEN}, {"e7e8d", 0, e7e8 | MK_PROMO_QUEEN},
        {"e7e8r", 0, e7e8 | MK_PROMO_ROOK},    {"e7e8=t", 0, e7e8 | MK_PROMO_ROOK},  {"e7e8B", 0, e7e8 | MK_PROMO_BISHOP},
        {"e7e8f", 0, e7e8 | MK_PROMO_BISHOP},  {"e7e8n", 0, e7e8 | MK_PROMO_KNIGHT}, {"e7e8=C", 0, e7e8 | MK_PROMO_KNIGHT},
        {"e7e8x", 0, e7e8}, {"e7e8k", 0, e7e8}, {"e7e8=x", 0, e7e8}, {"e7e8=", 0, e7e8}, {"e7e8 ", 0, e7e8},
        {"e7e8+", 0, e7e8}, {"e7e8", 0, e7e8},
        {"e5d6ep", 0, mv("e5d6", MK_EN_PASSANT)}, {"E5D6EP", 0, mv("e5d6", MK_EN_PASSANT)},
        {"e5d6e", 0, mv("e5d6")},  // a lone E is no promotion letter
        {"a1h8", 1, mv("a1h8")}, {"h8a1", 0, mv("h8a1")},
    };
    for (const Case& c : cases) EXPECT_EQ(coord(c.text, c.side), c.want) << c.text;
    // Castling words depend on the side to move.
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
    struct Case { uint32_t move; const char* want; } cases[] = {
        {mv("a2a1", MK_PROMO_QUEEN), "a2a1Q"}, {mv("h7g8", MK_PROMO_ROOK), "h7g8R"},
        {mv("b7b8", MK_PROMO_BISHOP), "b7b8B"}, {mv("b7a8", MK_PROMO_KNIGHT), "b7a8N"},
        {CASTLE_WQ_WHITE, "e1c1"}, {CASTLE_BK_BLACK, "e8g8"}, {mv("e5d6", MK_EN_PASSANT), "e5d6"},
        {mv("a1a1"), "a1a1"}, {mv("h8h8"), "h8h8"},
    };
    for (const Case& c : cases) EXPECT_EQ(text(c.move), c.want);
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

// --- algebraic notation ----------------------------------------------------

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
const char* const CASTLES_W = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";
const char* const CASTLES_B = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -";
const char* const TWO_ROOKS = "4k3/8/8/R7/8/8/8/R3K3 w - -";         // a1 and a5
const char* const TWO_KNIGHTS = "4k3/8/8/3p4/8/2N1N3/8/4K3 w - -";   // c3 and e3 reach d5
const char* const PINNED_D2 = "4k3/8/8/8/1b6/8/3N4/4K1N1 w - -";    // d2 pinned; g1 alone reaches f3
const char* const PAWNS_TAKE = "4k3/8/8/3p4/2P1P3/8/8/4K3 w - -";
const char* const EN_PASSANT = "4k3/8/8/3pP3/8/8/8/4K3 w - d6";
const char* const PROMOTE = "3r4/4P3/8/8/8/8/k7/4K3 w - -";

TEST_F(NotationSanReading, TableOfTexts) {
    const uint32_t none = 0;
    struct Case { const char* fen; const char* text; uint32_t want; } cases[] = {
        // file and rank disambiguation; a lower-case n is still a piece letter
        {"rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", "Nbd7", mv("b8d7")},
        {"rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", "nbd7", mv("b8d7")},
        {"rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", "Nfd7", mv("f6d7")},
        {"rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", "Nd7", none},
        {"rnbqkb1r/ppp1pppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -", "Ncd7", none},
        {TWO_ROOKS, "R1a3", mv("a1a3")}, {TWO_ROOKS, "R5a3", mv("a5a3")}, {TWO_ROOKS, "Ra3", none},
        {TWO_ROOKS, "Raa3", none},  // both rooks stand on the a-file
        {TWO_ROOKS, "Rb1", mv("a1b1")}, {TWO_ROOKS, "Rh5", mv("a5h5")},
        {TWO_KNIGHTS, "Ncxd5", mv("c3d5")}, {TWO_KNIGHTS, "Nexd5", mv("e3d5")}, {TWO_KNIGHTS, "Nxd5", none},
        // a pinned rival, or one whose move is listed as illegal, needs no naming apart
        {"4k3/4r3/8/8/8/8/2N1N3/4K3 w - -", "Nd4", mv("c2d4")},
        {"4k3/4r3/8/8/8/8/2N1N3/4K3 w - -", "Ned4", none},
        {PINNED_D2, "Nf3", mv("g1f3")}, {PINNED_D2, "Ngf3", mv("g1f3")}, {PINNED_D2, "Nb3", none},
        // pawn captures against piece letters
        {"4k3/8/8/4b3/1p6/2P5/8/4K3 b - -", "bxc3", mv("b4c3")},
        {"4k3/8/8/4b3/1p6/2P5/8/4K3 b - -", "Bxc3", mv("e5c3")},
        {"4k3/8/8/4b3/1p6/2P5/8/4K3 b - -", "bc3", mv("b4c3")},
        {"4k3/8/8/4b3/1p6/2P5/8/4K3 b - -", "b3", mv("b4b3")},
        {PAWNS_TAKE, "cxd5", mv("c4d5")}, {PAWNS_TAKE, "exd5", mv("e4d5")},
        {PAWNS_TAKE, "exd", mv("e4d5")},  // destination file alone
        {PAWNS_TAKE, "c5", mv("c4c5")}, {PAWNS_TAKE, "dxd5", none}, {PAWNS_TAKE, "xd5", none},
        // promotion needs an equals sign
        {PROMOTE, "e8=Q", mv("e7e8", MK_PROMO_QUEEN)}, {PROMOTE, "e8=n", mv("e7e8", MK_PROMO_KNIGHT)},
        {PROMOTE, "exd8=R", mv("e7d8", MK_PROMO_ROOK)}, {PROMOTE, "exd8=B+", mv("e7d8", MK_PROMO_BISHOP)},
        {PROMOTE, "e8Q", none}, {PROMOTE, "e8", none}, {PROMOTE, "exd8", none}, {PROMOTE, "e8=", none},
        // castling, with zeros or letters, and check signs or annotations after it
        {CASTLES_W, "O-O", CASTLE_WK_WHITE}, {CASTLES_W, "0-0-0", CASTLE_WQ_WHITE}, {CASTLES_W, "Kf1", mv("e1f1")},
        {CASTLES_W, "O-O+", CASTLE_WK_WHITE}, {CASTLES_W, "O-O-O#", CASTLE_WQ_WHITE},
        {CASTLES_W, "0-0-0!", CASTLE_WQ_WHITE},
        {CASTLES_B, "o-o", CASTLE_BK_BLACK}, {CASTLES_B, "O-O-O", CASTLE_BQ_BLACK},
        // en passant with or without its suffix
        {EN_PASSANT, "exd6", mv("e5d6")}, {EN_PASSANT, "exd6e.p.", mv("e5d6")},
        {EN_PASSANT, "exd6 e.p.", mv("e5d6")}, {EN_PASSANT, "exd6E.P.", mv("e5d6")},
        {EN_PASSANT, "exd6e.p.+", mv("e5d6")}, {EN_PASSANT, "exd6+e.p.", mv("e5d6")},
        {EN_PASSANT, "exd6+", mv("e5d6")},
    };
    for (const Case& c : cases) {
        setup(c.fen);
        EXPECT_EQ(san(c.text), c.want) << c.fen << " " << c.text;
    }
    // The pinned knight's moves are in the list, marked illegal.
    setup(PINNED_D2);
    EXPECT_TRUE(listed(mv("d2f3"), false));
    EXPECT_TRUE(listed(mv("g1f3"), true));
    // Check signs and annotations are ignored; malformed text is no move.
    setup(START);
    for (const char* t : {"Nf3+", "Nf3#", "Nf3!", "Nf3??", "Nf3!?", "Ngf3+!", "Nf3 "})
        EXPECT_EQ(san(t), mv("g1f3")) << t;
    EXPECT_EQ(san("e4!?"), mv("e2e4"));
    EXPECT_EQ(san("e4#"), mv("e2e4"));
    for (const char* bad : {"", "N", "Nx", "Nxe", "Nf", "Z", "x", "+", "#", "!!", "e.p.", "e9", "i4", "Qz9", "Pe4",
                            "Xe4", "N0f3", "Nf9", "e5", "O-", "-"})
        EXPECT_EQ(san(bad), 0u) << '"' << bad << '"';
}

// Kinds (castling, en passant) come from the list; a move that matches no
// entry, promotion or not, writes nothing.
TEST_F(NotationSanWriting, TableOfMoves) {
    struct Case { const char* fen; uint32_t move; const char* want; } cases[] = {
        {"4k3/8/8/8/8/8/4K3/R6R w - -", mv("a1d1"), "Rad1 "}, {"4k3/8/8/8/8/8/4K3/R6R w - -", mv("h1d1"), "Rhd1 "},
        {"4k3/8/8/8/8/8/4K3/R6R w - -", mv("a1a5"), "Ra5 "},
        {TWO_ROOKS, mv("a1a3"), "R1a3 "}, {TWO_ROOKS, mv("a5a3"), "R5a3 "}, {TWO_ROOKS, mv("a1b1"), "Rb1 "},
        {TWO_KNIGHTS, mv("c3d5"), "Ncxd5 "}, {TWO_KNIGHTS, mv("e3d5"), "Nexd5 "},
        {PINNED_D2, mv("g1f3"), "Nf3 "}, {PINNED_D2, mv("g1h3"), "Nh3 "},
        {"4k3/4r3/8/8/8/8/2N1N3/4K3 w - -", mv("c2d4"), "Nd4 "},
        {PAWNS_TAKE, mv("c4d5"), "cxd5 "}, {PAWNS_TAKE, mv("e4d5"), "exd5 "}, {PAWNS_TAKE, mv("e4e5"), "e5 "},
        {EN_PASSANT, mv("e5d6"), "exd6 "}, {EN_PASSANT, mv("e5d6", MK_EN_PASSANT), "exd6 "},
        {CASTLES_B, mv("e8g8"), "O-O "}, {CASTLES_B, mv("e8c8"), "O-O-O "}, {CASTLES_B, mv("h8h1"), "Rxh1 "},
        {PROMOTE, mv("e7e8", MK_PROMO_QUEEN), "e8=Q "}, {PROMOTE, mv("e7d8", MK_PROMO_KNIGHT), "exd8=N "},
        {PROMOTE, mv("e7e8"), ""}, {PROMOTE, mv("e1d1", MK_PROMO_QUEEN), ""},
        {START, mv("e3e4"), ""}, {START, mv("e2e5"), ""}, {START, mv("e7e5"), ""},  // the other side's man
    };
    for (const Case& c : cases) {
        setup(c.fen);
        EXPECT_EQ(sanOf(c.move), c.want) << c.fen << " " << text(c.move);
    }
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

std::vector<uint32_t> moves(const char* list) {
    std::vector<uint32_t> out;
    for (const char* p = list; *p; p += p[4] ? 5 : 4) out.push_back(mv(p));
    return out;
}

TEST_F(NotationLine, PlaysEachMoveAndStopsAtOneNotInTheList) {
    struct Case { const char* fen; const char* seq; const char* want; } cases[] = {
        // Plain king moves: the castling kind must come from the list, or the
        // rooks stay home and the rook moves after them are not found.
        {CASTLES_W, "e1g1 e8c8 f1d1 h8e8 a1b1 e8e1", "O-O O-O-O Rfd1 Rhe8 Rab1 Re1 "},
        {"4k3/8/8/8/3p4/8/4PK2/8 w - -", "e2e4 d4e3 f2e3 e8d7", "e4 dxe3 Kxe3 Kd7 "},  // en passant
        {START, "e2e4 e2e4 g1f3", "e4 "},
        {START, "e2e5 e7e5", ""},
        // Fool's mate: after the mate the list holds no entry for a1a8.
        {START, "f2f3 e7e5 g2g4 d8h4 a1a8", "f3 e5 g4 Qh4 "},
    };
    for (const Case& c : cases) {
        setup(c.fen);
        EXPECT_EQ(line(moves(c.seq), -1), c.want) << c.seq;
    }
    // The pinned knight's move is written, then nothing after it.
    setup(PINNED_D2);
    std::string out = line(moves("d2f3 e8d8 g1h3"), -1);
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
