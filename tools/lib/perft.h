// Leaf counts of the legal move tree, walked with the search-level generators
// and make/unmake, as the search walks it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "board/game.h"

struct PerftDivide {
    std::string move;
    uint64_t count;
};

// Sets the position with setupFromFen on g; returns false when it is refused.
bool perftSetup(Game& g, const char* fen);
uint64_t perftCount(const Game& g, int depth, std::vector<PerftDivide>* divide = nullptr);
