#include "engine/uci.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "egtb/tablebase.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "engine/words.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"

namespace {

std::string pendingPonderLine;  // the go line of a running "go ponder"
int multiPvLines = 1;           // the MultiPV option

}  // namespace

void forgetPonderLine() { pendingPonderLine.clear(); }

void resetUciClocks() {
    session.uciFirstGo = 1;
    session.clocks.incrementTenths = 0;
    session.clocks.movesPerPeriod = 0;
}

void uciHandshake() {
    session.uciMode = 1;
    postThinking = 1;
    // Without a UCINEWGAME the xboard default period would apply to UCI clocks.
    resetUciClocks();
    std::printf("id name %s\n", engineName);
    std::printf("id author the Velmora developers\n");
    std::printf("option name NalimovPath type string default\n");
    std::printf("option name NalimovCache type spin default 4 min 1 max 16\n");
    std::printf("option name MultiPV type spin default 1 min 1 max %d\n", MAX_MULTI_PV);
    std::printf("option name Hash type spin default 128 min 30 max 1000\nuciok\n");
    std::fflush(stdout);
}

void positionCommand(const std::string& line) {
    cancelSearch();
    size_t movesAt = line.find("moves");
    if (line.find("startpos") != std::string::npos) {
        newGame(game);
        refillBookMisses();
        listMoves(game);
        session.forceMode = 0;
    } else {
        size_t f = line.find("fen");
        if (f != std::string::npos && (movesAt == std::string::npos || f < movesAt)) {
            newGame(game);
            refillBookMisses();
            listMoves(game);
            session.forceMode = 0;
            std::string fen = line.substr(std::min(line.size(), f + 4),
                                          movesAt == std::string::npos ? std::string::npos : movesAt - f - 4);
            GameSnapshot* snap = saveGame(game);
            int code = setupFromFen(game, fen.c_str());
            if (code < 0 || (code & SETUP_IN_CHECK)) {
                restoreGame(game, snap);
                std::printf("info string Illegal position %d, using the initial position\n", code);
                std::fflush(stdout);
            } else {
                dropSnapshot(snap);
            }
        }
    }
    if (movesAt == std::string::npos) return;
    size_t p = movesAt + 5;
    while (p < line.size()) {
        while (p < line.size() && line[p] == ' ') p++;
        size_t e = p;
        while (e < line.size() && line[e] != ' ') e++;
        if (e == p) break;
        std::string token = line.substr(p, std::min<size_t>(e - p, 5));
        if (token.size() == 5 && !std::isalpha((unsigned char)token[4])) token.resize(4);
        for (char& c : token) c = char(std::toupper((unsigned char)c));
        uint32_t m = parseMove(&token[0], game.sideToMove);
        if (m != 0) makeMove(game, m);
        p = e;
    }
}

void setOptionCommand(const std::string& line) {
    std::string upper = line;
    for (char& c : upper) c = char(std::toupper((unsigned char)c));
    long n;
    if (upper.compare(0, 26, "SETOPTION NAME HASH VALUE ") == 0) {
        if (intAfter(line, 26, n) && n >= 1 && n <= (1L << 20)) {
            cancelSearch();
            if (allocateTransTable(uint64_t(n) << 20) < 0) {
                std::printf("info string Not enough memory for a %ld MB hash table; keeping %d MB\n", n, ttSizeMiB());
                std::fflush(stdout);
            }
        }
    } else if (upper.compare(0, 26, "SETOPTION NAME NALIMOVPATH") == 0) {
        size_t p = 26;
        if (p < line.size() && line[p] == ' ') p++;
        if (upper.compare(p, 5, "VALUE") == 0) p += 5;
        if (p < line.size() && line[p] == ' ') p++;
        std::string path = line.substr(std::min(p, line.size()));
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        addTablebasePath(stripDelimiters(path));
    } else if (upper.compare(0, 29, "SETOPTION NAME MULTIPV VALUE ") == 0) {
        if (intAfter(line, 29, n)) {
            multiPvLines = int(clampLong(n, 1, MAX_MULTI_PV));
            if (multiPvLines != n) {
                std::printf("info string MultiPV %ld is out of range: using %d\n", n, multiPvLines);
                std::fflush(stdout);
            }
        }
    } else if (upper.compare(0, 33, "SETOPTION NAME NALIMOVCACHE VALUE") == 0) {
        if (intAfter(line, 33, n) && n >= 1 && n <= 4096) tbCacheBytes = uint64_t(n) << 20;
    }
}

