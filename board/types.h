// Basic codes of the position model: squares, piece types, slots, move words.
#pragma once
#include <cstdint>

typedef int32_t Square;  // 0..63, a1 = 0, h8 = 63; 64 = off the board
typedef uint32_t Move;   // low 16 bits significant; search lists carry a score above

enum PieceType : int32_t {
    KING = 0, QUEEN = 1, ROOK = 2, BISHOP = 3, KNIGHT = 4,
    WHITE_PAWN = 5, BLACK_PAWN = 6, NO_PIECE = 7
};

enum Colour : int32_t { WHITE = 0, BLACK = 1 };

constexpr Square SQ_NONE = 64;
constexpr int32_t SLOT_EMPTY = 32;

constexpr uint32_t MOVE_KIND_MASK = 0x7000;
constexpr uint32_t MK_CASTLE_KING = 0x1000;
constexpr uint32_t MK_CASTLE_QUEEN = 0x2000;
constexpr uint32_t MK_EN_PASSANT = 0x3000;
constexpr uint32_t MK_PROMO_QUEEN = 0x4000;
constexpr uint32_t MK_PROMO_ROOK = 0x5000;
constexpr uint32_t MK_PROMO_BISHOP = 0x6000;
constexpr uint32_t MK_PROMO_KNIGHT = 0x7000;
constexpr uint32_t MOVE_ILLEGAL = 0x8000;

// makeAndGenerate result bits
constexpr uint32_t MG_MATE = 0x10000;
constexpr uint32_t MG_STALEMATE = 0x20000;
constexpr uint32_t MG_NO_MATERIAL = 0x40000;

// Capacity of every move list. 120 words suffice for real games, but
// artificial set-ups with many queens give far more pseudo-moves, so lists
// are sized for the worst case (15 queens) with room for deferrals.
constexpr int MAX_MOVES = 512;

constexpr int VALUE_PAWN = 480;
constexpr int VALUE_KNIGHT = 1872;
constexpr int VALUE_BISHOP = 1872;
constexpr int VALUE_ROOK = 2808;
constexpr int VALUE_QUEEN = 5616;
constexpr int VALUE_KING = 5760;
// Slot value of each piece type (NO_PIECE is worth nothing).
inline constexpr int TYPE_VALUE[8] = {VALUE_KING, VALUE_QUEEN, VALUE_ROOK, VALUE_BISHOP,
                                     VALUE_KNIGHT, VALUE_PAWN, VALUE_PAWN, 0};

inline constexpr Square moveFrom(uint32_t m) { return m & 63; }
inline constexpr Square moveTo(uint32_t m) { return (m >> 6) & 63; }
inline constexpr uint32_t moveKind(uint32_t m) { return m & MOVE_KIND_MASK; }
inline constexpr bool isPromotion(uint32_t m) { return (m & 0x4000) != 0; }
inline constexpr int promotedType(uint32_t m) { return int((m & MOVE_KIND_MASK) >> 12) - 3; }
inline constexpr uint32_t makeMoveWord(Square from, Square to, uint32_t kind = 0) {
    return uint32_t(from) | (uint32_t(to) << 6) | kind;
}
inline constexpr int fileOf(Square s) { return s & 7; }
inline constexpr int rankOf(Square s) { return s >> 3; }

constexpr uint32_t CASTLE_WK_WHITE = 0x1184;  // e1-g1
constexpr uint32_t CASTLE_WQ_WHITE = 0x2084;  // e1-c1
constexpr uint32_t CASTLE_BK_BLACK = 0x1FBC;  // e8-g8
constexpr uint32_t CASTLE_BQ_BLACK = 0x2EBC;  // e8-c8

// Castling state indices
constexpr int CS_WHITE_KING = 0, CS_BLACK_KING = 1, CS_WHITE_QUEEN = 2, CS_BLACK_QUEEN = 3;

// The position record on which the game level generates and tests moves.
struct Board {
    int32_t slotSquare[32];
    int32_t squareSlot[64];
    int32_t slotType[33];
    int32_t castle[4];
    int32_t slotValue[33];
    int32_t pieceCount[2];
    int32_t pawnCount[2];
    uint32_t hashKey, hashLock;
    uint32_t pawnKey, pawnLock;
    int32_t stage;
    int32_t material;
    int32_t pstScore;
    uint32_t lastMove;
    int32_t fiftyCount;
    uint32_t pawnFiles[2];
    int32_t nonPawnMaterial[2];
};

// The search's working board: the four placement arrays only. One per
// thread: each search worker runs on a thread of its own and makes its moves
// on its own copy; tools and tests use their thread's.
struct WorkBoard {
    int32_t slotSquare[32];
    int32_t squareSlot[64];
    int32_t slotType[33];
    int32_t slotValue[33];
};

// __thread rather than thread_local: the board needs no constructor, and the
// initialisation check other files make on an extern thread_local object
// reads stale flags once the linker has relaxed the TLS access, which the
// undefined-behaviour sanitizer reports as a null board.
extern __thread WorkBoard workBoard;

void copyBoardToWork(const Board& b);
