// The evaluation tuner: data lines, scoring the set, and the local search.
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "board/game.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/worker.h"
#include "tests/eval/evalfixture.h"
#include "tools/lib/tuner.h"

namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(Tune, DataLines) {
    struct Case {
        const char* line;
        const char* fen;
        double result;
    };
    const Case good[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 | 1.0", START, 1},
        {"  rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1|0.5\r", START, 0.5},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 | 0", START, 0},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - c9 \"1-0\";",
         "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 1},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 [0-1]", START, 0},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 \"1/2-1/2\"", START, 0.5},
    };
    for (const Case& c : good) {
        std::string fen;
        double result = -1;
        EXPECT_TRUE(parseTuningLine(c.line, fen, result)) << c.line;
        EXPECT_EQ(fen, c.fen) << c.line;
        EXPECT_EQ(result, c.result) << c.line;
    }
    for (const char* bad : {"", "# comment | 1.0", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 | 2", " | 1.0",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 | 1-0-1"}) {
        std::string fen;
        double result;
        EXPECT_FALSE(parseTuningLine(bad, fen, result)) << bad;
    }
}

// Scores made group by group on shared tables, on one thread or two, are
// the ones a search of each position on its own gives.
TEST(Tune, SetScoresAreEachPositionsQuiescenceScore) {
    const char* fens[] = {
        START,
        "r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQ1RK1 w - - 0 8",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 b - - 0 1",
        "4k3/8/8/3N4/8/8/4P3/4K3 b - - 0 1",
        "r4rk1/1pp2ppp/p1n5/4p3/2B1P1b1/2NP4/PPP3PP/R4RK1 b - - 0 1",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
        "rnbqkb1r/pppp1ppp/5n2/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    };
    TuningSet set;
    for (int round = 0; round < 8; round++)  // enough positions for two threads per group
        for (const char* fen : fens) ASSERT_TRUE(addTuningPosition(set, fen, 0.5)) << fen;
    EXPECT_FALSE(addTuningPosition(set, "not a position", 1));
    sortTuningSet(set);

    std::vector<int> one, two;
    scoreTuningSet(set, 1, one);
    scoreTuningSet(set, 2, two);
    EXPECT_EQ(one, two);

    std::vector<int> expected;
    auto w = std::make_unique<SearchWorker>();
    for (const TuningPosition& p : set.positions) {
        // Find the position's FEN again by its placement.
        for (const char* fen : fens) {
            ASSERT_EQ(setupFromFen(game, fen), 0);
            bool same = game.sideToMove == p.side;
            for (int s = 0; s < 32 && same; s++) same = game.board.slotSquare[s] == p.slotSquare[s];
            if (!same) continue;
            clearPawnHash();
            Board b = game.board;
            computeKeys(game.sideToMove, b);
            prepareEvaluation(b);
            int score = quiescenceScore(*w, b, game.sideToMove);
            expected.push_back(game.sideToMove ? -score : score);
            break;
        }
    }
    EXPECT_EQ(one, expected);
}

// The static scoring keeps the positions where no capture changes the score
// and gives them the scores the quiescence search gave. The results tell
// the positions apart.
TEST(Tune, QuietPositionsKeepTheirScoresWithoutTheSearch) {
    TuningSet set;
    ASSERT_TRUE(addTuningPosition(set, START, 0.5));
    ASSERT_TRUE(addTuningPosition(set, "3qk3/8/8/8/8/8/8/3QK3 w - - 0 1", 1));  // the queen hangs
    ASSERT_TRUE(addTuningPosition(set, "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 0));
    sortTuningSet(set);
    std::vector<int> searched;
    scoreTuningSet(set, 1, searched);
    std::vector<int> expected;
    for (size_t i = 0; i < set.positions.size(); i++)
        if (set.positions[i].result != 1) expected.push_back(searched[i]);

    EXPECT_EQ(keepQuietPositions(set, 2), 1);
    ASSERT_EQ(set.positions.size(), 2u);
    for (const TuningPosition& p : set.positions) EXPECT_NE(p.result, 1);
    std::vector<int> scores;
    scoreTuningSet(set, 1, scores);
    EXPECT_EQ(scores, expected);
}

TEST(Tune, ErrorAndScaleFit) {
    TuningSet set;
    ASSERT_TRUE(addTuningPosition(set, START, 1));
    ASSERT_TRUE(addTuningPosition(set, START, 0));
    std::vector<int> scores = {960, -960};
    EXPECT_DOUBLE_EQ(tuningError(set, scores, 0), 0.25);
    // Scores that agree with the results fit best with a steep sigmoid...
    double steep = fitScale(set, scores);
    EXPECT_LT(tuningError(set, scores, steep), 0.01);
    // ...and scores that contradict them with a flat one.
    scores = {-960, 960};
    EXPECT_NEAR(tuningError(set, scores, fitScale(set, scores)), 0.25, 1e-3);
}

TEST(Tune, LocalSearchOnASampleDoesNotRaiseTheError) {
    WeightsGuard guard;
    TuningSet set;
    std::string error;
    ASSERT_TRUE(loadTuningSet(VELMORA_SOURCE_DIR "/tools/tune-sample.txt", 300, set, error)) << error;
    ASSERT_EQ(set.positions.size(), 300u);
    EXPECT_EQ(set.refused, 0);

    std::vector<TunedWeight> weights;
    EXPECT_FALSE(selectWeights("(", weights, error));
    ASSERT_TRUE(selectWeights("^(pawn\\.doubled|pawn\\.isolated|bishop\\.pair|rook\\.open_file)$", weights, error));
    ASSERT_EQ(weights.size(), 4u);

    std::vector<int> scores;
    scoreTuningSet(set, 2, scores);
    LocalSearchOptions options;
    options.threads = 2;
    options.passes = 2;
    options.k = fitScale(set, scores);
    const double before = tuningError(set, scores, options.k);
    int reports = 0;
    double reported = 0;
    double after = localSearch(set, weights, options, [&](int, int, double e, int) {
        reports++;
        reported = e;
    });
    EXPECT_EQ(reports, 2);
    EXPECT_EQ(after, reported);
    EXPECT_LE(after, before);
    // The weights left in the table are the ones that give that error.
    scoreTuningSet(set, 1, scores);
    EXPECT_DOUBLE_EQ(tuningError(set, scores, options.k), after);

    // A change that moves fewer scores than asked is not kept.
    const std::string fitted = formatEvalParams();
    options.minPositions = int(set.positions.size()) + 1;
    int changes = 0;
    EXPECT_EQ(localSearch(set, weights, options, [&](int, int, double, int changed) { changes += changed; }), after);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(formatEvalParams(), fitted);
}

}  // namespace

TEST(Tune, GameFileGivesQuietPositionsWithTheResult) {
    const std::string path = ::testing::TempDir() + "tune_games.pgn";
    {
        std::ofstream out(path);
        // Past the eight opening plies: d4 kept, two captures, Bb4+ kept, the
        // check's answer and the capturing replies skipped, d5 kept.
        out << "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. c3 Nf6 5. d4 exd4 6. cxd4 Bb4+\n"
               "7. Bd2 Bxd2+ 8. Nbxd2 d5 1-0\n\n"
               "[Result \"*\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. c3 Nf6 5. d4 *\n";
    }
    TuningSet set;
    std::string error;
    ASSERT_TRUE(loadTuningSet(path, 0, set, error)) << error;
    EXPECT_EQ(set.refused, 1);
    ASSERT_EQ(set.positions.size(), 3u);
    int blackToMove = 0, fifty = 0;
    for (const TuningPosition& p : set.positions) {
        EXPECT_EQ(p.result, 1.0f);
        blackToMove += p.side;
        fifty += p.fiftyCount;
    }
    EXPECT_EQ(blackToMove, 2);
    // The fifty-move counts the evaluation reads: one knight move since 4. c3
    // before d4, none after the captures.
    EXPECT_EQ(fifty, 1);
    std::remove(path.c_str());
    EXPECT_FALSE(loadTuningSet(path, 0, set, error));
}
