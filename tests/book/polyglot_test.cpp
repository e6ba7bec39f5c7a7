#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include "board/game.h"
#include "book/book.h"
#include "book/polyglot.h"
#include "tests/book/booktestutil.h"
#include "tools/lib/pgnreader.h"

using namespace booktest;

namespace {

// A game of its own: the engine's global one belongs to the book fixture.
Game& scratch() {
    static Game g;
    return g;
}

void playAll(Game& g, std::initializer_list<const char*> moves) {
    newGame(g);
    listMoves(g);
    for (const char* m : moves) ASSERT_EQ(makeMove(g, mv(m)), 0) << m;
}

std::vector<unsigned char> bytesOf(const std::vector<PolyglotEntry>& entries) {
    std::vector<unsigned char> out(entries.size() * POLYGLOT_ENTRY_SIZE);
    for (size_t i = 0; i < entries.size(); i++) encodePolyglotEntry(entries[i], &out[i * POLYGLOT_ENTRY_SIZE]);
    return out;
}

// The format's move text: from and to squares, promotion piece 1..4.
uint16_t pgMove(const char* s, int promotion = 0) {
    int from = int(sq(s)), to = int(sq(s + 2));
    return uint16_t((to & 7) | ((to >> 3) << 3) | ((from & 7) << 6) | ((from >> 3) << 9) | (promotion << 12));
}

TEST(PolyglotKeyTest, PublishedKeysOfTheFormatsTestPositions) {
    struct Case {
        std::initializer_list<const char*> moves;
        uint64_t key;
    };
    const Case cases[] = {
        {{}, 0x463b96181691fc9cULL},
        {{"e2e4"}, 0x823c9b50fd114196ULL},
        {{"e2e4", "d7d5"}, 0x0756b94461c50fb0ULL},
        {{"e2e4", "d7d5", "e4e5"}, 0x662fafb965db29d4ULL},
        // f7f5 beside the pawn on e5: the en-passant file counts.
        {{"e2e4", "d7d5", "e4e5", "f7f5"}, 0x22a48b5a8e47ff78ULL},
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2"}, 0x652a607ca3f242c1ULL},
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2", "e8f7"}, 0x00fdd303c946bdd9ULL},
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4"}, 0x3c8123ea7b067637ULL},
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"}, 0x5c3f9b829b279560ULL},
    };
    for (const Case& c : cases) {
        playAll(scratch(), c.moves);
        EXPECT_EQ(polyglotKey(scratch()), c.key) << c.moves.size() << " moves";
    }
}

TEST(PolyglotKeyTest, AFenSetUpKeysLikeThePlayedGame) {
    Game& g = scratch();
    ASSERT_EQ(setupFromFen(g, "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3"), 0);
    EXPECT_EQ(polyglotKey(g), 0x22a48b5a8e47ff78ULL);
    // The same square with no pawn to take on it leaves the key alone.
    ASSERT_EQ(setupFromFen(g, "rnbqkbnr/ppp1p1pp/8/3p1p2/4P3/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3"), 0);
    uint64_t withField = polyglotKey(g);
    ASSERT_EQ(setupFromFen(g, "rnbqkbnr/ppp1p1pp/8/3p1p2/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3"), 0);
    EXPECT_EQ(withField, polyglotKey(g));
}

TEST(PolyglotMoveTest, CastlingIsTheKingTakingItsRookAndPromotionsCarryThePiece) {
    Game& g = scratch();
    ASSERT_EQ(setupFromFen(g, "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq - 0 1"), 0);
    EXPECT_EQ(fromPolyglotMove(g, pgMove("e1h1")), uint32_t(CASTLE_WK_WHITE));
    EXPECT_EQ(fromPolyglotMove(g, pgMove("e1a1")), uint32_t(CASTLE_WQ_WHITE));
    EXPECT_EQ(toPolyglotMove(CASTLE_WK_WHITE), pgMove("e1h1"));
    EXPECT_EQ(toPolyglotMove(CASTLE_BQ_BLACK), pgMove("e8a8"));
    EXPECT_EQ(fromPolyglotMove(g, pgMove("b7a8", 4)), mv("b7a8") | MK_PROMO_QUEEN);
    EXPECT_EQ(fromPolyglotMove(g, pgMove("b7b8", 1)), mv("b7b8") | MK_PROMO_KNIGHT);
    EXPECT_EQ(toPolyglotMove(mv("b7b8") | MK_PROMO_ROOK), pgMove("b7b8", 3));
    // Not moves of this position: a promotion without its piece, the king
    // onto g1 written as a move, a move from an empty square.
    EXPECT_EQ(fromPolyglotMove(g, pgMove("b7b8")), 0u);
    EXPECT_EQ(fromPolyglotMove(g, pgMove("e1g1")), 0u);
    EXPECT_EQ(fromPolyglotMove(g, pgMove("d4d5")), 0u);
}

TEST(PolyglotEntryTest, EntriesAreSixteenBigEndianBytes) {
    PolyglotEntry e{0x0102030405060708ULL, 0x090A, 0x0B0C, 0x0D0E0F10};
    unsigned char b[POLYGLOT_ENTRY_SIZE];
    encodePolyglotEntry(e, b);
    for (int i = 0; i < POLYGLOT_ENTRY_SIZE; i++) EXPECT_EQ(b[i], i + 1) << i;
    PolyglotEntry back;
    decodePolyglotEntry(b, back);
    EXPECT_EQ(back.key, e.key);
    EXPECT_EQ(back.move, e.move);
    EXPECT_EQ(back.weight, e.weight);
    EXPECT_EQ(back.learn, e.learn);
}

class PolyglotBookTest : public BookFixture {
protected:
    PolyglotBookTest() { path = tempPath("book.bin"); }
    uint64_t start = 0x463b96181691fc9cULL;
    std::vector<PolyglotMove> movesOf(const std::string& file) {
        std::vector<PolyglotMove> out;
        FILE* f = std::fopen(file.c_str(), "rb");
        if (f == nullptr) return out;
        BookFileStamp stamp;
        PolyglotBook book;
        if (stampBookFile(f, file, stamp)) {
            book.reset(stamp);
            polyglotMoves(book, f, game, out);
        }
        std::fclose(f);
        return out;
    }
};

TEST_F(PolyglotBookTest, ChoosesLegalStoredMovesInProportionToTheirWeights) {
    writeFile(path, bytesOf({{start - 1, pgMove("a2a3"), 50, 0},
                             {start, pgMove("e2e4"), 3, 0},
                             {start, pgMove("e2e5"), 900, 0},  // not a move: never played
                             {start, pgMove("g1f3"), 0, 0},    // weight 0: never played
                             {start, pgMove("d2d4"), 1, 0},
                             {start + 1, pgMove("b2b3"), 50, 0}}));
    std::vector<PolyglotMove> moves = movesOf(path);
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].move, mv("e2e4"));
    EXPECT_EQ(moves[0].weight, 3);
    EXPECT_EQ(moves[1].move, mv("d2d4"));
    EXPECT_EQ(moves[1].weight, 1);
    std::srand(4242);
    int e4 = 0, d4 = 0;
    const int draws = 4000;
    for (int i = 0; i < draws; i++) {
        uint32_t m = bookProbe(game);
        if (m == mv("e2e4")) e4++;
        else if (m == mv("d2d4")) d4++;
    }
    EXPECT_EQ(e4 + d4, draws);
    EXPECT_NEAR(double(e4) / draws, 0.75, 0.03);
    // The search gets the book move at the front of its list.
    uint32_t list[MAX_MOVES];
    std::copy(std::begin(game.legalMoves), std::end(game.legalMoves), list);
    ASSERT_EQ(bookMoveForSearch(game, list), 1);
    EXPECT_TRUE((list[0] & 0xFFF) == mv("e2e4") || (list[0] & 0xFFF) == mv("d2d4"));
}

