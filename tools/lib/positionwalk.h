// Walking the legal-move tree of a position, for checking and timing the
// evaluation outside a search.
#pragma once
#include <cstdint>
#include <functional>
#include "board/types.h"
#include "board/nodestate.h"

// The node record of b computed from scratch: counts, keys, material, pawn
// files, promoted queens, the piece-square sum with the blended tables of the
// last prepareEvaluation, and the search's stage rule. Copies b's placement
// to workBoard so that evaluate() sees it.
NodeState freshNodeState(Board& b);

// Calls visit(board, side to move) at every leaf `depth` plies below root,
// whose legal-move list (moves of `side`, illegal ones marked) is rootList.
void walkLeaves(const Board& root, const uint32_t* rootList, int side, int depth,
                const std::function<void(Board&, int)>& visit);
