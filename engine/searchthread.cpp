#include "engine/searchthread.h"
#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include "board/notation.h"
#include "engine/commandloop.h"
#include "engine/platform.h"
#include "engine/report.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"

std::atomic<int> searching{0};
std::atomic<int> resultAnnounced{0};
std::atomic<int> stopRequested{0};
uint32_t searchResultSlot = 0;
std::atomic<int> holdBestMove{0};
std::atomic<int> discardResult{0};
int bookMovePauseMs = 300;
void (*moveLogger)(Game& g, uint32_t move, int withVariation) = nullptr;

// 128 KiB would overflow in sanitizer builds; nothing needs it small.
constexpr size_t SEARCH_STACK_BYTES = size_t(8) << 20;
constexpr int ANALYSE_TENTHS = 25920000;

// The thread's end is signalled, so that whoever waits for it goes on at
// once rather than at its next poll. Never destroyed: the detached thread may
// still be leaving notify_all when the main thread sees it ended and exits.
static std::mutex& searchEndMutex = *new std::mutex;
static std::condition_variable& searchEnded = *new std::condition_variable;

// The thread's last action.
static void endSearchThread() {
    std::lock_guard<std::mutex> hold(searchEndMutex);
    searching = 0;
    searchEnded.notify_all();
}

namespace {

// The settings come from the protocol; the sums below are made in 64 bits so
// that no setting, however large, can overflow them.
int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, 1, INT_MAX)); }

}  // namespace

void allocateTime() {
    Game& g = game;
    g.maxDepth = 999;
    g.budgetCapMs = 0;
    if (analyseMode) {
        g.targetTime = g.maxTime = ANALYSE_TENTHS;
        return;
    }
    const int64_t T = engineClock, P = movesPerPeriod, B = baseSeconds, I = incrementTenths;
    int left = 0;  // moves to the time control, 0 for none
    int64_t target, limit;
    if (P >= 1) {
        int64_t played = (g.ply / 2) % P;
        if (played < 0) played = 0;
        left = int(P - played);
        int64_t cap = 2 * ((B * 10) / P);
        int64_t t = std::max<int64_t>((T - 20) / left, 1);
        t = std::max<int64_t>(std::min(t, cap), 1);
        target = limit = t;
        if (left > 1) limit = t + (t >> 1);
    } else if (I == 0 && B <= 420) {
        int64_t t = std::max<int64_t>(T / 30, 1);
        target = limit = t;
        if (T > 59) limit = 2 * t;
        if (limit >= T) limit = std::max<int64_t>(T, 1);
    } else {
        int64_t r = T - 20;
        int64_t t = std::max<int64_t>(r / 30, 1) + I;
        target = t;
        if (r > 2 * t) {
            limit = 2 * t;
        } else {
            target = limit = std::max<int64_t>(r, 1);
        }
        if (I < T && T <= 20) target = limit = std::max<int64_t>(I, 1);
    }
    g.targetTime = clampToInt(target);
    g.maxTime = clampToInt(limit);
    g.budgetCapMs = shortClockCapMs(engineClockMs, g.targetTime, g.maxTime, left);
}

int shortClockCapMs(int clockMs, int targetTime, int maxTime, int movesLeft) {
    // The budgets above never fall under one tenth, which a clock of a second
    // or less cannot pay move after move: there the search gets a share of
    // what is left, in milliseconds, as a longer clock would.
    if (clockMs < 0 || targetTime > 1) return 0;
    const int64_t incrementMs = int64_t(incrementTenths) * 100;
    int64_t share;
    if (movesLeft >= 1) share = clockMs / (int64_t(movesLeft) + 1);
    else share = clockMs / 30 + (incrementMs < clockMs / 2 ? incrementMs : 0);
    share = std::max<int64_t>(share, 1);
    return share < int64_t(maxTime) * 100 ? int(share) : 0;
}

