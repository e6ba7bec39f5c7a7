#include "engine/report.h"
#include <cstdio>
#include "board/game.h"

void reportResult(int code, const char* moveText) {
    switch (code) {
    case -2: std::printf("%s (error): %s\n", "Illegal move", moveText); break;
    case -1: std::printf("%s: %s\n", "Illegal move", moveText); break;
    case 1: std::printf("%s (promote?): %s\n", "Illegal move", moveText); break;
    case 2: std::printf("%s\n", game.sideToMove ? "1-0 {White mates}" : "0-1 {Black mates}"); break;
    case 3: std::printf("1/2-1/2 {Stalemate}\n"); break;
    case 4: std::printf("1/2-1/2 {Triple repetition}\n"); break;
    case 5: std::printf("1/2-1/2 {50 moves rule}\n"); break;
    case 6: std::printf("1/2-1/2 {Insufficient material}\n"); break;
    case 10: std::printf("resign\n"); break;
    default: break;
    }
    std::fflush(stdout);
}
