#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include "board/game.h"
#include "book/polyglot.h"
#include "tests/book/booktestutil.h"
#include "tools/lib/bookbuilder.h"
#include "tools/lib/pgnreader.h"

using namespace booktest;

namespace {

std::vector<PgnGame> readAll(const std::string& text) {
    std::istringstream in(text);
    std::vector<PgnGame> out;
    PgnGame g;
    while (readPgnGame(in, g)) out.push_back(g);
    return out;
}

// Position key after the coordinate moves from the initial position.
std::string keyAfter(std::vector<const char*> moves) {
    Game& g = game;
    newGame(g);
    listMoves(g);
    for (const char* m : moves) EXPECT_GE(makeMove(g, mv(m)), 0) << m;
    char key[128];
    positionText(g, key);
    return key;
}

const BookEntry* entryFor(const BookRecord& r, const char* move) {
    for (const BookEntry& e : r.entries)
        if (e.move != 0 && e.move == mv(move)) return &e;
    return nullptr;
}

TEST(PgnReaderTest, PassesOverCommentsVariationsNagsNumbersAndAnnotations) {
    const char* text =
        "% an escape line\n"
        "[Event \"Club \\\"open\\\"\"]\n"
        "[White \"A\"]\n\n"
        "1.e4 {a comment (with a paren)} e5 (1... c5 2. Nf3 (2. c3 d5) d6) 2. Nf3! $1 Nc6?!\n"
        "; rest of the line is a comment 3. h4\n"
        "3.Bb5 a6 4. Ba4 Nf6 5. O-O+ Be7 6...? 1-0\n"
        "[Event \"second\"]\n"
        "1. d4 d5 2. c4 *\n"
        "[Event \"third, without a result\"]\n"
        "1. e4 Nf6 2. e5 d5 3. exd6 e.p. exd6 4. d4\n"
        "[Event \"fourth\"]\n\n1. Nf3 1/2-1/2\n";
    std::vector<PgnGame> games = readAll(text);
    ASSERT_EQ(games.size(), 4u);
    ASSERT_NE(games[0].tag("Event"), nullptr);
    EXPECT_EQ(*games[0].tag("Event"), "Club \"open\"");
    EXPECT_EQ(games[0].tag("Black"), nullptr);
    EXPECT_EQ(games[0].moves,
              (std::vector<std::string>{"e4", "e5", "Nf3!", "Nc6?!", "Bb5", "a6", "Ba4", "Nf6", "O-O+", "Be7"}));
    EXPECT_EQ(games[0].result, "1-0");
    EXPECT_EQ(games[1].result, "*");
    EXPECT_EQ(games[2].result, "");
    EXPECT_EQ(games[2].moves.size(), 7u);
    EXPECT_EQ(games[3].moves, std::vector<std::string>{"Nf3"});
    EXPECT_EQ(games[3].result, "1/2-1/2");

    // Every move of them replays, the en-passant capture included.
    EXPECT_EQ(replayPgnGame(game, games[0], 100, nullptr), 10);
    EXPECT_EQ(replayPgnGame(game, games[2], 100, nullptr), 7);
    EXPECT_EQ(game.squareSlot[sq("d5")], SLOT_EMPTY);
}

TEST(PgnReaderTest, ReplayStopsAtAMoveThatIsNotLegalAndReadsFenTags) {
    std::vector<PgnGame> games = readAll(
        "1. e4 e5 2. Ke3 Nc6 1-0\n"
        // The e2 knight is pinned: "Nd4" names the b3 knight alone.
        "[FEN \"4k3/4r3/8/8/8/1N6/4N3/4K3 w - - 0 1\"]\n1. Nd4 Kd8 *\n"
        "[FEN \"4k3/8/8/8/8/8/8/8 w - - 0 1\"]\n1. Kd2 *\n");
    ASSERT_EQ(games.size(), 3u);
    std::string error;
    EXPECT_EQ(replayPgnGame(game, games[0], 100, nullptr, &error), 2);
    EXPECT_NE(error.find("Ke3"), std::string::npos);
    std::vector<uint32_t> seen;
    EXPECT_EQ(replayPgnGame(game, games[1], 100, [&](const Game&, uint32_t m) { seen.push_back(m); }), 2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], mv("b3d4"));
    EXPECT_EQ(replayPgnGame(game, games[2], 100, nullptr, &error), -1);  // no white king
}

