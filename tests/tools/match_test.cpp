// The match runner: its statistics, its referee, its opening files, and
// whole matches against engines that misbehave.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>
#include "tools/lib/matchstats.h"
#include "tools/lib/openings.h"
#include "tools/lib/pgnreader.h"
#include "tools/lib/referee.h"

// Reference values below were computed apart from this code: the margins by
// hand from the score's standard error, the log-likelihood ratios by the
// exact method (the maximum-likelihood pentanomial distributions at the two
// hypotheses' means), which the runner's normal approximation must follow.

TEST(MatchStats, EloAndMarginFromGames) {
    EloEstimate e = eloFromGames(30, 50, 20);
    EXPECT_NEAR(e.score, 0.55, 1e-12);
    EXPECT_NEAR(e.elo, 34.86, 0.01);
    EXPECT_NEAR(e.margin, 48.47, 0.01);
    // Four times the games at the same score: half the margin, or nearly.
    EloEstimate more = eloFromGames(120, 200, 80);
    EXPECT_NEAR(more.elo, 34.86, 0.01);
    EXPECT_NEAR(more.margin, 24.11, 0.01);
    // An even score is no difference at all, whatever the draws.
    EXPECT_NEAR(eloFromGames(7, 6, 7).elo, 0.0, 1e-9);
    EXPECT_LT(eloFromGames(20, 0, 30).elo, 0);
    // A clean sweep has no finite Elo and no margin; no games, nothing.
    EloEstimate sweep = eloFromGames(10, 0, 0);
    EXPECT_TRUE(std::isinf(sweep.elo) && sweep.elo > 0);
    EXPECT_TRUE(std::isnan(sweep.margin));
    EXPECT_TRUE(std::isnan(eloFromGames(0, 0, 0).margin));
    EXPECT_EQ(eloText(sweep), "+inf");
}

TEST(MatchStats, EloFromPairs) {
    EloEstimate e = eloFromPairs({5, 30, 40, 25, 3});
    EXPECT_NEAR(e.elo, -15.19, 0.01);
    EXPECT_NEAR(e.margin, 30.83, 0.01);
    EXPECT_NEAR(scoreFromElo(eloFromScore(0.3)), 0.3, 1e-12);
}

TEST(MatchStats, SprtLlrFollowsTheExactRatio) {
    struct Case {
        Pentanomial pairs;
        double elo0, elo1, exact;
    } cases[] = {
        {{50, 600, 1900, 650, 60}, 0, 5, 1.2825},
        {{20, 300, 1000, 280, 10}, 0, 5, -4.1899},
        {{100, 800, 2000, 700, 90}, 0, 5, -8.0956},
        {{5, 30, 40, 25, 3}, -10, 10, -1.2267},
    };
    for (const Case& c : cases) {
        double llr = sprtLlr(c.pairs, c.elo0, c.elo1);
        EXPECT_NEAR(llr, c.exact, 0.02 * std::abs(c.exact) + 0.01) << c.pairs[0] << " " << c.pairs[1];
    }
    // Samples without spread still decide: a sweep for H1, pairs all
    // drawn for H0. Too few pairs are no evidence, however one-sided.
    SprtBounds b = sprtBounds(0.05, 0.05);
    EXPECT_GT(sprtLlr({0, 0, 0, 0, 20}, 0, 5), b.upper);
    EXPECT_LT(sprtLlr({0, 0, 20, 0, 0}, 0, 5), b.lower);
    EXPECT_EQ(sprtLlr({0, 0, 0, 0, 0}, 0, 5), 0);
    EXPECT_EQ(sprtLlr({0, 1, 0, 0, 0}, -5, 5), 0);
    EXPECT_EQ(sprtLlr({0, 0, 0, 0, 19}, 0, 5), 0);
    EXPECT_NEAR(b.lower, -2.9444, 1e-4);
    EXPECT_NEAR(b.upper, 2.9444, 1e-4);
}

static void playAll(Referee& r, std::initializer_list<const char*> moves) {
    for (const char* m : moves) ASSERT_TRUE(r.play(m)) << m;
}

