#include "engine/session.h"
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "egtb/tablebase.h"
#include "engine/config.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/words.h"
#include "eval/pawnhash.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/timecontrol.h"
#include "search/transtable.h"

Relaxed<int> ponderEnabled{0}, analyseMode{0}, resignEnabled{1};
const char* engineName = "Velmora 4.0";
PlaySession session;

void (*newGameLogger)() = nullptr;
void (*resultLogger)(const char* text) = nullptr;

void writeTablebaseNotice(const char* text) {
    // The search thread prints these too: under the output lock.
    OutputLock lock;
    std::printf(session.uciMode ? "info string %s\n" : "%s\n", text);
    std::fflush(stdout);
}

SearchSettings searchSettings(const TimeBudget& budget) {
    SearchSettings settings;
    settings.budget = budget;
    settings.uci = session.uciMode;
    settings.analyse = analyseMode;
    settings.ponder = &ponderEnabled;
    settings.resign = &resignEnabled;
    return settings;
}

TimeBudget playBudget() {
    if (analyseMode) return allocateTime(session.clocks, game.ply, true);
    TimeBudget budget =
        session.moveTimeMs > 0 ? moveTimeBudget(session.moveTimeMs) : allocateTime(session.clocks, game.ply, false);
    if (session.depthLimit > 0) budget.maxDepth = session.depthLimit;
    if (session.nodesPerSecond > 0) {
        // The budget's time counted in nodes; the wall clock no longer ends the search.
        const uint64_t targetMs = budget.targetMs > 0 ? uint64_t(budget.targetMs) : uint64_t(budget.targetTenths) * 100;
        const uint64_t nodes = targetMs * uint64_t(session.nodesPerSecond) / 1000;
        budget.nodeLimit = uint32_t(std::clamp<uint64_t>(nodes, 1, UINT32_MAX));
        budget.targetTenths = budget.hardTenths = TC_UNLIMITED_TENTHS;
        budget.targetMs = budget.hardMs = 0;
        budget.capMs = 0;
    }
    return budget;
}

void go() {
    session.forceMode = 0;
    holdBestMove = 0;
    if (searching) return;
    session.budget = playBudget();
    startSearch(searchSettings(session.budget));
}

void userMove(const std::string& line) {
    // The search thread may be playing its move into the game: decide that
    // the line is a move without reading the game, stop, then parse for real.
    std::string text = line;
    bool isMove = parseMove(&text[0], 0) != 0;
    if (!isMove) {
        text = line;
        isMove = parseMove(&text[0], 1) != 0;
    }
    if (!isMove) {
        std::printf("Error (unknown command): %s\n", line.c_str());
        std::fflush(stdout);
        return;
    }
    cancelSearch();
    text = line;
    uint32_t m = parseMove(&text[0], game.sideToMove);
    if (moveLogger) moveLogger(game, m, 0, 0);
    int code = makeMove(game, m);
    if (code != 0) reportResult(code, line.c_str());
    // The draw claims leave the game going on.
    if ((code == 0 || code == 4 || code == 5 || code == 6) && !session.forceMode) go();
}

void newGameCommand() {
    cancelSearch();
    newGame(game);
    refillBookMisses();
    listMoves(game);
    clearSearchTables();
    if (newGameLogger) newGameLogger();
    session.forceMode = 0;
    // NEW ends the depth limit and the node clock; time controls stay.
    session.depthLimit = 0;
    session.nodesPerSecond = 0;
    if (analyseMode) go();
}

void memoryCommand(const std::string& line) {
    long n;
    // The cache and hash formulas need at least 1 MiB; ignore less or nothing.
    if (!intAfter(line, 6, n) || n < 1 || n > (1L << 20)) return;
    cancelSearch();
    tbCacheBytes = uint64_t(memoryCommandCacheMiB(int(n))) << 20;
    if (allocateTransTable(uint64_t(n) << 20) < 0) {
        std::printf("tellusererror Not enough memory for a %ld MB hash table; keeping %d MB\n", n, ttSizeMiB());
        std::fflush(stdout);
    }
}

void threadsCommand(int threads) {
    cancelSearch();
    const int started = setSearchThreads(threads);
    if (started < threads) {
        std::printf(session.uciMode ? "info string Only %d search threads could be started\n"
                                    : "tellusererror Only %d search threads could be started\n",
                    started);
        std::fflush(stdout);
    }
}

void coresCommand(const std::string& line) {
    long n;
    if (intAfter(line, 5, n) && n >= 1) threadsCommand(int(std::min<long>(n, POOL_MAX_THREADS)));
}

void clearSearchTables() {
    clearHelperTables();
    clearTransTable();
    clearPawnHash();
    clearHistory();
    clearCounterMoves();
    clearKillers();
}

namespace {

bool listedIn(const std::string& list, const std::string& dir) {
    size_t start = 0;
    for (;;) {
        size_t end = list.find_first_of(",;", start);
        if (list.compare(start, end == std::string::npos ? std::string::npos : end - start, dir) == 0) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

}  // namespace

void addTablebasePath(const std::string& path) {
    std::string list = tbPath;
    bool changed = false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(",;", start);
        std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? path.size() + 1 : end + 1;
        if (dir.empty() || listedIn(list, dir)) continue;
        std::error_code error;
        if (!std::filesystem::is_directory(dir, error)) {
            inputError("no such directory", dir, "No tablebase directory " + dir);
        } else if (list.size() + dir.size() >= CFG_TB_PATH_LIMIT) {
            inputError("tablebase path list full", dir, "The tablebase path list is full: " + dir + " not added");
        } else {
            if (!list.empty()) list += ";";
            list += dir;
            changed = true;
        }
    }
    if (!changed) return;
    cancelSearch();
    tbPath = list;
    reinitTablebases();
}

void inputError(const char* kind, const std::string& input, const std::string& uciText) {
    OutputLock hold;
    if (session.uciMode) std::printf("info string %s\n", uciText.c_str());
    else std::printf("Error (%s): %s\n", kind, input.c_str());
    std::fflush(stdout);
}
