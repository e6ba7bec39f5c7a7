// Registration of tablebase files, the block cache and the stored values.
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include "board/game.h"
#include "egtb/tbdecode.h"
#include "egtb/tbregistry.h"
#include "platform/platform.h"

// The banner every compressed file of ours carries at offset 0 (64 bytes).
const char TB_BANNER[65] = "Velmora tablebase block file, prefix-coded 8192-byte blocks. v1\n";
static_assert(sizeof(TB_BANNER) == 65, "the banner is 64 bytes");

struct TbCompressed {
    uint32_t blockCount;
    uint32_t lastBlockSize;
    uint64_t* offsets;  // blockCount + 1 entries
    // Per block, the header's two check values: of the compressed bytes and
    // of the bytes they expand to. A damaged block can still decode, so
    // only these tell a wrong table from a right one.
    uint32_t* checks;   // 2 * blockCount entries
    uint32_t distances[TB_MATCH_DISTANCES];
    TbPrefixCode code;
};

struct TbCacheBlock {
    int16_t cls;
    int8_t side;
    uint32_t first;   // first index of the block
    uint32_t valid;   // bytes of data that came from the file
    TbCacheBlock *lruPrev, *lruNext;
    TbCacheBlock *bucketPrev, *bucketNext;
    uint8_t* data;
};

int tbCompressedCount = 0;
void (*tbNoticeWriter)(const char* text) = nullptr;
bool tbFatalFileFaults = true;

namespace {

TbCacheBlock* freeList = nullptr;
TbCacheBlock* lruHead = nullptr;
TbCacheBlock* lruTail = nullptr;
int blockCount = 0;
uint8_t* decodeState = nullptr;  // compressed input of one block
uint32_t checkTable[256];
bool checkTableBuilt = false;

[[noreturn]] void fatal(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    std::exit(1);
}

// A file fault that does not end the process: on standard output like the
// fatal ones, as an "info string" in UCI mode. The search thread prints
// these too, so the line is written under the output lock.
void notice(const std::string& text) {
    if (tbNoticeWriter) {
        tbNoticeWriter(text.c_str());
        return;
    }
    OutputLock lock;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void* allocateOrDie(size_t bytes) {
    void* p = std::malloc(bytes ? bytes : 1);
    if (!p) {
        std::printf("*** Cannot allocate %d bytes of memory\n", int(bytes));
        std::fflush(stdout);
        std::exit(1);
    }
    return p;
}

uint32_t bigEndian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

void buildCheckTable() {
    if (checkTableBuilt) return;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v = i;
        for (int k = 0; k < 8; ++k) {
            uint32_t out = v & 1;
            v >>= 1;
            if (!out) v ^= 0xEDB88320u;
        }
        checkTable[i] = v;
    }
    checkTableBuilt = true;
}


void unlinkLru(TbCacheBlock* b) {
    (b->lruPrev ? b->lruPrev->lruNext : lruHead) = b->lruNext;
    (b->lruNext ? b->lruNext->lruPrev : lruTail) = b->lruPrev;
    b->lruPrev = b->lruNext = nullptr;
}
void pushLru(TbCacheBlock* b) {
    b->lruPrev = nullptr;
    b->lruNext = lruHead;
    (lruHead ? lruHead->lruPrev : lruTail) = b;
    lruHead = b;
}
void unlinkBucket(TbCacheBlock* b) {
    if (b->cls <= 0) return;
    TbSideTable& t = tbClasses[b->cls].side[b->side];
    TbCacheBlock** head = t.buckets ? &t.buckets[(b->first / TB_BLOCK_BYTES) % TB_BUCKETS] : nullptr;
    if (b->bucketPrev) b->bucketPrev->bucketNext = b->bucketNext;
    else if (head && *head == b) *head = b->bucketNext;
    if (b->bucketNext) b->bucketNext->bucketPrev = b->bucketPrev;
    b->bucketPrev = b->bucketNext = nullptr;
    b->cls = 0;
}

void unregisterSide(int cls, int side) {
    TbSideTable& t = tbClasses[cls].side[side];
    if (t.file) std::fclose(t.file);
    t.file = nullptr;
    std::free(t.path);
    t.path = nullptr;
}

}  // namespace

