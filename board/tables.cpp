#include "board/tables.h"
#include <cstdlib>
#include "board/types.h"

RayEntry rayTable[2][5][64][32];
PawnStep pawnTable[2][64][5];
int16_t directionTable[64][64];
uint8_t lineKind[18];
uint8_t kingDistance[64][64];
uint32_t zobristKey[1024];
uint32_t zobristLock[1024];

MersenneTwister::MersenneTwister(uint32_t seed) : index_(624) {
    state_[0] = seed;
    for (int i = 1; i < 624; i++)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + uint32_t(i);
}

uint32_t MersenneTwister::next() {
    if (index_ >= 624) {
        for (int i = 0; i < 624; i++) {
            uint32_t y = (state_[i] & 0x80000000u) | (state_[(i + 1) % 624] & 0x7fffffffu);
            state_[i] = state_[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1) ? 0x9908b0dfu : 0u);
        }
        index_ = 0;
    }
    uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

namespace {

bool stepOk(int s, int t) {
    return t >= 0 && t < 64 && std::abs((s & 7) - (t & 7)) <= 2;
}

const int kKingDirs[2][8] = {{8, -8, 1, -1, 7, -7, 9, -9}, {-8, 8, 1, -1, -9, 9, -7, 7}};
const int kRookDirs[2][4] = {{8, -8, 1, -1}, {-8, 8, 1, -1}};
const int kBishopDirs[2][4] = {{7, -7, 9, -9}, {-9, 9, -7, 7}};
const int kKnightDirs[2][8] = {{10, -10, 17, -17, 15, -15, 6, -6}, {-6, 6, -15, 15, -17, 17, -10, 10}};

void buildRays(int set, int type, const int* dirs, int count, bool slider) {
    for (int s = 0; s < 64; s++) {
        RayEntry* list = rayTable[set][type][s];
        int n = 0;
        for (int d = 0; d < count; d++) {
            int ray[8];
            int len = 0;
            int cur = s;
            for (;;) {
                int t = cur + dirs[d];
                if (!stepOk(cur, t)) break;
                ray[len++] = t;
                cur = t;
                if (!slider) break;
            }
            for (int i = 0; i < len; i++) {
                list[n].target = uint8_t(ray[i]);
                list[n].skip = uint8_t(slider ? len - i : 1);
                n++;
            }
        }
        list[n].target = 64;
        list[n].skip = 0;
    }
}

void buildPawnTables() {
    for (int s = 0; s < 64; s++) {
        int r = s >> 3, f = s & 7;
        for (int c = 0; c < 2; c++) {
            PawnStep* p = pawnTable[c][s];
            int n = 0;
            // Pawns on the first or last rank are refused by the set-up; give
            // them no steps at all so that nothing leaves the board.
            if (r != 0 && r != 7) {
                int fwd = c == 0 ? 8 : -8;
                int promoRank = c == 0 ? 6 : 1;
                int startRank = c == 0 ? 1 : 6;
                uint8_t promo = r == promoRank ? 2 : 0;
                bool dbl = r == startRank;
                p[n++] = {uint8_t(s + fwd), uint8_t(dbl ? 2 : 1), uint8_t(1 | promo)};
                if (dbl) p[n++] = {uint8_t(s + 2 * fwd), 1, 1};
                if (c == 0) {
                    if (f != 0) p[n++] = {uint8_t(s + 7), 1, promo};
                    if (f != 7) p[n++] = {uint8_t(s + 9), 1, promo};
                } else {
                    if (f != 0) p[n++] = {uint8_t(s - 9), 1, promo};
                    if (f != 7) p[n++] = {uint8_t(s - 7), 1, promo};
                }
            }
            p[n] = {64, 0, 0};
        }
    }
}

void buildDirections() {
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            int fa = a & 7, ra = a >> 3, fb = b & 7, rb = b >> 3;
            int df = fb - fa, dr = rb - ra;
            int16_t d = 0;
            if (a != b) {
                if (dr == 0) d = df > 0 ? 1 : -1;
                else if (df == 0) d = dr > 0 ? 8 : -8;
                else if (df == dr) d = dr > 0 ? 9 : -9;
                else if (df == -dr) d = dr > 0 ? 7 : -7;
                else if ((std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1))
                    d = int16_t(b - a);
            }
            directionTable[a][b] = d;
            int ad = std::abs(df), adr = std::abs(dr);
            kingDistance[a][b] = uint8_t(ad > adr ? ad : adr);
        }
    for (int i = 0; i < 18; i++) lineKind[i] = 0;
    lineKind[1] = lineKind[8] = 1;
    lineKind[7] = lineKind[9] = 2;
    lineKind[6] = lineKind[10] = lineKind[15] = lineKind[17] = 3;
}

}  // namespace

void buildTables() {
    for (int set = 0; set < 2; set++) {
        buildRays(set, KING, kKingDirs[set], 8, false);
        buildRays(set, QUEEN, kKingDirs[set], 8, true);
        buildRays(set, ROOK, kRookDirs[set], 4, true);
        buildRays(set, BISHOP, kBishopDirs[set], 4, true);
        buildRays(set, KNIGHT, kKnightDirs[set], 8, false);
    }
    buildPawnTables();
    buildDirections();
    MersenneTwister mt(123456);
    for (int i = 0; i < 1024; i++) zobristKey[i] = mt.next();
    for (int i = 0; i < 1024; i++) zobristLock[i] = mt.next();
}
