// Opening book: fixed 100-byte records looked up by position text.
#pragma once
#include <cstdint>

// Called by the search driver with the root's 0-terminated legal move list:
// returns 1 and moves the book move to the front, else 0. Counts misses in
// bookMissCounter and stays silent while it is 0.
int bookMoveForSearch(uint32_t* moves);
// The book's move for the game's current position, or 0.
uint32_t bookProbe();