int resignCheck(Game& g, int score) {
    int code = 0;
    // Mated within ten half-moves and falling, three moves running.
    if (resignEnabled && score < -32689 && g.lastScore > score) {
        if (++g.resignCount == 3) code = 10;
    } else {
        g.resignCount = 0;
    }
    g.lastScore = score;
    return code;
}

// UCI interfaces read promotions in lower case.
static void lowerCasePromotion(char* text) {
    for (char* p = text; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
}

static void searchThread(void* slot) {
    Game& g = game;
    std::srand(unsigned(std::time(nullptr)));
    uint32_t result = think(g);
    *static_cast<uint32_t*>(slot) = result;
    if (g.uciMode) {
        // An endless search may end early (a mate, a forced move); the
        // protocol still wants its bestmove only after "stop".
        while (holdBestMove && !stopRequested) sleepMs(2);
        if (!discardResult) {
            char text[8];
            if (result == 0xFFFFFFFFu) {
                std::strcpy(text, "0000");  // no legal move: the null move
            } else {
                if (moveLogger) moveLogger(g, result & 0xFFFF, 1);
                moveToText(result & 0xFFFF, text);
                lowerCasePromotion(text);
            }
            lockOutput();
            resultAnnounced = 1;
            std::printf("bestmove %s\n", text);
            std::fflush(stdout);
            unlockOutput();
        }
        endSearchThread();
        return;
    }
    // A finished game gives no move: announce nothing rather than a bogus one.
    if (!analyseMode && result != 0xFFFFFFFFu && !discardResult) {
        uint32_t move = result & 0xFFFF;
        if (moveLogger) moveLogger(g, move, 1);
        int code = makeMove(g, move);
        char text[8];
        moveToText(move, text);
        if (code == 0) {
            int s = int16_t(uint16_t(result >> 16));
            if (s == BOOK_SCORE) {
                // A stop ("?", a new command) wants the move now.
                const uint32_t start = tickCount();
                while (!stopRequested && int(tickCount() - start) < bookMovePauseMs) sleepMs(2);
            } else if (s != NO_SCORE) {
                code = resignCheck(g, s);
            }
        }
        lockOutput();
        resultAnnounced = 1;
        std::printf("move %s\n", text);
        if (code != 0) reportResult(code, text);
        std::fflush(stdout);
        unlockOutput();
        if (ponderEnabled) {
            // A reply within 100 ms keeps the ponder search from starting;
            // a stop ends the wait at once.
            for (int waited = 0; waited < 100 && !stopRequested; waited += 5) sleepMs(5);
            if (!stopRequested) {
                searchWorker.signals.abortSearch = 0;
                ponderSearch(g);
            }
        }
    }
    endSearchThread();
}

void startSearch(bool keepBudget) {
    if (searching) return;
    searchWorker.signals.abortSearch = 0;
    resultAnnounced = 0;
    if (!keepBudget) allocateTime();
    // Marked here, not in the thread: a second start arriving before the new
    // thread ran would otherwise start a second search.
    searching = 1;
    if (!startThread(searchThread, &searchResultSlot, SEARCH_STACK_BYTES)) {
        searching = 0;
        lockOutput();
        std::printf(game.uciMode ? "info string Cannot start a search thread\n"
                                 : "tellusererror Cannot start a search thread\n");
        std::fflush(stdout);
        unlockOutput();
    }
}

void stopSearch() {
    if (!searching) return;
    stopRequested = 1;
    // Raised again on every poll: the thread clears the flag when it starts
    // to ponder, and a stop arriving just then must not be lost.
    std::unique_lock<std::mutex> hold(searchEndMutex);
    while (searching) {
        searchWorker.signals.abortSearch = 1;
        searchEnded.wait_for(hold, std::chrono::milliseconds(10));
    }
    stopRequested = 0;
}

void cancelSearch() {
    if (!searching) return;
    if (game.uciMode) {
        stopSearch();
        return;
    }
    discardResult = 1;
    stopSearch();
    discardResult = 0;
}
