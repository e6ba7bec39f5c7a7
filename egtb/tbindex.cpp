// The index scheme. Each position is numbered in three layers: the king pair
// (the side to move's king brought into the a1-d1-d4 triangle, or onto files
// a-d when pawns are present), then the side to move's men, each counted
// only over the squares it may legally take (the two kings and the squares
// from which it would capture the other king are left out), then the other
// side's men, each over the squares the men numbered before it leave free.
// The first two layers depend on the king pair, so every pair has a base in a
// table of cumulative counts. Positions in which an en-passant capture is
// possible follow all others, numbered by king pair, the file pair of the
// two pawns involved and the remaining man.
#include "egtb/tbindex.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const char* const CLASS_NAMES[TB_CLASS_COUNT] = {
    "kk",
    "kpk", "knk", "kbk", "krk", "kqk",
    "kpkp", "knkp", "knkn", "kbkp", "kbkn", "kbkb", "krkp", "krkn", "krkb", "krkr",
    "kqkp", "kqkn", "kqkb", "kqkr", "kqkq", "kppk", "knpk", "knnk", "kbpk", "kbnk",
    "kbbk", "krpk", "krnk", "krbk", "krrk", "kqpk", "kqnk", "kqbk", "kqrk", "kqqk",
    "kppkp", "kppkn", "kppkb", "kppkr", "kppkq", "knpkp", "knpkn", "knpkb", "knpkr", "knpkq",
    "knnkp", "knnkn", "knnkb", "knnkr", "knnkq", "kbpkp", "kbpkn", "kbpkb", "kbpkr", "kbpkq",
    "kbnkp", "kbnkn", "kbnkb", "kbnkr", "kbnkq", "kbbkp", "kbbkn", "kbbkb", "kbbkr", "kbbkq",
    "krpkp", "krpkn", "krpkb", "krpkr", "krpkq", "krnkp", "krnkn", "krnkb", "krnkr", "krnkq",
    "krbkp", "krbkn", "krbkb", "krbkr", "krbkq", "krrkp", "krrkn", "krrkb", "krrkr", "krrkq",
    "kqpkp", "kqpkn", "kqpkb", "kqpkr", "kqpkq", "kqnkp", "kqnkn", "kqnkb", "kqnkr", "kqnkq",
    "kqbkp", "kqbkn", "kqbkb", "kqbkr", "kqbkq", "kqrkp", "kqrkn", "kqrkb", "kqrkr", "kqrkq",
    "kqqkp", "kqqkn", "kqqkb", "kqqkr", "kqqkq"};

constexpr int G_PAWN = 5;
constexpr uint64_t PAWN_SQUARES = 0x00FFFFFFFFFFFF00ull;
constexpr int NO_PAIR = 4000;
constexpr int EP_CASES = 14;

inline int fileOfSq(int s) { return s & 7; }
inline int rankOfSq(int s) { return s >> 3; }
inline int diagMirror(int s) { return ((s & 7) << 3) | (s >> 3); }
inline bool onDiagonal(int s) { return fileOfSq(s) == rankOfSq(s); }
inline bool aboveDiagonal(int s) { return rankOfSq(s) > fileOfSq(s); }
inline uint64_t bit(int s) { return 1ull << s; }
inline int popcount(uint64_t x) { return __builtin_popcountll(x); }
inline int rankIn(uint64_t set, int s) { return popcount(set & (bit(s) - 1)); }
int selectIn(uint64_t set, int k) {
    for (; set; set &= set - 1)
        if (k-- == 0) return __builtin_ctzll(set);
    return -1;
}
inline uint32_t pairCount(uint32_t n) { return n * (n - 1) / 2; }
// Largest b with b(b-1)/2 <= d.
uint32_t pairHigh(uint32_t d) {
    uint32_t b = 1;
    while (pairCount(b + 1) <= d) ++b;
    return b;
}

TbMaterial material[TB_CLASS_COUNT];
bool built = false;

