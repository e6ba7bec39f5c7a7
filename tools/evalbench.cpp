// evalbench ["<FEN>" [depth]]: nanoseconds per evaluate() call over the leaves
// of a perft walk (depth 4 by default), from the initial position and a
// middlegame position unless a FEN is given.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include "board/game.h"
#include "eval/evaluate.h"
#include "eval/pawnhash.h"
#include "tools/lib/positionwalk.h"

namespace {

struct Walk {
    uint64_t leaves = 0;
    long long checksum = 0;
    double seconds = 0;  // processor time, so that other work on the machine counts less
};

// The same walk with and without the evaluation: the difference is its cost.
Walk timeWalk(const Board& root, int depth, bool evaluating) {
    clearPawnHash();
    Walk w;
    std::clock_t start = std::clock();
    walkLeaves(root, game.legalMoves, game.sideToMove, depth, [&](Board& b, int side) {
        NodeState node = freshNodeState(b);
        w.checksum += evaluating ? evaluate(side, node) : node.material;
        w.leaves++;
    });
    w.seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    return w;
}

bool benchPosition(const char* fen, int depth) {
    if (setupFromFen(game, fen) != 0) {
        std::fprintf(stderr, "evalbench: position refused: %s\n", fen);
        return false;
    }
    Board root = game.board;
    prepareEvaluation(root);
    const int rounds = 3;
    Walk with, without;
    for (int i = 0; i < rounds; i++) {
        Walk a = timeWalk(root, depth, true), b = timeWalk(root, depth, false);
        if (i == 0 || a.seconds < with.seconds) with = a;
        if (i == 0 || b.seconds < without.seconds) without = b;
    }
    double per = with.leaves ? (with.seconds - without.seconds) * 1e9 / double(with.leaves) : 0;
    std::printf("%s\n  depth %d: %llu calls, %.0f ns per call (walk %.3f s, with evaluation %.3f s, best of %d), checksum %lld\n",
                fen, depth, (unsigned long long)with.leaves, per, without.seconds, with.seconds, rounds, with.checksum);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    allocatePawnHash(65536);
    if (argc > 1) {
        int depth = argc > 2 ? std::atoi(argv[2]) : 4;
        return benchPosition(argv[1], depth) ? 0 : 1;
    }
    bool ok = benchPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4);
    ok = benchPosition("r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8", 4) && ok;
    return ok ? 0 : 1;
}
