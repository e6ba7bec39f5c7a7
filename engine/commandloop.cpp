#include "engine/commandloop.h"
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "engine/gamefile.h"
#include "engine/report.h"

int postThinking = 0, ponderEnabled = 0, analyseMode = 0, useBook = 1, resignEnabled = 1;
int movesPerPeriod = 6, baseSeconds = 60, incrementTenths = 0, engineClock = 0, opponentClock = 0;
const char* engineName = "Velmora 4.0";

namespace {

int forceMode = 0;

// A stream that keeps failing without reaching its end is given up as ended.
constexpr int READ_RETRIES = 100;

// Reads one whole line of any length; false at end of input.
bool readLine(FILE* in, std::string& line) {
    line.clear();
    int retries = 0;
    for (;;) {
        int c = std::fgetc(in);
        if (c == EOF) {
            if (std::ferror(in) && !std::feof(in) && retries++ < READ_RETRIES) {
                std::clearerr(in);
                continue;
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

void setTimeControl(const std::string& line) {
    incrementTenths = 0;
    const char* args = line.c_str() + 5;
    int fields;
    if (line.find(':') != std::string::npos) {
        int moves = 0, minutes = 0, seconds = 0, inc = 0;
        fields = std::sscanf(args, "%d %d:%d %d", &moves, &minutes, &seconds, &inc);
        if (fields >= 1) movesPerPeriod = moves;
        if (fields < 3) {
            reply("Error (command not legal)\n");
            return;
        }
        baseSeconds = seconds + minutes * 60;
        if (fields >= 4) incrementTenths = inc * 10;
    } else {
        int moves = 0, minutes = 0, inc = 0;
        fields = std::sscanf(args, "%d %d %d", &moves, &minutes, &inc);
        if (fields >= 1) movesPerPeriod = moves;
        if (fields < 2) {
            reply("Error (command not legal)\n");
            return;
        }
        baseSeconds = minutes * 60;
        if (fields >= 3) incrementTenths = inc * 10;
    }
}

void removeManAt(Game& g, int square) {
    int s = g.squareSlot[square];
    if (s == SLOT_EMPTY) return;
    g.slotSquare[s] = SQ_NONE;
    g.squareSlot[square] = SLOT_EMPTY;
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

void userMove(const std::string& line) {
    std::string text = line;
    uint32_t m = parseMove(&text[0], game.sideToMove);
    if (m == 0) {
        std::printf("Error (unknown command): %s\n", line.c_str());
        std::fflush(stdout);
        return;
    }
    int code = makeMove(game, m);
    if (code != 0) reportResult(code, line.c_str());
    // The search that answers the move is started here once it exists.
}

}  // namespace

void onNewGame() {}
void onMemory(int /*mib*/) {}
void onGo() {}
void onAnalyze() {}
void onMoveNow() {}

int runCommandLoop(FILE* in) {
    std::string line;
    while (readLine(in, line)) {
        normalise(line);
        if (prefix(line, "GO")) {
            forceMode = 0;
            onGo();
        } else if (line == "FORCE") {
            forceMode = 1;
        } else if (line == "?") {
            onMoveNow();
        } else if (line == "UNDO") {
            if (undoMove(game) != 0) reply("Error (command not legal now): undo\n");
            else if (analyseMode) onAnalyze();
        } else if (line == "REMOVE") {
            undoMove(game);
            if (undoMove(game) != 0) reply("Error (command not legal now): remove\n");
        } else if (prefix(line, "LEVEL")) {
            setTimeControl(line);
        } else if (prefix(line, "TIME") || prefix(line, "OTIM")) {
            long n;
            if (intAfter(line, 4, n) && n != 0) (line[0] == 'T' ? engineClock : opponentClock) = int(n / 10);
        } else if (line == "EXIT") {
            analyseMode = 0;
        } else if (line == "WHITE" || line == "BLACK") {
        } else if (line == ".") {
        } else if (line == "POST" || line == "NOPOST") {
            postThinking = line == "POST";
        } else if (line == "HARD" || line == "EASY") {
            ponderEnabled = line == "HARD";
        } else if (line == "QUIT") {
            return 0;
        } else if (line == "NEW") {
            newGame(game);
            listMoves(game);
            forceMode = 0;
            onNewGame();
            if (analyseMode) onAnalyze();
        } else if (line == "ANALYZE") {
            analyseMode = 1;
            onAnalyze();
        } else if (line == "EDIT") {
            if (!editMode(in)) return 0;
        } else if (prefix(line, "SETBOARD")) {
            // a bare SETBOARD has no FEN text at all: read it as an empty one
            const char* fen = line.size() > 9 ? line.c_str() + 9 : "";
            GameSnapshot* snap = saveGame(game);
            int code = setupFromFen(game, fen);
            if (code < 0 || (code & SETUP_IN_CHECK)) {
                restoreGame(game, snap);
                printIllegalPosition(code);
            } else {
                dropSnapshot(snap);
            }
        } else if (line == "PRINT") {
            printBoard(game);
        } else if (prefix(line, "PARTIE ")) {
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
            std::printf("feature option=\"RESIGN -check %d\"\n", resignEnabled);
            std::printf("feature option=\"USE BOOK -check %d\" done=1\n", useBook);
            std::fflush(stdout);
        } else if (prefix(line, "RESULT")) {
        } else if (prefix(line, "PING")) {
            std::printf("pong%s\n", line.c_str() + 4);
            std::fflush(stdout);
        } else if (prefix(line, "MEMORY")) {
            long n;
            // the cache and hash formulas need at least 1 MiB; ignore less
            if (intAfter(line, 6, n) && n >= 1 && n <= 1 << 20) onMemory(int(n));
        } else if (prefix(line, "EGTPATH")) {
            // tablebases are added here once they can be loaded
        } else if (startsWithNoCase(line, "option")) {
            setOptions(line);
        // UCI commands (UCI, ISREADY, position, STOP, setoption, UCINEWGAME) go here.
        } else {
            userMove(line);
        }
    }
    return 0;
}