int16_t pairNumber[2][64][64];  // [pawn class][reference king][other king]
int pairTotal[2];
uint8_t pairRef[2][1806], pairOther[2][1806];
// Squares from which a man of the group and colour captures a king on s.
uint64_t contactMask[6][2][64];

struct Layout {
    int mover;                 // class colour of the side to move
    int groups[10][3];         // colour, group, count; mover groups first
    int groupCount;
    int moverGroups;           // groups counted per king pair (see buildLayout)
    uint32_t otherRadix[10];   // per other group (index into groups)
    uint64_t otherProduct;
    uint64_t base[1807];       // cumulative counts per king pair
    uint64_t epBase;           // start of the en-passant range
    uint32_t restRadix;        // the man left beside the two en-passant pawns
    uint64_t span;
    uint32_t size;
};
Layout layouts[TB_CLASS_COUNT][2];

uint64_t moverAllowed(int group, int colour, int refKing, int otherKing, int mover) {
    uint64_t all = group == G_PAWN ? PAWN_SQUARES : ~0ull;
    all &= ~bit(refKing) & ~bit(otherKing);
    return colour == mover ? all & ~contactMask[group][colour][otherKing] : all;
}

uint64_t moverProduct(const Layout& L, int pawnClass, int pair) {
    int R = pairRef[pawnClass][pair], O = pairOther[pawnClass][pair];
    uint64_t prod = 1;
    for (int g = 0; g < L.moverGroups; ++g) {
        uint32_t n = popcount(moverAllowed(L.groups[g][1], L.groups[g][0], R, O, L.mover));
        prod *= L.groups[g][2] == 2 ? pairCount(n) : n;
    }
    return prod;
}

void buildPairTables() {
    for (int pc = 0; pc < 2; ++pc) {
        int n = 0;
        for (int R = 0; R < 64; ++R)
            for (int O = 0; O < 64; ++O) pairNumber[pc][R][O] = NO_PAIR;
        for (int R = 0; R < 64; ++R) {
            bool ok = pc ? fileOfSq(R) < 4 : (fileOfSq(R) < 4 && rankOfSq(R) < 4 && !aboveDiagonal(R));
            if (!ok) continue;
            for (int O = 0; O < 64; ++O) {
                int df = std::abs(fileOfSq(R) - fileOfSq(O)), dr = std::abs(rankOfSq(R) - rankOfSq(O));
                if (std::max(df, dr) <= 1) continue;
                if (!pc && onDiagonal(R) && aboveDiagonal(O)) continue;
                pairRef[pc][n] = uint8_t(R);
                pairOther[pc][n] = uint8_t(O);
                pairNumber[pc][R][O] = int16_t(n++);
            }
        }
        pairTotal[pc] = n;
    }
}

void buildContactMasks() {
    for (int s = 0; s < 64; ++s)
        for (int t = 0; t < 64; ++t) {
            int df = std::abs(fileOfSq(s) - fileOfSq(t)), dr = std::abs(rankOfSq(s) - rankOfSq(t));
            if (s == t) continue;
            if (std::max(df, dr) == 1) contactMask[1][0][s] |= bit(t);
            if (df + dr == 1) contactMask[2][0][s] |= bit(t);
            if (df == 1 && dr == 1) contactMask[3][0][s] |= bit(t);
            if ((df == 1 && dr == 2) || (df == 2 && dr == 1)) contactMask[4][0][s] |= bit(t);
            // a white pawn on t takes s when s is one rank up diagonally
            if (df == 1 && rankOfSq(s) == rankOfSq(t) + 1) contactMask[5][0][s] |= bit(t) & PAWN_SQUARES;
            if (df == 1 && rankOfSq(s) == rankOfSq(t) - 1) contactMask[5][1][s] |= bit(t) & PAWN_SQUARES;
        }
    for (int g = 1; g < 5; ++g)
        for (int s = 0; s < 64; ++s) contactMask[g][1][s] = contactMask[g][0][s];
}

