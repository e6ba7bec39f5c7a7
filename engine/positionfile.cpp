#include "engine/positionfile.h"
#include <cctype>
#include <cstdio>
#include "book/book.h"
#include "platform/platform.h"
#include "engine/textline.h"

namespace {

int pieceType(char letter) {
    switch (letter) {
    case 'r': return KING;
    case 'd': return QUEEN;
    case 't': return ROOK;
    case 'f': return BISHOP;
    case 'c': return KNIGHT;
    case 'p': return WHITE_PAWN;
    default: return NO_PIECE;
    }
}

// Reads the lines into g; the reason of a failure, or "" on success.
std::string readPosition(Game& g, FILE* f, int& side) {
    emptyBoard(g);
    int colour = WHITE, lineNumber = 0;
    std::string line;
    while (readTextLine(f, line)) {
        lineNumber++;
        for (char& c : line) c = char(std::tolower((unsigned char)c));
        std::string where = "line " + std::to_string(lineNumber) + ": ";
        char letter = line.empty() ? 0 : line[0];
        if (letter == 'b' || letter == 'n') {
            colour = letter == 'b' ? WHITE : BLACK;
            continue;
        }
        int type = pieceType(letter);
        if (type == NO_PIECE) continue;
        if (line.size() < 3 || line[1] < 'a' || line[1] > 'h' || line[2] < '1' || line[2] > '8')
            return where + "no square after the piece letter";
        int square = (line[1] - 'a') + (line[2] - '1') * 8;
        if (g.squareSlot[square] != SLOT_EMPTY) return where + "square " + line.substr(1, 2) + " is taken";
        int placed = type == WHITE_PAWN ? placePawn(g, colour, square) : placePiece(g, colour, type, square);
        if (placed < 0) return where + "the man cannot be placed (a pawn on its first or last rank, or too many men)";
    }
    if (g.slotSquare[0] == SQ_NONE || g.slotSquare[16] == SQ_NONE) return "a king is missing";
    side = colour ^ 1;
    return "";
}

}  // namespace

int loadPositionFile(Game& g, const char* path, std::string* message) {
    // Like a game file: a directory or a FIFO is no position file.
    FILE* f = openRegularFile(path, "r");
    if (f == nullptr) {
        if (message) *message = std::string("cannot open position file ") + path;
        return PF_CANNOT_OPEN;
    }
    GameSnapshot* before = saveGame(g);
    int side = WHITE;
    std::string reason = readPosition(g, f, side);
    std::fclose(f);
    if (reason.empty()) {
        deriveCastling(g);
        g.setupLastMove = 0;
        g.setupEpSquare = 0;
        // The side that has just moved must not be left in check.
        if (finishSetup(g, side) != 0) reason = "the side not to move is in check";
        refillBookMisses();
    }
    if (!reason.empty()) {
        restoreGame(g, before);
        if (message) *message = std::string(path) + ", " + reason;
        return PF_BAD_POSITION;
    }
    dropSnapshot(before);
    return 0;
}
