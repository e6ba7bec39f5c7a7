// The game log: games played in the command loop, in a PGN-like form.
// Every writer takes the output lock, so the command loop and the search
// thread may both call them.
#pragma once
#include <cstdint>
#include <string>
#include "board/game.h"
#include "search/search.h"

constexpr int LOG_VARIATION_WORDS = 60;  // longest variation compared and written

// Opens the log for appending; false when it cannot be opened (no log then).
bool openLog(const char* fileName);
void closeLog();

// NEW: the event tag and, when the date is known, the date tag.
void logNewGame();
// RESULT: the text after the command word.
void logResult(const char* text);
// "QZ code %d".
void logInternalError(int code);
// One move entry before the move is played: number, move in algebraic
// notation, and in braces the score and variation when a variation is
// given (0-terminated words, move in the low 16 bits) and it differs from
// the last one written. Move 0 writes an empty entry (ANALYZE).
void logMove(const Game& g, Move m, const uint32_t* variation = nullptr, int score = NO_SCORE);

// Points the command loop, the search thread and the driver at these writers.
void installLogWriters();
