// The table of evaluation weights: names and storage, the text form, and
// that a weight reaches the evaluation.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "tests/eval/evalfixture.h"

namespace {

int evaluateFen(const char* fen) {
    clearPawnHash();
    EvalPosition p = setUp(fen);
    return evaluate(p.side, use(p));
}

TEST(EvalParams, EveryEntryHasItsOwnNameAndStorage) {
    std::set<std::string> names;
    std::set<const int*> cells;
    int total = 0;
    for (int i = 0; i < EVAL_PARAM_COUNT; i++) {
        const EvalParam& p = EVAL_PARAMS[i];
        ASSERT_NE(p.name, nullptr);
        EXPECT_FALSE(std::string(p.name).empty());
        EXPECT_EQ(std::string(p.name).find_first_of(" =#\t"), std::string::npos) << p.name;
        EXPECT_TRUE(names.insert(p.name).second) << "twice: " << p.name;
        ASSERT_NE(p.values, nullptr) << p.name;
        EXPECT_GT(p.count, 0) << p.name;
        // Two entries on one cell would let the tuner move one weight twice.
        for (int k = 0; k < p.count; k++) EXPECT_TRUE(cells.insert(p.values + k).second) << p.name << " " << k;
        total += p.count;
        EXPECT_EQ(findEvalParam(p.name), &p);
    }
    EXPECT_EQ(findEvalParam("no.such.entry"), nullptr);
    EXPECT_GT(total, 12 * 64);  // the piece-square tables and the rest
}

TEST(EvalParams, TextRoundTripsAndBadTextChangesNothing) {
    WeightsGuard guard;
    const std::string original = formatEvalParams();
    const EvalParam* doubled = findEvalParam("pawn.doubled");
    const EvalParam* knight = findEvalParam("mobility.knight");
    ASSERT_TRUE(doubled && knight);
    doubled->values[0] = -12345;
    knight->values[8] = 77;
    const std::string changed = formatEvalParams();
    EXPECT_NE(changed, original);
    ASSERT_TRUE(parseEvalParams(original));
    EXPECT_EQ(formatEvalParams(), original);
    ASSERT_TRUE(parseEvalParams(changed));
    EXPECT_EQ(formatEvalParams(), changed);
    EXPECT_EQ(doubled->values[0], -12345);

    // A partial table with comments, blank lines and loose spacing sets only what it names.
    ASSERT_TRUE(parseEvalParams("# start\n\npawn.doubled=70   # was 68\n  bishop.pair =  160\n"));
    EXPECT_EQ(doubled->values[0], 70);
    EXPECT_EQ(findEvalParam("bishop.pair")->values[0], 160);
    EXPECT_EQ(knight->values[8], 77);

    const std::string before = formatEvalParams();
    for (const char* bad : {"pawn.doubled = 1\nno.such.entry = 3\n", "pawn.doubled = 1\nmobility.knight = 1 2 3\n",
                            "pawn.doubled = 1 2\n", "pawn.doubled = x\n", "pawn.doubled = 99999999999\n",
                            "pawn.doubled 5\n", "pawn doubled = 5\n", "= 5\n"}) {
        std::string error;
        EXPECT_FALSE(parseEvalParams(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(formatEvalParams(), before) << bad;
    }
    std::string error;
    parseEvalParams("pawn.doubled = 1\nbishop.pair = 1 2\n", &error);
    EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
}

// A weight the term reads moves the evaluation where the term applies, and
// only there.
TEST(EvalParams, AWeightReachesTheEvaluation) {
    WeightsGuard guard;
    const char* doubledPawns = "4k3/pp3ppp/8/8/8/4P3/P3P1PP/4K3 w - - 0 1";  // White's e-pawns doubled
    const char* noDoubled = "4k3/pp3ppp/8/8/8/8/P3PPPP/4K3 w - - 0 1";
    int doubledBefore = evaluateFen(doubledPawns), plainBefore = evaluateFen(noDoubled);
    findEvalParam("pawn.doubled")->values[0] += 200;
    EXPECT_LT(evaluateFen(doubledPawns), doubledBefore);
    EXPECT_EQ(evaluateFen(noDoubled), plainBefore);

    // The piece-square tables reach the evaluation through the root's blend.
    const char* knightEnding = "4k3/8/8/3N4/8/8/4P3/4K3 w - - 0 1";
    int knightBefore = evaluateFen(knightEnding);
    findEvalParam("pst.endgame.knight")->values[3 * 8 + 3] += 100;  // d5, rank 8 first
    EXPECT_GT(evaluateFen(knightEnding), knightBefore);

    // Read back from text, the old weights give the old evaluation.
    ASSERT_TRUE(parseEvalParams(guard.saved));
    EXPECT_EQ(evaluateFen(doubledPawns), doubledBefore);
    EXPECT_EQ(evaluateFen(knightEnding), knightBefore);
}

}  // namespace