int parseCompressedHeader(FILE* f, TbCompressed** out, uint32_t* tableSize, int* blockBits) {
    *out = nullptr;
    long fileLength = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    std::rewind(f);
    uint8_t head[80];
    if (std::fread(head, 1, 80, f) != 80 || std::memcmp(head, TB_BANNER, 64) != 0) return TBH_READ_ERROR;
    uint64_t S = bigEndian(head + 64, 4);
    int k = head[70];
    uint64_t N = bigEndian(head + 72, 4);
    *blockBits = k;
    // Check the fields against each other too, in 64 bits, so that the bit
    // stream below cannot run past the header.
    uint64_t streamBits = (N + 1 + TB_MATCH_DISTANCES) * uint64_t(k);
    bool ok = S >= 84 && k >= 1 && k <= 16 && head[71] == 24 && bigEndian(head + 76, 4) == TB_HEADER_MAGIC &&
              N >= 1 && 80 + 8 * N + (streamBits + 7) / 8 <= S - 4 && fileLength >= 0 && S <= uint64_t(fileLength);
    if (!ok) return TBH_BROKEN;
    std::unique_ptr<uint8_t, void (*)(void*)> buffer(static_cast<uint8_t*>(std::malloc(size_t(S))), std::free);
    if (!buffer) return TBH_OUT_OF_MEMORY;
    uint8_t* header = buffer.get();
    std::memcpy(header, head, 80);
    if (std::fread(header + 80, 1, size_t(S - 80), f) != size_t(S - 80)) return TBH_READ_ERROR;
    if (headerCheck(header, S - 4) != bigEndian(header + S - 4, 4)) return TBH_BROKEN;
    if (k != 13) return TBH_BLOCK_SIZE;
    TbCompressed* c = static_cast<TbCompressed*>(allocateOrDie(sizeof(TbCompressed)));
    c->blockCount = uint32_t(N);
    c->offsets = static_cast<uint64_t*>(allocateOrDie(size_t(N + 1) * sizeof(uint64_t)));
    c->checks = static_cast<uint32_t*>(allocateOrDie(size_t(2 * N) * sizeof(uint32_t)));
    for (uint64_t i = 0; i < 2 * N; ++i) c->checks[i] = bigEndian(header + 80 + 4 * i, 4);
    TbBitReader in(header, S - 4, (80 + 8 * N) * 8);
    c->offsets[0] = S;
    for (uint64_t i = 0; i < N; ++i) {
        uint32_t v = in.bits(k);
        c->offsets[i + 1] = c->offsets[i] + (v ? v : 1u << k);
    }
    uint32_t last = in.bits(k);
    c->lastBlockSize = last ? last : 1u << k;
    for (int i = 0; i < TB_MATCH_DISTANCES; ++i) c->distances[i] = in.bits(k);
    in.pos = (in.pos + 7) & ~uint64_t(7);
    uint8_t lengths[TB_ALPHABET];
    if (in.overrun || !readLengths(in, TB_ALPHABET, lengths) || !tbBuildCode(c->code, lengths, TB_ALPHABET, 13)) {
        freeCompressed(c);
        return TBH_BROKEN;
    }
    uint64_t size = (N - 1) * TB_BLOCK_BYTES + c->lastBlockSize;
    *tableSize = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(size);
    *out = c;
    return TBH_OK;
}

