// The per-node part of the position that travels by value through the search.
#pragma once
#include <cstdint>

struct NodeState {
    int16_t castle[4];
    int16_t pieceCount[2];
    int16_t pawnCount[2];
    uint32_t hashKey, hashLock;
    uint32_t pawnKey, pawnLock;
    int32_t stage;
    int32_t material;
    int32_t pstScore;
    int32_t searchPly;
    uint32_t lastMove;
    int32_t fiftyCount;
    uint16_t nonPawnMaterial[2];
    uint32_t promotedQueens;
    uint8_t pawnFiles[2];
};
static_assert(sizeof(NodeState) == 68, "the start-up line reports this size");
