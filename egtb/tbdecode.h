// Decoding of compressed tablebase files: bit reader, code lengths,
// canonical prefix codes and the block decoder. Every reader is bounded by
// its buffer; broken input makes it fail, never read outside.
#pragma once
#include <cstdint>

constexpr int TB_ALPHABET = 1024;
constexpr int TB_MATCH_DISTANCES = 24;
constexpr int TB_MAX_CODE_LENGTH = 31;

// Most significant bit first.
struct TbBitReader {
    const uint8_t* data;
    uint64_t bitCount;  // bits available
    uint64_t pos;
    bool overrun;
    TbBitReader(const uint8_t* d, uint64_t bytes, uint64_t startBit = 0)
        : data(d), bitCount(bytes * 8), pos(startBit), overrun(startBit > bytes * 8) {}
    uint32_t bits(int n);  // n <= 32; past the end: 0 and overrun set
    int peekBit(uint64_t at) const { return (data[at >> 3] >> (7 - (at & 7))) & 1; }
    // The next n <= 25 bits without consuming them, zeros past the end.
    uint32_t peek(int n) const {
        uint64_t byte = pos >> 3, bytes = bitCount >> 3;
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = w << 8 | (byte + i < bytes ? data[byte + i] : 0u);
        return n ? (w << (pos & 7)) >> (32 - n) : 0;
    }
};

// A canonical prefix code over up to TB_ALPHABET symbols.
struct TbPrefixCode {
    int lookupBits;            // 13 for the block alphabet, 8 for the length codes
    int single;                // >= 0: every decode yields this symbol, no bits
    uint16_t countOf[TB_MAX_CODE_LENGTH + 1];
    uint16_t sorted[TB_ALPHABET];  // symbols by length, then number
    uint32_t lookup[1 << 13];  // symbol << 5 | length, 0 = longer code
};

// Builds the code from lengths (each 0..31). False when the lengths are
// broken: a length above 31, or a set that does not fill the code space
// (all zero and a single length-1 symbol excepted).
bool tbBuildCode(TbPrefixCode& code, const uint8_t* lengths, int count, int lookupBits);
// Next symbol, or -1 when the stream is broken.
int tbDecodeSymbol(const TbPrefixCode& code, TbBitReader& in);
// Reads count (128 or 1024) code lengths; false when broken.
bool readLengths(TbBitReader& in, int count, uint8_t* lengths);
// Expands one block into out (outSize bytes exactly); false when broken: a
// match past the end or before the start of the output, a bit stream past
// the block, a bad symbol.
bool tbDecodeBlock(const TbPrefixCode& code, const uint32_t* distances, const uint8_t* in, uint32_t inBytes,
                   uint8_t* out, uint32_t outSize);