TEST(MakeBookTest, BuiltBookReadsBackWithTheGamesCountsAndPoints) {
    const char* text =
        "[Result \"1-0\"]\n1. e4 e5 2. Nf3 Nc6 1-0\n"
        "[Result \"0-1\"]\n1. e4 c5 2. Nf3 0-1\n"
        "[Result \"1/2-1/2\"]\n1. d4 {draw} d5 1/2-1/2\n"
        "1. e4 e5 2. Nf3 d6 1/2-1/2\n"
        "1. c4 *\n";  // no result: no statistics
    BookBuilder builder;
    for (const PgnGame& g : readAll(text)) builder.addGame(g, 3);
    EXPECT_EQ(builder.gamesUsed, 4);
    EXPECT_EQ(builder.gamesSkipped, 1);
    std::string path = tempPath("built.bo2");
    ASSERT_TRUE(builder.write(path));

    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    EXPECT_EQ(std::ftell(f) % BOOK_RECORD_SIZE, 0);
    BookRecord r;
    ASSERT_EQ(bookLookup(f, keyAfter({}).c_str(), r), 1);
    // Most played first: e4 three games (win, loss, draw), d4 one draw.
    auto entry = [&](int i) { return std::vector<int>{r.entries[i].move, r.entries[i].count, r.entries[i].points}; };
    EXPECT_EQ(entry(0), (std::vector<int>{mv("e2e4"), 3, 3}));
    EXPECT_EQ(entry(1), (std::vector<int>{mv("d2d4"), 1, 1}));
    EXPECT_EQ(r.entries[2].move, 0);

    // Points are Black's after 1. e4: e5 lost once and drew once, c5 won.
    ASSERT_EQ(bookLookup(f, keyAfter({"e2e4"}).c_str(), r), 1);
    ASSERT_NE(entryFor(r, "e7e5"), nullptr);
    EXPECT_EQ(entryFor(r, "e7e5")->count, 2);
    EXPECT_EQ(entryFor(r, "e7e5")->points, 1);
    EXPECT_EQ(entryFor(r, "c7c5")->points, 2);

    ASSERT_EQ(bookLookup(f, keyAfter({"e2e4", "e7e5"}).c_str(), r), 1);
    EXPECT_EQ(entryFor(r, "g1f3")->count, 2);
    EXPECT_EQ(entryFor(r, "g1f3")->points, 3);
    // Three plies were asked for: the fourth position is not in the book.
    EXPECT_EQ(bookLookup(f, keyAfter({"e2e4", "e7e5", "g1f3"}).c_str(), r), 0);
    std::fclose(f);

    // Written in key order: readers then index the book with a sampled key
    // per thousand records instead of a word per record.
    std::vector<BookRecord> written = builder.records();
    ASSERT_GT(written.size(), 3u);
    for (size_t i = 1; i < written.size(); i++)
        EXPECT_LT(std::strcmp(written[i - 1].key, written[i].key), 0) << written[i].key;
    std::remove(path.c_str());
}

TEST(MakeBookTest, KeepsTheFiveMostPlayedAndFitsLargeTotalsInSixteenBits) {
    BookBuilder builder;
    auto& moves = builder.positions["some position w - -"];
    moves[1] = {70000, 140000};   // all won, too many games
    moves[2] = {100000, 100000};  // half won
    moves[3] = {5, 0};
    moves[4] = {4, 8};
    moves[5] = {3, 3};
    moves[6] = {2, 4};            // sixth most played: left out
    moves[7] = {10, 99};          // inconsistent points: capped at all won
    std::vector<BookRecord> records = builder.records();
    ASSERT_EQ(records.size(), 1u);
    const BookRecord& r = records[0];
    std::vector<uint16_t> order;
    for (const BookEntry& e : r.entries) order.push_back(e.move);
    EXPECT_EQ(order, (std::vector<uint16_t>{2, 1, 7, 3, 4}));
    // Moves of fewer games than asked are left out, and a position without
    // any left gets no record.
    std::vector<BookRecord> common = builder.records(5);
    ASSERT_EQ(common.size(), 1u);
    EXPECT_EQ(common[0].entries[3].move, 3);
    EXPECT_EQ(common[0].entries[4].move, 0);
    EXPECT_TRUE(builder.records(200000).empty());
    for (const BookEntry& e : r.entries) EXPECT_LE(uint32_t(e.points), 2u * e.count) << e.move;
    EXPECT_EQ(r.entries[0].count, 65535);
    EXPECT_EQ(r.entries[0].points, 65535);
    EXPECT_EQ(r.entries[1].points, 2 * r.entries[1].count);
    EXPECT_EQ(entrySlots(r.entries[0]), 6);
    EXPECT_EQ(entrySlots(r.entries[1]), 11);
    EXPECT_EQ(entrySlots(r.entries[2]), 11);
}

TEST(MakeBookTest, RefusesKeysLongerThanSixtyNineCharacters) {
    // Every rank spread out: the placement alone takes 72 characters.
    const char* longFen = "r1b1k1n1/1p1p1p1p/p1p1n1b1/1q1r1p1p/P1P1P1P1/1P1P1N1B/Q1R1P1P1/1K1R1B1N w - - 0 1";
    std::string pgn = std::string("[FEN \"") + longFen + "\"]\n1. Ka1 Kf8 2. Kb1 1-0\n";
    BookBuilder builder;
    std::string warning;
    EXPECT_EQ(builder.addGame(readAll(pgn)[0], 20, &warning), 0);
    EXPECT_EQ(builder.keysRefused, 3);
    EXPECT_TRUE(builder.positions.empty());
    EXPECT_NE(warning.find("69"), std::string::npos);
}

