// Polyglot opening books (".bin"): the format most interfaces, tournament
// managers and other engines read and that Debian's polyglot writes.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "book/book.h"

struct Game;

// A book is a headerless run of 16-byte big-endian entries sorted by key:
//   0..7 position key, 8..9 move, 10..11 weight, 12..15 learning data.
constexpr int POLYGLOT_ENTRY_SIZE = 16;
constexpr int POLYGLOT_RANDOM_COUNT = 781;
constexpr int POLYGLOT_CASTLE_RANDOM = 768;      // + 0..3: K, Q, k, q
constexpr int POLYGLOT_EN_PASSANT_RANDOM = 772;  // + the file
constexpr int POLYGLOT_TURN_RANDOM = 780;        // White to move
// Entries of one position read at most: no position has nearly as many
// legal moves, so more is damage.
constexpr size_t POLYGLOT_MAX_POSITION_ENTRIES = 256;

extern const uint64_t POLYGLOT_RANDOM[POLYGLOT_RANDOM_COUNT];

struct PolyglotEntry {
    uint64_t key = 0;
    uint16_t move = 0;  // to file 0-2, to rank 3-5, from file 6-8, from rank 9-11, promotion 12-14
    uint16_t weight = 0;
    uint32_t learn = 0;
};

void encodePolyglotEntry(const PolyglotEntry& e, unsigned char* bytes);
void decodePolyglotEntry(const unsigned char* bytes, PolyglotEntry& e);

// The format's key of g's position: the en-passant file counts only when a
// pawn of the side to move stands beside the pawn that just made a double step.
uint64_t polyglotKey(const Game& g);
// Our move word in the format: castling is written as the king taking its
// own rook (e1h1), promotions carry the piece (1 knight .. 4 queen).
uint16_t toPolyglotMove(uint32_t move);
// The legal move of g's position that the book move names, or 0.
uint32_t fromPolyglotMove(const Game& g, uint16_t move);

// The format of the file: ".bin" is Polyglot and ".bo2" ours; any other
// name is told by the content (our records begin with a position text).
bool isPolyglotBook(const std::string& path, FILE* f);

struct PolyglotMove {
    uint32_t move;  // legal in the position probed
    uint16_t weight;
};

// Lookups in one version of a Polyglot file. Before the first answer the
// whole file is checked once (spread over probes when stop says so): a file
// that is empty, not a whole number of entries, or not sorted by key gives
// no move at all, since a binary search in it could give any.
class PolyglotBook {
public:
    void reset(const BookFileStamp& stamp);
    const BookFileStamp& stamp() const { return fileStamp; }
    // 1 with the position's entries in file order, 0 when the book has
    // none or is damaged, -1 when the check has not finished yet.
    int find(FILE* f, uint64_t key, std::vector<PolyglotEntry>& out, BookStopCheck stop);
    bool damaged() const { return broken; }

private:
    bool check(FILE* f, BookStopCheck stop);
    bool readEntry(FILE* f, uint64_t index, PolyglotEntry& e);

    BookFileStamp fileStamp;
    uint64_t entries = 0;
    uint64_t checked = 0;  // entries known to be in key order, from the start
    uint64_t lastKey = 0;
    bool broken = false;
};

// The legal moves the book stores for g's position with their weights, in
// file order; entries of weight 0 and moves that are not legal are left out.
// 1 when the list is known, 0 when the book has no move for the position or
// is damaged, -1 when the check of a large file was stopped.
int polyglotMoves(PolyglotBook& book, FILE* f, const Game& g, std::vector<PolyglotMove>& out,
                  BookStopCheck stop = nullptr);
// Picks a move with a probability proportional to its weight (rand()); 0
// when the list is empty.
uint32_t polyglotWeightedChoice(const std::vector<PolyglotMove>& moves);