namespace {

// Reads the header of a compressed file; a broken one gives the message
// (without its newline) and nullptr.
TbCompressed* readCompressedHeader(FILE* f, const char* path, uint32_t& tableSize, std::string& problem) {
    TbCompressed* c;
    int blockBits = 0;
    int result = parseCompressedHeader(f, &c, &tableSize, &blockBits);
    if (result == TBH_OK) return c;
    if (result == TBH_BLOCK_SIZE) {
        problem = std::string("*** ") + path + ": Unsupported block size " + std::to_string(1 << blockBits);
        return nullptr;
    }
    static const char* const WHAT[] = {"", "read error", "file broken", "out of memory"};
    problem = std::string("*** Unable to read ") + path + " - " + WHAT[result];
    return nullptr;
}

// A damaged file met while registering: at start-up it ends the process
// (the interface sees at once that the tables are broken); on a reload
// during a game the file is skipped and the engine plays on.
void fileFault(const std::string& problem) {
    if (tbFatalFileFaults) fatal(problem + "\n");
    notice(problem + " (skipped)");
}

enum { LOAD_OK, LOAD_READ_FAILED, LOAD_DAMAGED };

int loadBlock(TbCacheBlock* b, TbSideTable& t, uint32_t first) {
    if (!t.file) {
        // Not a plain fopen: the path may have become a FIFO since it was
        // registered, and the search thread must not block on it.
        t.file = openRegularFile(t.path, "rb");
        if (!t.file) {
            closeTableFiles();
            t.file = openRegularFile(t.path, "rb");
            if (!t.file) return LOAD_READ_FAILED;
        }
    }
    if (!t.compressed) {
        // Plain files carry no check values: their bytes are taken as read.
        if (std::fseek(t.file, long(first), SEEK_SET) != 0) return LOAD_READ_FAILED;
        size_t got = std::fread(b->data, 1, TB_BLOCK_BYTES, t.file);
        if (std::ferror(t.file)) return LOAD_READ_FAILED;
        b->valid = uint32_t(got);
        return LOAD_OK;
    }
    TbCompressed* c = t.compressed;
    uint32_t block = first / TB_BLOCK_BYTES;
    if (block >= c->blockCount || !decodeState) return LOAD_READ_FAILED;
    uint64_t length = c->offsets[block + 1] - c->offsets[block];
    if (length > TB_BLOCK_BYTES || std::fseek(t.file, long(c->offsets[block]), SEEK_SET) != 0) return LOAD_READ_FAILED;
    if (std::fread(decodeState, 1, size_t(length), t.file) != length) return LOAD_READ_FAILED;
    // The compressed bytes are checked before decoding, the result after:
    // a flipped bit often decodes cleanly into wrong values.
    if (headerCheck(decodeState, length) != c->checks[2 * block]) return LOAD_DAMAGED;
    uint32_t outSize = block + 1 == c->blockCount ? c->lastBlockSize : TB_BLOCK_BYTES;
    if (!tbDecodeBlock(c->code, c->distances, decodeState, uint32_t(length), b->data, outSize)) return LOAD_DAMAGED;
    if (headerCheck(b->data, outSize) != c->checks[2 * block + 1]) return LOAD_DAMAGED;
    b->valid = outSize;
    return LOAD_OK;
}

}  // namespace

void freeCompressed(TbCompressed* c) {
    if (!c) return;
    std::free(c->offsets);
    std::free(c->checks);
    std::free(c);
}

uint32_t headerCheck(const uint8_t* data, uint64_t length) {
    buildCheckTable();
    uint32_t v = 0;
    for (uint64_t i = 0; i < length; ++i) v = (v >> 8) ^ checkTable[(v ^ data[i]) & 255];
    return v;
}

int tbValueOfByte(int8_t b) {
    if (b == 0) return 0;
    if (b == 127) return TB_NO_VALUE;
    if (b == -127) return -32640;
    if (b == -128) return 32640;
    return b > 0 ? 32640 + b : b - 32640;
}

