// Position files: one man per line with the French piece letters (-p).
#pragma once
#include <string>
#include "board/game.h"

constexpr int PF_CANNOT_OPEN = -1;
constexpr int PF_BAD_POSITION = -2;

// Sets up the position of the file: "b" and "n" lines choose white and black,
// "r d t f c p" + square put a king, queen, rook, bishop, knight or pawn; other
// lines are ignored. The side to move is the one not chosen last. Returns 0,
// PF_CANNOT_OPEN, or PF_BAD_POSITION (the game then stays as it was);
// message, when given, receives the reason of a failure.
int loadPositionFile(Game& g, const char* path, std::string* message = nullptr);
