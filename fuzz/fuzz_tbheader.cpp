// Compressed tablebase headers and their code-length stream. The harness
// writes the banner, the size field and the check word itself, so that the
// fuzzer spends its time past them, in the field checks and the lengths.
#include <cstdio>
#include <cstring>
#include <vector>
#include "egtb/tbregistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(84 + size);
    std::memcpy(file.data(), TB_BANNER, 64);
    std::memcpy(file.data() + 64, data, size < 16 ? size : 16);
    if (size > 16) std::memcpy(file.data() + 80, data + 16, size - 16);
    file.resize(84 + (size > 16 ? size - 16 : 0));
    uint32_t S = uint32_t(file.size());
    if (size < 5 || data[4] & 1) {  // mostly a consistent size field
        for (int i = 0; i < 4; i++) file[size_t(64 + i)] = uint8_t(S >> (24 - 8 * i));
    }
    uint32_t check = headerCheck(file.data(), S - 4);
    for (int i = 0; i < 4; i++) file[S - 4 + size_t(i)] = uint8_t(check >> (24 - 8 * i));
    FILE* f = fmemopen(file.data(), file.size(), "rb");
    if (!f) return 0;
    TbCompressed* c = nullptr;
    uint32_t tableSize = 0;
    int blockBits = 0;
    if (parseCompressedHeader(f, &c, &tableSize, &blockBits) == TBH_OK) freeCompressed(c);
    std::fclose(f);
    return 0;
}
