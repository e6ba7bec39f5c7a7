// Whole sessions of xboard and UCI lines mixed with garbage, through the
// one command loop.
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
    std::string script = fuzzScript(data, size) + "force\nnew\n";
    FILE* f = fmemopen(&script[0], script.size(), "r");
    if (!f) return 0;
    runCommandLoop(f);
    std::fclose(f);
    session.uciMode = 0;
    return 0;
}