void buildLayout(int cls, int side) {
    Layout& L = layouts[cls][side];
    const TbMaterial& M = material[cls];
    L.mover = side;
    L.groupCount = 0;
    for (int pass = 0; pass < 2; ++pass) {
        int colour = pass == 0 ? side : 1 - side;
        for (int g = 1; g <= 5; ++g)
            if (M.count[colour][g]) {
                int* e = L.groups[L.groupCount++];
                e[0] = colour, e[1] = g, e[2] = M.count[colour][g];
            }
        if (pass == 0) L.moverGroups = L.groupCount;
    }
    // With a bare king to move, the other side's first group is the one
    // counted per king pair (over the squares the kings leave).
    if (L.moverGroups == 0) L.moverGroups = 1;
    // Other side's men: each ranges over the squares the men before it leave.
    int menBefore = 2, pawnsBefore = 0;
    for (int g = 0; g < L.moverGroups; ++g) {
        menBefore += L.groups[g][2];
        if (L.groups[g][1] == G_PAWN) pawnsBefore += L.groups[g][2];
    }
    L.otherProduct = 1;
    for (int g = L.moverGroups; g < L.groupCount; ++g) {
        bool pawn = L.groups[g][1] == G_PAWN;
        uint32_t n = pawn ? 48 - pawnsBefore : 64 - menBefore;
        L.otherRadix[g] = L.groups[g][2] == 2 ? pairCount(n) : n;
        L.otherProduct *= L.otherRadix[g];
        menBefore += L.groups[g][2];
        if (pawn) pawnsBefore += L.groups[g][2];
    }
    int pc = M.pawns ? 1 : 0;
    L.base[0] = 0;
    for (int p = 0; p < pairTotal[pc]; ++p) L.base[p + 1] = L.base[p] + moverProduct(L, pc, p) * L.otherProduct;
    L.epBase = L.base[pairTotal[pc]];
    L.restRadix = 0;
    L.span = L.epBase;
    if (M.bothPawns) {
        // Beside the two pawns of the capture: one man at most (five men).
        int rest = M.men - 4;
        L.restRadix = 1;
        for (int g = 0; g < L.groupCount && rest > 0; ++g) {
            int c = L.groups[g][2];
            if (L.groups[g][1] == G_PAWN) c -= 1;
            if (c > 0) L.restRadix = L.groups[g][1] == G_PAWN ? 44 : 58;
        }
        L.span = L.epBase + uint64_t(pairTotal[pc]) * EP_CASES * L.restRadix;
    }
}

// Whether the men of a placement stand on distinct squares, pawns on ranks 2..7.
bool placementSane(const TbPlacement& p, uint64_t& occ) {
    occ = 0;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < TB_LIST_LEN; ++i) {
            int s = p.list[c][i];
            if (s < 0 || s >= 64) continue;
            if (occ & bit(s)) return false;
            if (i >= TB_LIST_START[5] && !(PAWN_SQUARES & bit(s))) return false;
            occ |= bit(s);
        }
    return true;
}

int groupOfListIndex(int i) {
    for (int g = 5; g >= 0; --g)
        if (i >= TB_LIST_START[g]) return g;
    return 0;
}

// Working copy of one side's men by group.
struct Men {
    int king[2];
    int sq[2][6][4];
    int cnt[2][6];
};

bool loadMen(Men& m, const int* first, const int* second, int xorMask) {
    const int* lists[2] = {first, second};
    std::memset(m.cnt, 0, sizeof m.cnt);
    for (int c = 0; c < 2; ++c) {
        if (lists[c][0] < 0 || lists[c][0] >= 64) return false;
        m.king[c] = lists[c][0] ^ xorMask;
        for (int i = 1; i < TB_LIST_LEN; ++i) {
            int s = lists[c][i];
            if (s < 0 || s >= 64) continue;
            int g = groupOfListIndex(i);
            if (m.cnt[c][g] >= 4) return false;
            m.sq[c][g][m.cnt[c][g]++] = s ^ xorMask;
        }
    }
    return true;
}

