// Command-line switches and the batch runs they start.
#pragma once
#include "search/timecontrol.h"

constexpr int SW_GO_ON = -1;           // applySwitch: no reason to end the process
constexpr int SW_SECONDS_MAX = 2592000;  // -t beyond 30 days means 30 days

struct SwitchState {
    bool tableCreated = false;  // -f creates the table before loading
    bool batch = false;         // a game or position was loaded to be searched once
    TimeBudget budget;          // the batch search's: -t, or the 6 seconds it starts with
};

// Acts on one argument ("-h22", "-fgame.pgn", ...). Returns SW_GO_ON, or the
// status the process must end with (1 when a file cannot be loaded).
int applySwitch(const char* arg, SwitchState& state);

// Reads the configuration, then the switches; creates the table. Returns 0
// when the command loop is to run; ends the process after a batch run or a
// failure.
int parseCommandLine(int argc, char** argv);

// The one search of a batch run, with thinking output.
void runBatchSearch(const TimeBudget& budget);
