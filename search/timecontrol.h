// How long a search runs: the budget in tenths of a second, the clock check
// made every so many nodes and the rule applied after each iteration.
#pragma once
#include <cstdint>

// Thirty days in tenths of a second: a budget no game reaches, so only a
// stop, a depth or a node limit ends such a search.
constexpr int TC_UNLIMITED_TENTHS = 25920000;
constexpr int TC_DEFAULT_OVERHEAD_MS = 10, TC_MAX_OVERHEAD_MS = 5000;

// The clocks as the interface last gave them (xboard LEVEL, TIME and OTIM;
// UCI go). Written by the command loop only, read when a search is started.
struct Clocks {
    int engineTenths = 0, opponentTenths = 0;
    int engineMs = -1;  // the engine's clock in milliseconds (-1: none received)
    int movesPerPeriod = 6, baseSeconds = 60, incrementTenths = 0;
    // The increment to the millisecond when the interface gave it so (UCI
    // winc/binc; -1: the tenths are all there is).
    int incrementMs = -1;
    // What the interface and the pipes lose per move (UCI "Move Overhead"):
    // every budget drawn from these clocks is that much shorter.
    int overheadMs = TC_DEFAULT_OVERHEAD_MS;
};

// What one search may spend. Made by the command loop when it starts a
// search and handed to it; the search reads its own copy.
struct TimeBudget {
    int targetTenths = 60;  // the soft target: no new iteration after it
    int hardTenths = 60;    // the search is aborted here
    // A cap in milliseconds on both (0 = none): tenths are too coarse for a
    // clock that is nearly run out.
    int capMs = 0;
    // The two budgets to the millisecond when the clock gave them so (0: the
    // tenths above); the tenths are then these rounded down, at least one.
    int targetMs = 0, hardMs = 0;
    // Taken off both budgets when the clock starts (a clock-based budget
    // only): the search never gets less than a millisecond.
    int overheadMs = 0;
    int maxDepth = 999;      // the last iteration to run
    uint32_t nodeLimit = 0;  // 0 = none
};

// The budget for the side to move at ply under the clocks; analyse gives an
// unlimited one.
TimeBudget allocateTime(const Clocks& clocks, int ply, bool analyse);
// A fixed time per move (UCI movetime, the -t switch), at least a tenth.
TimeBudget moveTimeBudget(long ms);
TimeBudget unlimitedBudget();
// The cap in milliseconds for budgets target/hard in tenths under the
// clocks; movesLeft in the period, 0 for none.
int shortClockCapMs(const Clocks& clocks, int targetTenths, int hardTenths, int movesLeft);

struct SearchWorker;

// The clock of one search, a member of its worker. Written by startClock
// before the search and by the search thread during it (the clock check, the
// driver's fail-high mark); read by that thread only.
struct SearchClock {
    uint32_t timeStartTick = 0;
    // The budgets in tenths of a second, as given.
    int softTime = 0, hardTime = 0;
    // The same budgets in milliseconds, after the cap startClock was given.
    uint64_t softTimeMs = 0, hardTimeMs = 0;
    int softTimeReached = 0;
    // The soft budget as allocated: after each iteration the driver sets
    // softTimeMs to a share of it (see stopAfterIteration). Zero when the
    // budget is a fixed time, which is spent as given.
    uint64_t allocatedSoftMs = 0;
    // Best-move changes of the last iterations, each worth 64 and halved at
    // every iteration, and the best move of the last one.
    int instability = 0;
    uint32_t lastBestMove = 0;
    // Set while the root's score is above the window: the soft time then
    // does not stop the search.
    int failHighFlag = 0;
    // Node entries between two clock checks: 250000, fewer when the hard time
    // is under ten seconds, so that a fast game is not lost on time while the
    // clock goes unread (at 250000 nodes a slow or loaded machine reads it only
    // every second or so).
    uint32_t pollInterval = 250000;
    // Node count of all the search's workers at which the clock check stops
    // the search (0 = none); set from the budget when the clock starts.
    uint32_t nodeLimit = 0;
};

// Starts the budget. Leaves the abort signal alone: a stop that arrived
// before the clock started must not be lost.
// capMs (0 = none) caps both budgets in milliseconds; overheadMs is then
// taken off both.
int startClock(SearchClock& clock, int soft, int hard, int capMs = 0, int overheadMs = 0);
// The same with budgets in milliseconds.
int startClockMs(SearchClock& clock, uint64_t softMs, uint64_t hardMs, int capMs = 0, int overheadMs = 0);
// Starts the budget's times and sets its node limit.
int startClock(SearchClock& clock, const TimeBudget& budget);
// Run from the node search: sets the worker's abort signal once time or nodes are up.
void checkClock(SearchWorker& w);
// After an iteration with score change against the previous one and best
// move bestMove: whether to stop. A clock budget stops sooner when the best
// move holds and later when it changes or the score falls.
int stopAfterIteration(SearchWorker& w, int change, uint32_t bestMove);
