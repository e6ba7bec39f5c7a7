// How long a search runs: the budget in tenths of a second, the clock check
// made every so many nodes and the rule applied after each iteration.
#pragma once
#include <cstdint>

struct SearchWorker;

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
// Node count at which the clock check stops the search (0 = none).
extern uint32_t nodeLimit;

// Starts the budget. Leaves the abort signal alone: a stop that arrived before the
// clock started must not be lost.
// capMs (0 = none) caps both budgets in milliseconds.
int startClock(int soft, int hard, int capMs = 0);
// Run from the node search: sets the worker's abort signal once time or nodes are up.
void checkClock(SearchWorker& w);
int stopAfterIteration(const SearchWorker& w, int change, int depth);
