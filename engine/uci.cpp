#include "engine/uci.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "egtb/tablebase.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "engine/words.h"
#include "platform/platform.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/searchpool.h"
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
    session.clocks.incrementMs = -1;
    session.clocks.movesPerPeriod = 0;
}

namespace {

// The spin options' ranges: the option lines declare them and setoption
// holds values to them. The table is never under its smallest bucket count
// nor over its largest; the cache is what the tablebase set-up takes.
constexpr long UCI_HASH_MIN_MIB = long((TT_MIN_BUCKETS * sizeof(TTBucket)) >> 20);
constexpr long UCI_HASH_MAX_MIB = long(((uint64_t(1) << 31) * sizeof(TTBucket)) >> 20);
constexpr long UCI_CACHE_MIN_MIB = long(TB_CACHE_MIN_BYTES >> 20);
constexpr long UCI_CACHE_MAX_MIB = long(TB_CACHE_MAX_BYTES >> 20);

// The defaults are what the engine runs with when no option is set: the
// configuration file's sizes, read at the first handshake.
struct OptionDefaults {
    bool taken = false;
    long hashMiB = 0, cacheMiB = 0;
    int ownBook = 1;
    std::string tbPath, bookFile;
};
OptionDefaults defaults;

void takeDefaults() {
    if (defaults.taken) return;
    defaults.taken = true;
    defaults.hashMiB = clampLong(ttSizeMiB(), UCI_HASH_MIN_MIB, UCI_HASH_MAX_MIB);
    defaults.cacheMiB = clampLong(long(tbCacheBytes >> 20), UCI_CACHE_MIN_MIB, UCI_CACHE_MAX_MIB);
    defaults.ownBook = useBook ? 1 : 0;
    defaults.tbPath = tbPath;
    FILE* book = openBook(&defaults.bookFile);
    if (book != nullptr) std::fclose(book);
}

void say(const std::string& text) {
    OutputLock hold;
    std::printf("info string %s\n", text.c_str());
    std::fflush(stdout);
}

bool equalNoCase(const std::string& a, const char* b) { return a.size() == std::strlen(b) && startsWithNoCase(a, b); }

// A spin option's number, held to its range (saying so when it was not in
// it); false, with a line saying why, when the value is no number.
bool spinValue(const std::string& name, const std::string& text, long lo, long hi, long& value) {
    long n;
    const char* rest = text.c_str();
    if (!scanInteger(rest, n) || std::strspn(rest, " \t") != std::strlen(rest)) {
        say("Option " + name + " takes a number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not \"" +
            text + "\"");
        return false;
    }
    value = clampLong(n, lo, hi);
    if (value != n)
        say("Option " + name + " is " + std::to_string(lo) + " to " + std::to_string(hi) + ": " + text + " taken as " +
            std::to_string(value));
    return true;
}

bool checkValue(const std::string& name, const std::string& text, int& value) {
    if (equalNoCase(text, "true")) value = 1;
    else if (equalNoCase(text, "false")) value = 0;
    else {
        say("Option " + name + " takes true or false, not \"" + text + "\"");
        return false;
    }
    return true;
}

// An empty default is the word alone, with no blank after it.
void printStringOption(const char* name, const std::string& value) {
    std::printf("option name %s type string default%s%s\n", name, value.empty() ? "" : " ", value.c_str());
}

}  // namespace

void uciHandshake() {
    session.uciMode = 1;
    postThinking = 1;
    // Without a UCINEWGAME the xboard default period would apply to UCI clocks.
    resetUciClocks();
    takeDefaults();
    OutputLock hold;
    std::printf("id name %s\n", engineName);
    std::printf("id author the Velmora developers\n");
    printStringOption("NalimovPath", defaults.tbPath);
    std::printf("option name NalimovCache type spin default %ld min %ld max %ld\n", defaults.cacheMiB,
                UCI_CACHE_MIN_MIB, UCI_CACHE_MAX_MIB);
    std::printf("option name Hash type spin default %ld min %ld max %ld\n", defaults.hashMiB, UCI_HASH_MIN_MIB,
                UCI_HASH_MAX_MIB);
    std::printf("option name Threads type spin default 1 min 1 max %d\n", POOL_MAX_THREADS);
    std::printf("option name Clear Hash type button\n");
    std::printf("option name Ponder type check default false\n");
    std::printf("option name OwnBook type check default %s\n", defaults.ownBook ? "true" : "false");
    printStringOption("BookFile", defaults.bookFile);
    std::printf("option name Move Overhead type spin default %d min 0 max %d\n", TC_DEFAULT_OVERHEAD_MS,
                TC_MAX_OVERHEAD_MS);
    std::printf("option name MultiPV type spin default 1 min 1 max %d\n", MAX_MULTI_PV);
    std::printf("uciok\n");
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
        // Code 1: a promotion without its piece, not played.
        int code = m != 0 ? makeMove(game, m) : -1;
        if (code < 0 || code == 1) {
            // The moves after it were meant for another position.
            say("Illegal move " + line.substr(p, e - p) + " in position: the moves from it on are not played");
            return;
        }
        p = e;
    }
}

