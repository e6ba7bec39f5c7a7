// evalbench ["<FEN>" [depth]]: nanoseconds per evaluate() call over the leaves
// of a perft walk (depth 4 by default), from the initial position and a
// middlegame position unless a FEN is given.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "board/game.h"
#include "eval/evaluate.h"
#include "eval/pawnhash.h"
#include "eval/positionwalk.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Cost of reading the clock twice, taken off every timed call.
double clockOverheadNs() {
    const int n = 200000;
    auto start = Clock::now();
    for (int i = 0; i < n; i++) {
        auto a = Clock::now();
        auto b = Clock::now();
        asm volatile("" : : "r"(&a), "r"(&b) : "memory");
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / n;
}

bool benchPosition(const char* fen, int depth, double overhead) {
    if (setupFromFen(game, fen) != 0) {
        std::fprintf(stderr, "evalbench: position refused: %s\n", fen);
        return false;
    }
    Board root = game.board;
    prepareEvaluation(root);
    clearPawnHash();
    uint64_t calls = 0;
    double ns = 0;
    long long checksum = 0;
    walkLeaves(root, game.legalMoves, game.sideToMove, depth, [&](Board& b, int side) {
        NodeState node = freshNodeState(b);
        auto a = Clock::now();
        int e = evaluate(side, node);
        auto z = Clock::now();
        ns += std::chrono::duration<double, std::nano>(z - a).count();
        checksum += e;
        calls++;
    });
    double per = calls ? ns / double(calls) - overhead : 0;
    std::printf("%-70s depth %d: %llu calls, %.1f ns/call, checksum %lld\n", fen, depth,
                (unsigned long long)calls, per, checksum);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    allocatePawnHash(65536);
    double overhead = clockOverheadNs();
    std::printf("clock overhead %.1f ns (subtracted)\n", overhead);
    if (argc > 1) {
        int depth = argc > 2 ? std::atoi(argv[2]) : 4;
        return benchPosition(argv[1], depth, overhead) ? 0 : 1;
    }
    bool ok = benchPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4, overhead);
    ok = benchPosition("r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8", 4, overhead) && ok;
    return ok ? 0 : 1;
}
