#include "egtb/tbdecode.h"
#include <cstring>

uint32_t TbBitReader::bits(int n) {
    if (n == 0) return 0;
    if (pos + uint64_t(n) > bitCount) {
        overrun = true;
        pos = bitCount;
        return 0;
    }
    if (n > 25) {
        uint32_t high = bits(n - 16);
        return high << 16 | bits(16);
    }
    uint32_t v = peek(n);
    pos += uint64_t(n);
    return v;
}

bool tbBuildCode(TbPrefixCode& code, const uint8_t* lengths, int count, int lookupBits) {
    std::memset(code.countOf, 0, sizeof code.countOf);
    code.lookupBits = lookupBits;
    code.single = -1;
    int used = 0, last = 0;
    for (int s = 0; s < count; ++s) {
        if (lengths[s] > TB_MAX_CODE_LENGTH) return false;
        if (lengths[s]) ++code.countOf[lengths[s]], ++used, last = s;
    }
    if (used == 0) {
        code.single = 0;
        return true;
    }
    if (used == 1) {
        if (lengths[last] != 1) return false;
        code.single = last;
        return true;
    }
    // Kraft sum must be exactly one: the code space is filled.
    uint64_t space = 0;
    for (int l = 1; l <= TB_MAX_CODE_LENGTH; ++l) space += uint64_t(code.countOf[l]) << (TB_MAX_CODE_LENGTH - l);
    if (space != (uint64_t(1) << TB_MAX_CODE_LENGTH)) return false;
    int offset[TB_MAX_CODE_LENGTH + 2] = {};
    for (int l = 1; l <= TB_MAX_CODE_LENGTH; ++l) offset[l + 1] = offset[l] + code.countOf[l];
    for (int s = 0; s < count; ++s)
        if (lengths[s]) code.sorted[offset[lengths[s]]++] = uint16_t(s);
    std::memset(code.lookup, 0, sizeof(uint32_t) << lookupBits);
    uint32_t first = 0;
    int index = 0;
    for (int l = 1; l <= lookupBits; ++l) {
        for (int i = 0; i < code.countOf[l]; ++i, ++index) {
            uint32_t c = first + i;
            uint32_t from = c << (lookupBits - l), n = 1u << (lookupBits - l);
            for (uint32_t k = 0; k < n; ++k) code.lookup[from + k] = uint32_t(code.sorted[index]) << 5 | uint32_t(l);
        }
        first = (first + code.countOf[l]) << 1;
    }
    return true;
}

int tbDecodeSymbol(const TbPrefixCode& code, TbBitReader& in) {
    if (code.single >= 0) return code.single;
    // Direct look-up on the next bits (zero-padded past the end).
    uint32_t e = code.lookup[in.peek(code.lookupBits)];
    if (e) {
        int len = int(e & 31);
        if (in.pos + len > in.bitCount) return in.overrun = true, -1;
        in.pos += len;
        return int(e >> 5);
    }
    // Longer codes: walk the canonical ranges one length at a time.
    uint32_t c = 0, first = 0;
    int index = 0;
    for (int l = 1; l <= TB_MAX_CODE_LENGTH; ++l) {
        if (in.pos >= in.bitCount) return in.overrun = true, -1;
        c = (c << 1) | uint32_t(in.peekBit(in.pos++));
        uint32_t n = code.countOf[l];
        if (c - first < n) return code.sorted[index + (c - first)];
        index += n;
        first = (first + n) << 1;
    }
    return -1;
}

bool readLengths(TbBitReader& in, int count, uint8_t* lengths) {
    std::memset(lengths, 0, size_t(count));
    if (in.bits(1)) return !in.overrun;
    if (count == 128) {
        int w = int(in.bits(5));
        for (int i = 0; i < 128;) {
            uint32_t v = in.bits(w);
            if (in.overrun || v > TB_MAX_CODE_LENGTH) return false;
            lengths[i++] = uint8_t(v);
            if (v == 0) {
                uint32_t r = in.bits(4);
                if (in.overrun || i + int(r) > 128) return false;
                i += int(r);
            }
        }
        return !in.overrun;
    }
    if (count != TB_ALPHABET) return false;
    uint8_t inner[128];
    if (!readLengths(in, 128, inner)) return false;
    static TbPrefixCode a, b;  // only the 8-bit look-ups are used
    if (!tbBuildCode(a, inner, 64, 8) || !tbBuildCode(b, inner + 64, 64, 8)) return false;
    for (int i = 0; i < TB_ALPHABET;) {
        int sa = tbDecodeSymbol(a, in);
        if (sa < 0 || in.overrun) return false;
        if (sa < 32) {
            lengths[i++] = uint8_t(sa);
            continue;
        }
        int sb = tbDecodeSymbol(b, in);
        if (sb < 0 || in.overrun) return false;
        uint64_t c;
        if (sb < 32) {
            c = uint64_t(sb) + 2;
        } else {
            int n = sb - 32;
            // A repeat longer than the alphabet is broken; reject before
            // the count can overflow.
            if (n > 10) return false;
            c = (uint64_t(1) << n) + in.bits(n) + 33;
            if (in.overrun) return false;
        }
        if (uint64_t(i) + c > TB_ALPHABET) return false;
        std::memset(lengths + i, sa - 32, size_t(c));
        i += int(c);
    }
    return true;
}

bool tbDecodeBlock(const TbPrefixCode& code, const uint32_t* distances, const uint8_t* in, uint32_t inBytes,
                   uint8_t* out, uint32_t outSize) {
    TbBitReader r(in, inBytes);
    uint32_t produced = 0;
    while (produced < outSize) {
        int s = tbDecodeSymbol(code, r);
        if (s < 0 || r.overrun) return false;
        if (s < 256) {
            out[produced++] = uint8_t(s);
            continue;
        }
        int t = s - 256, slot = t >> 5, l = t & 31;
        if (slot >= TB_MATCH_DISTANCES) return false;
        uint32_t length;
        if (l <= 14) {
            length = uint32_t(l) + 1;
        } else {
            int n = l - 14;
            if (n > 17) return false;
            length = (1u << n) + r.bits(n) + 14;
            if (r.overrun) return false;
        }
        uint32_t distance = distances[slot];
        if (distance == 0 || distance > produced || length > outSize - produced) return false;
        for (uint32_t k = 0; k < length; ++k, ++produced) out[produced] = out[produced - distance];
    }
    return true;
}
