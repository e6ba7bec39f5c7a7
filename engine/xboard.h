// The xboard commands: clocks and levels, EDIT and SETBOARD, the feature
// handshake and the small replies.
#pragma once
#include <cstdio>
#include <string>

// LEVEL moves minutes[:seconds] increment
void setTimeControl(const std::string& line);
// TIME / OTIM in centiseconds.
void clockCommand(const std::string& line);
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
