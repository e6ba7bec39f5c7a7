#include "engine/xboard.h"
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "book/polyglot.h"
#include "engine/commandloop.h"
#include "engine/gamefile.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "engine/words.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"

namespace {

// Half a pawn: a draw offered to an engine that stands this much worse is taken.
constexpr int XB_DRAW_ACCEPT_SCORE = 240;

void printIllegalPosition(int code) {
    std::printf("tellusererror Illegal position %d\n", code);
    std::fflush(stdout);
}

void removeManAt(Game& g, int square) {
    int s = g.squareSlot[square];
    if (s == SLOT_EMPTY) return;
    g.slotSquare[s] = SQ_NONE;
    g.squareSlot[square] = SLOT_EMPTY;
}

}  // namespace

// Past the rest of a time field: the protocol lets later versions append
// text to it ("40 25+5 0").
static void skipFieldRest(const char*& p) {
    while (*p != 0 && *p != ' ' && *p != '\t') p++;
}

// A count of seconds, fractions allowed, in tenths; false when there is none.
static bool scanTenths(const char*& p, long& tenths) {
    char* end = nullptr;
    double seconds = std::strtod(p, &end);
    if (end == p || !std::isfinite(seconds)) return false;
    p = end;
    seconds = std::clamp(seconds, 0.0, double(PROTO_TENTHS_MAX / 10));
    tenths = std::lround(seconds * 10);
    return true;
}

void setTimeControl(const std::string& line) {
    Clocks& clocks = session.clocks;
    clocks.incrementTenths = 0;
    clocks.incrementMs = -1;  // xboard gives tenths at most
    session.moveTimeMs = 0;   // a clock, no longer a fixed time per move
    const char* p = line.c_str() + 5;
    // "moves minutes[:seconds] increment"; the seconds form needs the colon
    // right after the minutes.
    const bool colon = line.find(':') != std::string::npos;
    long moves = 0, minutes = 0, seconds = 0;
    bool valid = scanInteger(p, moves);
    if (valid) clocks.movesPerPeriod = int(clampLong(moves, 0, PROTO_MOVES_MAX));
    valid = valid && scanInteger(p, minutes);
    if (valid && colon) {
        valid = *p == ':';
        p++;
        valid = valid && scanInteger(p, seconds);
    }
    if (!valid) {
        reply("Error (command not legal)\n");
        return;
    }
    skipFieldRest(p);
    minutes = clampLong(minutes, 0, PROTO_SECONDS_MAX / 60);
    seconds = clampLong(seconds, 0, PROTO_SECONDS_MAX);
    clocks.baseSeconds = int(std::min(minutes * 60 + seconds, PROTO_SECONDS_MAX));
    long tenths = 0;
    if (scanTenths(p, tenths)) clocks.incrementTenths = int(tenths);
}

void moveTimeCommand(const std::string& line) {
    const char* p = line.c_str() + 2;
    long tenths = 0;
    if (!scanTenths(p, tenths) || tenths <= 0) {
        reply("Error (command not legal)\n");
        return;
    }
    session.moveTimeMs = int(std::min<long>(tenths * 100, PROTO_MS_MAX));
}

void depthLimitCommand(const std::string& line) {
    long depth;
    if (!intAfter(line, 2, depth) || depth < 1) {
        reply("Error (command not legal)\n");
        return;
    }
    session.depthLimit = int(std::min(depth, 999L));
}

void nodeRateCommand(const std::string& line) {
    long rate;
    if (!intAfter(line, 3, rate) || rate < 0) {
        reply("Error (command not legal)\n");
        return;
    }
    // 0 asks for processor time, which the engine does not measure: clocks again.
    session.nodesPerSecond = clampLong(rate, 0, PROTO_MS_MAX);
}

void clockCommand(const std::string& line) {
    long n;
    if (intAfter(line, 4, n)) {
        // Centiseconds; at or below zero the flag has fallen: no time left.
        n = clampLong(n, 0, PROTO_MS_MAX / 10);
        if (line[0] == 'T') {
            session.clocks.engineTenths = int(n / 10);
            session.clocks.engineMs = int(n * 10);
        } else {
            session.clocks.opponentTenths = int(n / 10);
        }
    }
}