void transformMen(Men& m, int xorMask, bool diag) {
    auto t = [&](int s) { s ^= xorMask; return diag ? diagMirror(s) : s; };
    for (int c = 0; c < 2; ++c) {
        m.king[c] = t(m.king[c]);
        for (int g = 1; g <= 5; ++g)
            for (int i = 0; i < m.cnt[c][g]; ++i) m.sq[c][g][i] = t(m.sq[c][g][i]);
    }
}

// The digit of a group over a set of free squares.
bool groupDigit(uint64_t freeSet, const int* sq, int count, uint32_t& digit) {
    if (count == 1) {
        if (!(freeSet & bit(sq[0]))) return false;
        digit = rankIn(freeSet, sq[0]);
        return true;
    }
    int a = sq[0], b = sq[1];
    if (a > b) std::swap(a, b);
    if (!(freeSet & bit(a)) || !(freeSet & bit(b)) || a == b) return false;
    uint32_t ra = rankIn(freeSet, a), rb = rankIn(freeSet, b);
    digit = pairCount(rb) + ra;
    return true;
}

uint32_t indexCanonical(int cls, const Layout& L, const Men& m, int ep) {
    const TbMaterial& M = material[cls];
    int pc = M.pawns ? 1 : 0;
    int R = m.king[L.mover], O = m.king[1 - L.mover];
    int pair = pairNumber[pc][R][O];
    if (pair == NO_PAIR) return TB_INDEX_NONE;
    for (int g = 0; g < L.groupCount; ++g)
        if (m.cnt[L.groups[g][0]][L.groups[g][1]] != L.groups[g][2]) return TB_INDEX_NONE;

    if (ep >= 0 && M.bothPawns) {
        // The pawn that just stepped twice stands beside a pawn of the mover.
        int up = L.mover == 0 ? 1 : -1;  // the mover's pawn direction
        int stepped = ep - 8 * up;
        int victim = 1 - L.mover;
        int vi = -1;
        for (int i = 0; i < m.cnt[victim][G_PAWN]; ++i)
            if (m.sq[victim][G_PAWN][i] == stepped) vi = i;
        int expectedRank = L.mover == 0 ? 4 : 3;
        if (vi >= 0 && rankOfSq(stepped) == expectedRank) {
            int f = fileOfSq(stepped), ci = -1, side = 0;
            for (int dir = -1; dir <= 1 && ci < 0; dir += 2) {
                if (f + dir < 0 || f + dir > 7) continue;
                for (int i = 0; i < m.cnt[L.mover][G_PAWN]; ++i)
                    if (m.sq[L.mover][G_PAWN][i] == stepped + dir) ci = i, side = dir;
            }
            if (ci >= 0) {
                int epCase = f == 0 ? 0 : (side < 0 ? 2 * f - 1 : 2 * f);
                uint64_t used = bit(stepped) | bit(stepped + side) | bit(ep) | bit(ep + 8 * up);
                uint32_t rest = 0;
                for (int c = 0; c < 2; ++c)
                    for (int g = 1; g <= 5; ++g)
                        for (int i = 0; i < m.cnt[c][g]; ++i) {
                            if (g == G_PAWN && ((c == victim && i == vi) || (c == L.mover && i == ci))) continue;
                            int s = m.sq[c][g][i];
                            uint64_t freeSet = g == G_PAWN ? PAWN_SQUARES & ~used : ~used & ~bit(R) & ~bit(O);
                            if (!(freeSet & bit(s))) return TB_INDEX_NONE;
                            rest = rankIn(freeSet, s);
                        }
                if (rest >= L.restRadix) return TB_INDEX_NONE;
                return uint32_t(L.epBase + (uint64_t(pair) * EP_CASES + epCase) * L.restRadix + rest);
            }
        }
    }

    uint64_t moverAcc = 0;
    uint64_t occ = bit(R) | bit(O), pawnOcc = 0;
    for (int g = 0; g < L.moverGroups; ++g) {
        int colour = L.groups[g][0], grp = L.groups[g][1], count = L.groups[g][2];
        uint64_t allowed = moverAllowed(grp, colour, R, O, L.mover);
        uint32_t n = popcount(allowed), d;
        if (!groupDigit(allowed, m.sq[colour][grp], count, d)) return TB_INDEX_NONE;
        moverAcc = moverAcc * (count == 2 ? pairCount(n) : n) + d;
        for (int i = 0; i < count; ++i) {
            occ |= bit(m.sq[colour][grp][i]);
            if (grp == G_PAWN) pawnOcc |= bit(m.sq[colour][grp][i]);
        }
    }
    uint64_t otherAcc = 0;
    for (int g = L.moverGroups; g < L.groupCount; ++g) {
        int colour = L.groups[g][0], grp = L.groups[g][1], count = L.groups[g][2];
        uint64_t freeSet = grp == G_PAWN ? PAWN_SQUARES & ~pawnOcc : ~occ;
        uint32_t d;
        if (!groupDigit(freeSet, m.sq[colour][grp], count, d) || d >= L.otherRadix[g]) return TB_INDEX_NONE;
        otherAcc = otherAcc * L.otherRadix[g] + d;
        for (int i = 0; i < count; ++i) {
            occ |= bit(m.sq[colour][grp][i]);
            if (grp == G_PAWN) pawnOcc |= bit(m.sq[colour][grp][i]);
        }
    }
    uint64_t index = L.base[pair] + moverAcc * L.otherProduct + otherAcc;
    if (index >= L.base[pair + 1]) return TB_INDEX_NONE;
    return uint32_t(index);
}

