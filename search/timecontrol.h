// How long a search runs: the budget in tenths of a second, the clock check
// made every so many nodes and the rule applied after each iteration.
#pragma once
#include <cstdint>

extern uint32_t timeStartTick;
extern int softTime, hardTime;
extern int softTimeReached;
extern int failHighFlag;
// Node count at which the clock check stops the search (0 = none).
extern uint32_t nodeLimit;

// Starts the budget. Leaves abortSearch alone: a stop that arrived before the
// clock started must not be lost.
int startClock(int soft, int hard);
void checkClock();
int stopAfterIteration(int change, int depth);
