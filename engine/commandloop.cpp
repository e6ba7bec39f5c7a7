#include "engine/commandloop.h"
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "egtb/tablebase.h"
#include "engine/gamefile.h"
#include "engine/config.h"
#include "engine/platform.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "eval/pawnhash.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"

Relaxed<int> ponderEnabled{0}, analyseMode{0}, resignEnabled{1};
int movesPerPeriod = 6, baseSeconds = 60, incrementTenths = 0, engineClock = 0, opponentClock = 0;
int engineClockMs = -1;
const char* engineName = "Velmora 4.0";

namespace {

int forceMode = 0;
std::string pendingPonderLine;  // the go line of a running "go ponder"

// A stream that keeps failing without reaching its end is given up as ended.
constexpr int READ_RETRIES = 100;

// Reads one whole line of any length; false at end of input.
bool readLine(FILE* in, std::string& line) {
    line.clear();
    int retries = 0;
    for (;;) {
        errno = 0;
        int c = std::fgetc(in);
        if (c == EOF) {
            if (std::ferror(in) && !std::feof(in)) {
                const int error = errno;
                std::clearerr(in);
                // A non-blocking input with nothing in it yet is no failure:
                // the interface has simply not written its next line.
                if ((error == EAGAIN || error == EWOULDBLOCK) && waitForInput(in)) continue;
                if (retries++ < READ_RETRIES) continue;
            }
            return !line.empty();
        }
        if (c == '\n') break;
        line.push_back(char(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool startsWithNoCase(const std::string& s, const char* word) {
    size_t n = std::strlen(word);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::toupper((unsigned char)s[i]) != std::toupper((unsigned char)word[i])) return false;
    return true;
}

void normalise(std::string& s) {
    if (startsWithNoCase(s, "SETBOARD")) s.replace(0, 8, "SETBOARD");
    else if (startsWithNoCase(s, "EGTPATH")) s.replace(0, 7, "EGTPATH");
    else if (startsWithNoCase(s, "POSITION")) s.replace(0, 8, "position");
    else if (startsWithNoCase(s, "setoption")) s.replace(0, 9, "setoption");
    else if (startsWithNoCase(s, "PARTIE ")) s.replace(0, 7, "PARTIE ");  // file names keep their case
    else
        for (char& c : s) c = char(std::toupper((unsigned char)c));
}

bool prefix(const std::string& s, const char* word) { return s.compare(0, std::strlen(word), word) == 0; }

void reply(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// Integer after a word, false when there is none.
bool intAfter(const std::string& s, size_t pos, long& value) {
    const char* p = s.c_str() + std::min(pos, s.size());
    char* end = nullptr;
    value = std::strtol(p, &end, 10);
    return end != p;
}

void printIllegalPosition(int code) {
    std::printf("tellusererror Illegal position %d\n", code);
    std::fflush(stdout);
}

// Every number read from the protocol is brought into a range in which the
// time arithmetic cannot overflow: clocks of up to 24 days in milliseconds,
// bases and increments as long, periods of up to 100000 moves.
constexpr long PROTO_MS_MAX = INT_MAX;
constexpr long PROTO_SECONDS_MAX = INT_MAX / 1000;
constexpr long PROTO_TENTHS_MAX = INT_MAX / 100;
constexpr long PROTO_MOVES_MAX = 100000;

long clampLong(long v, long lo, long hi) { return std::clamp(v, lo, hi); }

// One integer as scanf's %d reads it (blanks, then a sign and digits), with
// no overflow: beyond the range of long it is the nearest end.
bool scanInteger(const char*& p, long& value) {
    char* end = nullptr;
    value = std::strtol(p, &end, 10);
    if (end == p) return false;
    p = end;
    return true;
}

void setTimeControl(const std::string& line) {
    incrementTenths = 0;
    const char* p = line.c_str() + 5;
    // "moves minutes[:seconds] increment"; the seconds form needs the colon
    // right after the minutes.
    const bool colon = line.find(':') != std::string::npos;
    long field[4] = {0, 0, 0, 0};
    int fields = 0;
    if (scanInteger(p, field[0])) {
        fields = 1;
        if (scanInteger(p, field[1])) {
            fields = 2;
            if (!colon) {
                if (scanInteger(p, field[2])) fields = 3;
            } else if (*p == ':') {
                p++;
                if (scanInteger(p, field[2])) {
                    fields = 3;
                    if (scanInteger(p, field[3])) fields = 4;
                }
            }
        }
    }
    if (fields >= 1) movesPerPeriod = int(clampLong(field[0], 0, PROTO_MOVES_MAX));
    if (fields < (colon ? 3 : 2)) {
        reply("Error (command not legal)\n");
        return;
    }
    const long minutes = clampLong(field[1], 0, PROTO_SECONDS_MAX / 60);
    const long seconds = colon ? clampLong(field[2], 0, PROTO_SECONDS_MAX) : 0;
    baseSeconds = int(std::min(minutes * 60 + seconds, PROTO_SECONDS_MAX));
    const int incField = colon ? 3 : 2;
    if (fields > incField) incrementTenths = int(clampLong(field[incField], 0, PROTO_TENTHS_MAX / 10) * 10);
}

void removeManAt(Game& g, int square) {
    int s = g.squareSlot[square];
    if (s == SLOT_EMPTY) return;
    g.slotSquare[s] = SQ_NONE;
    g.squareSlot[square] = SLOT_EMPTY;
}

// UNDO and REMOVE take back one move each.
int takeBack() {
    int code = undoMove(game);
    if (code == 0) bookAfterTakeBack(game);
    return code;
}

// EDIT: returns false at end of input.
bool editMode(FILE* in) {
    GameSnapshot* snap = saveGame(game);
    int side = game.sideToMove;
    int colour = 0;
    std::string line;
    for (;;) {
        if (!readLine(in, line)) {
            dropSnapshot(snap);
            return false;
        }
        for (char& c : line) c = char(std::toupper((unsigned char)c));
        if (line == "C") {
            colour ^= 1;
        } else if (line == "#") {
            emptyBoard(game);
        } else if (line == ".") {
            break;
        } else if (line.size() >= 3 && line[1] >= 'A' && line[1] <= 'H' && line[2] >= '1' && line[2] <= '8') {
            int sq = (line[1] - 'A') + (line[2] - '1') * 8;
            int type = -1;
            switch (line[0]) {
            case 'K': type = KING; break;
            case 'Q': type = QUEEN; break;
            case 'R': type = ROOK; break;
            case 'B': type = BISHOP; break;
            case 'N': type = KNIGHT; break;
            case 'P': type = WHITE_PAWN; break;
            case 'X': removeManAt(game, sq); continue;
            default: continue;
            }
            int old = game.squareSlot[sq];
            removeManAt(game, sq);
            int r = type == WHITE_PAWN ? placePawn(game, colour, sq) : placePiece(game, colour, type, sq);
            // a man that found no slot leaves the square as it was
            if (r < 0 && old != SLOT_EMPTY) {
                game.slotSquare[old] = sq;
                game.squareSlot[sq] = old;
            }
        }
    }
    int code = SETUP_NO_KING;
    if (game.slotSquare[0] != SQ_NONE && game.slotSquare[16] != SQ_NONE) {
        deriveCastling(game);
        game.setupLastMove = 0;
        game.setupEpSquare = 0;
        code = finishSetup(game, side);
        refillBookMisses();
    }
    if (code != 0) {
        restoreGame(game, snap);
        printIllegalPosition(code);
    } else {
        dropSnapshot(snap);
    }
    return true;
}

void setOptions(const std::string& line) {
    size_t p = line.find("USE BOOK=");
    if (p != std::string::npos) useBook = std::atoi(line.c_str() + p + 9) != 0;
    p = line.find("RESIGN=");
    if (p != std::string::npos) resignEnabled = std::atoi(line.c_str() + p + 7) != 0;
}

// Starts a search as GO does (the answer to a move, or a restarted analysis).
void go() {
    forceMode = 0;
    holdBestMove = 0;
    nodeLimit = 0;
    startSearch();
}

void clearSearchTables();

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
    if (moveLogger) moveLogger(game, m, 0);
    int code = makeMove(game, m);
    if (code != 0) reportResult(code, line.c_str());
    // The draw claims leave the game going on.
    if ((code == 0 || code == 4 || code == 5 || code == 6) && !forceMode) go();
}

void newGameCommand() {
    cancelSearch();
    newGame(game);
    refillBookMisses();
    listMoves(game);
    clearSearchTables();
    if (newGameLogger) newGameLogger();
    forceMode = 0;
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

// Drops one enclosing pair of quotes or brackets from a path. Only those:
// "/srv/tb" and "./tb" keep their first character, "tb/" its last.
std::string stripDelimiters(std::string s) {
    static const char* const OPEN = "\"'{[(<", *const CLOSE = "\"'}])>";
    if (!s.empty() && std::strchr(OPEN, s[0])) s.erase(0, 1);
    if (!s.empty() && std::strchr(CLOSE, s.back())) s.pop_back();
    return s;
}

// Adds a directory to the tablebase list and reloads the tables. An empty
// path, or one that would make the list too long, is ignored.
void addTablebasePath(const std::string& path) {
    if (path.empty() || tbPath.size() + path.size() >= CFG_TB_PATH_LIMIT) return;
    cancelSearch();
    if (!tbPath.empty()) tbPath += ";";
    tbPath += path;
    reinitTablebases();
}

void egtPathCommand(const std::string& line) {
    // EGTPATH <type> <path>
    size_t a = line.find_first_of(" \t");
    if (a == std::string::npos) return;
    size_t b = line.find_first_of(" \t", a + 1);
    if (b == std::string::npos) return;
    if (!startsWithNoCase(line.substr(a + 1, b - a - 1), "NALIMOV")) return;
    addTablebasePath(stripDelimiters(line.substr(b + 1)));
}

// ---------------------------------------------------------------------------
// UCI

constexpr int ENDLESS_TENTHS = 25920000;

void resetUciClocks() {
    game.uciFirstGo = 1;
    incrementTenths = 0;
    movesPerPeriod = 0;
}

void uciHandshake() {
    game.uciMode = 1;
    postThinking = 1;
    // Without a UCINEWGAME the xboard default period would apply to UCI clocks.
    resetUciClocks();
    std::printf("id name %s\n", engineName);
    std::printf("id author the Velmora developers\n");
    std::printf("option name NalimovPath type string default\n");
    std::printf("option name NalimovCache type spin default 4 min 1 max 16\n");
    std::printf("option name Hash type spin default 128 min 30 max 1000\nuciok\n");
    std::fflush(stdout);
}

void clearSearchTables() {
    clearTransTable();
    clearPawnHash();
    clearHistory();
    clearCounterMoves();
    clearKillers();
}

// Integer after a keyword of the line; false when the keyword is absent.
bool fieldAfter(const std::string& line, const char* key, long& value) {
    size_t p = line.find(key);
    if (p == std::string::npos) return false;
    value = 0;
    intAfter(line, p + std::strlen(key), value);
    return true;
}

void positionCommand(const std::string& line) {
    cancelSearch();
    size_t movesAt = line.find("moves");
    if (line.find("startpos") != std::string::npos) {
        newGame(game);
        refillBookMisses();
        listMoves(game);
        forceMode = 0;
    } else {
        size_t f = line.find("fen");
        if (f != std::string::npos && (movesAt == std::string::npos || f < movesAt)) {
            newGame(game);
            refillBookMisses();
            listMoves(game);
            forceMode = 0;
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
    } else if (upper.compare(0, 33, "SETOPTION NAME NALIMOVCACHE VALUE") == 0) {
        if (intAfter(line, 33, n) && n >= 1 && n <= 4096) tbCacheBytes = uint64_t(n) << 20;
    }
}

// UCI go: the clocks, plus the limits UCI interfaces rely on.
void uciGo(const std::string& line) {
    long n;
    const int side = game.sideToMove;
    bool clocks = false;
    // A colour's clock is the engine's when that colour is to move. A clock
    // below zero (a flag fallen) is an empty one.
    auto readClock = [&](const char* key, int colour) {
        if (!fieldAfter(line, key, n)) return;
        clocks = true;
        n = clampLong(n, 0, PROTO_MS_MAX);
        if (side == colour) {
            engineClock = int(n / 100);
            engineClockMs = int(n);
            if (game.uciFirstGo) baseSeconds = int(n / 1000);
        } else {
            opponentClock = int(n / 100);
        }
    };
    readClock("WTIME", 0);
    readClock("BTIME", 1);
    if (fieldAfter(line, "WINC", n) || fieldAfter(line, "BINC", n)) incrementTenths = int(clampLong(n, 0, PROTO_MS_MAX) / 100);
    if (game.uciFirstGo && fieldAfter(line, "MOVESTOGO", n)) {
        n = clampLong(n, 0, PROTO_MOVES_MAX);
        movesPerPeriod = n != 0 ? game.ply / 2 + int(n) : 0;
    }
    game.uciFirstGo = 0;

    // A limit that is given is a limit, whatever its value: depth 0 or below
    // searches one ply, nodes 0 the fewest nodes, a movetime of 0 or below a
    // millisecond. Only "infinite", "ponder" or no limit at all wait for stop.
    long moveTime = 0, depth = 0, nodes = 0;
    const bool hasMoveTime = fieldAfter(line, "MOVETIME", moveTime);
    const bool hasDepth = fieldAfter(line, "DEPTH", depth);
    const bool hasNodes = fieldAfter(line, "NODES", nodes);
    const bool infinite = line.find("INFINITE") != std::string::npos;
    const bool ponder = line.find("PONDER") != std::string::npos;

    allocateTime();
    if (hasMoveTime) {
        moveTime = clampLong(moveTime, 1, PROTO_MS_MAX);
        game.targetTime = game.maxTime = std::max(int(moveTime / 100), 1);
        // Under a tenth the budget would round up past the time asked for.
        game.budgetCapMs = int(moveTime);
    } else if (infinite || ponder || !clocks) {
        game.targetTime = game.maxTime = ENDLESS_TENTHS;
        game.budgetCapMs = 0;
    }
    if (hasDepth) game.maxDepth = int(clampLong(depth, 1, 999));
    nodeLimit = hasNodes ? uint32_t(clampLong(nodes, 1, 4000000000L)) : 0;
    holdBestMove = infinite || ponder || (!clocks && !hasMoveTime && !hasDepth && !hasNodes);
    if (ponder) {
        pendingPonderLine = line;
        size_t p = pendingPonderLine.find("PONDER");
        pendingPonderLine.erase(p, 6);
    }
    forceMode = 0;
    startSearch(true);
}

void ponderHit() {
    if (!searching || pendingPonderLine.empty()) return;
    // The ponder search becomes the timed search of its go line.
    discardResult = 1;
    cancelSearch();
    discardResult = 0;
    std::string goLine = pendingPonderLine;
    pendingPonderLine.clear();
    game.uciFirstGo = 0;
    uciGo(goLine);
}

}  // namespace

void (*newGameLogger)() = nullptr;
void (*resultLogger)(const char* text) = nullptr;

int runCommandLoop(FILE* in) {
    std::string line;
    while (readLine(in, line)) {
        normalise(line);
        if (prefix(line, "GO")) {
            // A thread that has announced its move may still be ending or
            // pondering: a GO sent on seeing that move is for a new search
            // and must not be lost. In UCI every go is owed a bestmove, so a
            // search still running gives its own first. In xboard a GO
            // during the engine's own search has nothing to add.
            if (searching && (resultAnnounced || game.uciMode)) {
                pendingPonderLine.clear();
                cancelSearch();
            }
            if (!searching) {
                if (game.uciMode) uciGo(line);
                else go();
            }
        } else if (line == "FORCE") {
            cancelSearch();
            forceMode = 1;
        } else if (line == "?") {
            stopSearch();  // the search announces its best move
        } else if (line == "UNDO") {
            cancelSearch();
            if (takeBack() != 0) reply("Error (command not legal now): undo\n");
            else if (analyseMode) go();
        } else if (line == "REMOVE") {
            cancelSearch();
            takeBack();
            if (takeBack() != 0) reply("Error (command not legal now): remove\n");
        } else if (prefix(line, "LEVEL")) {
            setTimeControl(line);
        } else if (prefix(line, "TIME") || prefix(line, "OTIM")) {
            long n;
            if (intAfter(line, 4, n) && n != 0) {
                // Centiseconds; below zero the flag has fallen: no time left.
                n = clampLong(n, 0, PROTO_MS_MAX / 10);
                if (line[0] == 'T') {
                    engineClock = int(n / 10);
                    engineClockMs = int(n * 10);
                } else {
                    opponentClock = int(n / 10);
                }
            }
        } else if (line == "EXIT") {
            cancelSearch();
            analyseMode = 0;
        } else if (line == "WHITE" || line == "BLACK") {
        } else if (line == ".") {
            printStatus();
        } else if (line == "POST" || line == "NOPOST") {
            postThinking = line == "POST";
        } else if (line == "HARD" || line == "EASY") {
            ponderEnabled = line == "HARD";
        } else if (line == "QUIT") {
            cancelSearch();
            return 0;
        } else if (line == "NEW") {
            newGameCommand();
        } else if (line == "ANALYZE") {
            cancelSearch();
            analyseMode = 1;
            if (moveLogger) moveLogger(game, 0, 0);
            go();
        } else if (line == "EDIT") {
            cancelSearch();
            if (!editMode(in)) return 0;
        } else if (prefix(line, "SETBOARD")) {
            cancelSearch();
            // a bare SETBOARD has no FEN text at all: read it as an empty one
            const char* fen = line.size() > 9 ? line.c_str() + 9 : "";
            GameSnapshot* snap = saveGame(game);
            int code = setupFromFen(game, fen);
            if (code >= 0) refillBookMisses();  // the FEN was read: a new start, even if refused below
            if (code < 0 || (code & SETUP_IN_CHECK)) {
                restoreGame(game, snap);
                printIllegalPosition(code);
            } else {
                dropSnapshot(snap);
            }
        } else if (line == "PRINT") {
            printBoard(game);
        } else if (prefix(line, "PARTIE ")) {
            cancelSearch();
            // A partial load keeps the moves read so far; say why it stopped.
            std::string reason;
            int code = loadGameFile(game, line.c_str() + 7, &reason);
            if (code < 0 || code == 1) std::printf("Error (game file): %s\n", reason.c_str());
            std::fflush(stdout);
        } else if (prefix(line, "XBOARD") || prefix(line, "RESET") || prefix(line, "NAME") ||
                   prefix(line, "ACCEPTED")) {
        } else if (prefix(line, "PROTOVER 2")) {
            std::printf("feature myname=\"%s\" name=1 ping=1 time=1 analyze=1 setboard=1 memory=1 reuse=0 egt=\"nalimov\"\n",
                        engineName);
            std::printf("feature option=\"RESIGN -check %d\"\n", int(resignEnabled));
            std::printf("feature option=\"USE BOOK -check %d\" done=1\n", int(useBook));
            std::fflush(stdout);
        } else if (prefix(line, "RESULT")) {
            cancelSearch();
            size_t space = line.find(' ');
            if (space != std::string::npos && resultLogger) resultLogger(line.c_str() + space + 1);
        } else if (prefix(line, "PING")) {
            std::printf("pong%s\n", line.c_str() + 4);
            std::fflush(stdout);
        } else if (prefix(line, "MEMORY")) {
            memoryCommand(line);
        } else if (prefix(line, "EGTPATH")) {
            egtPathCommand(line);
        } else if (startsWithNoCase(line, "option")) {
            setOptions(line);
        } else if (line == "UCI") {
            uciHandshake();
        } else if (line == "ISREADY" && game.uciMode) {
            // At once, even while a search runs; but a thread that has given
            // its bestmove is let end first, so that readyok after a
            // bestmove means the engine is idle.
            if (searching && resultAnnounced) stopSearch();
            reply("readyok\n");
        } else if (prefix(line, "position") && game.uciMode) {
            positionCommand(line);
        } else if (line == "STOP" && game.uciMode) {
            pendingPonderLine.clear();
            stopSearch();  // the search prints its bestmove
        } else if (line == "PONDERHIT" && game.uciMode) {
            ponderHit();
        } else if (prefix(line, "setoption") && game.uciMode) {
            setOptionCommand(line);
        } else if (prefix(line, "UCINEWGAME")) {
            cancelSearch();
            clearSearchTables();
            resetUciClocks();
        } else {
            userMove(line);
        }
    }
    cancelSearch();
    return 0;
}