template <int C, int S>
uint32_t member(const int* first, const int* second, int epSquare, int invert) {
    return tbIndex(C, S, first, second, epSquare, invert);
}

template <int... C>
struct MemberTable {
    static constexpr TbIndexFn fn[sizeof...(C)][2] = {{member<C, 0>, member<C, 1>}...};
};

template <int... I>
constexpr auto makeTable(std::integer_sequence<int, I...>) {
    return MemberTable<I...>{};
}
using Members = decltype(makeTable(std::make_integer_sequence<int, TB_CLASS_COUNT>{}));

}  // namespace

const char* tbClassName(int cls) { return cls >= 0 && cls < TB_CLASS_COUNT ? CLASS_NAMES[cls] : ""; }
const TbMaterial& tbClassMaterial(int cls) { return material[cls]; }

bool tbAttacks(int group, int colour, int from, int to, uint64_t occupied) {
    int df = fileOfSq(to) - fileOfSq(from), dr = rankOfSq(to) - rankOfSq(from);
    if (from == to) return false;
    switch (group) {
    case 0: return std::max(std::abs(df), std::abs(dr)) == 1;
    case 4: return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    case G_PAWN: return std::abs(df) == 1 && dr == (colour == 0 ? 1 : -1);
    default: break;
    }
    bool straight = df == 0 || dr == 0, diagonal = std::abs(df) == std::abs(dr);
    if (!((group == 1 && (straight || diagonal)) || (group == 2 && straight) || (group == 3 && diagonal)))
        return false;
    int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    for (int s = from + step; s != to; s += step)
        if (occupied & bit(s)) return false;
    return true;
}