namespace {

// Checks the file of a name and reads what registration needs: the table
// size and, for a compressed file, its description. Returns the message of
// a damaged file, empty when the file is sound.
std::string examineFile(FILE* f, const std::string& path, bool plain, const TbClassRow& row, int side,
                        uint32_t& size, TbCompressed*& compressed) {
    compressed = nullptr;
    if (plain) {
        if (std::fseek(f, 0, SEEK_END) != 0) return "*** Seek in " + path + " failed";
        long length = std::ftell(f);
        if (length < 0 || (row.size[side] && uint64_t(length) != row.size[side])) return "*** " + path + " corrupted";
        size = uint32_t(length);
        return std::string();
    }
    std::string problem;
    compressed = readCompressedHeader(f, path.c_str(), size, problem);
    if (!compressed) return problem;
    if (row.size[side] && size != row.size[side]) {
        freeCompressed(compressed);
        compressed = nullptr;
        return "*** " + path + " corrupted";
    }
    return std::string();
}

}  // namespace

int registerTableFile(const char* dir, int cls, int side) {
    TbClassRow& row = tbClasses[cls];
    TbSideTable& t = row.side[side];
    if (t.path) return 1;
    std::string base = dir && *dir ? std::string(dir) + "/" : std::string();
    const char* suffix = side ? "nbb" : "nbw";
    std::string names[3] = {base + row.name + "." + suffix, base + row.name + "." + suffix + ".emd",
                            base + row.name + suffix + ".emd"};
    for (int i = 0; i < 3; ++i) {
        const std::string& path = names[i];
        bool notRegular = false;
        // A directory or a FIFO named like a table is refused without being
        // read: a FIFO would block the start-up for good.
        FILE* f = openRegularFile(path.c_str(), "rb", &notRegular);
        if (!f && !notRegular) continue;
        uint32_t size = 0;
        TbCompressed* compressed = nullptr;
        std::string problem;
        if (!f) problem = i == 0 ? "*** " + path + " corrupted" : "*** Unable to read " + path + " - read error";
        else problem = examineFile(f, path, i == 0, row, side, size, compressed);
        if (f) std::fclose(f);
        if (!problem.empty()) {
            // Skipped on a reload: the next name or directory may hold a good copy.
            fileFault(problem);
            continue;
        }
        int key[10];
        tbKeyOfClass(cls, key, false);
        bool ok = tbClassOfKey(key) == cls;
        tbKeyOfClass(cls, key, true);
        int swapped = tbClassOfKey(key);
        ok = ok && (swapped == -cls || swapped == cls);
        if (!ok) {
            freeCompressed(compressed);
            fatal("*** Unable to register " + path + "\n");
        }
        if (compressed) ++tbCompressedCount;
        row.size[side] = size;
        t.path = static_cast<char*>(allocateOrDie(path.size() + 1));
        std::memcpy(t.path, path.c_str(), path.size() + 1);
        freeCompressed(t.compressed);
        t.compressed = compressed;
        t.file = nullptr;
        if (!t.buckets) t.buckets = static_cast<TbCacheBlock**>(allocateOrDie(sizeof(TbCacheBlock*) * TB_BUCKETS));
        for (int k = 0; k < TB_BUCKETS; ++k) t.buckets[k] = nullptr;
        return 1;
    }
    return 0;
}

void forgetTableFiles() {
    for (int cls = 0; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side) {
            TbSideTable& t = tbClasses[cls].side[side];
            unregisterSide(cls, side);
            freeCompressed(t.compressed);
            t.compressed = nullptr;
            std::free(t.buckets);
            t.buckets = nullptr;
        }
    tbCompressedCount = 0;
}

void closeTableFiles() {
    for (int cls = 0; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side) {
            TbSideTable& t = tbClasses[cls].side[side];
            if (t.file) std::fclose(t.file);
            t.file = nullptr;
        }
}

void allocateDecodeState() {
    if (decodeState) return;
    decodeState = static_cast<uint8_t*>(std::malloc(TB_DECODE_STATE_BYTES));
    if (!decodeState) {
        std::printf("*** Cannot allocate decode block: error code %d\n", 210693);
        std::fflush(stdout);
        std::exit(1);
    }
}