// The moves after SEARCHMOVES, up to the first word that is no move;
// moves that are not legal here are left out.
static void readSearchMoves(const std::string& line, SearchScope& scope) {
    size_t p = line.find("SEARCHMOVES");
    if (p == std::string::npos) return;
    p += 11;
    int n = 0;
    while (n < MAX_MOVES - 1) {
        while (p < line.size() && line[p] == ' ') p++;
        size_t e = p;
        while (e < line.size() && line[e] != ' ') e++;
        std::string token = line.substr(p, e - p);
        auto file = [&](size_t i) { return token[i] >= 'A' && token[i] <= 'H'; };
        auto rank = [&](size_t i) { return token[i] >= '1' && token[i] <= '8'; };
        if (token.size() < 4 || token.size() > 5 || !file(0) || !rank(1) || !file(2) || !rank(3)) break;
        uint32_t m = parseMove(&token[0], game.sideToMove);
        for (int i = 0; m != 0 && game.legalMoves[i] != 0; i++)
            if ((game.legalMoves[i] & 0x7FFF) == (m & 0x7FFF) && !(game.legalMoves[i] & MOVE_ILLEGAL))
                scope.searchMoves[n++] = m;
        p = e;
    }
    scope.searchMoves[n] = 0;
}

// UCI go: the clocks, plus the limits UCI interfaces rely on.
void uciGo(const std::string& line) {
    long n;
    Clocks& clocks = session.clocks;
    const int side = game.sideToMove;
    bool hasClocks = false;
    // A colour's clock is the engine's when that colour is to move. A clock
    // below zero (a flag fallen) is an empty one.
    auto readClock = [&](const char* key, int colour) {
        if (!fieldAfter(line, key, n)) return;
        hasClocks = true;
        n = clampLong(n, 0, PROTO_MS_MAX);
        if (side == colour) {
            clocks.engineTenths = int(n / 100);
            clocks.engineMs = int(n);
            if (session.uciFirstGo) clocks.baseSeconds = int(n / 1000);
        } else {
            clocks.opponentTenths = int(n / 100);
        }
    };
    readClock("WTIME", 0);
    readClock("BTIME", 1);
    if (fieldAfter(line, "WINC", n) || fieldAfter(line, "BINC", n))
        clocks.incrementTenths = int(clampLong(n, 0, PROTO_MS_MAX) / 100);
    if (session.uciFirstGo && fieldAfter(line, "MOVESTOGO", n)) {
        n = clampLong(n, 0, PROTO_MOVES_MAX);
        clocks.movesPerPeriod = n != 0 ? game.ply / 2 + int(n) : 0;
    }
    session.uciFirstGo = 0;

    // A limit that is given is a limit, whatever its value: depth 0 or below
    // searches one ply, nodes 0 the fewest nodes, a movetime of 0 or below a
    // millisecond. Only "infinite", "ponder" or no limit at all wait for stop.
    long moveTime = 0, depth = 0, nodes = 0;
    const bool hasMoveTime = fieldAfter(line, "MOVETIME", moveTime);
    const bool hasDepth = fieldAfter(line, "DEPTH", depth);
    const bool hasNodes = fieldAfter(line, "NODES", nodes);
    long mate = 0;
    const bool hasMate = fieldAfter(line, "MATE", mate);
    const bool infinite = line.find("INFINITE") != std::string::npos;
    const bool ponder = line.find("PONDER") != std::string::npos;

    TimeBudget budget = allocateTime(clocks, game.ply, analyseMode);
    if (hasMoveTime) budget = moveTimeBudget(clampLong(moveTime, 1, PROTO_MS_MAX));
    else if (infinite || ponder || !hasClocks) budget = unlimitedBudget();
    if (hasDepth) budget.maxDepth = int(clampLong(depth, 1, 999));
    budget.nodeLimit = hasNodes ? uint32_t(clampLong(nodes, 1, 4000000000L)) : 0;
    holdBestMove = infinite || ponder || (!hasClocks && !hasMoveTime && !hasDepth && !hasNodes && !hasMate);
    if (ponder) {
        pendingPonderLine = line;
        size_t p = pendingPonderLine.find("PONDER");
        pendingPonderLine.erase(p, 6);
    }
    session.forceMode = 0;
    session.budget = budget;
    SearchSettings settings = searchSettings(budget);
    settings.scope.multiPv = multiPvLines;
    // A mate in 0 cannot be found: the nearest that can.
    if (hasMate) settings.scope.mateMoves = int(clampLong(mate, 1, 500));
    readSearchMoves(line, settings.scope);
    startSearch(settings);
}

void ponderHit() {
    if (!searching || pendingPonderLine.empty()) return;
    // The ponder search becomes the timed search of its go line.
    discardResult = 1;
    cancelSearch();
    discardResult = 0;
    std::string goLine = pendingPonderLine;
    pendingPonderLine.clear();
    session.uciFirstGo = 0;
    uciGo(goLine);
}

void isReadyCommand() {
    // At once, even while a search runs; but a thread that has given
    // its bestmove is let end first, so that readyok after a
    // bestmove means the engine is idle.
    if (searching && resultAnnounced) stopSearch();
    reply("readyok\n");
}

void uciStop() {
    pendingPonderLine.clear();
    stopSearch();  // the search prints its bestmove
}

void uciNewGame() {
    cancelSearch();
    clearSearchTables();
    resetUciClocks();
}
