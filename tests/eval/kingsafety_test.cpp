// King safety: the material threshold, files around the king, heavy pieces
// on them, the pawn shelter and the mating patterns.
#include <gtest/gtest.h>
#include <thread>
#include "eval/boardview.h"
#include "eval/terms.h"
#include "tests/eval/evalfixture.h"

namespace {

using evalview::sq;

// The set-up counts a king away from home as castled on its wing; the
// king-side castling state can be forced instead (KEEP leaves it).
constexpr int KEEP = 99;
int safetyAt(const char* fen, int blackKingSide = KEEP) {
    EvalPosition p = setUp(fen);
    if (blackKingSide != KEEP) p.ns.castle[CS_BLACK_KING] = int16_t(blackKingSide);
    return kingSafety(p.ns);
}

TEST(EvalKingSafety, NeedsMoreThanAQueenAndMinorToAttack) {
    // Two rooks (5616) do not attack the bare black king; two rooks and a
    // bishop (7488) do. Black has nothing, so White's king is never attacked.
    EXPECT_EQ(safetyAt("6k1/8/8/8/8/8/PPPPPPPP/R3K2R w - - 0 1"), 0);
    EXPECT_GT(safetyAt("6k1/8/8/8/8/8/PPPPPPPP/R1B1K2R w - - 0 1"), 0);
}

TEST(EvalKingSafety, HeavyPiecesOnTheOpenFile) {
    // Black's g-file is open next to the king on h8: heavy pieces on it
    // press harder than the same pieces beside it, and more press more.
    int aside = safetyAt("7k/5p1p/8/8/8/8/8/RQ2K3 w - - 0 1");
    int one = safetyAt("7k/5p1p/8/8/8/8/8/1Q2K1R1 w - - 0 1");
    EXPECT_GT(one, aside);
    int allAside = safetyAt("7k/5p1p/8/8/8/1Q6/1R6/1R2K3 w - - 0 1");
    int all = safetyAt("7k/5p1p/8/8/8/6Q1/6R1/4K1R1 w - - 0 1");
    EXPECT_GT(all - allAside, one - aside);
}

TEST(EvalKingSafety, FilesOfAKingInTheCorner) {
    // A king on a8 looks at files a, b and c: a pawn on d7 changes nothing,
    // one on c7 closes a file.
    int bare = safetyAt("k7/8/8/8/8/8/8/1Q2K1R1 w - - 0 1");
    EXPECT_EQ(safetyAt("k7/3p4/8/8/8/8/8/1Q2K1R1 w - - 0 1"), bare);
    EXPECT_LT(safetyAt("k7/2p5/8/8/8/8/8/1Q2K1R1 w - - 0 1"), bare);
}

TEST(EvalKingSafety, Shelter) {
    EvalPosition home = setUp("6k1/5ppp/8/8/8/8/5PPP/6K1 w - - 0 1");
    EvalPosition pushed = setUp("6k1/5p1p/6p1/8/8/8/5PPP/6K1 w - - 0 1");
    use(home);
    int blackHome = shelterBlack(sq("g8"), home.ns);
    use(pushed);
    EXPECT_GT(blackHome, shelterBlack(sq("g8"), pushed.ns));  // the g-pawn one step further
    EXPECT_EQ(shelterBlack(sq("g2"), pushed.ns), 0);  // never on the first two ranks
    use(home);
    EXPECT_EQ(shelterWhite(sq("g1"), home.ns), blackHome);
    EXPECT_EQ(shelterWhite(sq("g7"), home.ns), 0);
    // An enemy pawn storming in front weakens the shelter when enemy pawns
    // weigh against it (the fitted weight says they rather block lines).
    WeightsGuard guard("king.shelter_enemy_pawn = 9");
    EvalPosition calm = setUp("6k1/5ppp/8/8/8/8/5P1P/6K1 w - - 0 1");
    int calmShelter = shelterWhite(sq("g1"), calm.ns);
    EvalPosition storm = setUp("6k1/5ppp/8/8/8/6p1/5P1P/6K1 w - - 0 1");
    EXPECT_LT(shelterWhite(sq("g1"), storm.ns), calmShelter);
}

// Each thread keeps the shelter counts it made: new weights and moved pawns
// show at once, as on a thread that kept none.
TEST(EvalKingSafety, KeptSheltersFollowWeightsAndPawns) {
    const char* fens[] = {"r1bq1rk1/pp3ppp/2n5/8/8/2N5/PP3PPP/R1BQ1RK1 w - - 0 1",
                          "r1bq1rk1/pp3p1p/2n3p1/8/8/2N3P1/PP3P1P/R1BQ1RK1 w - - 0 1",
                          "r2qk2r/ppp2ppp/2n5/8/8/2N5/PPP2PPP/R2QK2R w KQkq - 0 1",
                          "r2qk2r/p4ppp/2n5/1p6/8/2N5/PP3PPP/R2QK2R b KQkq - 0 1"};
    auto elsewhere = [](const char* fen) {
        int v = 0;
        std::thread([&] { v = safetyAt(fen); }).join();
        return v;
    };
    for (const char* weights : {"king.shelter_own_pawn = 11\nking.shelter_enemy_pawn = 3",
                                "king.shelter_own_pawn = 4\nking.shelter_enemy_pawn = -6"}) {
        WeightsGuard guard(weights);
        for (const char* fen : fens) {
            SCOPED_TRACE(fen);
            EXPECT_EQ(safetyAt(fen), elsewhere(fen));
        }
    }
}

TEST(EvalKingSafety, MatingPatternsAgainstTheCastledKing) {
    // Queen h6 and knight g5 against a king on h8 without its g7 pawn.
    int knightG5 = safetyAt("7k/5p1p/6pQ/6N1/8/8/PPP5/1K1R4 w - - 0 1", 1);
    int knightE4 = safetyAt("7k/5p1p/6pQ/8/4N3/8/PPP5/1K1R4 w - - 0 1", 1);
    EXPECT_GT(knightG5, knightE4);
    // With the king-side right lost and the king not castled there, no pattern.
    EXPECT_EQ(safetyAt("7k/5p1p/6pQ/6N1/8/8/PPP5/1K1R4 w - - 0 1", -1) -
                  safetyAt("7k/5p1p/6pQ/8/4N3/8/PPP5/1K1R4 w - - 0 1", -1),
              0);
    // A bishop on f6 after the g-pawn left g7, with White's queen on the board.
    int bishopF6 = safetyAt("6k1/5p1p/5Bp1/8/8/8/PPP5/1K1Q4 w - - 0 1", 1);
    int bishopD4 = safetyAt("6k1/5p1p/6p1/8/3B4/8/PPP5/1K1Q4 w - - 0 1", 1);
    EXPECT_GT(bishopF6, bishopD4);
}

}  // namespace
