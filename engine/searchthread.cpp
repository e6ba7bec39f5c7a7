#include "engine/searchthread.h"
#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include "board/notation.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"

std::atomic<int> searching{0};
std::atomic<int> resultAnnounced{0};
std::atomic<int> stopRequested{0};
std::atomic<int> holdBestMove{0};
std::atomic<int> discardResult{0};
int bookMovePauseMs = 300;
void (*moveLogger)(Game& g, uint32_t move, int withVariation, uint32_t expectedReply) = nullptr;

// 128 KiB would overflow in sanitizer builds; nothing needs it small.
constexpr size_t SEARCH_STACK_BYTES = size_t(8) << 20;

// The running search's settings, written before its thread starts.
static SearchSettings running;

// What the search thread keeps from one search to the next; only the
// thread reads or writes it.
struct ThreadMemory {
    PonderState ponder;
    ResignState resign;
};
static ThreadMemory memory;
static EngineExpectation expectation{0, -1, 0, NO_SCORE};

EngineExpectation engineExpectation() {
    OutputLock lock;
    return expectation;
}
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

int resignCheck(ResignState& state, int enabled, int score) {
    int code = 0;
    // Mated within ten half-moves and falling, three moves running.
    if (enabled && score < -32689 && state.lastScore > score) {
        if (++state.count == 3) code = 10;
    } else {
        state.count = 0;
    }
    state.lastScore = score;
    return code;
}

// UCI interfaces read promotions in lower case.
static void lowerCasePromotion(char* text) {
    for (char* p = text; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = char(*p - 'A' + 'a');
}

// The expected reply is named in "bestmove ... ponder" only when it is a
// legal move after the best one (the variation may come from the table).
static bool isLegalReply(const Game& g, uint32_t move, uint32_t reply) {
    if (reply == 0) return false;
    std::unique_ptr<Game> after(new Game(g));
    const int code = makeMove(*after, move);
    if (code < 0 || code == 1 || after->result != 0) return false;
    for (int i = 0; after->legalMoves[i] != 0; i++)
        if ((after->legalMoves[i] & MOVE_ILLEGAL) == 0 && (after->legalMoves[i] & 0x7FFF) == (reply & 0x7FFF))
            return true;
    return false;
}

static void searchThread(void* arg) {
    const SearchSettings& settings = *static_cast<const SearchSettings*>(arg);
    const int uci = settings.uci;
    Game& g = game;
    uint32_t result = think(g, settings.budget, memory.ponder, uci, settings.scope);
    if (uci) {
        // An endless search may end early (a mate, a forced move); the
        // protocol still wants its bestmove only after "stop".
        while (holdBestMove && !stopRequested) sleepMs(2);
        if (!discardResult) {
            char text[8], reply[8] = "";
            if (result == 0xFFFFFFFFu) {
                std::strcpy(text, "0000");  // no legal move: the null move
            } else {
                if (moveLogger) moveLogger(g, result & 0xFFFF, 1, memory.ponder.move);
                moveToText(result & 0xFFFF, text);
                lowerCasePromotion(text);
                if (isLegalReply(g, result & 0xFFFF, memory.ponder.move)) {
                    moveToText(memory.ponder.move, reply);
                    lowerCasePromotion(reply);
                }
            }
            OutputLock lock;
            printFinalReport(g, result);
            resultAnnounced = 1;
            if (reply[0] != 0) std::printf("bestmove %s ponder %s\n", text, reply);
            else std::printf("bestmove %s\n", text);
            std::fflush(stdout);
        }
        endSearchThread();
        return;
    }
    // A finished game gives no move: announce nothing rather than a bogus one.
    if (!settings.analyse && result != 0xFFFFFFFFu && !discardResult) {
        uint32_t move = result & 0xFFFF;
        if (moveLogger) moveLogger(g, move, 1, memory.ponder.move);
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
                code = resignCheck(memory.resign, settings.resign && *settings.resign, s);
            }
        }
        {
            OutputLock lock;
            const int score = int16_t(uint16_t(result >> 16));
            expectation = {code == 0 ? memory.ponder.move : 0, g.ply, g.lastMove,
                           score == BOOK_SCORE ? NO_SCORE : score};
            resultAnnounced = 1;
            std::printf("move %s\n", text);
            if (code != 0) reportResult(code, text);
            std::fflush(stdout);
        }
        if (settings.ponder && *settings.ponder) {
            // A reply within 100 ms keeps the ponder search from starting;
            // a stop ends the wait at once.
            for (int waited = 0; waited < 100 && !stopRequested; waited += 5) sleepMs(5);
            if (!stopRequested && g.result == 0 && memory.ponder.move != 0) {
                // The protocol wants the move pondered on named first; the
                // thinking lines then start with it, so that they read from
                // the position the interface shows.
                moveToText(memory.ponder.move, text);
                setPonderedMove(g, memory.ponder.move);
                {
                    OutputLock lock;
                    std::printf("Hint: %s\n", text);
                    std::fflush(stdout);
                }
                searchWorker.signals.abortSearch = 0;
                ponderSearch(g, memory.ponder, uci);
                setPonderedMove(g, 0);
            }
        }
    }
    endSearchThread();
}

void startSearch(const SearchSettings& settings) {
    if (searching) return;
    searchWorker.signals.abortSearch = 0;
    // The status line must not show the last search's move.
    searchWorker.progress.currentRootMove = 0;
    resultAnnounced = 0;
    running = settings;
    // Marked here, not in the thread: a second start arriving before the new
    // thread ran would otherwise start a second search.
    searching = 1;
    if (!startThread(searchThread, &running, SEARCH_STACK_BYTES)) {
        searching = 0;
        OutputLock lock;
        std::printf(settings.uci ? "info string Cannot start a search thread\n"
                                 : "tellusererror Cannot start a search thread\n");
        std::fflush(stdout);
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
    if (running.uci) {
        stopSearch();
        return;
    }
    discardResult = 1;
    stopSearch();
    discardResult = 0;
}
