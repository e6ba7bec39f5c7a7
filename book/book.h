// Opening book: fixed 100-byte records looked up by position text.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

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

// Record lookup: scans f from its start; returns 1 with the first record whose
// key equals key, else 0 with a zeroed record holding only the key. A key
// longer than BOOK_MAX_KEY prints "too long" and cannot match.
int bookLookup(FILE* f, const char* key, BookRecord& r);
// Weighted random choice (rand()) among the record's moves; 0 when it has none.
uint32_t weightedChoice(const BookRecord& r);
// Number of slots the entry occupies in the weighted choice (1..11).
int entrySlots(const BookEntry& e);

// Opens "Velmora.bo2" beside the executable, else "Mini.bo2" in the working
// directory (or only the file set by setBookFile); nullptr when none opens.
FILE* openBook();
// Makes openBook use only this file; an empty path restores the usual places.
void setBookFile(const std::string& path);

// Called by the search driver with the root's 0-terminated legal move list:
// returns 1 and moves the book move to the front, else 0. Counts misses in
// bookMissCounter and stays silent while it is 0.
int bookMoveForSearch(uint32_t* moves);
// The book's move for the game's current position, or 0.
uint32_t bookProbe();
