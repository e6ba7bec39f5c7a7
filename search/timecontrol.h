// How long a search runs: the budget in tenths of a second, the clock check
// made every so many nodes and the rule applied after each iteration.
#pragma once
#include <cstdint>

// Thirty days in tenths of a second: a budget no game reaches, so only a
// stop, a depth or a node limit ends such a search.
constexpr int TC_UNLIMITED_TENTHS = 25920000;

// The clocks as the interface last gave them (xboard LEVEL, TIME and OTIM;
// UCI go). Written by the command loop only, read when a search is started.
struct Clocks {
    int engineTenths = 0, opponentTenths = 0;
    int engineMs = -1;  // the engine's clock in milliseconds (-1: none received)
    int movesPerPeriod = 6, baseSeconds = 60, incrementTenths = 0;
};

// What one search may spend. Made by the command loop when it starts a
// search and handed to it; the search reads its own copy.
struct TimeBudget {
    int targetTenths = 60;  // the soft target: no new iteration after it
    int hardTenths = 60;    // the search is aborted here
    // A cap in milliseconds on both (0 = none): tenths are too coarse for a
    // clock that is nearly run out.
    int capMs = 0;
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

extern uint32_t timeStartTick;
extern int softTime, hardTime;
// The same budgets in milliseconds, after the cap startClock was given.
extern uint64_t softTimeMs, hardTimeMs;
extern int softTimeReached;
extern int failHighFlag;
// Node entries between two clock checks: 250000, fewer when the hard time
// is under ten seconds, so that a fast game is not lost on time while the
// clock goes unread (at 250000 nodes a slow or loaded machine reads it only
// every second or so).
extern uint32_t pollInterval;
// Node count at which the clock check stops the search (0 = none); set from
// the budget when the clock starts.
extern uint32_t nodeLimit;

// Starts the budget. Leaves abortSearch alone: a stop that arrived before the
// clock started must not be lost.
// capMs (0 = none) caps both budgets in milliseconds.
int startClock(int soft, int hard, int capMs = 0);
int startClock(const TimeBudget& budget);
void checkClock();
int stopAfterIteration(int change, int depth);
