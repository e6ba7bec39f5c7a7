// Whole sessions of xboard and UCI lines mixed with garbage, through the
// one command loop. Lines that name files or huge memory sizes, start a
// bench or many search threads are dropped: they would measure the disk, the
// allocator and the search, not the loop.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include "board/game.h"
#include "engine/commandloop.h"
#include "engine/searchthread.h"
#include "search/transtable.h"

namespace {
bool dropped(const std::string& line) {
    std::string u;
    for (char c : line.substr(0, 24)) u += char(std::toupper((unsigned char)c));
    size_t i = u.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    u = u.substr(i);
    for (const char* w : {"PARTIE", "MEMORY", "EGTPATH", "SETOPTION", "OPTION", "BENCH", "EPDTEST", "CORES"})
        if (u.compare(0, std::string(w).size(), w) == 0) return true;
    return false;
}
struct Init {
    Init() {
        std::freopen("/dev/null", "w", stdout);
        allocateTransTable(0);
        // Book moves would each wait out their pause: a session would
        // measure the sleep, not the loop.
        bookMovePauseMs = 0;
    }
} init;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size), script;
    size_t p = 0;
    while (p < in.size()) {
        size_t e = in.find('\n', p);
        if (e == std::string::npos) e = in.size();
        std::string line = in.substr(p, e - p);
        if (!dropped(line)) script += line + "\n";
        p = e + 1;
    }
    script += "force\nnew\n";
    FILE* f = fmemopen(&script[0], script.size(), "r");
    if (!f) return 0;
    runCommandLoop(f);
    std::fclose(f);
    session.uciMode = 0;
    return 0;
}
