// Opening book: fixed 100-byte records looked up by position text.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Game;

// A book file is a headerless run of these records, in any order:
//   0..69  position key, zero-terminated (at most 69 characters), zero-padded
//   70..   five entries of three little-endian 16-bit words each:
//          game count, points in half-points, move word (0 ends the entries)
constexpr int BOOK_RECORD_SIZE = 100;
constexpr int BOOK_KEY_SIZE = 70;
constexpr int BOOK_MAX_KEY = BOOK_KEY_SIZE - 1;
constexpr int BOOK_ENTRIES = 5;
constexpr int BOOK_ENTRY_OFFSET = 70;
constexpr int BOOK_ENTRY_SIZE = 6;
constexpr int BOOK_MISS_LIMIT = 10;
constexpr int BOOK_WAKE_PLIES = 20;
constexpr uint64_t BOOK_FENCE_SPACING = 1024;
// The placement that every game starts from: answered 60/40 by e2e4/d2d4.
constexpr const char* BOOK_INITIAL_PLACEMENT = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
constexpr int BOOK_INITIAL_LENGTH = 43;
constexpr uint32_t BOOK_MOVE_E2E4 = 1804;
constexpr uint32_t BOOK_MOVE_D2D4 = 1739;
constexpr int BOOK_E2E4_PERCENT = 60;

struct BookEntry {
    uint16_t count;
    uint16_t points;  // half-points for the side to move
    uint16_t move;
};

struct BookRecord {
    char key[BOOK_KEY_SIZE];
    BookEntry entries[BOOK_ENTRIES];
};

// Byte form of a record. decodeRecord copies the key bytes as they are (they
// need not be terminated); encodeRecord writes the key zero-padded.
void encodeRecord(const BookRecord& r, unsigned char* bytes);
void decodeRecord(const unsigned char* bytes, BookRecord& r);
// Zeroed record holding the first BOOK_MAX_KEY characters of key.
void clearRecord(BookRecord& r, const char* key);

// Record lookup in the open book file f: returns 1 with the first record
// whose key equals key, else 0 with a zeroed record holding only the key. A
// key longer than BOOK_MAX_KEY prints "too long" and cannot match. Indexes
// the whole file for this one call; the engine's probes keep their index.
int bookLookup(FILE* f, const char* key, BookRecord& r);
// Weighted random choice (rand()) among the record's moves; 0 when it has none.
uint32_t weightedChoice(const BookRecord& r);
// Number of slots the entry occupies in the weighted choice (1..11).
int entrySlots(const BookEntry& e);

// Asked between slices of work on a book file; true ends the work for now
// (what was indexed is kept for the next probe).
using BookStopCheck = bool (*)();

// What tells one version of a book file from another.
struct BookFileStamp {
    std::string path;
    uint64_t size = 0;
    int64_t modified = 0;  // last write time in the file system's ticks
    uint64_t ends = 0;     // hash of the first and last 4 KiB
    bool operator==(const BookFileStamp& o) const {
        return path == o.path && size == o.size && modified == o.modified && ends == o.ends;
    }
};
// Stamp of the open file f named path; false when it cannot be read.
bool stampBookFile(FILE* f, const std::string& path, BookFileStamp& stamp);

constexpr uint64_t BOOK_INDEX_MEMORY = uint64_t(256) << 20;

// Index of one version of a book file, built in one pass that may be spread
// over several probes. Records in key order from the start of the file (as
// makebook writes them) cost one sampled key in BOOK_FENCE_SPACING; the rest
// cost a word each (key hash and record number, sorted run by run). Past
// memoryLimit bytes the remainder of the file is scanned at every lookup.
class BookIndex {
public:
    explicit BookIndex(uint64_t memoryLimit = BOOK_INDEX_MEMORY) : memoryLimit(memoryLimit) {}
    // Starts over for this file version.
    void reset(const BookFileStamp& stamp);
    const BookFileStamp& stamp() const { return fileStamp; }
    // Indexes more of f (the file of the stamp) until the end or until stop
    // says so; true once the index covers the whole file.
    bool extend(FILE* f, BookStopCheck stop);
    // 1 with the file's first record of key (at most BOOK_MAX_KEY long), 0
    // when the file has none, -1 when that is not known yet (stopped early,
    // or the file could not be read). Indexes more of f when it must.
    int find(FILE* f, const char* key, BookRecord& r, BookStopCheck stop);
    // A read fell short: the file changed under the index.
    bool readFailed() const { return unreadable; }

private:
    void addRecord(const unsigned char* bytes);
    void closeRun();
    int findIndexed(FILE* f, const unsigned char* target, BookRecord& r);
    int scanRest(FILE* f, const unsigned char* target, BookRecord& r, BookStopCheck stop);
    uint64_t memoryUsed() const { return fences.size() + entries.size() * sizeof(uint64_t); }

    uint64_t memoryLimit;
    BookFileStamp fileStamp;
    uint64_t records = 0;     // whole records in the file
    uint64_t scanned = 0;     // records indexed so far, from the start
    uint64_t sortedEnd = 0;   // records [0, sortedEnd) are in key order
    bool full = false;        // memoryLimit reached: scanned stays where it is
    bool unreadable = false;  // a read failed: the file changed under the index
    int recordBits = 1;
    unsigned char lastKey[BOOK_KEY_SIZE] = {};
    std::vector<unsigned char> fences;  // keys of every BOOK_FENCE_SPACING-th sorted record
    std::vector<uint64_t> entries;      // hash bits above recordBits, record number below
    std::vector<size_t> runEnds;        // entries [previous end, end) sorted together
    size_t runStart = 0;
};

// Where an installed engine keeps its book, relative to the executable's
// directory (prefix/bin/ -> prefix/share/velmora/).
constexpr const char* BOOK_SHARE_DIRECTORY = "../share/velmora/";

// Opens "Velmora.bo2" beside the executable, else in BOOK_SHARE_DIRECTORY,
// else "Mini.bo2" in the working directory (or only the file set by
// setBookFile, which may be a Polyglot ".bin" book); nullptr when none opens
// as a regular file. *path receives the name of the file opened.
FILE* openBook(std::string* path = nullptr);
// Makes openBook use only this file; an empty path restores the usual places.
void setBookFile(const std::string& path);

// Misses the search may still spend on the book in this game: the search
// stops asking it at 0. Written by bookMoveForSearch (one less per position
// the book has no move for) and by refillBookMisses and bookAfterTakeBack,
// which the engine calls; read by bookMoveForSearch.
extern int32_t bookMissCounter;
// Back to BOOK_MISS_LIMIT: a game starts or a position is set up.
void refillBookMisses();
// A take-back that leaves at most BOOK_WAKE_PLIES half-moves played in g
// wakes the book again.
void bookAfterTakeBack(const Game& g);

// Called by the search driver with the position it searches and that
// position's 0-terminated legal move list: returns 1 and moves the book move
// to the front, else 0. Spends a miss when the book has no move, and stays
// silent while none is left. stop bounds the work on the book file (none: the
// probe runs to its end).
int bookMoveForSearch(const Game& g, uint32_t* moves, BookStopCheck stop = nullptr);
// The book's move for the position of g, or 0.
uint32_t bookProbe(const Game& g, BookStopCheck stop = nullptr);
