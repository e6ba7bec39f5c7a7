// Command-line switches and the batch runs they start.
#pragma once
#include <string>
#include "search/timecontrol.h"

constexpr int SW_GO_ON = -1;           // applySwitch: no reason to end the process
constexpr int SW_SECONDS_MAX = 2592000;  // -t beyond 30 days means 30 days
constexpr long SW_DEPTH_MAX = 999;       // -D beyond the driver's last iteration means that one

struct SwitchState {
    bool tableCreated = false;  // -f creates the table before loading
    bool batch = false;         // a game or position was loaded to be searched once
    TimeBudget budget;          // the batch search's: -t, or the 6 seconds it starts with
    bool timeGiven = false;     // -t was given
    int depth = 0;              // -D: the last iteration of each batch search (0: none)
    std::string epdFile;        // -e: a test suite to run instead of one search
};

// The budget of each batch search: -t seconds, or -D plies without a time
// limit, or both (whichever ends first).
TimeBudget batchBudget(const SwitchState& state);

// Acts on one argument ("-h22", "-fgame.pgn", ...). Returns SW_GO_ON, or the
// status the process must end with (1 when a file cannot be loaded).
int applySwitch(const char* arg, SwitchState& state);

// Reads the configuration, then the switches; creates the table. Returns 0
// when the command loop is to run; ends the process after a batch run or a
// failure.
int parseCommandLine(int argc, char** argv);

// The one search of a batch run, with thinking output.
void runBatchSearch(const TimeBudget& budget);
