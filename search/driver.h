// Iterative deepening over the node search, the thinking output, and the
// game-level search operations the search thread calls.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include "board/game.h"
#include "search/relaxed.h"
#include "search/timecontrol.h"

// Switch of the front end read by the driver: consult the opening book first.
extern Relaxed<int> useBook;

// Root searches that left the working board changed (internal error 333), by any worker.
extern std::atomic<int> internalErrors;
// Called with the code of an internal error (the log writes it when open).
extern void (*reportInternalError)(int code);

// One thinking line: an iteration's result or a bound found on the way.
struct ThinkingReport {
    int depth;
    int score;
    uint32_t elapsedMs;  // at least 1
    int marker;          // 1 after a fail high, 0 after a fail low, -1 for an exact score
    int side;            // the side to move at the root
    const uint32_t* list;
    const Board* root;
    int uci;
    uint32_t nodes;
    // The line to show; read only under the output lock.
    const uint32_t* variation;
    int selDepth = 0;
    int multiPv = 1;     // the line's rank among the root lines searched, from 1
    bool scored = true;  // false for a book move: no score was searched for
    uint32_t tbHits = 0;
};

// How the driver reports to the front end, which formats the text. Set by
// the engine before any search; a null hook reports nothing.
struct SearchReportHooks {
    void (*thinking)(const ThinkingReport& line) = nullptr;
    // The root move being searched, once the search has run a second (UCI).
    void (*currentMove)(int depth, uint32_t move, int number) = nullptr;
};
extern SearchReportHooks searchReport;

// What a search is asked for beyond its budget. Made by the front end with
// the search's settings; the search thread reads its own copy.
struct SearchScope {
    int multiPv = 1;    // root lines to search and report, best first
    int mateMoves = 0;  // stop once a mate in this many moves is found (0: no such limit)
    // The root moves the search may choose from, 0-terminated; none: all.
    uint32_t searchMoves[MAX_MOVES] = {};
};

struct SearchWorker;

// movedSide: the side that played move (0 White); with no move, the side not
// to move at the root.
int searchRoot(SearchWorker& w, int movedSide, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
               Board& root);
// The quiescence score of root for side to move, from its view: captures
// and promotions until the position is quiet, without the transposition table
// and without delta pruning, so that the score depends on the position and the
// evaluation weights alone. root must have its keys and the evaluation set up
// (prepareEvaluation). Sets w's clock so that nothing stops it. For tools (the
// evaluation tuner); w must not be searching elsewhere.
int quiescenceScore(SearchWorker& w, Board& root, int side);
// Searches the game's position (root: its board; side and list: its side to
// move and legal moves) until the budget or an abort ends it; the book is
// asked about that position first. depthReached: the last iteration that
// produced a result.
int iterativeDeepening(SearchWorker& w, const Game& position, int side, uint32_t* list, int previousScore,
                       const TimeBudget& budget, int& depthReached, int clearVariation, Board& root, int uci,
                       const SearchScope& scope = SearchScope());
// What one search leaves for the next: the opponent's reply it expects and
// what a ponder search on that reply found. Written and read by the thread
// that searches (think, preparePonder, ponderSearch), one search at a time.
struct PonderState {
    uint32_t move = 0;   // the expected reply (0: none)
    uint32_t reply = 0;  // the answer to it found by pondering, score in the high bits
    int time = 0;        // tenths the ponder search ran
    int depth = 0, score = 0;
};

// score << 16 | best move, or all bits set when the game is over. The caller
// clears the worker's abort signal before the search starts. uci: the
// thinking lines' form.
uint32_t think(Game& g, TimeBudget budget, PonderState& ponder, int uci = 0, const SearchScope& scope = SearchScope());
void preparePonder(PonderState& ponder, int depth);
// The move the table holds for the position after played, if legal there (0: none).
uint32_t replyFromTable(const Game& g, uint32_t played);
uint32_t ponderSearch(Game& g, PonderState& ponder, int uci = 0);
