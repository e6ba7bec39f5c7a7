// Searches a fixed set of positions to a fixed depth with fresh tables and
// prints the node total, a signature of the search's behaviour.
// usage: bench [depth] [threads, default 1] [positions, default all]
// With more than one thread the total varies from run to run: only the
// one-thread total is a signature.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include "board/game.h"
#include "engine/bench.h"
#include "search/driver.h"
#include "search/searchpool.h"
#include "engine/report.h"

int main(int argc, char** argv) {
    int depth = argc > 1 ? std::atoi(argv[1]) : BENCH_DEFAULT_DEPTH;
    const int threads = argc > 2 ? std::atoi(argv[2]) : 1;
    const int positions = argc > 3 ? std::atoi(argv[3]) : 0;
    if (setSearchThreads(threads) != std::max(threads, 1)) {
        std::fprintf(stderr, "cannot start %d threads\n", threads);
        return 1;
    }
    selectEnglishLetters();
    useBook = 0;
    postThinking = 0;
    return runBench(depth, stdout, positions) != 0 ? 0 : 1;
}
