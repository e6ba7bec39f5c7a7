// Turns fuzz input into a command-loop script. Lines that name files or huge
// memory sizes, start a bench or many search threads are dropped: they would
// measure the disk, the allocator and the search, not the loop.
#pragma once
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include "engine/searchthread.h"
#include "search/transtable.h"

// Once per fuzzer process: output discarded, the smallest table, and no pause
// before book moves (a session would measure the sleep, not the loop).
inline void quietFuzzEngine() {
    std::freopen("/dev/null", "w", stdout);
    allocateTransTable(0);
    bookMovePauseMs = 0;
}

inline bool droppedFuzzLine(const std::string& line) {
    std::string u;
    for (char c : line.substr(0, 24)) u += char(std::toupper((unsigned char)c));
    size_t i = u.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    u = u.substr(i);
    for (const char* w : {"PARTIE", "MEMORY", "EGTPATH", "SETOPTION", "OPTION", "BENCH", "EPDTEST", "CORES"})
        if (u.compare(0, std::string(w).size(), w) == 0) return true;
    return false;
}

inline std::string fuzzScript(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size), script;
    size_t p = 0;
    while (p < in.size()) {
        size_t e = in.find('\n', p);
        if (e == std::string::npos) e = in.size();
        std::string line = in.substr(p, e - p);
        if (!droppedFuzzLine(line)) script += line + "\n";
        p = e + 1;
    }
    return script;
}
