#include "tools/lib/positionwalk.h"
#include "board/game.h"
#include "board/movegen.h"
#include "eval/evaluate.h"

NodeState freshNodeState(Board& b) {
    recountBoard(b);
    computeKeys(0, b);
    b.pawnFiles[0] = b.pawnFiles[1] = 0;
    int pst = 0;
    for (int s = 0; s < 32; s++) {
        int sq = b.slotSquare[s];
        if (sq == SQ_NONE) continue;
        int t = b.slotType[s];
        if (s < 16) pst += pstWhite[t][sq];
        else pst -= pstBlack[t][sq];
        if ((s & 15) >= 8 && t == (s < 16 ? WHITE_PAWN : BLACK_PAWN)) b.pawnFiles[s >> 4] |= 1u << (sq & 7);
    }
    b.pstScore = pst;
    NodeState ns;
    nodeStateFromBoard(b, ns);
    ns.stage = recomputeStage(ns);
    copyBoardToWork(b);
    return ns;
}

static void walk(const Board& b, const uint32_t* list, int side, int depth,
                 const std::function<void(Board&, int)>& visit) {
    for (int i = 0; list[i]; i++) {
        if (list[i] & MOVE_ILLEGAL) continue;
        Board child = b;
        uint32_t replies[MAX_MOVES];
        replies[0] = 0;
        uint32_t r = makeAndGenerate(side, replies, list[i] & 0xFFFF, child);
        if (r & MOVE_ILLEGAL) continue;
        if (depth == 1) visit(child, side ^ 1);
        else walk(child, replies, side ^ 1, depth - 1, visit);
    }
}

void walkLeaves(const Board& root, const uint32_t* rootList, int side, int depth,
                const std::function<void(Board&, int)>& visit) {
    if (depth <= 0) {
        Board copy = root;
        visit(copy, side);
        return;
    }
    walk(root, rootList, side, depth, visit);
}
