#include <gtest/gtest.h>
#include <cstdlib>
#include <random>
#include "board/game.h"
#include "book/book.h"
#include "tests/book/booktestutil.h"

using namespace booktest;

namespace {

const char* kStartKey = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq -";

class BookTest : public BookFixture {
protected:
    void play(const char* move) { ASSERT_GE(makeMove(game, mv(move)), 0) << move; }
    int lookup(const char* key, BookRecord& r) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) return -1;
        int found = bookLookup(f, key, r);
        std::fclose(f);
        return found;
    }
};

TEST(BookRecordTest, BytesAreLaidOutLittleEndianAtFixedOffsets) {
    BookRecord r = record("8/8/8/8/8/8/8/K6k/ w - -", {{0x1234, 0x5678, 0x0ABC}, {1, 2, 3}, {0xFFFF, 0xFFFE, 0x7FFF}});
    unsigned char b[BOOK_RECORD_SIZE];
    std::memset(b, 0xEE, sizeof b);
    encodeRecord(r, b);
    // Zero-padded key, then count, points and move of each entry, little-endian.
    unsigned char want[BOOK_RECORD_SIZE] = "8/8/8/8/8/8/8/K6k/ w - -";
    const int words[] = {0x1234, 0x5678, 0x0ABC, 1, 2, 3, 0xFFFF, 0xFFFE, 0x7FFF};
    for (int i = 0; i < 9; i++) want[70 + 2 * i] = uint8_t(words[i]), want[71 + 2 * i] = uint8_t(words[i] >> 8);
    for (int i = 0; i < BOOK_RECORD_SIZE; i++) EXPECT_EQ(b[i], want[i]) << i;
    BookRecord back;
    decodeRecord(b, back);
    EXPECT_EQ(back.entries[0].count, 0x1234);
    EXPECT_EQ(back.entries[2].points, 0xFFFE);
    EXPECT_EQ(back.entries[2].move, 0x7FFF);
    EXPECT_EQ(back.entries[3].move, 0);
}

TEST(BookRecordTest, SlotsFollowTheScoreAndStayBounded) {
    EXPECT_EQ(entrySlots({10, 10, 1}), 6);       // 50 %
    EXPECT_EQ(entrySlots({20, 10, 1}), 3);       // 25 %
    EXPECT_EQ(entrySlots({0, 0, 1}), 6);         // unknown counts as 50 %
    EXPECT_EQ(entrySlots({7, 0, 1}), 1);         // a lost move keeps one slot
    EXPECT_EQ(entrySlots({7, 14, 1}), 11);       // all won
    EXPECT_EQ(entrySlots({1, 65535, 1}), 11);    // damaged points: clamped, not 32768 slots
    EXPECT_EQ(entrySlots({65535, 65535, 1}), 6);
}

TEST(BookRecordTest, WeightedChoiceMatchesTheSlotsOverManyDraws) {
    // Slots 6 and 3: the first move two times in three.
    BookRecord r = record("k", {{10, 10, mv("e2e4")}, {20, 10, mv("d2d4")}});
    std::srand(12345);
    int first = 0, other = 0;
    const int draws = 9000;
    for (int i = 0; i < draws; i++) {
        uint32_t m = weightedChoice(r);
        if (m == mv("e2e4")) first++;
        else if (m == mv("d2d4")) other++;
    }
    EXPECT_EQ(first + other, draws);
    EXPECT_NEAR(double(first) / draws, 6.0 / 9.0, 0.025);

    // Entries end at the first zero move; a record without moves gives none.
    BookRecord gap = record("k", {{1, 2, mv("g1f3")}, {0, 0, 0}, {1, 2, mv("b1c3")}});
    for (int i = 0; i < 200; i++) EXPECT_EQ(weightedChoice(gap), mv("g1f3"));
    EXPECT_EQ(weightedChoice(record("k", {})), 0u);
}

