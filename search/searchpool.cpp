#include "search/searchpool.h"
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>
#include "board/game.h"
#include "eval/pawnhash.h"
#include "platform/platform.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"

namespace {

// Small beside the engine's: a helper's pawn entries are refound quickly.
constexpr uint64_t HELPER_PAWN_ENTRIES = 65536;

// One helper. Its search fields are written by the pool's owner (the main
// worker's thread, the command loop) only while the helper sleeps, and by
// the helper's thread while it searches.
struct Helper {
    SearchWorker worker;
    PawnHashTable pawns;
    int index = 0;  // 1 for the first helper
    // The search it is given.
    Board root{};
    int side = 0;
    int previousScore = 0;
    std::vector<HistoryEntry> history;
    // Under poolMutex: the last search it took, and its end.
    uint64_t taken = 0;
    bool quit = false, ended = false;
};

// Never destroyed: a sleeping helper still waits on them when the process exits.
std::mutex& poolMutex = *new std::mutex;
std::condition_variable& helpersWake = *new std::condition_variable;
std::condition_variable& helpersDone = *new std::condition_variable;
// Under poolMutex: the number of the current search and the helpers still in it.
uint64_t searchNumber = 0;
int busyHelpers = 0;

// Changed by setSearchThreads only, while no search runs.
std::vector<Helper*> helpers;
// The worker the helpers last followed; their counts stay until the next search.
std::atomic<const SearchWorker*> followed{nullptr};

// Depths a helper leaves out, so that helpers do not move in step with the
// main worker or each other: helpers come in groups of 2, 4, 6, ...; in the
// g-th group each skips runs of g depths, every member at its own phase.
bool skipsDepth(int index, int depth) {
    int group = 1, first = 1;
    while (index >= first + 2 * group) {
        first += 2 * group;
        group++;
    }
    const int phase = index - first;
    return ((depth + phase) / group) % 2 != 0;
}

void moveToFront(uint32_t* moves, uint32_t move) {
    for (int i = 0; moves[i] != 0; i++)
        if ((moves[i] & 0x7FFF) == (move & 0x7FFF)) {
            const uint32_t found = moves[i];
            std::memmove(moves + 1, moves, sizeof *moves * size_t(i));
            moves[0] = found;
            return;
        }
}

// Iterative deepening of a helper: the main worker's aspiration windows, its
// own depths, no output, until the main worker's search ends.
void helperDeepening(Helper& h) {
    SearchWorker& w = h.worker;
    w.searchHistory = h.history.data();
    int previous = h.previousScore;
    try {
        for (int d = 2; d < MAX_SEARCH_PLY; d++) {
            if (skipsDepth(h.index, d)) continue;
            w.extensionPlyLimit = std::min(2 * d, 60);
            int window = d <= 3 ? INFINITE_SCORE : 50;
            int alpha = std::max(previous - window, -INFINITE_SCORE);
            int beta = std::min(previous + window, INFINITE_SCORE);
            while (true) {
                w.setRootPvWord(packScoreMove(-INFINITE_SCORE, w.rootPvWord()));
                searchRoot(w, h.side ^ 1, 0, SF_ROOT | SF_FIRST_CHILD, d, alpha, beta, h.root);
                const int s = scoreOf(w.rootPvWord());
                if (s > -INFINITE_SCORE) moveToFront(w.rootMoves, w.rootPvWord());
                window = window + window / 2 + 50;
                if (s <= alpha && alpha > -INFINITE_SCORE) {
                    beta = std::min((alpha + beta) / 2, INFINITE_SCORE);
                    alpha = s - window < -MATE_BOUND ? -INFINITE_SCORE : s - window;
                } else if (s >= beta && beta < INFINITE_SCORE) {
                    beta = s + window > MATE_BOUND ? INFINITE_SCORE : s + window;
                } else {
                    previous = s;
                    break;
                }
            }
        }
    } catch (const SearchAborted&) {}
}

void helperThread(void* arg) {
    Helper& h = *static_cast<Helper*>(arg);
    bindPawnHash(&h.pawns);
    std::unique_lock<std::mutex> hold(poolMutex);
    while (true) {
        helpersWake.wait(hold, [&] { return h.quit || h.taken != searchNumber; });
        if (h.quit) break;
        h.taken = searchNumber;
        hold.unlock();
        helperDeepening(h);
        hold.lock();
        if (--busyHelpers == 0) helpersDone.notify_all();
    }
    // The last touch of h: once the owner sees this it may free it.
    h.ended = true;
    helpersDone.notify_all();
}

void endHelper(Helper* h) {
    {
        std::unique_lock<std::mutex> hold(poolMutex);
        h->quit = true;
        helpersWake.notify_all();
        helpersDone.wait(hold, [&] { return h->ended; });
    }
    h->pawns.release();
    delete h;
}

Helper* newHelper(int index) {
    Helper* h = new (std::nothrow) Helper;
    if (h == nullptr) return nullptr;
    h->index = index;
    if (!h->pawns.allocate(HELPER_PAWN_ENTRIES)) {
        delete h;
        return nullptr;
    }
    h->worker.ordering.clearHistory();
    h->worker.ordering.clearCounterMoves();
    h->worker.ordering.clearKillers();
    {
        std::lock_guard<std::mutex> hold(poolMutex);
        h->taken = searchNumber;
    }
    if (!startThread(helperThread, h, POOL_STACK_BYTES)) {
        h->pawns.release();
        delete h;
        return nullptr;
    }
    return h;
}

}  // namespace

