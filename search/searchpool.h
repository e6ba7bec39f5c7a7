// Helper search workers (Lazy SMP): threads that search the main worker's
// root beside it, sharing only the transposition table and the tablebases.
// They print nothing and decide nothing: the entries they leave make the main
// worker's search go deeper. Between searches they sleep.
#pragma once
#include <cstddef>
#include <cstdint>
#include "board/types.h"

struct SearchWorker;

constexpr int POOL_MAX_THREADS = 256;
// Each helper's stack; a node keeps its move list on it.
constexpr size_t POOL_STACK_BYTES = size_t(8) << 20;

// Sets the number of search threads, the main one included (clamped to
// 1..POOL_MAX_THREADS): starts or ends helper threads. Called by the command
// loop while no search runs. Returns the count now in use, fewer than asked
// when a thread or its memory could not be had.
int setSearchThreads(int threads);
int searchThreads();
// What one helper holds besides its stack: its worker record and pawn table.
size_t helperWorkerBytes();
// Clears the helpers' ordering and pawn tables (a new game). No search runs.
void clearHelperTables();

// The running search's nodes: the main worker's plus the helpers' while they
// search beside it (w alone when w is not the worker they follow).
uint32_t searchNodeTotal(const SearchWorker& w);

// While it lives the helpers search the root the main worker searches. Made
// by the main worker's driver once the root is set up (evaluation prepared,
// table aged, root moves ordered in main.rootMoves, main.searchHistory set);
// the helpers are stopped and waited for when it ends, so they never outlive
// the main worker's search.
class HelperSearch {
public:
    HelperSearch(SearchWorker& main, const Board& root, int side, int previousScore);
    ~HelperSearch();
    HelperSearch(const HelperSearch&) = delete;
    HelperSearch& operator=(const HelperSearch&) = delete;

private:
    bool started = false;
};