TEST_F(BookTest, LookupFindsTheRecordOfTheKeyAndZeroesAMiss) {
    writeFile(path, bytesOf({record("a b c", {{1, 1, 5}}), record(kStartKey, {{3, 4, mv("g1f3")}}),
                             record(kStartKey, {{9, 9, mv("b1c3")}})}));
    BookRecord r;
    ASSERT_EQ(lookup(kStartKey, r), 1);
    EXPECT_EQ(r.entries[0].move, mv("g1f3"));  // the first record of the key
    EXPECT_EQ(r.entries[0].count, 3);
    EXPECT_EQ(r.entries[0].points, 4);
    ASSERT_EQ(lookup("a b", r), 0);  // a prefix is not the key
    EXPECT_STREQ(r.key, "a b");
    EXPECT_EQ(r.entries[0].move, 0);
    EXPECT_EQ(r.entries[0].count, 0);
}

TEST_F(BookTest, KeysOfSixtyNineCharactersFitAndLongerOnesAreRefused) {
    std::string k69(69, 'x'), k70(70, 'x');
    writeFile(path, bytesOf({record(k69.c_str(), {{1, 1, 7}})}));
    BookRecord r;
    EXPECT_EQ(lookup(k69.c_str(), r), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(lookup(k70.c_str(), r), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "too long\n");
    EXPECT_EQ(std::string(r.key, strnlen(r.key, sizeof r.key)), k69);  // cut to what fits
}

TEST_F(BookTest, DamagedRecordsAreNeverReadPastTheirEnd) {
    // An unterminated key (70 key bytes, no zero) and a truncated last record.
    std::vector<unsigned char> bytes = bytesOf({record(kStartKey, {{1, 2, mv("g1f3")}})});
    std::vector<unsigned char> unterminated(BOOK_RECORD_SIZE, 'x');
    std::string k69(69, 'x');
    std::vector<unsigned char> file = unterminated;
    file.insert(file.end(), bytes.begin(), bytes.end());
    std::vector<unsigned char> lastOne = bytesOf({record("tail", {{1, 2, 9}})});
    file.insert(file.end(), lastOne.begin(), lastOne.begin() + 99);
    writeFile(path, file);
    BookRecord r;
    EXPECT_EQ(lookup(k69.c_str(), r), 0);  // 69 x then 'x', not zero: no match
    EXPECT_EQ(lookup(kStartKey, r), 1);    // the record after it still counts
    EXPECT_EQ(lookup("tail", r), 0);       // 99 bytes are no record
}

TEST_F(BookTest, InitialPlacementIsAnsweredSixtyFortyByKingAndQueenPawn) {
    writeFile(path, bytesOf({record(kStartKey, {{100, 200, mv("g1f3")}})}));
    std::srand(777);
    int e4 = 0, d4 = 0;
    for (int i = 0; i < 4000; i++) {
        uint32_t m = bookProbe(game);
        if (m == BOOK_MOVE_E2E4) e4++;
        else if (m == BOOK_MOVE_D2D4) d4++;
    }
    EXPECT_EQ(e4 + d4, 4000);  // the record's own move is never used
    EXPECT_NEAR(e4 / 4000.0, 0.6, 0.03);
    EXPECT_EQ(BOOK_MOVE_E2E4, mv("e2e4"));
    EXPECT_EQ(BOOK_MOVE_D2D4, mv("d2d4"));
    // Without the position's record there is no book move, 60/40 or not.
    writeFile(path, bytesOf({record("other", {{1, 1, mv("g1f3")}})}));
    EXPECT_EQ(bookProbe(game), 0u);
}

TEST_F(BookTest, BookMoveGoesToTheFrontOfTheList) {
    play("e2e4");
    writeFile(path, bytesOf({record(currentKey().c_str(), {{5, 6, mv("c7c5")}})}));
    uint32_t first = game.legalMoves[0];
    ASSERT_EQ(bookMoveForSearch(game, game.legalMoves), 1);
    EXPECT_EQ(game.legalMoves[0] & 0xFFFF, mv("c7c5"));
    bool firstKept = false;
    for (int i = 1; game.legalMoves[i]; i++) firstKept |= game.legalMoves[i] == first;
    EXPECT_TRUE(firstKept);
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT);
}