TEST(PgnReaderTest, GarbledTextNeverCrashesTheReaderOrTheBuilder) {
    // Fragments of real notation shuffled into nonsense.
    const char* pieces[] = {"e4", "Nf3", "O-O", "0-0-0", "exd5", "e8=Q", "{", "}", "(", ")", "[", "]", "\"", "$",
                            "1.", "3...", "1-0", "*", "x", "=", "+", "#", "!?", "e.p.", ";", "\n", "%", "Q", "h9",
                            "Kxx", "[FEN \"", "8/8/8/8/8/8/8/8 w", "\\", "Bb5", "a", " ", "\t", "1/2", "--"};
    std::mt19937 rng(99);
    for (int round = 0; round < 300; round++) {
        std::string text;
        for (int i = 0; i < 60; i++) {
            text += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
            if (rng() % 3) text += ' ';
        }
        BookBuilder builder;
        for (const PgnGame& g : readAll(text)) builder.addGame(g, 20);
        for (const BookRecord& r : builder.records())
            for (const BookEntry& e : r.entries) EXPECT_LE(uint32_t(e.points), 2u * e.count);
    }
}

}  // namespace

namespace {

std::vector<PolyglotMove> polyglotMovesAfter(const std::string& path, std::vector<const char*> moves) {
    keyAfter(moves);  // leaves the position in the global game
    std::vector<PolyglotMove> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return out;
    BookFileStamp stamp;
    PolyglotBook book;
    if (stampBookFile(f, path, stamp)) {
        book.reset(stamp);
        polyglotMoves(book, f, game, out);
    }
    std::fclose(f);
    return out;
}

TEST(MakeBookTest, PolyglotBookWeighsMovesByHalfPointsAndDropsRareAndLostOnes) {
    std::string text;
    for (int i = 0; i < 3; i++) text += "1. e4 e5 2. Nf3 1-0\n";  // e4 won thrice: 6 half-points
    for (int i = 0; i < 4; i++) text += "1. d4 d5 1/2-1/2\n";     // d4 drawn four times: 4
    for (int i = 0; i < 2; i++) text += "1. c4 e5 1-0\n";         // c4 in only two games
    for (int i = 0; i < 3; i++) text += "1. b3 e5 0-1\n";         // b3 lost every time
    text += "1. g3 *\n";                                          // no result: not used
    BookBuilder builder;
    for (const PgnGame& pg : readAll(text)) builder.addGame(pg, 20);
    std::string path = tempPath("made.bin");
    ASSERT_TRUE(builder.writePolyglot(path));
    std::vector<PolyglotMove> first = polyglotMovesAfter(path, {});
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].move, mv("e2e4"));  // heaviest first
    EXPECT_EQ(first[0].weight, 6);
    EXPECT_EQ(first[1].move, mv("d2d4"));
    EXPECT_EQ(first[1].weight, 4);
    std::vector<PolyglotMove> reply = polyglotMovesAfter(path, {"e2e4"});
    ASSERT_EQ(reply.size(), 0u);  // e5 lost every game it was played in
    std::vector<PolyglotMove> second = polyglotMovesAfter(path, {"d2d4", "d7d5"});
    EXPECT_EQ(second.size(), 0u);  // the games end before a white second move

    // With one game enough, the rare c4 comes in; the lost b3 still does not.
    ASSERT_TRUE(builder.writePolyglot(path, 1));
    EXPECT_EQ(polyglotMovesAfter(path, {}).size(), 3u);
    std::remove(path.c_str());
}

TEST(MakeBookTest, PolyglotWeightsStayInSixteenBitsAndInProportion) {
    BookBuilder builder;
    PgnGame e4 = readAll("1. e4 1-0\n")[0], d4 = readAll("1. d4 1/2-1/2\n")[0];
    // Counts are halved as they grow (as polyglot does, which favours the
    // later games); games in a steady mix keep their proportion.
    for (int i = 0; i < 20000; i++) {
        for (int k = 0; k < 3; k++) builder.addGame(e4, 1);
        builder.addGame(d4, 1);
    }
    std::vector<PolyglotEntry> entries = builder.polyglotEntries();
    ASSERT_EQ(entries.size(), 2u);
    // 120000 and 20000 half-points would not fit; their ratio of 6 stays.
    EXPECT_NEAR(double(entries[0].weight) / entries[1].weight, 6.0, 0.1);
    EXPECT_EQ(entries[0].move, toPolyglotMove(mv("e2e4")));
}

}  // namespace