TEST_F(PolyglotBookTest, DamagedShortUnsortedAndEmptyFilesGiveNoMove) {
    std::vector<unsigned char> good =
        bytesOf({{start - 5, pgMove("a2a3"), 1, 0}, {start, pgMove("e2e4"), 1, 0}, {start + 5, pgMove("b2b3"), 1, 0}});
    writeFile(path, good);
    ASSERT_EQ(bookProbe(game), mv("e2e4"));

    std::vector<unsigned char> cut(good.begin(), good.end() - 3);
    std::vector<unsigned char> unsorted =
        bytesOf({{start + 5, pgMove("b2b3"), 1, 0}, {start, pgMove("e2e4"), 1, 0}, {start - 5, pgMove("a2a3"), 1, 0}});
    std::vector<unsigned char> garbage(4096);
    for (size_t i = 0; i < garbage.size(); i++) garbage[i] = uint8_t(i * 7919 >> 3);
    for (const auto& bytes : {cut, unsorted, std::vector<unsigned char>(), garbage}) {
        writeFile(path, bytes);
        for (int i = 0; i < 20; i++) EXPECT_EQ(bookProbe(game), 0u) << bytes.size();
    }
    std::remove(path.c_str());  // gone between probes: no move, no crash
    EXPECT_EQ(bookProbe(game), 0u);
    writeFile(path, good);  // mended: read again
    EXPECT_EQ(bookProbe(game), mv("e2e4"));
}

