// The engine's one command loop: reads, normalises and dispatches lines.
#pragma once
#include <cstdio>
#include "search/driver.h"
#include "search/relaxed.h"

// Read by the search thread while the loop may change them.
extern Relaxed<int> ponderEnabled, analyseMode, resignEnabled;
extern int movesPerPeriod, baseSeconds, incrementTenths, engineClock, opponentClock;
// The engine's clock in milliseconds as last received (-1: none yet).
extern int engineClockMs;
extern const char* engineName;

// Returns the process status at QUIT or end of input.
int runCommandLoop(FILE* in);


// Log writers for the NEW header and the RESULT line, set once a log exists.
extern void (*newGameLogger)();
extern void (*resultLogger)(const char* text);