bool editMode(FILE* in) {
    GameSnapshot* snap = saveGame(game);
    int side = game.sideToMove;
    int colour = 0;
    std::string line;
    for (;;) {
        if (!readCommandLine(in, line)) {
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
    if (analyseMode) go();  // the analysis goes on with the position, set up or kept
    return true;
}

void setBoardCommand(const std::string& line) {
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
    if (analyseMode) go();
}

void loadGameCommand(const std::string& line) {
    cancelSearch();
    // A partial load keeps the moves read so far; say why it stopped.
    std::string reason;
    int code = loadGameFile(game, line.c_str() + 7, &reason);
    if (code < 0 || code == 1) std::printf("Error (game file): %s\n", reason.c_str());
    std::fflush(stdout);
}

// UNDO and REMOVE take back one move each.
static int takeBack() {
    int code = undoMove(game);
    if (code == 0) bookAfterTakeBack(game);
    return code;
}

void undoCommand() {
    cancelSearch();
    if (takeBack() != 0) reply("Error (command not legal now): undo\n");
    else if (analyseMode) go();
}

void removeCommand() {
    cancelSearch();
    takeBack();
    if (takeBack() != 0) reply("Error (command not legal now): remove\n");
}

void analyzeCommand() {
    cancelSearch();
    analyseMode = 1;
    if (moveLogger) moveLogger(game, 0, 0, 0);
    go();
}

// The book file named by the BOOK FILE option; empty: the usual places.
static std::string bookFileOption;

void protoverCommand() {
    std::printf("feature myname=\"%s\" name=1 ping=1 time=1 analyze=1 setboard=1 memory=1 reuse=0 egt=\"nalimov\"\n",
                engineName);
    // SIGINT is ignored; the moves come bare (no usermove); nothing but
    // normal chess is played.
    std::printf("feature sigint=0 colors=0 playother=1 draw=1 nps=1 variants=\"normal\"\n");
    std::printf("feature option=\"BOOK FILE -file %s\"\n", bookFileOption.c_str());
    std::printf("feature smp=1\n");  // the interface may then send "cores N"
    std::printf("feature option=\"RESIGN -check %d\"\n", int(resignEnabled));
    std::printf("feature option=\"USE BOOK -check %d\" done=1\n", int(useBook));
    std::fflush(stdout);
}

void resultCommand(const std::string& line) {
    cancelSearch();
    size_t space = line.find(' ');
    if (space != std::string::npos && resultLogger) resultLogger(line.c_str() + space + 1);
}

void pingCommand(const std::string& line) {
    std::printf("pong%s\n", line.c_str() + 4);
    std::fflush(stdout);
}

void egtPathCommand(const std::string& line) {
    // EGTPATH <type> <path>
    size_t a = line.find_first_of(" \t");
    if (a == std::string::npos) return;
    size_t b = line.find_first_of(" \t", a + 1);
    if (b == std::string::npos) return;
    const std::string type = line.substr(a + 1, b - a - 1);
    if (!startsWithNoCase(type, "NALIMOV")) {
        inputError("unsupported tablebase type", line,
                   "Tablebases of type " + type + " are not supported, only nalimov");
        return;
    }
    addTablebasePath(stripDelimiters(line.substr(b + 1)));
}

// Where the value of "NAME=" starts in an option line (the name in any
// case), or npos.
static size_t optionValueAt(const std::string& line, const char* name) {
    const size_t n = std::strlen(name);
    for (size_t i = 0; i + n < line.size(); i++)
        if (line[i + n] == '=' && startsWithNoCase(line.substr(i, n), name)) return i + n + 1;
    return std::string::npos;
}

void setOptions(const std::string& line) {
    size_t p = optionValueAt(line, "USE BOOK");
    if (p != std::string::npos) useBook = std::atoi(line.c_str() + p) != 0;
    p = optionValueAt(line, "RESIGN");
    if (p != std::string::npos) resignEnabled = std::atoi(line.c_str() + p) != 0;
    p = optionValueAt(line, "BOOK FILE");
    if (p != std::string::npos) {
        // The rest of the line is the name; empty: the usual places.
        std::string path = line.substr(p);
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) path.pop_back();
        cancelSearch();
        bookFileOption = path;
        setBookFile(path);
        refillBookMisses();
        FILE* f = openBook();
        if (f != nullptr) std::fclose(f);
        else std::printf("tellusererror Cannot open the book file %s\n", path.c_str());
        std::fflush(stdout);
    }
}

void statusCommand() {
    // Only an analysis has a status to give; elsewhere the line means nothing.
    // Nor has an analysis before it has a root move in hand.
    if (analyseMode && searching && searchWorker.progress.currentRootMove != 0) printStatus();
}

// The game stands still: no search is about to play into it.
static bool gameAtRest() { return !searching || resultAnnounced; }

void hintCommand() {
    if (!gameAtRest()) return;
    EngineExpectation e = engineExpectation();
    uint32_t move = 0;
    if (e.reply != 0 && e.ply == game.ply && e.lastMove == game.lastMove) move = e.reply;
    else if (!searching && game.result == 0) move = bookProbe(game);  // a move of the book, if it has one
    if (move == 0) return;  // nothing to suggest: the protocol lets the command pass
    char text[8];
    moveToText(move & 0xFFFF, text);
    std::printf("Hint: %s\n", text);
    std::fflush(stdout);
}

void bookCommand() {
    if (!gameAtRest()) {
        reply("\tthe book is shown once the engine has moved\n\n");
        return;
    }
    // bookLookup indexes the file for itself: a ponder search may use the book meanwhile.
    std::string path;
    FILE* f = openBook(&path);
    Board b;
    copyToBoard(game, b);
    std::string text;
    if (f != nullptr && isPolyglotBook(path, f)) {
        // A private reader: the search's own may be part-way through a check of a large file.
        PolyglotBook book;
        BookFileStamp stamp;
        std::vector<PolyglotMove> moves;
        if (stampBookFile(f, path, stamp)) {
            book.reset(stamp);
            polyglotMoves(book, f, game, moves);
        }
        std::fclose(f);
        long total = 0;
        for (const PolyglotMove& m : moves) total += m.weight;
        for (const PolyglotMove& m : moves) {
            std::string san;
            moveToSan(san, m.move, game.legalMoves, b);
            while (!san.empty() && san.back() == ' ') san.pop_back();
            char line[96];
            std::snprintf(line, sizeof line, "\t%s\t%ld%%\tweight %u\n", san.c_str(), 100L * m.weight / total,
                          unsigned(m.weight));
            text += line;
        }
        if (text.empty()) text = "\tno book moves\n";
        if (!useBook) text += "\t(the book is off)\n";
        reply((text + "\n").c_str());
        return;
    }
    BookRecord r;
    char key[128];
    positionText(game, key);
    int found = f != nullptr && std::strlen(key) <= size_t(BOOK_MAX_KEY) && bookLookup(f, key, r);
    if (f != nullptr) std::fclose(f);
    int total = 0;
    for (int i = 0; found && i < BOOK_ENTRIES && r.entries[i].move != 0; i++) total += entrySlots(r.entries[i]);
    for (int i = 0; found && i < BOOK_ENTRIES && r.entries[i].move != 0; i++) {
        const BookEntry& entry = r.entries[i];
        std::string san;
        moveToSan(san, entry.move, game.legalMoves, b);
        if (san.empty()) continue;  // not legal here: never played
        char line[96];
        std::snprintf(line, sizeof line, "\t%s\t%d%%\t%u games, %d%% scored\n", san.c_str(),
                      100 * entrySlots(entry) / total, unsigned(entry.count),
                      entry.count ? int(entry.points * 50L / entry.count) : 50);
        text += line;
    }
    if (std::strncmp(key, BOOK_INITIAL_PLACEMENT, BOOK_INITIAL_LENGTH) == 0 && found)
        text = "\te4\t60%\n\td4\t40%\n";  // the first move is chosen so, whatever the record says
    if (text.empty()) text = f == nullptr ? "\tno book file\n" : "\tno book moves\n";
    if (!useBook) text += "\t(the book is off)\n";
    text += "\n";
    reply(text.c_str());
}

void drawCommand() {
    // Accepted when the engine's last searched score says it stands worse by
    // half a pawn or more; declined, by silence, otherwise.
    EngineExpectation e = engineExpectation();
    if (!gameAtRest() || e.score == NO_SCORE || e.ply < 0) return;
    const int sinceEngineMove = game.ply - e.ply;
    if (sinceEngineMove < 0 || sinceEngineMove > 1) return;
    if (e.score <= -XB_DRAW_ACCEPT_SCORE) reply("offer draw\n");
}

void variantCommand(const std::string& line) {
    if (line != "VARIANT NORMAL") std::printf("Error (variant not supported): %s\n", line.c_str() + 8);
    std::fflush(stdout);
}
