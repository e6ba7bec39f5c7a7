// Class table, file registration, block cache and stored values of the
// tablebases (the probe glue lives in tablebase.cpp).
#pragma once
#include <cstdint>
#include <cstdio>
#include "egtb/tbindex.h"

constexpr int TB_BLOCK_BYTES = 8192;
constexpr int TB_BLOCK_DATA = 8228;       // room for the decoder beside the block
constexpr int TB_BUCKETS = 32;
constexpr int TB_DECODE_STATE_BYTES = 8296;
constexpr int TB_NO_VALUE = 32767;

struct TbCompressed;
struct TbCacheBlock;

struct TbSideTable {
    char* path;             // registered file, nullptr = none
    FILE* file;             // opened on first use
    TbCompressed* compressed;
    TbCacheBlock** buckets;  // TB_BUCKETS chains of cached blocks
    int8_t* memory;         // a whole table in memory (never filled here)
};

struct TbClassRow {
    uint64_t number;
    TbIndexFn index[2];
    char name[8];
    uint32_t size[2];       // white to move, black to move
    TbSideTable side[2];
};

extern TbClassRow tbClasses[TB_CLASS_COUNT];
extern int tbCompressedCount;  // compressed files registered since the last reset

void buildClassTable();
// Looks up the signed class of a material key (10 counts); 0 = none.
int tbClassOfKey(const int* key);
// The material key of a class with its first name group as white.
void tbKeyOfClass(int cls, int* key, bool exchanged);

// Whether a damaged (or non-regular) file met while registering ends the
// process with its message (at start-up), or is skipped with the message
// (a reload during a game).
extern bool tbFatalFileFaults;
// 1 when a file is (or already was) registered for the class and side,
// 0 when the directory has none (or only skipped files).
int registerTableFile(const char* dir, int cls, int side);
void forgetTableFiles();
// Stored value, or 32767. A block that cannot be read, or that fails its
// check values, drops the table side (with a message): from then on it
// answers 32767, as if it had no file.
int tablebaseValue(int cls, int side, uint32_t index);
int tbValueOfByte(int8_t b);
// Lays the cache out in the area (nullptr/0 = no blocks), empties every bucket.
void setupBlockCache(void* area, uint64_t bytes);
int tbCacheBlockCount();
void closeTableFiles();
void allocateDecodeState();
void releaseDecodeState();

// Reads and checks the header of a compressed file (without ending the
// process): TBH_OK with the description and the table size, or what is wrong.
enum { TBH_OK = 0, TBH_READ_ERROR = 1, TBH_BROKEN = 2, TBH_OUT_OF_MEMORY = 3, TBH_BLOCK_SIZE = 4 };
int parseCompressedHeader(FILE* f, TbCompressed** out, uint32_t* tableSize, int* blockBits);
void freeCompressed(TbCompressed* c);

// Pieces of the compressed format shared with the writer.
uint32_t headerCheck(const uint8_t* data, uint64_t length);
extern const char TB_BANNER[65];
constexpr uint32_t TB_HEADER_MAGIC = 0x004001F5;
