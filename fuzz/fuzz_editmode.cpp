// Edit mode's sub-loop: placements, colour switches, clears, and the end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include "board/game.h"
#include "engine/commandloop.h"

namespace {
struct Init {
    Init() { std::freopen("/dev/null", "w", stdout); }
} init;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string script = "force\nedit\n" + std::string(reinterpret_cast<const char*>(data), size) + "\n.\nprint\n";
    FILE* f = fmemopen(&script[0], script.size(), "r");
    if (!f) return 0;
    runCommandLoop(f);
    std::fclose(f);
    newGame(game);
    listMoves(game);
    return 0;
}
