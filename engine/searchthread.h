// The search thread: time budgets, starting and stopping searches, and what
// the thread does with its result (play, announce, resign, ponder).
#pragma once
#include <atomic>
#include <cstdint>
#include "board/game.h"
#include "search/driver.h"
#include "search/relaxed.h"
#include "search/timecontrol.h"

extern std::atomic<int> searching;  // a search thread exists
// The running thread has announced its move (or "bestmove"): all it may still
// do is ponder or end. Set just before the line is printed, so that a command
// reacting to the line always finds it set.
extern std::atomic<int> resultAnnounced;
extern std::atomic<int> stopRequested;  // stopSearch is waiting: do not ponder
// UCI "go infinite" / "go ponder": the bestmove waits for "stop".
extern std::atomic<int> holdBestMove;
// Set while a search is stopped only to be replaced ("ponderhit").
extern std::atomic<int> discardResult;

// The pause before a book move is announced (300 ms; the fuzz build uses 0).
extern int bookMovePauseMs;

// Writes a move entry to the log (no-op while no log is open); withVariation
// adds the score and variation. Set by the log once it exists.
// expectedReply: the opponent's move the search expects after this one (0: none).
extern void (*moveLogger)(Game& g, uint32_t move, int withVariation, uint32_t expectedReply);

// What the engine expects after its last move: the opponent's reply, for
// HINT, and the score of the move, for a draw offer. Written by the search
// thread when it has played its move, read by the command loop; both under
// the output lock.
struct EngineExpectation {
    uint32_t reply = 0;     // 0: none
    int ply = -1;           // the game's ply when it applies
    uint32_t lastMove = 0;  // the engine's move, which the game must still end with
    int score;              // NO_SCORE when the move was not searched
};
// A copy, taken under the output lock.
EngineExpectation engineExpectation();

// The scores of the engine's last moves, for the resign rule.
struct ResignState {
    int count = 0;  // moves running with a falling mated score
    int lastScore = 0;
};
// The resign rule after an engine move with this score: 10 to resign, else 0.
int resignCheck(ResignState& state, int enabled, int score);
// What a search is started with, by the command loop; the thread keeps its
// own copy for the search's life.
struct SearchSettings {
    TimeBudget budget;
    // Lines, a mate limit, root moves (UCI go).
    SearchScope scope;
    int uci = 0;      // the result is a "bestmove" line, the thinking lines UCI's
    int analyse = 0;  // analysis: no move is played
    // Read when the move has been made, not at the start, so that HARD,
    // EASY or the resign option sent during the search count for this move.
    const Relaxed<int>* ponder = nullptr;  // ponder on the expected reply
    const Relaxed<int>* resign = nullptr;  // apply the resign rule
};

// Starts a search of the game's position unless one runs.
void startSearch(const SearchSettings& settings);
// Stops the search; it then announces its move as usual ("?", UCI stop).
// Returns once the thread has ended.
void stopSearch();
// Stops the search for a command that replaces it (FORCE, NEW, a move...):
// in xboard mode its move is neither played nor announced. UCI owes a
// bestmove for every go, so there it is stopSearch.
void cancelSearch();
