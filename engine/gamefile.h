// Game files in the manner of PGN, loaded into the game (PARTIE, -f).
#pragma once
#include <string>
#include "board/game.h"

constexpr int GF_CANNOT_LOAD = -10;  // no file, or a set-up position it refuses

// Replaces the game by the first game of the file. Returns 0 when its moves
// were read to the end, GF_CANNOT_LOAD, 2 or 3 when a move mates or
// stalemates (later moves are not read), and otherwise the make-move code of
// the move that was refused (-1, -2, 1), at which point loading stops with
// the moves before it played. message, when given, receives the reason of a
// failure or refusal.
int loadGameFile(Game& g, const char* path, std::string* message = nullptr);
