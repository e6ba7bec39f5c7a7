// Building book files from games: per position, the moves played with their
// game counts and half-point totals.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "book/book.h"
#include "book/polyglot.h"

struct PgnGame;
struct Game;

struct BookMoveStats {
    uint64_t count = 0;
    uint64_t points = 0;  // half-points for the side that played the move
};

// Per Polyglot key, the moves in the order first seen, with the counts that
// Debian's polyglot keeps (it halves a position's counts when one reaches
// BOOK_POLYGLOT_COUNT_LIMIT, and so must we to write the same book).
struct PolyglotMoveStats {
    uint16_t move;
    uint32_t count = 0;
    uint32_t points = 0;  // half-points for the side that played the move
};
constexpr uint32_t BOOK_POLYGLOT_COUNT_LIMIT = 16384;
// Moves played in fewer games are left out of a Polyglot book, as there.
constexpr int BOOK_POLYGLOT_MIN_GAMES = 3;

struct BookBuilder {
    std::map<std::string, std::map<uint16_t, BookMoveStats>> positions;
    std::map<uint64_t, std::vector<PolyglotMoveStats>> polyglotPositions;
    long gamesUsed = 0;
    long gamesSkipped = 0;  // no result, or a refused start position
    long keysRefused = 0;   // positions whose key does not fit a record

    // Adds the game's first maxPlies positions; returns the positions added.
    // Problems (a move that is not legal, a key too long) go to *warning.
    int addGame(const PgnGame& pg, int maxPlies, std::string* warning = nullptr);
    // One record per position: the five most played moves of at least
    // minGames games, counts and points scaled down together when a count or
    // total does not fit 16 bits. Positions left without moves get no record.
    std::vector<BookRecord> records(int minGames = 1) const;
    // Writes the records; false (with *error) when the file cannot be written.
    bool write(const std::string& path, std::string* error = nullptr, int minGames = 1) const;
    // Polyglot entries: moves played in at least minGames games and not lost
    // in all of them, weight = half-points, sorted by key then weight.
    std::vector<PolyglotEntry> polyglotEntries(int minGames = BOOK_POLYGLOT_MIN_GAMES) const;
    bool writePolyglot(const std::string& path, int minGames = BOOK_POLYGLOT_MIN_GAMES,
                       std::string* error = nullptr) const;

private:
    void addPolyglotMove(const Game& g, uint32_t move, int points);
};
