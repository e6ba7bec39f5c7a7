// The engine's one command loop: reads, normalises and dispatches lines.
#pragma once
#include <cstdio>

extern int postThinking, ponderEnabled, analyseMode, useBook, resignEnabled;
extern int movesPerPeriod, baseSeconds, incrementTenths, engineClock, opponentClock;
extern const char* engineName;

// Returns the process status at QUIT or end of input.
int runCommandLoop(FILE* in);

// Places where the search, tables and log plug in once they exist. Each is
// called by the loop at the matching command and does nothing yet.
void onNewGame();          // NEW: clear tables, write the log header
void onMemory(int mib);    // MEMORY with mib >= 1: resize the tables
void onGo();               // GO: start a search (forceMode is already cleared)
void onAnalyze();          // ANALYZE: start an endless search
void onMoveNow();          // ?: stop the search so it plays its best move