void buildIndexTables() {
    if (built) return;
    buildPairTables();
    buildContactMasks();
    for (int cls = 0; cls < TB_CLASS_COUNT; ++cls) {
        TbMaterial& M = material[cls];
        std::memset(&M, 0, sizeof M);
        const char* n = CLASS_NAMES[cls];
        int colour = -1;
        for (const char* p = n; *p; ++p) {
            if (*p == 'k') { ++colour; ++M.men; continue; }
            const char* letters = " qrbnp";
            const char* at = std::strchr(letters, *p);
            if (at && colour >= 0 && colour < 2) M.count[colour][at - letters]++, ++M.men;
        }
        M.pawns = M.count[0][G_PAWN] || M.count[1][G_PAWN];
        M.bothPawns = M.count[0][G_PAWN] && M.count[1][G_PAWN];
    }
    for (int cls = 1; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side) buildLayout(cls, side);
    built = true;
    for (int cls = 1; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side) {
            Layout& L = layouts[cls][side];
            L.size = 0;
            TbPlacement p;
            for (uint64_t i = L.span; i-- > 0;)
                if (tbDecode(cls, side, uint32_t(i), p) && tbPlacementLegal(p, side)) {
                    L.size = uint32_t(i + 1);
                    break;
                }
        }
}

TbIndexFn tbIndexMember(int cls, int side) {
    if (cls < 1 || cls >= TB_CLASS_COUNT || side < 0 || side > 1) return nullptr;
    return Members::fn[cls][side];
}

uint32_t tbIndex(int cls, int side, const int* first, const int* second, int epSquare, int invert) {
    if (!built || cls < 1 || cls >= TB_CLASS_COUNT) return TB_INDEX_NONE;
    const TbMaterial& M = material[cls];
    const Layout& L = layouts[cls][side];
    Men m;
    int flip = M.pawns && invert ? 56 : 0;
    if (!loadMen(m, first, second, flip)) return TB_INDEX_NONE;
    int ep = epSquare >= 0 && epSquare < 64 ? epSquare ^ flip : -1;
    int R = m.king[L.mover];
    int mask = fileOfSq(R) > 3 ? 7 : 0;
    if (!M.pawns && rankOfSq(R) > 3) mask |= 56;
    R ^= mask;
    bool diag = !M.pawns && aboveDiagonal(R);
    transformMen(m, mask, diag);
    if (ep >= 0) ep ^= mask;
    if (M.pawns || !onDiagonal(m.king[L.mover])) return indexCanonical(cls, L, m, ep);
    int O = m.king[1 - L.mover];
    if (!onDiagonal(O)) {
        if (aboveDiagonal(O)) transformMen(m, 0, true);
        return indexCanonical(cls, L, m, ep);
    }
    // Both kings on the diagonal: the two mirror images share the smaller index.
    uint32_t a = indexCanonical(cls, L, m, ep);
    transformMen(m, 0, true);
    uint32_t b = indexCanonical(cls, L, m, ep);
    return std::min(a, b);
}

uint32_t tbComputedSize(int cls, int side) {
    return cls >= 1 && cls < TB_CLASS_COUNT ? layouts[cls][side].size : 0;
}

