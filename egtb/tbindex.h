// Index scheme of the tablebase classes: one family of members, driven by
// each class's men, mapping a position to its byte offset in a table file.
#pragma once
#include <cstdint>

constexpr int TB_CLASS_COUNT = 111;          // row 0 is the "kk" placeholder
constexpr uint32_t TB_INDEX_NONE = 0xFFFFFFFFu;
constexpr int TB_LIST_LEN = 17;              // king, 3 queens, 3 rooks, 3 bishops, 3 knights, 4 pawns
constexpr int TB_LIST_START[6] = {0, 1, 4, 7, 10, 13};  // by group: king, Q, R, B, N, P
constexpr int TB_LIST_SIZE[6] = {1, 3, 3, 3, 3, 4};

// Member signature: list of the side the class calls white, list of the
// other side, en-passant square (-1 none), invert flag (colours exchanged).
typedef uint32_t (*TbIndexFn)(const int* first, const int* second, int epSquare, int invert);

// Men of a class: counts by colour (0 = the class's white) and group 1..5
// (queen, rook, bishop, knight, pawn); group 0 unused.
struct TbMaterial {
    int count[2][6];
    int men;  // kings included
    bool pawns;
    bool bothPawns;
};

// A decoded position in the member's frame: class colours, white pawns
// moving up. Squares 64 mark unused entries.
struct TbPlacement {
    int list[2][TB_LIST_LEN];
    int epSquare;  // -1 none
};

const char* tbClassName(int cls);
const TbMaterial& tbClassMaterial(int cls);
// Builds the shared tables (pair numbering, gap masks, per-pair bases) once.
void buildIndexTables();
// The member pair of a class (cls 1..110; row 0 has none).
TbIndexFn tbIndexMember(int cls, int side);
// The generic member behind all of them.
uint32_t tbIndex(int cls, int side, const int* first, const int* second, int epSquare, int invert);
// Number of index values the scheme spans before truncation, and the size
// (one past the last index a legal position can take).
uint32_t tbComputedSize(int cls, int side);
// Inverse of tbIndex in the member's frame; false when the index names no
// placement (gaps of the scheme). The placement may still be illegal.
bool tbDecode(int cls, int side, uint32_t index, TbPlacement& out);
// Whether a placement in the member's frame is a legal position with the
// given side to move (men apart, pawns on ranks 2..7, the side not to move
// not in check, a consistent en-passant set-up).
bool tbPlacementLegal(const TbPlacement& p, int side);
// Attack test on an occupancy bit set (pawn colour 0 moves up).
bool tbAttacks(int group, int colour, int from, int to, uint64_t occupied);
