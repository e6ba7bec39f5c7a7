// Building book files from games: per position, the moves played with their
// game counts and half-point totals.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "book/book.h"

struct PgnGame;

struct BookMoveStats {
    uint64_t count = 0;
    uint64_t points = 0;  // half-points for the side that played the move
};

struct BookBuilder {
    std::map<std::string, std::map<uint16_t, BookMoveStats>> positions;
    long gamesUsed = 0;
    long gamesSkipped = 0;  // no result, or a refused start position
    long keysRefused = 0;   // positions whose key does not fit a record

    // Adds the game's first maxPlies positions; returns the positions added.
    // Problems (a move that is not legal, a key too long) go to *warning.
    int addGame(const PgnGame& pg, int maxPlies, std::string* warning = nullptr);
    // One record per position: the five most played moves, counts and points
    // scaled down together when a count or total does not fit 16 bits.
    std::vector<BookRecord> records() const;
    // Writes the records; false (with *error) when the file cannot be written.
    bool write(const std::string& path, std::string* error = nullptr) const;
};