bool tbDecode(int cls, int side, uint32_t index, TbPlacement& out) {
    if (!built || cls < 1 || cls >= TB_CLASS_COUNT) return false;
    const TbMaterial& M = material[cls];
    const Layout& L = layouts[cls][side];
    int pc = M.pawns ? 1 : 0;
    if (index >= L.span) return false;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < TB_LIST_LEN; ++i) out.list[c][i] = 64;
    out.epSquare = -1;
    int fill[2][6] = {};
    auto put = [&](int colour, int grp, int s) {
        out.list[colour][TB_LIST_START[grp] + fill[colour][grp]++] = s;
    };
    if (index >= L.epBase) {
        uint64_t rel = index - L.epBase;
        uint32_t rest = uint32_t(rel % L.restRadix);
        rel /= L.restRadix;
        int epCase = int(rel % EP_CASES), pair = int(rel / EP_CASES);
        int R = pairRef[pc][pair], O = pairOther[pc][pair];
        out.list[L.mover][0] = R, out.list[1 - L.mover][0] = O;
        int f = epCase == 0 ? 0 : (epCase + 1) / 2;
        int dir = epCase == 0 ? 1 : (epCase == 13 ? -1 : (epCase % 2 ? -1 : 1));
        int up = L.mover == 0 ? 1 : -1;
        int stepped = (L.mover == 0 ? 32 : 24) + f;
        out.epSquare = stepped + 8 * up;
        uint64_t used = bit(stepped) | bit(stepped + dir) | bit(out.epSquare) | bit(out.epSquare + 8 * up);
        put(1 - L.mover, G_PAWN, stepped);
        put(L.mover, G_PAWN, stepped + dir);
        for (int g = 0; g < L.groupCount; ++g) {
            int colour = L.groups[g][0], grp = L.groups[g][1], count = L.groups[g][2];
            if (grp == G_PAWN) --count;
            if (count <= 0) continue;
            uint64_t freeSet = grp == G_PAWN ? PAWN_SQUARES & ~used : ~used & ~bit(R) & ~bit(O);
            int s = selectIn(freeSet, int(rest));
            if (s < 0) return false;
            put(colour, grp, s);
        }
        return true;
    }
    int pair = int(std::upper_bound(L.base, L.base + pairTotal[pc] + 1, uint64_t(index)) - L.base) - 1;
    int R = pairRef[pc][pair], O = pairOther[pc][pair];
    out.list[L.mover][0] = R, out.list[1 - L.mover][0] = O;
    uint64_t rel = index - L.base[pair];
    uint64_t moverAcc = rel / L.otherProduct, otherAcc = rel % L.otherProduct;
    uint32_t digits[10];
    for (int g = L.groupCount - 1; g >= L.moverGroups; --g) {
        digits[g] = uint32_t(otherAcc % L.otherRadix[g]);
        otherAcc /= L.otherRadix[g];
    }
    uint64_t allowedOf[10];
    for (int g = L.moverGroups - 1; g >= 0; --g) {
        allowedOf[g] = moverAllowed(L.groups[g][1], L.groups[g][0], R, O, L.mover);
        uint32_t n = popcount(allowedOf[g]);
        uint32_t radix = L.groups[g][2] == 2 ? pairCount(n) : n;
        digits[g] = uint32_t(moverAcc % radix);
        moverAcc /= radix;
    }
    uint64_t occ = bit(R) | bit(O), pawnOcc = 0;
    for (int g = 0; g < L.groupCount; ++g) {
        int colour = L.groups[g][0], grp = L.groups[g][1], count = L.groups[g][2];
        uint64_t freeSet = g < L.moverGroups ? allowedOf[g] : (grp == G_PAWN ? PAWN_SQUARES & ~pawnOcc : ~occ);
        int sq[2];
        if (count == 1) {
            sq[0] = selectIn(freeSet, int(digits[g]));
        } else {
            uint32_t b = pairHigh(digits[g]);
            sq[0] = selectIn(freeSet, int(digits[g] - pairCount(b)));
            sq[1] = selectIn(freeSet, int(b));
        }
        for (int i = 0; i < count; ++i) {
            if (sq[i] < 0) return false;
            put(colour, grp, sq[i]);
            occ |= bit(sq[i]);
            if (grp == G_PAWN) pawnOcc |= bit(sq[i]);
        }
    }
    return true;
}

bool tbPlacementLegal(const TbPlacement& p, int side) {
    uint64_t occ;
    if (!placementSane(p, occ)) return false;
    int other = 1 - side;
    int k = p.list[other][0];
    if (k < 0 || k >= 64 || p.list[side][0] < 0 || p.list[side][0] >= 64) return false;
    for (int i = 0; i < TB_LIST_LEN; ++i) {
        int s = p.list[side][i];
        if (s >= 0 && s < 64 && tbAttacks(groupOfListIndex(i), side, s, k, occ)) return false;
    }
    if (p.epSquare >= 0) {
        // The pawn that stepped twice passed the en-passant square from its start.
        int up = side == 0 ? 1 : -1;
        int start = p.epSquare + 8 * up;
        if (occ & (bit(p.epSquare) | bit(start))) return false;
    }
    return true;
}
