// How long a search runs: the budget in tenths of a second, the clock check
// made every so many nodes and the rule applied after each iteration.
#pragma once
#include <cstdint>

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
    // Set while the root's score is above the window: the soft time then
    // does not stop the search.
    int failHighFlag = 0;
    // Node entries between two clock checks: 250000, fewer when the hard time
    // is under ten seconds, so that a fast game is not lost on time while the
    // clock goes unread (at 250000 nodes a slow or loaded machine reads it only
    // every second or so).
    uint32_t pollInterval = 250000;
};

// Node count at which the clock check stops the search (0 = none).
extern uint32_t nodeLimit;

// Starts the budget. Leaves the abort signal alone: a stop that arrived
// before the clock started must not be lost.
// capMs (0 = none) caps both budgets in milliseconds.
int startClock(SearchClock& clock, int soft, int hard, int capMs = 0);
// Run from the node search: sets the worker's abort signal once time or nodes are up.
void checkClock(SearchWorker& w);
int stopAfterIteration(const SearchWorker& w, int change, int depth);
