#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include "egtb/tbindex.h"
#include "egtb/tbregistry.h"

namespace {

int classOf(const char* name) {
    buildClassTable();
    for (int c = 1; c < TB_CLASS_COUNT; ++c)
        if (std::string(name) == tbClassName(c)) return c;
    return 0;
}

// The smallest image of a placement under the symmetries the scheme folds
// away (file and rank mirrors, the diagonal), packed into one number.
uint64_t canonicalKey(const TbPlacement& p, bool pawns) {
    int men[TB_LIST_LEN * 2], n = 0;  // squares in list order; identical men adjacent
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < TB_LIST_LEN; ++i) men[n++] = p.list[c][i] < 64 && p.list[c][i] >= 0 ? p.list[c][i] : 64;
    uint64_t best = ~0ull;
    for (int t = 0; t < (pawns ? 2 : 8); ++t) {
        auto map = [&](int s) {
            if (s >= 64) return 64;
            if (t & 1) s ^= 7;
            if (t & 2) s ^= 56;
            if (t & 4) s = ((s & 7) << 3) | (s >> 3);
            return s;
        };
        int m[TB_LIST_LEN * 2];
        for (int i = 0; i < n; ++i) m[i] = map(men[i]);
        for (int c = 0; c < 2; ++c)
            for (int g = 1; g < 6; ++g) {
                int* group = m + c * TB_LIST_LEN + TB_LIST_START[g];
                for (int i = 1; i < TB_LIST_SIZE[g]; ++i)
                    for (int j = i; j > 0 && group[j] < group[j - 1]; --j) std::swap(group[j], group[j - 1]);
            }
        uint64_t key = 0;
        for (int i = 0; i < n; ++i)
            if (m[i] < 64) key = key * 67 + uint64_t(m[i]) + 1;
        key = key * 67 + uint64_t(p.epSquare < 0 ? 0 : map(p.epSquare) + 1);
        best = std::min(best, key);
    }
    return best;
}

TbPlacement emptyPlacement() {
    TbPlacement p;
    for (auto& l : p.list)
        for (int& s : l) s = 64;
    p.epSquare = -1;
    return p;
}

uint32_t indexOf(int cls, int side, const TbPlacement& p) {
    return tbIndex(cls, side, p.list[0], p.list[1], p.epSquare, 0);
}

TEST(TbIndex, SizesOfTheFormatComeOut) {
    buildClassTable();
    struct Known {
        const char* name;
        uint32_t white, black;
    } known[] = {{"kpk", 81664, 84012},          {"knk", 26282, 28644},        {"kqk", 25629, 28644},
                 {"kpkp", 3863492, 3863492},     {"krkr", 1649196, 1649196},   {"kqqk", 698739, 873642},
                 {"kppkp", 84219361, 89391280},  {"kbnkp", 290989584, 0},      {"kqqkq", 41944320, 46912050}};
    for (const Known& k : known) {
        int c = classOf(k.name);
        ASSERT_NE(c, 0) << k.name;
        EXPECT_EQ(tbComputedSize(c, 0), k.white) << k.name;
        if (k.black) {
            EXPECT_EQ(tbComputedSize(c, 1), k.black) << k.name;
        }
    }
    // The class table carries exactly what the scheme spans, in row order.
    EXPECT_STREQ(tbClasses[1].name, "kpk");
    EXPECT_STREQ(tbClasses[35].name, "kqqk");
    EXPECT_STREQ(tbClasses[110].name, "kqqkq");
    for (int c = 1; c < TB_CLASS_COUNT; ++c) {
        EXPECT_EQ(tbClasses[c].number, uint64_t(c));
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(tbClasses[c].size[side], tbComputedSize(c, side)) << tbClassName(c) << side;
            EXPECT_NE(tbClasses[c].index[side], nullptr);
        }
    }
}

// Every legal 3-man position gets an index below the size; positions sharing
// an index are images of each other; decoding an index gives one of them.
TEST(TbIndex, ThreeManClassesAreNumberedOneToOne) {
    buildClassTable();
    for (int cls = 1; cls <= 5; ++cls) {
        bool pawns = tbClassMaterial(cls).pawns;
        int group = cls == 1 ? 5 : cls == 2 ? 4 : cls == 3 ? 3 : cls == 4 ? 2 : 1;  // kpk knk kbk krk kqk
        for (int side = 0; side < 2; ++side) {
            std::vector<uint64_t> byIndex(tbClasses[cls].size[side], 0);
            int legal = 0;
            for (int wk = 0; wk < 64; ++wk)
                for (int bk = 0; bk < 64; ++bk)
                    for (int s = 0; s < 64; ++s) {
                        TbPlacement p = emptyPlacement();
                        p.list[0][0] = wk, p.list[1][0] = bk, p.list[0][TB_LIST_START[group]] = s;
                        int df = std::abs((wk & 7) - (bk & 7)), dr = std::abs((wk >> 3) - (bk >> 3));
                        if (std::max(df, dr) <= 1 || !tbPlacementLegal(p, side)) continue;
                        ++legal;
                        uint32_t i = indexOf(cls, side, p);
                        ASSERT_LT(i, tbClasses[cls].size[side]) << tbClassName(cls);
                        uint64_t im = canonicalKey(p, pawns);
                        if (byIndex[i]) {
                            ASSERT_EQ(byIndex[i], im) << tbClassName(cls) << " index " << i;
                        }
                        byIndex[i] = im;
                        TbPlacement d;
                        ASSERT_TRUE(tbDecode(cls, side, i, d));
                        ASSERT_EQ(canonicalKey(d, pawns), im);
                        ASSERT_EQ(indexOf(cls, side, d), i);
                    }
            EXPECT_GT(legal, 0);
        }
    }
}

