// Checks on what the engine answers, shared by the tests that run it.
#pragma once
#include <cctype>
#include <chrono>
#include <string>
#include "board/game.h"
#include "board/notation.h"

// Plays a move written in coordinates (as the engine writes it) when it is
// legal in g.
inline bool playIfLegal(Game& g, const std::string& text) {
    std::string t = text;
    for (char& c : t) c = char(std::toupper((unsigned char)c));
    uint32_t m = parseMove(&t[0], g.sideToMove);
    if (m == 0) return false;
    int code = makeMove(g, m);
    return code >= 0 && code != 1;
}

inline long msSince(std::chrono::steady_clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count());
}
