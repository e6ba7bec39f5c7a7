// Searches a fixed set of positions to a fixed depth with fresh tables and
// prints the node total, a signature of the search's behaviour.
#include <cstdio>
#include <cstdlib>
#include "board/game.h"
#include "engine/bench.h"
#include "search/driver.h"
#include "engine/report.h"

int main(int argc, char** argv) {
    int depth = argc > 1 ? std::atoi(argv[1]) : BENCH_DEFAULT_DEPTH;
    selectEnglishLetters();
    useBook = 0;
    postThinking = 0;
    return runBench(depth, stdout) != 0 ? 0 : 1;
}
