// The bench: a fixed set of positions searched to a fixed depth with fresh
// tables. Its node total is the signature of the search's behaviour, the
// same whether tools/bench, "velmora bench" or the bench command runs it.
#pragma once
#include <cstdint>
#include <cstdio>

constexpr int BENCH_DEFAULT_DEPTH = 10;

// Searches every bench position to depth (at least 2) on the global game
// with a 16 MiB table, printing one line per position, the time, the speed
// and, last, the node total to out. Returns the total, or 0 when a position
// cannot be set up. The game, the table and the search tables are left as
// the last position made them. positions > 0: only the first so many.
uint64_t runBench(int depth, FILE* out, int positions = 0);

// The bench from a running engine (the bench command): stops any search,
// runs the bench as the stand-alone one would, then gives back the game, the
// table size and the switches it found. Empty tables afterwards.
void benchCommand(int depth);
