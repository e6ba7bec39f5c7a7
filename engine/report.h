#pragma once
// Prints the message of a game-level make-move result code.
void reportResult(int code, const char* moveText);
