// perft "<FEN>" <depth> [--divide]: leaf count of the legal move tree.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "tools/lib/perft.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: perft \"<FEN>\" <depth> [--divide]\n");
        return 2;
    }
    selectEnglishLetters();
    const char* fen = argv[1];
    if (std::strcmp(fen, "startpos") == 0) fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    if (!perftSetup(game, fen)) {
        std::fprintf(stderr, "perft: position refused\n");
        return 1;
    }
    int depth = std::atoi(argv[2]);
    bool divide = argc > 3 && std::strcmp(argv[3], "--divide") == 0;
    std::vector<PerftDivide> parts;
    auto start = std::chrono::steady_clock::now();
    uint64_t n = perftCount(game, depth, divide ? &parts : nullptr);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (auto& p : parts) std::printf("%s: %llu\n", p.move.c_str(), (unsigned long long)p.count);
    std::fprintf(stderr, "time %.3f s, %.0f nodes/s\n", secs, secs > 0 ? double(n) / secs : 0.0);
    std::printf("%llu\n", (unsigned long long)n);
    return 0;
}
