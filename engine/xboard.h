// The xboard commands: clocks and levels, EDIT and SETBOARD, the feature
// handshake and the small replies.
#pragma once
#include <cstdio>
#include <string>

// LEVEL moves minutes[:seconds] increment (seconds, fractions allowed)
void setTimeControl(const std::string& line);
// ST seconds: a fixed time per move, until the next LEVEL.
void moveTimeCommand(const std::string& line);
// SD depth: the deepest iteration, until NEW.
void depthLimitCommand(const std::string& line);
// NPS rate: nodes stand for time, until NEW.
void nodeRateCommand(const std::string& line);
// TIME / OTIM in centiseconds.
void clockCommand(const std::string& line);
// ".": the status line of an analysis under way.
void statusCommand();
// HINT: the move the engine expects of the opponent.
void hintCommand();
// BK: the book's moves for the position, as an indented block.
void bookCommand();
// DRAW: the opponent offers a draw; accepted from the engine's last score.
void drawCommand();
void variantCommand(const std::string& line);
// EDIT: reads its own lines from in; returns false at end of input.
bool editMode(FILE* in);
void setBoardCommand(const std::string& line);
// PARTIE <file>: loads a game file.
void loadGameCommand(const std::string& line);
void undoCommand();
void removeCommand();
void analyzeCommand();
void protoverCommand();
void resultCommand(const std::string& line);
void pingCommand(const std::string& line);
void egtPathCommand(const std::string& line);
// option NAME=value from the interface's settings dialogue.
void setOptions(const std::string& line);
