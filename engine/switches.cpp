#include "engine/switches.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "board/game.h"
#include "book/book.h"
#include "egtb/tablebase.h"
#include "engine/config.h"
#include "engine/epdsuite.h"
#include "engine/gamefile.h"
#include "engine/positionfile.h"
#include "engine/report.h"
#include "engine/session.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/transtable.h"
#include "search/worker.h"

namespace {

void failLoad(const std::string& reason) {
    if (!reason.empty()) std::fprintf(stderr, "%s\n", reason.c_str());
    std::fputs("fichier??\n", stdout);
    std::fflush(stdout);
}

// A table too large for the machine is no reason not to play: halve it until
// it fits, as MEMORY keeps a working table, and say so.
bool createTable() {
    const uint64_t wanted = hashBudgetBytes(hashLog);
    const uint64_t smallest = TT_MIN_BUCKETS * sizeof(TTBucket);
    for (uint64_t bytes = wanted;; bytes /= 2) {
        if (allocateTransTable(bytes) >= 0) {
            if (bytes != wanted)
                std::fprintf(stderr, "Not enough memory for a %llu MB hash table; using %d MB\n",
                             (unsigned long long)(wanted >> 20), ttSizeMiB());
            return true;
        }
        if (bytes <= smallest) break;
    }
    std::fprintf(stderr, "no memory for a hash table of %llu bytes\n", (unsigned long long)wanted);
    return false;
}

long numberIn(const char* text) {
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    return end == text ? 0 : n;
}

}  // namespace

int applySwitch(const char* arg, SwitchState& state) {
    if (arg == nullptr || arg[0] != '-' || arg[1] == 0) return SW_GO_ON;
    const char* value = arg + 2;
    switch (arg[1]) {
    case 'b': setBookFile(value); break;
    case 'd':
        replaceTbPath(tbPath, value);
        break;
    case 'D': {
        long plies = numberIn(value);
        state.depth = plies < 1 ? 0 : int(std::min<long>(plies, SW_DEPTH_MAX));
        break;
    }
    case 'e': state.epdFile = value; break;
    case 'f': {
        if (!createTable()) return 1;
        state.tableCreated = true;
        std::string reason;
        int code = loadGameFile(game, value, &reason);
        // A refused move (code 1 too: its promotion piece is missing) means
        // the file is not the game it claims to be.
        if (code < 0 || code == 1) {
            failLoad(reason);
            return 1;
        }
        state.batch = true;
        break;
    }
    case 'h':
        hashLog = hashLogForSize(numberIn(value));
        break;
    case 'p': {
        std::string reason;
        if (loadPositionFile(game, value, &reason) != 0) {
            failLoad(reason);
            return 1;
        }
        state.batch = true;
        break;
    }
    case 'T': startThreads = int(std::clamp<long>(numberIn(value), 1, POOL_MAX_THREADS)); break;
    case 't': {
        long seconds = numberIn(value);
        if (seconds < 1) {
            std::fputs("temps??\n", stdout);
            std::fflush(stdout);
            break;
        }
        if (seconds > SW_SECONDS_MAX) seconds = SW_SECONDS_MAX;
        state.budget.targetTenths = state.budget.hardTenths = int(seconds * 10);
        state.timeGiven = true;
        break;
    }
    default:
        break;
    }
    return SW_GO_ON;
}

int parseCommandLine(int argc, char** argv) {
    tbPath = defaultTbPath();
    readConfig();
    SwitchState state;
    for (int i = 1; i < argc; i++) {
        int status = applySwitch(argv[i], state);
        if (status != SW_GO_ON) std::exit(status);
    }
    if (!state.tableCreated && !createTable()) std::exit(1);
    if (startThreads > 1) setSearchThreads(startThreads);
    if (!state.batch && state.epdFile.empty()) return 0;
    tbMaxPieces = initTablebases(tbPath.c_str(), tbCacheBytes);
    tbLoaded = 1;
    if (!state.epdFile.empty()) {
        if (!runEpdSuite(state.epdFile, batchBudget(state), stdout)) {
            failLoad("cannot open " + state.epdFile);
            std::exit(1);
        }
        std::exit(0);
    }
    postThinking = 1;
    runBatchSearch(batchBudget(state));
    std::fflush(stdout);
    std::exit(0);
}

TimeBudget batchBudget(const SwitchState& state) {
    if (state.depth == 0) return state.budget;
    TimeBudget budget = state.timeGiven ? state.budget : unlimitedBudget();
    budget.maxDepth = state.depth;
    return budget;
}

void runBatchSearch(const TimeBudget& budget) {
    searchWorker.signals.abortSearch = 0;
    PonderState ponder;  // a single search: nothing to ponder on
    think(game, budget, ponder);
}
