#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include "board/game.h"
#include "egtb/tablebase.h"
#include "engine/bench.h"
#include "engine/commandloop.h"
#include "engine/config.h"
#include "engine/gamelog.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "engine/switches.h"
#include "board/nodestate.h"
#include "search/driver.h"
#include "search/transtable.h"

int main(int argc, char** argv) {
    ignoreInterrupts();
    // The book's random choice is seeded once per process: seeding with the
    // time at every search gave every search within one second the same draw.
    std::srand(std::random_device{}());
    installSearchReport();
    // The log is named after the path the program was started with.
    std::string logName = std::string(argc > 0 && argv[0] ? argv[0] : "velmora") + ".log";
    listMoves(game);
    selectEnglishLetters();
    // "velmora bench [depth]", as testers' frameworks run it: the signature
    // of tools/bench, from a process in the state that tool starts in.
    if (argc > 1 && std::strcmp(argv[1], "bench") == 0) {
        useBook = 0;
        postThinking = 0;
        return runBench(argc > 2 ? std::atoi(argv[2]) : BENCH_DEFAULT_DEPTH, stdout) != 0 ? 0 : 1;
    }
    parseCommandLine(argc, argv);  // a batch run ends the process here
    if (logEnabled) {
        if (openLog(logName.c_str())) installLogWriters();
        else std::fprintf(stderr, "cannot open the log file %s\n", logName.c_str());
    }
    std::fprintf(stderr, "%s\n", engineName);
    std::fprintf(stderr, "Velmora chess engine, by the Velmora developers\n");
    std::fprintf(stderr, "Hash=%uMB Sst=%d\n", unsigned(ttSizeMiB()), int(sizeof(NodeState)));
    tbMaxPieces = initTablebases(tbPath.c_str(), tbCacheBytes);
    std::fprintf(stderr, "type quit to exit\n");
    std::fflush(stderr);
    tbLoaded = 1;
    return runCommandLoop(stdin);
}