TEST_F(PolyglotBookTest, TheFileNotItsNameTellsTheFormatUnlessTheNameSays) {
    // Our own records in a file without a known extension stay our format...
    path = tempPath("ownbook");
    setBookFile(path);
    const char* key = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq -";
    writeFile(path, booktest::bytesOf({record(key, {{1, 2, mv("g1f3")}})}));
    uint32_t first = bookProbe(game);  // the initial placement keeps its 60/40 answer
    EXPECT_TRUE(first == mv("e2e4") || first == mv("d2d4")) << first;
    ASSERT_EQ(makeMove(game, mv("e2e4")), 0);
    writeFile(path, booktest::bytesOf({record(currentKey().c_str(), {{1, 2, mv("g8f6")}})}));
    EXPECT_EQ(bookProbe(game), mv("g8f6"));
    // ...and Polyglot entries are read as such.
    writeFile(path, bytesOf({{0x823c9b50fd114196ULL, pgMove("c7c5"), 7, 0}}));
    EXPECT_EQ(bookProbe(game), mv("c7c5"));
    std::remove(path.c_str());
}

// Every position of our games that Debian's polyglot stored in its book is
// found with the same moves and weights, and every entry it wrote belongs to
// one of those positions (so its keys are ours).
TEST(PolyglotMadeBookTest, EveryStoredMoveIsReturnedWithItsWeight) {
    const std::string dir = VELMORA_SOURCE_DIR;
    // polyglot make-book -pgn book/games/selfplay.pgn -max-ply 12 -min-game 1
    const std::string bin = dir + "/tests/book/data/selfplay.bin";
    FILE* f = std::fopen(bin.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::map<uint64_t, std::map<uint16_t, uint16_t>> stored;
    unsigned char bytes[POLYGLOT_ENTRY_SIZE];
    while (std::fread(bytes, 1, sizeof bytes, f) == sizeof bytes) {
        PolyglotEntry e;
        decodePolyglotEntry(bytes, e);
        stored[e.key][e.move] = e.weight;
    }
    ASSERT_GT(stored.size(), 300u);
    BookFileStamp stamp;
    ASSERT_TRUE(stampBookFile(f, bin, stamp));
    PolyglotBook book;
    book.reset(stamp);

    std::ifstream in(dir + "/book/games/selfplay.pgn");
    PgnGame pg;
    std::set<uint64_t> reached;
    int games = 0;
    while (readPgnGame(in, pg)) {
        games++;
        replayPgnGame(scratch(), pg, 12, [&](const Game& g, uint32_t) {
            uint64_t key = polyglotKey(g);
            if (!reached.insert(key).second) return;
            std::vector<PolyglotMove> moves;
            int code = polyglotMoves(book, f, g, moves);
            auto it = stored.find(key);
            if (it == stored.end()) {  // only lost moves from here: polyglot keeps none
                EXPECT_EQ(code, 0);
                return;
            }
            ASSERT_EQ(code, 1);
            std::map<uint16_t, uint16_t> got;
            for (const PolyglotMove& m : moves) got[toPolyglotMove(m.move)] = m.weight;
            EXPECT_EQ(got, it->second);
        });
    }
    std::fclose(f);
    EXPECT_EQ(games, 200);
    for (const auto& [key, moves] : stored) EXPECT_EQ(reached.count(key), 1u) << std::hex << key;
}

}  // namespace
