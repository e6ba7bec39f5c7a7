// The block decoder: code lengths and a block body from the input, decoded
// into an 8192-byte block.
#include <cstring>
#include <memory>
#include "egtb/tbdecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<TbPrefixCode> code(new TbPrefixCode);
    TbBitReader in(data, size);
    uint8_t lengths[TB_ALPHABET];
    if (!readLengths(in, TB_ALPHABET, lengths)) return 0;
    if (!tbBuildCode(*code, lengths, TB_ALPHABET, 13)) return 0;
    uint32_t distances[TB_MATCH_DISTANCES];
    for (int i = 0; i < TB_MATCH_DISTANCES; i++) distances[i] = uint32_t(1) << (i / 2);
    size_t start = size_t((in.pos + 7) / 8);
    if (start > size) return 0;
    static uint8_t out[8192];
    tbDecodeBlock(*code, distances, data + start, uint32_t(size - start), out, sizeof out);
    return 0;
}
