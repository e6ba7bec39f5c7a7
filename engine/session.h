// The play session both protocols share: its settings and clocks, and the
// commands that mean the same in xboard and UCI (a new game, a move, go,
// memory, tablebase paths).
#pragma once
#include <string>
#include "search/relaxed.h"
#include "search/timecontrol.h"

// Switches set by the command loop (and the configuration at start). A
// search thread reads ponder and resign through its SearchSettings while
// the loop may change them.
extern Relaxed<int> ponderEnabled, analyseMode, resignEnabled;
extern const char* engineName;

// Written and read by the command loop thread only: a search gets what it
// needs of it through its SearchSettings.
struct PlaySession {
    Clocks clocks;
    // The budget the last search was started with.
    TimeBudget budget;
    // The interface spoke UCI: replies in its form. Also read by the
    // tablebase notice writer, which a search thread may call.
    int uciMode = 0;
    int uciFirstGo = 0;  // the next go is the game's first: it sets the period
    // FORCE: moves are played for both sides and the engine does not answer.
    int forceMode = 0;
    // xboard limits on the engine's own moves: ST (a fixed time per move, in
    // ms; 0: the clocks rule), SD (the deepest iteration; 0: none) and NPS
    // (nodes that stand for a second; 0: the clock's time).
    int moveTimeMs = 0;
    int depthLimit = 0;
    long nodesPerSecond = 0;
};
extern PlaySession session;

// Log writers for the NEW header and the RESULT line, set once a log exists.
extern void (*newGameLogger)();
extern void (*resultLogger)(const char* text);

// A tablebase file fault, as an "info string" in UCI mode.
void writeTablebaseNotice(const char* text);

struct SearchSettings;
// The settings of a search started now with this budget.
SearchSettings searchSettings(const TimeBudget& budget);
// The budget of the engine's next search under the clocks and the xboard
// limits (ST, SD, NPS); unlimited in analyse mode.
TimeBudget playBudget();
// Starts a search as GO does (the answer to a move, or a restarted analysis).
void go();
// A line that is no command: a move of the opponent, or an error reply.
void userMove(const std::string& line);
void newGameCommand();
void memoryCommand(const std::string& line);
// The search threads (UCI Threads, xboard cores, the -T switch): stops a
// running search first, as a new table size does.
void threadsCommand(int threads);
void coresCommand(const std::string& line);
void clearSearchTables();
// Adds directories (one, or a list separated by ';' or ',') to the
// tablebase list and reloads the tables. Empty and already listed ones add
// nothing; a missing directory, or one that would make the list too long, is
// refused with a line saying so.
void addTablebasePath(const std::string& path);
// Input the engine cannot act on, in the protocol's form: xboard's
// "Error (kind): input", UCI's "info string uciText" (UCI has no error line).
void inputError(const char* kind, const std::string& input, const std::string& uciText);