TEST(TbIndex, SampledLargerClassesStayInRangeAndDecodeBack) {
    buildClassTable();
    std::mt19937 rng(12345);
    for (int cls = 6; cls < TB_CLASS_COUNT; ++cls)
        for (int side = 0; side < 2; ++side) {
            uint32_t size = tbClasses[cls].size[side];
            int checked = 0;
            for (int k = 0; k < 4000 && checked < 300; ++k) {
                uint32_t i = uint32_t(rng() % size);
                TbPlacement p;
                if (!tbDecode(cls, side, i, p) || !tbPlacementLegal(p, side)) continue;
                ++checked;
                uint32_t again = indexOf(cls, side, p);
                ASSERT_LT(again, size) << tbClassName(cls);
                // A different index is only allowed for a mirror image stored twice.
                if (again != i) {
                    TbPlacement q;
                    ASSERT_TRUE(tbDecode(cls, side, again, q));
                    ASSERT_EQ(canonicalKey(p, tbClassMaterial(cls).pawns), canonicalKey(q, tbClassMaterial(cls).pawns))
                        << tbClassName(cls) << " " << i << " " << again;
                }
            }
            EXPECT_GT(checked, 0) << tbClassName(cls);
        }
}

TEST(TbIndex, MirrorImagesShareTheirIndex) {
    buildClassTable();
    int krkn = classOf("krkn");
    TbPlacement p = emptyPlacement();
    p.list[0][0] = 18, p.list[1][0] = 45, p.list[0][4] = 7, p.list[1][10] = 40;  // Kc3 Rh1 / Kf6 Na6
    // The same in the a1-h8 diagonal, and with files mirrored.
    for (int (*map)(int) : {+[](int s) { return ((s & 7) << 3) | (s >> 3); }, +[](int s) { return s ^ 7; }}) {
        TbPlacement q = p;
        for (auto& list : q.list)
            for (int& s : list)
                if (s < 64) s = map(s);
        for (int side = 0; side < 2; ++side) EXPECT_EQ(indexOf(krkn, side, p), indexOf(krkn, side, q));
    }
    // With colours exchanged, a pawn class is mirrored in the ranks.
    int kbpk = classOf("kbpk");
    TbPlacement w = emptyPlacement(), b = emptyPlacement();
    w.list[0][0] = 4, w.list[0][7] = 26, w.list[0][13] = 12, w.list[1][0] = 60;  // Ke1 Bc4 Pe2 / Ke8
    b.list[0][0] = 60, b.list[0][7] = 34, b.list[0][13] = 52, b.list[1][0] = 4;   // the same, black's
    EXPECT_EQ(tbIndex(kbpk, 0, w.list[0], w.list[1], -1, 0), tbIndex(kbpk, 0, b.list[0], b.list[1], -1, 1));
}

TEST(TbIndex, EnPassantPositionsHaveTheirOwnRange) {
    buildClassTable();
    int kpkp = classOf("kpkp");
    TbPlacement p = emptyPlacement();
    p.list[0][0] = 6, p.list[1][0] = 62, p.list[0][13] = 36, p.list[1][13] = 35;  // Kg1 Pe5 / Kg8 Pd5, d6 e.p.
    uint32_t plain = indexOf(kpkp, 0, p);
    p.epSquare = 43;
    uint32_t withEp = indexOf(kpkp, 0, p);
    EXPECT_LT(plain, withEp);
    EXPECT_LT(withEp, tbClasses[kpkp].size[0]);
    TbPlacement d;
    ASSERT_TRUE(tbDecode(kpkp, 0, withEp, d));
    EXPECT_GE(d.epSquare, 0);
    EXPECT_EQ(indexOf(kpkp, 0, d), withEp);
    // An en-passant square with no pawn to take is the ordinary position.
    p.epSquare = 44;
    EXPECT_EQ(indexOf(kpkp, 0, p), plain);
}

TEST(TbIndex, MalformedListsGiveNoIndex) {
    buildClassTable();
    int kqk = classOf("kqk");
    TbPlacement p = emptyPlacement();
    p.list[0][0] = 0, p.list[1][0] = 1, p.list[0][1] = 20;  // kings side by side
    EXPECT_EQ(indexOf(kqk, 0, p), TB_INDEX_NONE);
    p.list[1][0] = 30;
    p.list[0][1] = 64;  // the queen missing
    EXPECT_EQ(indexOf(kqk, 0, p), TB_INDEX_NONE);
    EXPECT_EQ(tbIndex(0, 0, p.list[0], p.list[1], -1, 0), TB_INDEX_NONE);
}

}  // namespace
