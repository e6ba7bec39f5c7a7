#include <gtest/gtest.h>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "eval/evaluate.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/transtable.h"
#include "search/worker.h"
#include "tests/eval/evalfixture.h"
#include "tests/search/searchfixture.h"

namespace {

// From the mover's side: the position with the passer, the promoting side to
// move, against the same position with the new queen, the other side to move.
struct Promotion {
    const char* before;
    const char* after;
};

// Unstoppable passers with no pieces on the board, the defending king out of
// the square; the promoting side's king far away or beside its pawn, and with
// a second pawn of either side.
const Promotion UNSTOPPABLE[] = {
    {"8/4P3/8/8/8/8/k7/7K w - - 0 1", "4Q3/8/8/8/8/8/k7/7K b - - 0 1"},
    {"8/P7/8/8/8/8/7k/K7 w - - 0 1", "Q7/8/8/8/8/8/7k/K7 b - - 0 1"},
    {"8/4P3/3K4/8/8/8/k7/8 w - - 0 1", "4Q3/8/3K4/8/8/8/k7/8 b - - 0 1"},
    {"8/3KP3/8/8/8/8/k7/8 w - - 0 1", "4Q3/3K4/8/8/8/8/k7/8 b - - 0 1"},
    {"8/4P3/8/8/8/8/k5P1/7K w - - 0 1", "4Q3/8/8/8/8/8/k5P1/7K b - - 0 1"},
    {"8/4P3/8/8/8/8/k6p/7K w - - 0 1", "4Q3/8/8/8/8/8/k6p/7K b - - 0 1"},
    {"k6K/8/8/8/8/8/4p3/8 b - - 0 1", "k6K/8/8/8/8/8/8/4q3 w - - 0 1"},
    {"8/K7/8/8/8/4k3/4p3/8 b - - 0 1", "8/K7/8/8/8/4k3/8/4q3 w - - 0 1"},
};

TEST(Passers, PromotedQueenOutscoresThePasser) {
    for (const Promotion& p : UNSTOPPABLE) {
        EvalPosition before = setUp(p.before);
        int pawn = evaluate(before.side, use(before));
        EvalPosition after = setUp(p.after);
        int queen = -evaluate(after.side, use(after));
        EXPECT_GT(pawn, 0) << p.before;
        EXPECT_GT(queen, pawn) << p.before;
    }
}

// Fresh tables and no book, one search to a fixed depth: whether it plays `expected`.
bool playsAt(const char* fen, int depth, const char* expected) {
    freshSearchState();
    EXPECT_GE(setupFromFen(game, fen), 0) << fen;
    std::string text = expected;
    uint32_t want = parseMove(&text[0], game.sideToMove);
    EXPECT_NE(want, 0u) << expected;
    PonderState ponder;
    return (think(game, depthBudget(depth), ponder) & 0xFFFF) == (want & 0xFFFF);
}

// A shallow search must not put off promoting (or pushing to the seventh) a
// passer nobody can stop: a later promotion in the quiescence search would
// otherwise look as good as one now.
TEST(Passers, UnstoppablePasserAdvancesAtEveryDepth) {
    const struct {
        const char* fen;
        const char* move;
    } cases[] = {
        {"8/4P3/8/8/8/8/k7/7K w - - 0 1", "e7e8q"},  {"7k/8/8/8/8/8/4p3/K7 b - - 0 1", "e2e1q"},
        {"8/P7/8/8/8/8/7k/K7 w - - 0 1", "a7a8q"},   {"K7/8/8/8/8/8/7p/k7 b - - 0 1", "h2h1q"},
        {"8/4P3/3K4/8/8/8/k7/8 w - - 0 1", "e7e8q"}, {"8/8/4P3/8/8/8/k7/7K w - - 0 1", "e6e7"},
        {"7k/8/8/8/8/3p4/8/K7 b - - 0 1", "d3d2"},
    };
    for (const auto& c : cases)
        for (int depth = 1; depth <= 8; depth++)
            EXPECT_TRUE(playsAt(c.fen, depth, c.move)) << c.fen << " depth " << depth;
}

}  // namespace