void setOptionCommand(const std::string& line) {
    // "setoption name <id> [value <x>]": names may hold blanks ("Clear Hash");
    // the value is the rest of the line, case and blanks kept.
    std::string name, value;
    size_t p = line.find_first_not_of(' ', 9);
    if (p == std::string::npos || !startsWithNoCase(line.substr(p), "name ")) {
        say("setoption needs a name: " + line);
        return;
    }
    p += 5;
    for (;;) {
        p = line.find_first_not_of(' ', p);
        if (p == std::string::npos) break;
        size_t e = line.find(' ', p);
        std::string word = line.substr(p, e == std::string::npos ? std::string::npos : e - p);
        if (equalNoCase(word, "value")) {
            if (e != std::string::npos) value = line.substr(e + 1);
            break;
        }
        if (!name.empty()) name += ' ';
        name += word;
        if (e == std::string::npos) break;
        p = e;
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r' || value.back() == '\n')) value.pop_back();
    long n;
    int flag;
    if (equalNoCase(name, "Hash")) {
        if (!spinValue(name, value, UCI_HASH_MIN_MIB, UCI_HASH_MAX_MIB, n)) return;
        cancelSearch();
        if (allocateTransTable(uint64_t(n) << 20) < 0)
            say("Not enough memory for a " + std::to_string(n) + " MB hash table; keeping " +
                std::to_string(ttSizeMiB()) + " MB");
    } else if (equalNoCase(name, "Threads")) {
        if (spinValue(name, value, 1, POOL_MAX_THREADS, n)) threadsCommand(int(n));
    } else if (equalNoCase(name, "NalimovPath")) {
        addTablebasePath(stripDelimiters(value));
    } else if (equalNoCase(name, "NalimovCache")) {
        // Taken at the next loading of the tablebases.
        if (spinValue(name, value, UCI_CACHE_MIN_MIB, UCI_CACHE_MAX_MIB, n)) tbCacheBytes = uint64_t(n) << 20;
    } else if (equalNoCase(name, "Clear Hash")) {
        cancelSearch();
        clearSearchTables();
    } else if (equalNoCase(name, "Ponder")) {
        // Only tells that "go ponder" may come; the engine never ponders on its own in UCI.
        if (checkValue(name, value, flag)) ponderEnabled = flag;
    } else if (equalNoCase(name, "OwnBook")) {
        if (checkValue(name, value, flag)) useBook = flag;
    } else if (equalNoCase(name, "BookFile")) {
        setBookFile(value);
        std::string opened;
        FILE* book = openBook(&opened);
        if (book != nullptr) std::fclose(book);
        else say("No book file " + (value.empty() ? std::string("in the usual places") : value));
    } else if (equalNoCase(name, "Move Overhead")) {
        if (spinValue(name, value, 0, TC_MAX_OVERHEAD_MS, n)) session.clocks.overheadMs = int(n);
    } else if (equalNoCase(name, "MultiPV")) {
        if (spinValue(name, value, 1, MAX_MULTI_PV, n)) multiPvLines = int(n);
    } else {
        say("No such option: " + name);
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
    // The increment is the side to move's; none given is none.
    if (!fieldAfter(line, side == 0 ? "WINC" : "BINC", n)) n = 0;
    clocks.incrementMs = int(clampLong(n, 0, PROTO_MS_MAX));
    clocks.incrementTenths = clocks.incrementMs / 100;
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
