// The engine's one command loop: reads, normalises and dispatches lines.
#pragma once
#include <cstdio>

extern int postThinking, ponderEnabled, analyseMode, useBook, resignEnabled;
extern int movesPerPeriod, baseSeconds, incrementTenths, engineClock, opponentClock;
extern const char* engineName;

// Returns the process status at QUIT or end of input.
int runCommandLoop(FILE* in);
