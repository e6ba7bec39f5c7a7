// Test suites in EPD: positions with "bm" (best move) and "am" (avoid move)
// operations, searched one after another and counted as solved or missed.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "search/timecontrol.h"

struct Game;

struct EpdPosition {
    std::string fen;  // the four position fields, and the move counters when the line has them
    std::string id;   // the "id" operation, or empty
    std::vector<std::string> bestMoves, avoidMoves;
};

enum EpdLineKind { EPD_SKIP, EPD_POSITION, EPD_BAD };

// One line of an EPD file. Blank lines and lines beginning with '#' or ';'
// are EPD_SKIP; a line with fewer than four fields, or with an unterminated
// string, is EPD_BAD with the reason in *error.
EpdLineKind parseEpdLine(const std::string& line, EpdPosition& out, std::string* error);

// The legal move of g's position that text names in SAN (Nf3, exd6, O-O,
// e8=Q+) or in coordinates (g1f3, e7e8q), or 0.
uint32_t moveFromText(const Game& g, const std::string& text);

// Whether move (legal in g) passes the position's bm and am operations: it
// must be one of the best moves and none of the moves to avoid.
bool epdSolved(const Game& g, uint32_t move, const std::vector<uint32_t>& best, const std::vector<uint32_t>& avoid);

struct EpdSummary {
    int solved = 0;
    int total = 0;    // positions searched
    int skipped = 0;  // bad lines and positions that could not be set up
};

// Searches every position of the file with the budget (the book is not
// asked), printing one line per position and the final "solved N of M" on
// out. The game is left at the last position searched. false when the file
// cannot be opened.
bool runEpdSuite(const std::string& path, const TimeBudget& budget, FILE* out, EpdSummary* summary = nullptr);

// The xboard/UCI command "epdtest FILE [time SECONDS | depth PLIES]"
// (6 seconds a position by default): runs the suite and then restores the
// game that was set up before.
void epdTestCommand(const std::string& line);
