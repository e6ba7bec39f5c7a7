#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <thread>
#include <sys/stat.h>
#include "board/game.h"
#include "book/book.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "search/worker.h"
#include "tests/book/booktestutil.h"
#include "tests/engine/engine_process.h"

using namespace booktest;

namespace {

// The first record of the key by a plain scan of the bytes: what every
// lookup must agree with.
bool scanFor(const std::vector<unsigned char>& file, const std::string& key, BookRecord& r) {
    for (size_t at = 0; at + BOOK_RECORD_SIZE <= file.size(); at += BOOK_RECORD_SIZE) {
        const unsigned char* k = &file[at];
        if (std::memchr(k, 0, BOOK_KEY_SIZE) && std::strcmp(reinterpret_cast<const char*>(k), key.c_str()) == 0) {
            decodeRecord(k, r);
            return true;
        }
    }
    return false;
}

bool sameEntries(const BookRecord& a, const BookRecord& b) {
    for (int i = 0; i < BOOK_ENTRIES; i++)
        if (a.entries[i].count != b.entries[i].count || a.entries[i].points != b.entries[i].points ||
            a.entries[i].move != b.entries[i].move)
            return false;
    return true;
}

// An index over path's current contents.
struct OpenIndex {
    FILE* f;
    BookIndex index;
    OpenIndex(const std::string& path, uint64_t memoryLimit = BOOK_INDEX_MEMORY) : index(memoryLimit) {
        f = std::fopen(path.c_str(), "rb");
        BookFileStamp stamp;
        if (f && stampBookFile(f, path, stamp)) index.reset(stamp);
    }
    ~OpenIndex() {
        if (f) std::fclose(f);
    }
};

int stopChecks = 0;
bool stopAtOnce() {
    stopChecks++;
    return true;
}

TEST(BookIndexTest, AgreesWithAPlainScanOnSortedUnsortedAndDamagedFiles) {
    std::mt19937 rng(31);
    std::vector<std::string> pool;
    for (int i = 0; i < 400; i++) pool.push_back("k" + std::to_string(rng() % 100000) + "/ w - -");
    pool.push_back(std::string(69, 'z'));
    std::string path = tempPath("index.bo2");
    for (int round = 0; round < 24; round++) {
        size_t n = 1 + rng() % 9000;
        std::vector<BookRecord> records;
        for (size_t i = 0; i < n; i++) {
            uint16_t w = uint16_t(rng());
            records.push_back(record(pool[rng() % pool.size()].c_str(), {{w, uint16_t(w / 3), uint16_t(i + 1)}}));
        }
        // Sorted as makebook writes, sorted then shuffled after a point, or shuffled.
        int layout = round % 3;
        auto byKey = [](const BookRecord& a, const BookRecord& b) { return std::strcmp(a.key, b.key) < 0; };
        if (layout < 2) std::stable_sort(records.begin(), records.end(), byKey);
        size_t tail = layout == 1 ? rng() % n : 0;
        std::shuffle(records.begin() + long(tail), records.end(), rng);
        std::vector<unsigned char> file = bytesOf(records);
        if (round % 4 == 3) {  // damage: unterminated keys, bytes after the terminator, a cut-off record
            for (int d = 0; d < 20; d++) {
                size_t at = (rng() % n) * BOOK_RECORD_SIZE;
                if (d % 2) std::memset(&file[at], 'k', BOOK_KEY_SIZE);
                else file[at + BOOK_KEY_SIZE - 1] = 'x';
            }
            file.resize(file.size() + 1 + rng() % 99, 'k');
        }
        writeFile(path, file);
        // Every third round the index may hold only a little: the rest is scanned.
        OpenIndex open(path, round % 3 == 2 ? 1000 + rng() % 4000 : BOOK_INDEX_MEMORY);
        ASSERT_NE(open.f, nullptr);
        std::vector<std::string> keys(pool.begin(), pool.end());
        keys.push_back("absent");
        keys.push_back("");
        for (const std::string& key : keys) {
            BookRecord expected, got;
            clearRecord(got, key.c_str());
            bool found = scanFor(file, key, expected);
            ASSERT_EQ(open.index.find(open.f, key.c_str(), got, nullptr), found ? 1 : 0) << round << " " << key;
            if (found) {
                EXPECT_TRUE(sameEntries(got, expected)) << round << " " << key;
            }
        }
    }
    std::remove(path.c_str());
}

TEST(BookIndexTest, AnUnfinishedIndexAnswersOnlyWhatItKnowsAndGoesOnWhereItStopped) {
    // Five slices of records in no order; the key wanted lies in the last one twice.
    std::mt19937 rng(7);
    std::vector<BookRecord> records;
    for (int i = 0; i < 5000; i++) records.push_back(record(("p" + std::to_string(rng())).c_str(), {{1, 1, 2}}));
    records[10] = record("early", {{1, 2, 3}});
    records[4500] = record("late", {{4, 5, 6}});
    records[4900] = record("late", {{7, 8, 9}});
    std::string path = tempPath("slices.bo2");
    writeFile(path, bytesOf(records));
    OpenIndex open(path);
    BookRecord r;
    // A stop ends the work at its first check, and what was indexed is answered.
    stopChecks = 0;
    EXPECT_EQ(open.index.find(open.f, "early", r, stopAtOnce), 1);
    EXPECT_EQ(r.entries[0].move, 3);
    EXPECT_EQ(stopChecks, 1);
    EXPECT_EQ(open.index.find(open.f, "nowhere", r, stopAtOnce), -1);
    // Each probe goes on with the next part of the file.
    int probes = 0, found;
    while ((found = open.index.find(open.f, "late", r, stopAtOnce)) == -1) ASSERT_LT(++probes, 10);
    EXPECT_EQ(found, 1);
    EXPECT_EQ(r.entries[0].move, 6);  // the first of the two
    while ((found = open.index.find(open.f, "nowhere", r, stopAtOnce)) == -1) ASSERT_LT(++probes, 10);
    EXPECT_EQ(found, 0);
    EXPECT_LE(stopChecks, probes + 3);
    std::remove(path.c_str());
}

using BookFileTest = BookFixture;

TEST_F(BookFileTest, FifosDevicesAndDirectoriesGiveNoBookMoveWithoutWaiting) {
    std::string fifo = tempPath("fifo.bo2"), zero = tempPath("zero.bo2");
    std::remove(fifo.c_str());
    std::remove(zero.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    for (const std::string& p : {fifo, zero, std::string("/tmp")}) {
        setBookFile(p);
        // On a thread of its own: a probe that blocks must fail the test, not hang it.
        auto done = std::make_shared<std::atomic<int>>(0);
        std::thread([done] {
            bookMissCounter = BOOK_MISS_LIMIT;
            *done = bookMoveForSearch(game, game.legalMoves) == 0 && bookMissCounter == BOOK_MISS_LIMIT - 1 ? 1 : 2;
        }).detach();
        for (int waited = 0; waited < 5000 && *done == 0; waited += 10) sleepMs(10);
        ASSERT_EQ(*done, 1) << p;
    }
    std::remove(fifo.c_str());
    std::remove(zero.c_str());
}

TEST_F(BookFileTest, ABookRewrittenOrReplacedIsReadAfresh) {
    ASSERT_GE(makeMove(game, mv("g1f3")), 0);  // away from the initial placement's 60/40 rule
    std::string key = currentKey();
    auto probeWith = [&](std::vector<BookRecord> records) {
        writeFile(path, bytesOf(records));
        return bookProbe(game);
    };
    EXPECT_EQ(probeWith({record(key.c_str(), {{1, 2, mv("d7d5")}})}), mv("d7d5"));
    // Same size, other contents, at once.
    EXPECT_EQ(probeWith({record(key.c_str(), {{1, 2, mv("g8f6")}})}), mv("g8f6"));
    EXPECT_EQ(probeWith({record("x", {{1, 2, 1}})}), 0u);
    EXPECT_EQ(probeWith({record("x", {{1, 2, 1}}), record(key.c_str(), {{1, 2, mv("c7c5")}})}), mv("c7c5"));
    // Another file in its place.
    std::string other = tempPath("other.bo2");
    writeFile(other, bytesOf({record(key.c_str(), {{1, 2, mv("e7e6")}})}));
    setBookFile(other);
    EXPECT_EQ(bookProbe(game), mv("e7e6"));
    setBookFile(path);
    EXPECT_EQ(bookProbe(game), mv("c7c5"));
    std::remove(other.c_str());
}

// A book of several slices whose only record of the start position is its last.
void writeSlowBook(const std::string& path, const std::string& startKey) {
    std::vector<BookRecord> records;
    for (int i = 0; i < 6000; i++) records.push_back(record(("q" + std::to_string(i * 7919 % 6007)).c_str(), {{1, 1, 1}}));
    records.push_back(record(startKey.c_str(), {{1, 2, mv("e2e4")}}));
    writeFile(path, bytesOf(records));
}

TEST_F(BookFileTest, TheProbeIsPaidFromTheMovesTimeAndGivesWayToAStop) {
    if (ttBucketCount() == 0) allocateTransTable(uint64_t(8) << 20);
    int savedBook = useBook;
    useBook = 1;
    postThinking = 0;
    writeSlowBook(path, currentKey());
    auto thinkNow = [&](int tenths) {
        newGame(game);
        listMoves(game);
        refillBookMisses();
        TimeBudget budget;
        budget.maxDepth = 2;
        budget.targetTenths = budget.hardTenths = tenths;
        PonderState ponder;
        return int16_t(think(game, budget, ponder) >> 16);
    };
    // A stop that came before the search leaves the book after its first slice.
    searchWorker.signals.abortSearch = 1;
    EXPECT_NE(thinkNow(600), BOOK_SCORE);
    // The book's share is measured from this search's start, not from an
    // earlier clock that ran out long ago.
    searchWorker.signals.abortSearch = 0;
    startClock(searchWorker.clock, 1, 1);
    sleepMs(150);
    EXPECT_EQ(thinkNow(600), BOOK_SCORE);
    useBook = savedBook;
}

// While the opponent thinks, the search and the book look at the position
// after the reply the engine expects; the game itself is still before it.
TEST_F(BookFileTest, PonderingAsksTheBookAboutThePositionAfterTheExpectedReply) {
    if (ttBucketCount() == 0) allocateTransTable(uint64_t(8) << 20);
    int savedBook = useBook, savedPost = postThinking;
    useBook = 1;
    postThinking = 0;
    searchWorker.signals.abortSearch = 0;
    ASSERT_GE(makeMove(game, mv("e2e4")), 0);
    std::string beforeReply = currentKey();
    ASSERT_GE(makeMove(game, mv("c7c5")), 0);
    std::string afterReply = currentKey();
    ASSERT_EQ(undoMove(game), 0);
    auto ponder = [&](std::vector<BookRecord> records) {
        writeFile(path, bytesOf(records));
        refillBookMisses();
        PonderState state;
        state.move = mv("c7c5");
        // A ponder search has no limit of its own: one the book does not
        // answer is stopped as the opponent's move would stop it.
        std::thread stopper([] {
            sleepMs(300);
            searchWorker.signals.abortSearch = 1;
        });
        uint32_t reply = ponderSearch(game, state) & 0xFFFF;
        stopper.join();
        searchWorker.signals.abortSearch = 0;
        return reply;
    };
    // Only the position after the reply is known: its move is the answer
    // ready for the reply, and no miss is spent on the game's own position.
    EXPECT_EQ(ponder({record(afterReply.c_str(), {{1, 2, mv("b1a3")}})}), mv("b1a3"));
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT);
    // Only the position before the reply is known: its move (one for the
    // other side) is no answer, and the one miss is the searched position's.
    uint32_t reply = ponder({record(beforeReply.c_str(), {{1, 2, mv("e7e5")}})});
    EXPECT_NE(reply, 0u);
    EXPECT_NE(reply, mv("e7e5"));
    EXPECT_EQ(bookMissCounter, BOOK_MISS_LIMIT - 1);
    EXPECT_EQ(game.ply, 0);  // the game is left before the reply
    useBook = savedBook;
    postThinking = savedPost;
}

// The engine with a FIFO or a device as "Velmora.bo2" beside it still moves and quits.
TEST(BookProtocolTest, ABookThatNeverEndsHangsNeitherGoNorQuit) {
    std::string dir = tempPath("engine");
    for (const char* kind : {"fifo", "zero"}) {
        ASSERT_EQ(std::system(("rm -rf " + dir + " && mkdir " + dir + " && cp " VELMORA_BINARY " " + dir + "/velmora").c_str()), 0);
        std::string book = dir + "/Velmora.bo2";
        if (std::strcmp(kind, "fifo") == 0) ASSERT_EQ(mkfifo(book.c_str(), 0600), 0);
        else ASSERT_EQ(symlink("/dev/zero", book.c_str()), 0);
        EngineProcess engine("", dir + "/velmora", dir);
        for (const char* line : {"xboard", "protover 2", "new", "level 0 0:05 0", "time 500", "go"}) engine.send(line);
        EXPECT_NE(engine.waitFor("move ", 10000), "") << kind;
        for (const char* line : {"?", "force", "quit"}) engine.send(line);
        EXPECT_EQ(engine.waitExit(20000), 0) << kind;
    }
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
