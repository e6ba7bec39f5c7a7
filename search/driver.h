// Iterative deepening over the node search, the thinking output, and the
// game-level search operations the search thread calls.
#pragma once
#include <cstdint>
#include <string>
#include "board/game.h"
#include "search/relaxed.h"
#include "search/timecontrol.h"

// Switches of the front end read by the driver.
extern Relaxed<int> postThinking;  // print thinking lines
extern Relaxed<int> useBook;       // consult the opening book first

extern int bestScore;
// The published variations, read and written only under the output lock.
extern uint32_t principalVariation[60];
extern uint32_t previousVariation[60];
extern uint32_t displayedVariation[60];
extern Relaxed<uint32_t> searchStartTick;
extern Relaxed<int> iterationDepth, rootMoveTotal, rootMovesLeft;
extern Relaxed<uint32_t> currentRootMove;
extern int maxIterations;
// Root searches that left the working board changed (internal error 333).
extern int internalErrors;
// Called with the code of an internal error (the log writes it when open).
extern void (*reportInternalError)(int code);

int searchRoot(int sideFlag, uint32_t move, uint32_t flags, int depth, int alpha, int beta, Board& root);
// Searches until the budget or an abort ends it. depthReached: the last
// iteration that produced a result.
int iterativeDeepening(int side, uint32_t* list, int previousScore, const TimeBudget& budget, int& depthReached,
                       int clearVariation, Board& root, int uci);
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
// clears abortSearch before the search starts. uci: the thinking lines' form.
uint32_t think(Game& g, TimeBudget budget, PonderState& ponder, int uci = 0);
void preparePonder(PonderState& ponder, int depth);
uint32_t ponderSearch(Game& g, PonderState& ponder, int uci = 0);
void printStatus();
void formatScore(char* buffer, int score);
// The score as the thinking lines show it (buffer of at least 24 chars).
void uciScoreText(char* buffer, int score);
int xboardScoreValue(int score);