TEST_F(BookTest, TenMissesSilenceTheBookUntilItIsRefilled) {
    play("e2e4");
    std::string afterE4 = currentKey();
    writeFile(path, bytesOf({record("elsewhere", {{1, 1, 1}})}));
    for (int i = 0; i < BOOK_MISS_LIMIT; i++) {
        EXPECT_EQ(bookMoveForSearch(game, game.legalMoves), 0);
        EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT - 1 - i);
    }
    // Now silent even though the book would know the position.
    writeFile(path, bytesOf({record(afterE4.c_str(), {{1, 1, mv("e7e5")}})}));
    EXPECT_EQ(bookMoveForSearch(game, game.legalMoves), 0);
    EXPECT_EQ(bookMissCounter, 0);
    refillBookMisses();
    EXPECT_EQ(bookMoveForSearch(game, game.legalMoves), 1);

    // No book file at all counts as a miss too.
    setBookFile(tempPath("absent.bo2"));
    EXPECT_EQ(bookMoveForSearch(game, game.legalMoves), 0);
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT - 1);
}

TEST_F(BookTest, OnlyATakeBackIntoTheOpeningWakesTheBook) {
    const char* shuffle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 0; i < 22; i++) play(shuffle[i % 4]);
    bookMissCounter = 0;
    ASSERT_EQ(undoMove(game), 0);  // 21 half-moves remain
    bookAfterTakeBack(game);
    EXPECT_EQ(bookMissCounter, 0);
    ASSERT_EQ(undoMove(game), 0);
    ASSERT_EQ(undoMove(game), 0);  // 19 remain
    bookAfterTakeBack(game);
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT);
}

TEST_F(BookTest, StoredMovesThatAreNotLegalAreNeverPlayed) {
    // Black to move: the 60/40 rule's e2e4 and a white move stored for Black.
    ASSERT_EQ(setupFromFen(game, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), 0);
    writeFile(path, bytesOf({record(currentKey().c_str(), {{1, 2, mv("e2e4")}})}));
    uint32_t before[MAX_MOVES];
    std::memcpy(before, game.legalMoves, sizeof before);
    EXPECT_EQ(bookMoveForSearch(game, game.legalMoves), 0);
    EXPECT_EQ(std::memcmp(before, game.legalMoves, sizeof before), 0);
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT);  // an illegal book move is no miss

    // A pinned bishop's move is generated but marked illegal: not played.
    ASSERT_EQ(setupFromFen(game, "4r2k/8/8/8/8/8/4B3/4K3 w - - 0 1"), 0);
    writeFile(path, bytesOf({record(currentKey().c_str(), {{1, 2, mv("e2d3")}, {1, 2, mv("e1d1")}})}));
    std::srand(5);
    int played = 0;
    for (int i = 0; i < 50; i++) {
        ASSERT_EQ(setupFromFen(game, "4r2k/8/8/8/8/8/4B3/4K3 w - - 0 1"), 0);
        if (bookMoveForSearch(game, game.legalMoves)) {
            EXPECT_EQ(game.legalMoves[0], mv("e1d1"));
            played++;
        }
    }
    EXPECT_GT(played, 10);
    EXPECT_LT(played, 40);
}

TEST_F(BookTest, RandomBytesNeverCrashOrGiveAnIllegalMove) {
    std::mt19937 rng(2024);
    play("e2e4");
    std::string key = currentKey();
    for (int round = 0; round < 200; round++) {
        size_t size = rng() % 2000;
        std::vector<unsigned char> bytes(size);
        for (auto& b : bytes) b = uint8_t(rng());
        // Half the rounds plant the position's key so that random entries are read.
        if (round % 2 && size >= 100) {
            size_t at = (rng() % (size / 100)) * 100;
            std::memcpy(bytes.data() + at, key.c_str(), key.size() + 1);
        }
        writeFile(path, bytes);
        bookMissCounter = BOOK_MISS_LIMIT;
        if (bookMoveForSearch(game, game.legalMoves)) {
            EXPECT_FALSE(game.legalMoves[0] & MOVE_ILLEGAL);
            EXPECT_EQ(makeMove(game, game.legalMoves[0] & 0xFFFF) >= 0, true);
            ASSERT_EQ(undoMove(game), 0);
        }
    }
}

}  // namespace