int setSearchThreads(int threads) {
    const int wanted = std::clamp(threads, 1, POOL_MAX_THREADS) - 1;
    while (int(helpers.size()) > wanted) {
        endHelper(helpers.back());
        helpers.pop_back();
    }
    while (int(helpers.size()) < wanted) {
        Helper* h = newHelper(int(helpers.size()) + 1);
        if (h == nullptr) break;
        helpers.push_back(h);
    }
    return searchThreads();
}

int searchThreads() { return int(helpers.size()) + 1; }

size_t helperWorkerBytes() { return sizeof(Helper) + HELPER_PAWN_ENTRIES * sizeof(PawnHashEntry); }

void clearHelperTables() {
    for (Helper* h : helpers) {
        h->pawns.clear();
        h->worker.ordering.clearHistory();
    }
}

uint32_t searchNodeTotal(const SearchWorker& w) {
    uint32_t nodes = w.counters.nodeCount;
    if (followed.load(std::memory_order_acquire) == &w)
        for (const Helper* h : helpers) nodes += h->worker.counters.nodeCount;
    return nodes;
}

HelperSearch::HelperSearch(SearchWorker& main, const Board& root, int side, int previousScore) {
    if (helpers.empty()) return;
    std::lock_guard<std::mutex> hold(poolMutex);
    for (Helper* h : helpers) {
        SearchWorker& w = h->worker;
        h->root = root;
        h->side = side;
        h->previousScore = previousScore;
        // The game's history up to the root; the search writes beyond it.
        const size_t played = size_t(main.historyBase + 1);
        h->history.assign(main.searchHistory, main.searchHistory + played);
        h->history.resize(played + MAX_SEARCH_PLY + 4);
        w.historyBase = main.historyBase;
        std::memcpy(w.rootMoves, main.rootMoves, sizeof w.rootMoves);
        w.clearRootPv();
        w.counters.clear();
        w.ordering.clearKillers();
        w.ordering.clearCounterMoves();
        // The main worker keeps the clock: a helper's never runs out.
        w.clock.softTimeMs = w.clock.hardTimeMs = UINT64_MAX;
        w.clock.pollInterval = UINT32_MAX;
        w.clock.nodeLimit = 0;
        w.signals.abortSearch = 0;
    }
    // The main worker reads the clock every so many of its own nodes; on a
    // machine with fewer free cores than threads it gets a share of one, and
    // at its usual interval it would read the clock too late to stop in time.
    main.clock.pollInterval = std::max<uint32_t>(main.clock.pollInterval / uint32_t(helpers.size() + 1), 1000);
    busyHelpers = int(helpers.size());
    searchNumber++;
    followed.store(&main, std::memory_order_release);
    started = true;
    helpersWake.notify_all();
}

HelperSearch::~HelperSearch() {
    if (!started) return;
    for (Helper* h : helpers) h->worker.signals.abortSearch = 1;
    std::unique_lock<std::mutex> hold(poolMutex);
    helpersDone.wait(hold, [] { return busyHelpers == 0; });
}
