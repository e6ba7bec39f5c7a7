// Endgame tablebases: registry of classes and files, value probes.
#pragma once
#include <cstdint>
#include <string>
#include "board/types.h"

extern int tbMaxPieces;        // 0, 3, 4 or 5: the largest class registered
extern int tbLoaded;           // 1 once initialised
extern uint64_t tbCacheBytes;  // block-cache size for the next initialisation
// The block cache initTablebases sets up holds tbCacheBytes brought into this range.
constexpr uint64_t TB_CACHE_MIN_BYTES = uint64_t(1) << 20, TB_CACHE_MAX_BYTES = uint64_t(64) << 20;
extern std::string tbPath;     // directory list, separated by ',' or ';'
// Writes the line of a file fault that does not end the process (text
// without its newline). Set by the command loop, so that the line takes the
// protocol's form; while it is unset the line is printed as it is.
extern void (*tbNoticeWriter)(const char* text);

// Registers the files found in the directories; prints "TbPath=<...>" and
// "InitTb=N" on stderr and returns tbMaxPieces.
int initTablebases(const char* paths, uint64_t cacheBytes);
void closeTablebases();
// Fills the material key from the board's slots; returns the men other than kings.
int countMen(const WorkBoard& b);
void fillPieceLists(const WorkBoard& b);
// Value for the side to move (0 white, 1 black) of the position counted and
// listed just before: 0 a draw, TB_BEST_VALUE - n a win whose mate comes n
// moves after the quickest, -TB_BEST_VALUE + n likewise a loss; TB_UNKNOWN
// when no table knows it.
constexpr int TB_UNKNOWN = 32767;
constexpr int TB_BEST_VALUE = 32766;
int probeTablebase(int side, int epSquare);
// Closes and initialises again with tbPath and tbCacheBytes; returns tbMaxPieces.
int reinitTablebases();
