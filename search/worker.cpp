#include "search/worker.h"
#include <cstring>

SearchWorker searchWorker;

void SearchCounters::clear() {
    nodeCount = 0;
    childSearches = 0;
    pollCount = interiorNodes = quiesceNodes = ttHits = 0;
    tbHits = 0;
    selDepth = 0;
}

void OrderingTables::clearHistory() { std::memset(historyScores, 0, sizeof historyScores); }
void OrderingTables::clearCounterMoves() { std::memset(counterMoves, 0, sizeof counterMoves); }
void OrderingTables::clearKillers() { std::memset(killerMoves, 0, sizeof killerMoves); }

void SearchWorker::collectVariation(uint32_t* out) const {
    int n = 0;
    while (n < MAX_SEARCH_PLY && (pvTable[0][n] & 0xFFFF) != 0) {
        out[n] = pvTable[0][n];
        n++;
    }
    out[n] = 0;
}

// The front end's new game clears the one worker's tables.
void clearHistory() { searchWorker.ordering.clearHistory(); }
void clearCounterMoves() { searchWorker.ordering.clearCounterMoves(); }
void clearKillers() { searchWorker.ordering.clearKillers(); }
