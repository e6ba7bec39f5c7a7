// What the engine prints for the game and for the search: result lines,
// thinking lines and the status line.
#pragma once
#include <cstdint>
#include "search/relaxed.h"

// Prints the message of a game-level make-move result code.
void reportResult(int code, const char* moveText);

// Whether thinking lines are printed; set by the protocol commands and switches.
extern Relaxed<int> postThinking;

// Makes the search's reports print as the protocol in use wants them.
void installSearchReport();
struct Game;
// UCI: the info line of the search's answer (its line as last reported, or
// the end of the game), printed just before its bestmove; result as think's.
// The caller holds the output lock, so that nothing comes between the two.
void printFinalReport(const Game& g, uint32_t result);
// xboard: a ponder search on move (0: none) is about to run from g's
// position; its thinking lines start with that move. Search thread only.
void setPonderedMove(const Game& g, uint32_t move);
// The status line (stat01) of the search under way.
void printStatus();
// The score as the log shows it (buffer of at least 24 chars).
void formatScore(char* buffer, int score);
// The score as the thinking lines show it (buffer of at least 24 chars).
void uciScoreText(char* buffer, int score);
int xboardScoreValue(int score);
