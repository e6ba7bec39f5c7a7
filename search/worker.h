// The state of one search, owned by one search worker: what the node search,
// the driver and the clock check write while a search runs. Each record says
// who writes it; the search functions reach it through the worker they are
// given, never through a global.
#pragma once
#include <cstdint>
#include "board/game.h"
#include "search/relaxed.h"
#include "search/search.h"
#include "search/timecontrol.h"

// Node counts of the search under way. Written by the search thread only;
// the status line and the thinking lines read nodeCount and childSearches.
struct SearchCounters {
    Relaxed<uint32_t> nodeCount{0};
    Relaxed<uint32_t> childSearches{0};
    uint32_t pollCount = 0, interiorNodes = 0, quiesceNodes = 0, ttHits = 0;
    // Tablebase probes that gave a value, and the deepest ply the current
    // iteration reached (the driver clears it for each iteration).
    uint32_t tbHits = 0;
    int selDepth = 0;
    void clear();
};

// Move-ordering tables, one set per colour. Written by the node search; the
// driver clears killers and counter moves for each search, a new game all.
struct OrderingTables {
    uint32_t killerMoves[2][60];
    uint16_t counterMoves[2][7][64];
    int32_t historyScores[2][7][64];
    void clearHistory();
    void clearCounterMoves();
    void clearKillers();
};

// Where the root search stands. Written by the driver; the status line reads
// it from the command thread at any time.
struct RootProgress {
    Relaxed<uint32_t> searchStartTick{0};
    Relaxed<int> iterationDepth{0}, rootMoveTotal{0}, rootMovesLeft{0};
    Relaxed<uint32_t> currentRootMove{0};
};

// A root line as last reported, which the answer's final report repeats.
struct ReportedLine {
    int depth = 0, selDepth = 0, score = 0;
    int marker = -1;      // as the thinking line's: 1 lower bound, 0 upper bound, -1 exact
    bool scored = false;  // false: no score was searched for (a book move)
    uint32_t variation[60] = {};
};

// The variations the thinking lines, pondering and the log use. Read and
// written only under the output lock.
struct PublishedVariations {
    uint32_t principal[60];
    uint32_t previous[60];
    uint32_t displayed[60];
    // The reported root lines, best first (lineCount of them; line 0's
    // variation is the displayed one).
    int lineCount = 0;
    ReportedLine lines[MAX_MULTI_PV];
};

// Signals to the search. abortSearch is set by whoever stops the search (the
// command thread, the clock check) and cleared by the search thread's owner
// before a search starts; node entries read it.
struct SearchSignals {
    Relaxed<int> abortSearch{0};
};

struct SearchWorker {
    SearchSignals signals;
    SearchCounters counters;
    OrderingTables ordering;
    RootProgress progress;
    PublishedVariations variations;
    SearchClock clock;

    // Written by the node search: one line per ply, the best line found from
    // that ply, 0-terminated. A node that raises alpha at a PV node writes its
    // move and copies its child's line.
    uint32_t pvTable[MAX_SEARCH_PLY + 2][MAX_SEARCH_PLY + 2];
    // Written by the node search: the static score of the node at each ply of
    // the current line (NO_EVAL in check), to tell whether the side to move
    // is doing better than two plies before.
    int staticEvals[MAX_SEARCH_PLY + 2];
    // Written by the driver: the root's legal moves in search order, 0-terminated.
    uint32_t rootMoves[MAX_MOVES];
    // Set by the driver: the history the search appends to and walks for
    // repetitions, and the index of the last played entry (-1 before any move).
    HistoryEntry* searchHistory = nullptr;
    int historyBase = -1;
    // Written by the driver for each iteration: no check extension from this ply on.
    int extensionPlyLimit = 0;
    // Written by the driver: the last iteration's score and the iteration cap.
    int bestScore = NO_SCORE;
    int maxIterations = 60;
    // Written by the driver for each search and each root line: the form of
    // the thinking lines (1 UCI) and the rank of the line the root searches
    // (its moves are then numbered after the lines already found).
    int uciReports = 0;
    int rootLineIndex = 0;

    // The root cell: score << 16 | move of the best root move found so far.
    uint32_t rootPvWord() const { return pvTable[0][0]; }
    void setRootPvWord(uint32_t word) { pvTable[0][0] = word; }
    void clearRootPv() { pvTable[0][0] = 0; }
    // Copies the root's line into out (at most 59 words, 0-terminated).
    void collectVariation(uint32_t* out) const;
};

// The engine's one search worker (one search thread for now).
extern SearchWorker searchWorker;
