// The configuration file: every line is taken, ignored or refused.
#include <cstdio>
#include "engine/config.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = writeFuzzFile(data, size);
    int log = 0;
    std::string paths = "/tmp";
    uint64_t cacheBytes = 4 << 20;
    readConfig(path.c_str(), log, paths, cacheBytes);
    (void)hashBudgetBytes(log);
    return 0;
}
