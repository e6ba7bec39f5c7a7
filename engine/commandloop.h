// The engine's one command loop: reads, normalises and dispatches lines.
#pragma once
#include <cstdio>
#include <string>
#include "engine/session.h"
#include "search/driver.h"

// Reads one whole line of any length; false at end of input.
bool readCommandLine(FILE* in, std::string& line);
// Returns the process status at QUIT or end of input.
int runCommandLoop(FILE* in);
