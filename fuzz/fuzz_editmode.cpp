// Edit mode's sub-loop: placements, colour switches, clears, and the end.
// A "." in the input leaves edit mode, so the rest is filtered like any
// command-loop script.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include "board/game.h"
#include "engine/commandloop.h"
#include "fuzz/fuzz_script.h"

namespace {
struct Init {
    Init() { quietFuzzEngine(); }
} init;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string script = "force\nedit\n" + fuzzScript(data, size) + "\n.\nprint\n";
    FILE* f = fmemopen(&script[0], script.size(), "r");
    if (!f) return 0;
    runCommandLoop(f);
    std::fclose(f);
    newGame(game);
    listMoves(game);
    return 0;
}