TEST(MatchReferee, EndsGamesByTheRules) {
    Referee r;
    // Fool's mate.
    playAll(r, {"f2f3", "e7e5", "g2g4"});
    std::string san;
    ASSERT_TRUE(r.play("d8h4", &san));
    EXPECT_EQ(san, "Qh4#");
    EXPECT_EQ(r.end(), GameEnd::MATE);
    EXPECT_FALSE(r.play("a2a3")) << "no move after the end";

    ASSERT_TRUE(r.setup("7k/5Q2/6K1/8/8/8/8/8 w - - 0 1"));
    ASSERT_TRUE(r.play("f7f8", &san));
    EXPECT_EQ(san, "Qf8#");
    ASSERT_TRUE(r.setup("7k/4Q3/6K1/8/8/8/8/8 w - - 0 1"));
    ASSERT_TRUE(r.play("e7f7"));
    EXPECT_EQ(r.end(), GameEnd::STALEMATE);

    // King and knight against a lone king once the rook is taken.
    ASSERT_TRUE(r.setup("4k3/8/8/8/8/8/3r4/3NK3 w - - 0 1"));
    ASSERT_TRUE(r.play("e1d2"));
    EXPECT_EQ(r.end(), GameEnd::NO_MATERIAL);

    // The fifty-move rule counts from the FEN's half-move field.
    ASSERT_TRUE(r.setup("4k3/8/8/8/8/8/8/R3K3 w - - 98 60"));
    ASSERT_TRUE(r.play("a1a2"));
    EXPECT_EQ(r.end(), GameEnd::NONE);
    ASSERT_TRUE(r.play("e8d8"));
    EXPECT_EQ(r.end(), GameEnd::FIFTY_MOVES);
    // A pawn move restarts the count.
    ASSERT_TRUE(r.setup("4k3/8/8/8/8/8/P7/4K3 w - - 99 60"));
    ASSERT_TRUE(r.play("a2a3"));
    EXPECT_EQ(r.end(), GameEnd::NONE);
    EXPECT_EQ(r.fen(), "4k3/8/8/8/8/P7/8/4K3 b - - 0 60");
}

