// The one global game: position, side to move, legal moves, history, result.
#pragma once
#include <cstdint>
#include <vector>
#include "board/types.h"

struct HistoryEntry {
    uint32_t hashLock;
    uint16_t keyHigh;
    uint16_t move;
    uint8_t castling;
    uint8_t flags;  // bits 0-5 captured slot, bit 6 irreversible, bit 7 side to move after
};

constexpr int HISTORY_INITIAL = 600;
constexpr int HISTORY_GROWTH = 40;
// The search writes entries this far beyond the last played one.
constexpr int HISTORY_SEARCH_ROOM = 64;

constexpr int SETUP_NO_SLOT = -2;
constexpr int SETUP_NO_KING = -3;
constexpr int SETUP_IN_CHECK = 0x8000;
// A FEN half-move count above this is no count at all (read as 0).
constexpr int FEN_FIFTY_MAX = 9999;

struct Game {
    // game record
    std::vector<HistoryEntry> history;
    int32_t historyCapacity;
    int32_t ply;
    int32_t fromStart;
    int32_t epSquare;
    // position
    int32_t slotSquare[32];
    int32_t squareSlot[64];
    int32_t slotType[33];
    int32_t slotValue[33];
    int32_t sideToMove;
    int32_t castle[4];
    uint32_t legalMoves[MAX_MOVES];
    Board board;
    int32_t result;  // 0 none, 1 illegal set-up, 2 mate, 3 stalemate
    uint32_t lastMove;
    // lastMove of the board right after the set-up (a double step named by the
    // FEN's en-passant field), restored when the game is undone to its start
    uint32_t setupLastMove;
    int32_t setupEpSquare;
    // fifty-move count of the set-up position (the FEN's half-move field),
    // from which an undo back past the last irreversible move counts on
    int32_t setupFiftyCount;

    Game();
};

extern Game game;

void newGame(Game& g);
void listMoves(Game& g);
int setupFromFen(Game& g, const char* text);
int placePiece(Game& g, int colour, int type, int square);
int placePawn(Game& g, int colour, int square);
void emptyBoard(Game& g);  // every slot off the board, kings included
void deriveCastling(Game& g);
// fiftyCount: half-moves since the last irreversible move before the set-up.
int finishSetup(Game& g, int side, int fiftyCount = 0);
void positionText(const Game& g, char* buffer);
void printBoard(const Game& g);
void copyToBoard(const Game& g, Board& b);
void copyFromBoard(Game& g, const Board& b);
void computeKeys(int side, Board& b);
// Piece and pawn counts, material and non-pawn material from the slots.
void recountBoard(Board& b);

// Saved game state, so that a rejected set-up leaves the previous position.
struct GameSnapshot;
GameSnapshot* saveGame(const Game& g);
void restoreGame(Game& g, GameSnapshot* s);  // frees the snapshot
void dropSnapshot(GameSnapshot* s);

// make / undo (game level)
int makeMove(Game& g, Move m);
int undoMove(Game& g);
int repetitionCount(const Game& g, int side, const Board& b);
// The fifty-move count after the last played move, rebuilt from the record.
int fiftyCountFromHistory(const Game& g);
int insufficientMaterial(const Board& b);
uint8_t castlingByte(const Game& g);
void restoreCastling(Game& g, uint8_t byte);
int enPassantSquare(Move m, const Board& b);
void ensureHistoryRoom(Game& g, int index);

void selectEnglishLetters();
extern const char* pieceLetters;  // the active seven letters