void releaseDecodeState() {
    std::free(decodeState);
    decodeState = nullptr;
}

void setupBlockCache(void* area, uint64_t bytes) {
    closeTableFiles();
    freeList = lruHead = lruTail = nullptr;
    blockCount = 0;
    for (int cls = 0; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side)
            if (tbClasses[cls].side[side].buckets)
                for (int i = 0; i < TB_BUCKETS; ++i) tbClasses[cls].side[side].buckets[i] = nullptr;
    if (!area) return;
    int n = int(bytes / (sizeof(TbCacheBlock) + TB_BLOCK_DATA));
    TbCacheBlock* blocks = static_cast<TbCacheBlock*>(area);
    uint8_t* data = reinterpret_cast<uint8_t*>(blocks + n);
    for (int i = n - 1; i >= 0; --i) {
        TbCacheBlock& b = blocks[i];
        b.cls = 0;
        b.side = 0;
        b.first = 0;
        b.valid = 0;
        b.lruPrev = b.lruNext = b.bucketPrev = nullptr;
        b.data = data + size_t(i) * TB_BLOCK_DATA;
        b.bucketNext = freeList;  // the free list is chained through the bucket link
        freeList = &b;
    }
    blockCount = n;
}

int tbCacheBlockCount() { return blockCount; }

int tablebaseValue(int cls, int side, uint32_t index) {
    // Seven black-to-move kppkp entries are answered without reading the
    // table: their stored bytes are not trusted.
    static const uint32_t SPECIAL[7] = {56802428, 56811076, 56849992, 56858640, 59592489, 67775659, 71071628};
    if (cls < 1 || cls >= TB_CLASS_COUNT) return TB_NO_VALUE;
    TbClassRow& row = tbClasses[cls];
    if (side == 1 && std::strcmp(row.name, "kppkp") == 0)
        for (uint32_t s : SPECIAL)
            if (index == s) return -32639;
    TbSideTable& t = row.side[side];
    if (!t.path || index >= row.size[side]) return TB_NO_VALUE;
    if (t.memory) return tbValueOfByte(t.memory[index]);
    if (!blockCount || !t.buckets) return TB_NO_VALUE;
    uint32_t first = index & ~uint32_t(TB_BLOCK_BYTES - 1);
    TbCacheBlock** bucket = &t.buckets[(index / TB_BLOCK_BYTES) % TB_BUCKETS];
    TbCacheBlock* b = *bucket;
    while (b && b->first != first) b = b->bucketNext;
    if (b) {
        if (b != lruHead) unlinkLru(b), pushLru(b);
    } else {
        if (freeList) {
            b = freeList;
            freeList = b->bucketNext;
            b->bucketNext = nullptr;
        } else {
            b = lruTail;
            unlinkLru(b);
            unlinkBucket(b);
        }
        int loaded = loadBlock(b, t, first);
        if (loaded != LOAD_OK) {
            // Dropped once: later probes of this side stop at the missing
            // path above, so the message is not repeated.
            notice(std::string("*** ") + t.path +
                   (loaded == LOAD_DAMAGED ? ": block " + std::to_string(first / TB_BLOCK_BYTES) + " damaged"
                                           : ": read error") +
                   ", table dropped");
            unregisterSide(cls, side);
            b->cls = 0;
            b->bucketNext = freeList;
            freeList = b;
            return TB_NO_VALUE;
        }
        b->cls = int16_t(cls);
        b->side = int8_t(side);
        b->first = first;
        pushLru(b);
        b->bucketPrev = nullptr;
        b->bucketNext = *bucket;
        if (*bucket) (*bucket)->bucketPrev = b;
        *bucket = b;
    }
    uint32_t offset = index - first;
    if (offset >= b->valid) return TB_NO_VALUE;
    return tbValueOfByte(int8_t(b->data[offset]));
}