TEST(MatchReferee, ThreefoldRepetitionCountsTheStartPosition) {
    Referee r;
    // The initial position is on the board for the third time after the
    // second knight dance: a draw, though no earlier move made it.
    playAll(r, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1"});
    EXPECT_EQ(r.end(), GameEnd::NONE);
    ASSERT_TRUE(r.play("f6g8"));
    EXPECT_EQ(r.end(), GameEnd::REPETITION);

    // Lost castling rights make the same placement another position.
    ASSERT_TRUE(r.setup("r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1"));
    playAll(r, {"h1h2", "a8a7", "h2h1", "a7a8", "e1e2", "e8e7", "e2e1", "e7e8"});
    EXPECT_EQ(r.end(), GameEnd::NONE) << "twice without rights is not three times";
    playAll(r, {"e1e2", "e8e7", "e2e1"});
    ASSERT_TRUE(r.play("e7e8"));
    EXPECT_EQ(r.end(), GameEnd::REPETITION);
}

TEST(MatchReferee, RefusesIllegalMovesAndWritesNotation) {
    Referee r;
    for (const char* bad : {"e2e5", "e7e5", "a1a1", "e2", "e2e4x", "0000", "", "Nf3"}) EXPECT_FALSE(r.play(bad)) << bad;
    EXPECT_EQ(r.fen(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1") << "nothing changed";
    EXPECT_TRUE(r.play("Nf3", nullptr, true)) << "algebraic notation when loose";
    EXPECT_EQ(r.lastMoveText(), "g1f3");

    std::string san;
    ASSERT_TRUE(r.setup("r3k2r/1P6/8/3pP3/8/8/8/R3K2R w KQkq d6 0 1"));
    ASSERT_TRUE(r.play("e5d6", &san));
    EXPECT_EQ(san, "exd6");
    EXPECT_EQ(r.fen(), "r3k2r/1P6/3P4/8/8/8/8/R3K2R b KQkq - 0 1");
    EXPECT_FALSE(r.play("e8c8")) << "c8 is attacked";
    ASSERT_TRUE(r.play("e8g8", &san));
    EXPECT_EQ(san, "O-O");
    EXPECT_FALSE(r.play("b7a8")) << "a promotion names its piece";
    ASSERT_TRUE(r.play("b7a8N", &san));
    EXPECT_EQ(san, "bxa8=N");
    EXPECT_EQ(r.lastMoveText(), "b7a8n");
    ASSERT_TRUE(r.play("f8f1", &san));
    EXPECT_EQ(san, "Rf1+");
    EXPECT_FALSE(r.play("e1g1")) << "no castling out of check";
    ASSERT_TRUE(r.play("h1f1", &san));
    EXPECT_EQ(san, "Rxf1");
    // Positions the rules refuse: no kings; the side not to move in check.
    EXPECT_FALSE(r.setup("8/8/8/8/8/8/8/8 w - - 0 1"));
    EXPECT_FALSE(r.setup("7k/8/5Q2/6K1/8/8/8/8 w - - 0 1"));
}

// Files of this process alone (other test runs share the directory),
// removed at exit.
static std::string tempPath(const std::string& name) {
    static struct Files {
        std::vector<std::string> paths;
        ~Files() {
            for (const std::string& p : paths) std::remove(p.c_str());
        }
    } files;
    files.paths.push_back(testing::TempDir() + "match" + std::to_string(getpid()) + "_" + name);
    return files.paths.back();
}

static std::string writeTemp(const std::string& name, const std::string& text) {
    std::string path = tempPath(name);
    std::ofstream(path) << text;
    return path;
}

TEST(MatchOpenings, ReadsEpdAndPgn) {
    EXPECT_EQ(fenFromEpd("4k3/8/8/8/8/8/8/4K3 b - - hmvc 7; fmvn 30; id \"x\";"), "4k3/8/8/8/8/8/8/4K3 b - - 7 30");
    EXPECT_EQ(fenFromEpd("4k3/8/8/8/8/8/8/4K3 w - - 3 12"), "4k3/8/8/8/8/8/8/4K3 w - - 3 12");
    EXPECT_EQ(fenFromEpd("4k3/8/8/8/8/8/8/4K3 w - - bm Kd2;"), "4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(fenFromEpd("4k3/8/8/8/8/8/8/4K3 w"), "");

    std::vector<Opening> o;
    std::string error;
    std::string epd =
        writeTemp("openings.epd",
                  "# balanced\n\nrnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - hmvc 0; fmvn 2;\n"
                  "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\n");
    ASSERT_TRUE(loadOpenings(epd, o, &error)) << error;
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].fen, "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2");
    EXPECT_TRUE(o[0].moves.empty());

    o.clear();
    std::string pgn = writeTemp("openings.pgn",
                                "[Event \"a\"]\n\n1. e4 e5 2. Nf3 {main} (2. f4) Nc6 *\n\n"
                                "[Event \"b\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1. e4 Kd7 *\n");
    ASSERT_TRUE(loadOpenings(pgn, o, &error)) << error;
    ASSERT_EQ(o.size(), 2u);
    EXPECT_EQ(o[0].fen, "");
    EXPECT_EQ(o[0].moves, (std::vector<std::string>{"e2e4", "e7e5", "g1f3", "b8c6"}));
    EXPECT_EQ(o[1].moves, (std::vector<std::string>{"e2e4", "e8d7"}));

    // A broken opening is named, not played.
    std::string bad = writeTemp("bad.epd", "4k3/8/8/8/8/8/8/4K3 w - - 0 1\n4k3/8/8/8 w\n");
    EXPECT_FALSE(loadOpenings(bad, o, &error));
    EXPECT_NE(error.find("_bad.epd:2"), std::string::npos) << error;
    std::string badPgn = writeTemp("bad.pgn", "1. e4 e5 2. Ke3 *\n");
    EXPECT_FALSE(loadOpenings(badPgn, o, &error));
    std::string overPgn = writeTemp("over.pgn", "1. f3 e5 2. g4 Qh4# 0-1\n");
    EXPECT_FALSE(loadOpenings(overPgn, o, &error));
    EXPECT_NE(error.find("already over"), std::string::npos) << error;
    EXPECT_FALSE(loadOpenings(tempPath("missing.epd"), o, &error));
}

// Random plies after an opening: legal, as many as asked, the same for the
// same seed, and never a line that ends the game.
TEST(MatchOpenings, RandomPliesExtendTheOpening) {
    Opening o;
    o.moves = {"e2e4", "e7e5"};
    Opening a = extendOpening(o, 6, 7), b = extendOpening(o, 6, 7), c = extendOpening(o, 6, 8);
    ASSERT_EQ(a.moves.size(), 8u);
    EXPECT_EQ(a.moves, b.moves);
    EXPECT_NE(a.moves, c.moves);
    Referee r;
    ASSERT_TRUE(r.setup(""));
    for (const std::string& m : a.moves) EXPECT_TRUE(r.play(m)) << m;
    EXPECT_EQ(r.end(), GameEnd::NONE);

    // No legal move at all (stalemate): the opening stays as it is.
    Opening bare;
    bare.fen = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1";
    EXPECT_TRUE(extendOpening(bare, 2, 1).moves.empty());
}

// Runs the match program; its standard output and exit status.
static std::string runMatch(const std::string& args, int* status) {
    std::string command = std::string(VELMORA_MATCH_BINARY) + " " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    int s = pclose(p);
    *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

static std::string ourEngine(const std::string& name) {
    // Run from an empty directory: no book moves.
    return "--engine \"cmd=" + std::string(VELMORA_BINARY) + " name=" + name + " dir=" + testing::TempDir() + "\"";
}

TEST(MatchRunner, PlaysOurEngineAgainstItselfAndWritesPgn) {
    std::string pgn = tempPath("selfplay.pgn");
    std::remove(pgn.c_str());
    std::string epd = writeTemp("two.epd",
                                "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\n"
                                "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1\n");
    int status = 0;
    std::string out = runMatch(ourEngine("one") + " " + ourEngine("two") +
                                   " --nodes 2000 --games 4 --concurrency 2 "
                                   "--openings " +
                                   epd + " --maxmoves 30 --pgnout " + pgn,
                               &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Finished: 4 games"), std::string::npos) << out;
    EXPECT_NE(out.find("Score of one vs two:"), std::string::npos) << out;
    EXPECT_NE(out.find("one: 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 0 hangs"), std::string::npos);
    // Every game replays legally from its FEN tag, and its result is the
    // one the rules or the move limit give.
    std::ifstream in(pgn);
    PgnGame game;
    int games = 0;
    while (readPgnGame(in, game)) {
        games++;
        Referee r;
        ASSERT_NE(game.tag("FEN"), nullptr);
        ASSERT_TRUE(r.setup(*game.tag("FEN")));
        for (const std::string& m : game.moves) ASSERT_TRUE(r.play(m, nullptr, true)) << m;
        if (r.end() == GameEnd::MATE) {
            EXPECT_EQ(game.result, r.sideToMove() ? "1-0" : "0-1");
        } else {
            EXPECT_EQ(game.result, "1/2-1/2");
        }
        if (r.end() == GameEnd::NONE) {
            EXPECT_EQ(*game.tag("Termination"), "adjudication");
        }
    }
    EXPECT_EQ(games, 4);
    std::ifstream again(pgn);
    std::stringstream text;
    text << again.rdbuf();
    EXPECT_NE(text.str().find("[White \"two\"]"), std::string::npos) << "colours swap";
}

// A pair shares its opening and random line; without repeats every game
// has its own.
TEST(MatchRunner, RandomPliesPerPairOrPerGame) {
    std::string epd = writeTemp("pair.epd",
                                "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\n"
                                "r3k3/8/8/8/8/8/8/4K2R w Kq - 0 1\n");
    for (bool repeat : {true, false}) {
        std::string pgn = tempPath("pairs.pgn");
        std::remove(pgn.c_str());
        int status = 0;
        std::string out =
            runMatch(ourEngine("one") + " " + ourEngine("two") + " --nodes 500 --games 2 --concurrency 1 --openings " +
                         epd + " --random-plies 2 --maxmoves 3 --pgnout " + pgn + (repeat ? "" : " --no-repeat"),
                     &status);
        ASSERT_EQ(status, 0) << out;
        std::ifstream in(pgn);
        std::vector<PgnGame> games(2);
        ASSERT_TRUE(readPgnGame(in, games[0]) && readPgnGame(in, games[1]));
        ASSERT_TRUE(games[0].tag("FEN") && games[1].tag("FEN"));
        ASSERT_GE(games[0].moves.size(), 2u);
        ASSERT_GE(games[1].moves.size(), 2u);
        bool same = *games[0].tag("FEN") == *games[1].tag("FEN") && games[0].moves[0] == games[1].moves[0] &&
                    games[0].moves[1] == games[1].moves[1];
        EXPECT_EQ(same, repeat);
    }
}

TEST(MatchRunner, NamesTheEngineThatFails) {
    std::string fake = std::string(VELMORA_SOURCE_DIR) + "/tests/tools/fake_engine.sh";
    struct Case {
        const char *mode, *limit, *said, *count;
    } cases[] = {
        {"illegal", "--nodes 2000", "(bad) makes an illegal move: e2e5", "bad: 2 illegal moves, 0 time"},
        {"crash", "--nodes 2000", "(bad) crashed (killed by signal 11)", "0 time losses, 2 crashes"},
        {"disconnect", "--nodes 2000", "(bad) disconnects (exited with status 0)", "0 crashes, 2 disconnects"},
        {"hang", "--tc 0.3+0", "(bad) loses on time", "bad: 0 illegal moves, 2 time losses"},
        {"hang", "--nodes 2000 --movetimeout 0.3", "(bad) hangs: no move within", "0 disconnects, 2 hangs"},
    };
    for (const Case& c : cases) {
        int status = 0;
        std::string out = runMatch(ourEngine("good") + " --engine \"cmd=" + fake + " arg=" + c.mode + " name=bad\" " +
                                       c.limit + " --games 2 --concurrency 2",
                                   &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find(c.said), std::string::npos) << c.mode << "\n" << out;
        EXPECT_NE(out.find(c.count), std::string::npos) << c.mode << "\n" << out;
        EXPECT_NE(out.find("Score of good vs bad: 2 - 0 - 0"), std::string::npos) << out;
        EXPECT_NE(out.find("good: 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 0 hangs"),
                  std::string::npos)
            << out;
    }
    // An engine that never starts stops the match at once.
    int status = 0;
    std::string out =
        runMatch(ourEngine("good") + " --engine \"cmd=/nonexistent/engine name=none\" --nodes 1000", &status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_NE(out.find("none does not start"), std::string::npos) << out;
}

TEST(MatchRunner, AdjudicatesByAgreedScores) {
    // Three queens up: both engines see it at once, so a one-move agreement
    // ends the game for the side behind.
    std::string won = writeTemp("won.epd", "4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1\n");
    int status = 0;
    std::string out = runMatch(ourEngine("one") + " " + ourEngine("two") + " --nodes 2000 --games 2 --openings " + won +
                                   " --resign movecount=1 score=1000",
                               &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Game 1: one - two 1-0 {Black (two) loses by adjudication (scores agree)}"), std::string::npos)
        << out;
    EXPECT_NE(out.find("Game 2: two - one 1-0 {Black (one) loses by adjudication (scores agree)}"), std::string::npos)
        << out;
    // Scores both within the band from the given move on: a draw.
    std::string level = writeTemp("level.epd", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\n");
    out = runMatch(ourEngine("one") + " " + ourEngine("two") + " --nodes 2000 --games 2 --openings " + level +
                       " --draw movenumber=3 movecount=2 score=100000",
                   &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Score of one vs two: 0 - 0 - 2"), std::string::npos) << out;
    EXPECT_NE(out.find("Draw by adjudication (scores agree)"), std::string::npos) << out;
}

// Lines of the --debug transcript that one engine got ("< ...") and gave
// ("> ..."), in order, without the times.
static std::vector<std::string> transcriptOf(const std::string& out, const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.find(' ');
        if (at == std::string::npos || line.compare(at + 1, name.size() + 1, name + " ") != 0) continue;
        std::string rest = line.substr(at + name.size() + 2);
        if (rest.compare(0, 2, "< ") == 0 || rest.compare(0, 2, "> ") == 0) lines.push_back(rest);
    }
    return lines;
}

TEST(MatchRunner, PondersWhenAsked) {
    // Both engines play the same scripted game and name the reply they
    // expect; White expects 2... Nf6 where 2... Nc6 comes. Each engine leaves
    // (a disconnect) on ponderhit or stop while not pondering.
    std::string fake = std::string(VELMORA_SOURCE_DIR) + "/tests/tools/fake_engine.sh";
    auto engine = [&](const char* mode, const char* name) {
        return "--engine \"cmd=" + fake + " arg=" + mode + " name=" + name + "\" ";
    };
    int status = 0;
    std::string out = runMatch(engine("ponder", "a") + engine("ponder", "b") +
                                   "--tc 10+0 --ponder --games 2 --concurrency 1 --maxmoves 3 --debug",
                               &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Game 1: a - b 1/2-1/2 {Draw by adjudication (move limit)}"), std::string::npos) << out;
    EXPECT_NE(out.find("Game 2: b - a 1/2-1/2 {Draw by adjudication (move limit)}"), std::string::npos) << out;
    for (const char* name : {"a", "b"})
        EXPECT_NE(out.find(std::string(name) + ": 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 0 hangs"),
                  std::string::npos)
            << out;
    std::vector<std::string> a = transcriptOf(out, "a");
    auto count = [&](const std::string& prefix) {
        return std::count_if(a.begin(), a.end(),
                             [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
    };
    EXPECT_EQ(count("< setoption name Ponder value true"), 1);
    // As White: a hit on 1... e5, a miss on 2... Nc6, a stop when 3... Nf6
    // reaches the move limit; as Black: hits on 2. Bc4 and 3. Qh5.
    EXPECT_EQ(count("< go ponder wtime "), 5);
    EXPECT_EQ(count("< ponderhit"), 3);
    EXPECT_EQ(count("< stop"), 2);
    // The miss: the search is stopped, its move thrown away, and the engine
    // is asked afresh about the position on the board.
    const std::vector<std::string> miss = {
        "< position startpos moves e2e4 e7e5 f1c4 g8f6", "< go ponder", "< stop", "> bestmove 0000",
        "< position startpos moves e2e4 e7e5 f1c4 b8c6", "< go wtime"};
    auto found = std::search(
        a.begin(), a.end(), miss.begin(), miss.end(),
        [](const std::string& line, const std::string& start) { return line.compare(0, start.size(), start) == 0; });
    EXPECT_NE(found, a.end()) << out;
    // The game ended while White pondered: stopped before the next game.
    const std::vector<std::string> end = {"< stop", "> bestmove 0000", "< ucinewgame"};
    EXPECT_NE(std::search(a.begin(), a.end(), end.begin(), end.end()), a.end()) << out;

    // An engine that never answers stop hangs, during the game or after it.
    struct Case {
        const char *limit, *said;
    } cases[] = {
        {"", "Game 2: b - a 0-1 {White (b) does not answer stop}"},
        {"--maxmoves 2", "Game 2: b - a 1/2-1/2 {Draw by adjudication (move limit); White (b) does not answer stop}"},
    };
    for (const Case& c : cases) {
        out = runMatch(engine("ponder", "a") + engine("ponderhang", "b") +
                           "--tc 10+0 --ponder --games 2 --concurrency 1 --movetimeout 0.3 " + c.limit,
                       &status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
        EXPECT_NE(out.find("b: 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 1 hangs"), std::string::npos)
            << out;
        EXPECT_NE(out.find("a: 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 0 hangs"), std::string::npos)
            << out;
    }
    // An xboard engine ponders by itself: it is told "hard" and, once it
    // plays its side, gets the opponent's move alone ("force" would end its
    // ponder search).
    out = runMatch(ourEngine("uci") + " --engine \"cmd=" + std::string(VELMORA_BINARY) + " name=xb proto=xboard dir=" +
                       testing::TempDir() + "\" --tc 1+0.01 --ponder --games 2 --concurrency 1 --maxmoves 4 --debug",
                   &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Finished: 2 games"), std::string::npos) << out;
    for (const char* name : {"uci", "xb"})
        EXPECT_NE(out.find(std::string(name) + ": 0 illegal moves, 0 time losses, 0 crashes, 0 disconnects, 0 hangs"),
                  std::string::npos)
            << out;
    std::vector<std::string> xb = transcriptOf(out, "xb");
    EXPECT_EQ(std::count(xb.begin(), xb.end(), "< hard"), 2);
    EXPECT_EQ(std::count(xb.begin(), xb.end(), "< easy"), 0);
    EXPECT_EQ(std::count(xb.begin(), xb.end(), "< go"), 2) << "once a game";
    out = runMatch(engine("ponder", "a") + engine("ponder", "b") + "--nodes 100 --ponder", &status);
    EXPECT_EQ(status, 2) << out;
    EXPECT_NE(out.find("--ponder needs --tc"), std::string::npos) << out;
}
