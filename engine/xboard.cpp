#include "engine/xboard.h"
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include "board/game.h"
#include "book/book.h"
#include "engine/commandloop.h"
#include "engine/gamefile.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "engine/words.h"
#include "search/driver.h"

namespace {

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

void setTimeControl(const std::string& line) {
    Clocks& clocks = session.clocks;
    clocks.incrementTenths = 0;
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
    if (fields >= 1) clocks.movesPerPeriod = int(clampLong(field[0], 0, PROTO_MOVES_MAX));
    if (fields < (colon ? 3 : 2)) {
        reply("Error (command not legal)\n");
        return;
    }
    const long minutes = clampLong(field[1], 0, PROTO_SECONDS_MAX / 60);
    const long seconds = colon ? clampLong(field[2], 0, PROTO_SECONDS_MAX) : 0;
    clocks.baseSeconds = int(std::min(minutes * 60 + seconds, PROTO_SECONDS_MAX));
    const int incField = colon ? 3 : 2;
    if (fields > incField) clocks.incrementTenths = int(clampLong(field[incField], 0, PROTO_TENTHS_MAX / 10) * 10);
}

void clockCommand(const std::string& line) {
    long n;
    if (intAfter(line, 4, n) && n != 0) {
        // Centiseconds; below zero the flag has fallen: no time left.
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

void protoverCommand() {
    std::printf("feature myname=\"%s\" name=1 ping=1 time=1 analyze=1 setboard=1 memory=1 reuse=0 egt=\"nalimov\"\n",
                engineName);
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

void setOptions(const std::string& line) {
    size_t p = line.find("USE BOOK=");
    if (p != std::string::npos) useBook = std::atoi(line.c_str() + p + 9) != 0;
    p = line.find("RESIGN=");
    if (p != std::string::npos) resignEnabled = std::atoi(line.c_str() + p + 7) != 0;
}
