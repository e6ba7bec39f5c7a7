// The UCI commands: the handshake, position, setoption, go with its limits,
// ponderhit and stop.
#pragma once
#include <string>

// UCINEWGAME's clock reset: the next go sets the period anew.
void resetUciClocks();
void uciHandshake();
void positionCommand(const std::string& line);
void setOptionCommand(const std::string& line);
// UCI go: the clocks, plus the limits UCI interfaces rely on.
void uciGo(const std::string& line);
void ponderHit();
void isReadyCommand();
void uciStop();
void uciNewGame();
// A running "go ponder" is given up: no ponderhit will turn it into a timed search.
void forgetPonderLine();
