#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include "board/game.h"
#include "book/book.h"
#include "engine/epdsuite.h"
#include "engine/switches.h"
#include "filetest_util.h"
#include "search/driver.h"
#include "search/transtable.h"

namespace {

uint32_t squares(const char* s) {
    return uint32_t((s[0] - 'a') + 8 * (s[1] - '1')) | (uint32_t((s[2] - 'a') + 8 * (s[3] - '1')) << 6);
}

TEST(EpdLine, FieldsOperationsAndQuotedStrings) {
    EpdPosition p;
    std::string error;
    ASSERT_EQ(parseEpdLine("r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - bm Qxf7# ; "
                           "am Ng5 h5f3;id \"WAC; one\"; c0 \"a \\\"comment\";",
                           p, &error),
              EPD_POSITION);
    EXPECT_EQ(p.fen, "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -");
    EXPECT_EQ(p.bestMoves, std::vector<std::string>{"Qxf7#"});
    EXPECT_EQ(p.avoidMoves, (std::vector<std::string>{"Ng5", "h5f3"}));
    EXPECT_EQ(p.id, "WAC; one");

    // A full FEN keeps its counters; no operations at all is still a position.
    ASSERT_EQ(parseEpdLine("4k3/8/8/8/8/8/8/4K3 b - - 12 40 bm Kd7;", p, &error), EPD_POSITION);
    EXPECT_EQ(p.fen, "4k3/8/8/8/8/8/8/4K3 b - - 12 40");
    EXPECT_EQ(p.bestMoves, std::vector<std::string>{"Kd7"});
    ASSERT_EQ(parseEpdLine("  4k3/8/8/8/8/8/8/4K3 w - -\r", p, &error), EPD_POSITION);
    EXPECT_TRUE(p.bestMoves.empty() && p.avoidMoves.empty());

    for (const char* skip : {"", "   \t", "# a comment", "; another"})
        EXPECT_EQ(parseEpdLine(skip, p, &error), EPD_SKIP);
    EXPECT_EQ(parseEpdLine("4k3/8/8/8/8/8/8/4K3 w -", p, &error), EPD_BAD);
    EXPECT_EQ(parseEpdLine("4k3/8/8/8/8/8/8/4K3 w - - id \"open", p, &error), EPD_BAD);
    EXPECT_FALSE(error.empty());
}

TEST(EpdLine, AnEpdLineIsAcceptedWhereAFenIs) {
    Game& g = game;
    ASSERT_EQ(setupFromFen(g, "r3k2r/8/8/8/8/8/8/R3K2R b Kq - bm O-O-O; id \"castles\";"), 0);
    char text[128];
    positionText(g, text);
    EXPECT_STREQ(text, "r3k2r/8/8/8/8/8/8/R3K2R/ b Kq -");
    newGame(g);
    listMoves(g);
}

TEST(EpdMoves, SanAndCoordinatesNameTheSameLegalMoves) {
    Game& g = game;
    ASSERT_EQ(setupFromFen(g, "r3k2r/1P6/8/3pP3/8/5N2/8/R3K2R w KQkq d6 0 1"), 0);
    EXPECT_EQ(moveFromText(g, "Nd4"), squares("f3d4"));
    EXPECT_EQ(moveFromText(g, "f3d4"), squares("f3d4"));
    EXPECT_EQ(moveFromText(g, "Nxd4+!?"), squares("f3d4"));  // signs carry no move
    EXPECT_EQ(moveFromText(g, "exd6"), squares("e5d6") | MK_EN_PASSANT);
    EXPECT_EQ(moveFromText(g, "e5d6"), squares("e5d6") | MK_EN_PASSANT);
    EXPECT_EQ(moveFromText(g, "O-O"), uint32_t(CASTLE_WK_WHITE));
    EXPECT_EQ(moveFromText(g, "e1g1"), uint32_t(CASTLE_WK_WHITE));
    EXPECT_EQ(moveFromText(g, "O-O-O"), uint32_t(CASTLE_WQ_WHITE));
    EXPECT_EQ(moveFromText(g, "bxa8=Q"), squares("b7a8") | MK_PROMO_QUEEN);
    EXPECT_EQ(moveFromText(g, "b7b8n"), squares("b7b8") | MK_PROMO_KNIGHT);
    // Not moves here: a promotion without its piece, a blocked pawn, nonsense.
    EXPECT_EQ(moveFromText(g, "b7b8"), 0u);
    EXPECT_EQ(moveFromText(g, "e5e7"), 0u);
    EXPECT_EQ(moveFromText(g, "Qh5"), 0u);
    EXPECT_EQ(moveFromText(g, ""), 0u);
    EXPECT_EQ(moveFromText(g, std::string(300, 'x')), 0u);

    std::vector<uint32_t> best{squares("f3d4")}, avoid{squares("e5d6") | MK_EN_PASSANT}, none;
    EXPECT_TRUE(epdSolved(g, squares("f3d4"), best, none));
    EXPECT_FALSE(epdSolved(g, squares("f3e5"), best, none));
    EXPECT_TRUE(epdSolved(g, squares("f3e5"), none, avoid));
    EXPECT_FALSE(epdSolved(g, squares("e5d6") | MK_EN_PASSANT, none, avoid));
    EXPECT_FALSE(epdSolved(g, 0, none, avoid));  // no move solves nothing
    newGame(g);
    listMoves(g);
}

TEST(EpdSwitches, DepthAloneHasNoTimeLimitAndTimeStillBoundsADepth) {
    SwitchState state;
    EXPECT_EQ(applySwitch("-D7", state), SW_GO_ON);
    EXPECT_EQ(applySwitch("-esuite.epd", state), SW_GO_ON);
    EXPECT_EQ(state.epdFile, "suite.epd");
    TimeBudget b = batchBudget(state);
    EXPECT_EQ(b.maxDepth, 7);
    EXPECT_EQ(b.hardTenths, unlimitedBudget().hardTenths);
    applySwitch("-t3", state);
    b = batchBudget(state);
    EXPECT_EQ(b.maxDepth, 7);
    EXPECT_EQ(b.hardTenths, 30);
    applySwitch("-D0", state);  // no depth: the time alone, as before
    EXPECT_EQ(batchBudget(state).maxDepth, TimeBudget().maxDepth);
    applySwitch("-D99999", state);
    EXPECT_EQ(batchBudget(state).maxDepth, int(SW_DEPTH_MAX));
}

class EpdSuite : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        selectEnglishLetters();
        if (ttSizeMiB() == 0) allocateTransTable(uint64_t(3) << 20);
    }
};

const char* kSuite =
    "# mates and a queen left hanging\n"
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - bm Qxf7#; id \"mate\";\n"
    "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm a1a8; id \"back rank\";\n"
    "\n"
    "r1b1kbnr/pppp1ppp/2n5/4p3/2B1P2q/5N2/PPPP1PPP/RNBQK2R w KQkq - am Ke2 O-O; id \"avoid\";\n"
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e2e5; id \"no such move\";\n"
    "only three fields\n"
    "4k3/8/8/8/8/8/8/4K3 w - - id \"nothing to check\";\n"
    "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Kf1; id \"wrong\";\n";

TEST_F(EpdSuite, RunsEveryPositionAndCountsTheSolvedOnes) {
    std::string path = dir.write("suite.epd", kSuite);
    TimeBudget budget = unlimitedBudget();
    budget.maxDepth = 4;
    int bookBefore = useBook;
    std::string outPath = dir.file("out.txt");
    FILE* out = std::fopen(outPath.c_str(), "w");
    ASSERT_NE(out, nullptr);
    EpdSummary summary;
    ASSERT_TRUE(runEpdSuite(path, budget, out, &summary));
    std::fclose(out);
    std::string text = dir.read("out.txt");
    EXPECT_EQ(summary.total, 4);
    EXPECT_EQ(summary.solved, 3);
    EXPECT_EQ(summary.skipped, 3);
    EXPECT_NE(text.find("1 mate solved Qxf7 bm Qxf7#\n"), std::string::npos) << text;
    EXPECT_NE(text.find("2 back rank solved Ra8 bm a1a8\n"), std::string::npos) << text;
    EXPECT_NE(text.find("3 avoid solved "), std::string::npos) << text;
    EXPECT_NE(text.find("4 wrong missed Ra8 bm Kf1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("line 6 skipped: \"e2e5\" is not a legal move here\n"), std::string::npos) << text;
    EXPECT_NE(text.find("line 7 skipped:"), std::string::npos) << text;
    EXPECT_NE(text.find("line 8 skipped: no bm or am operation\n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 14), "solved 3 of 4\n") << text;
    EXPECT_EQ(int(useBook), bookBefore);  // the book is off only while the suite runs

    EXPECT_FALSE(runEpdSuite(dir.file("missing.epd"), budget, out));
    newGame(game);
    listMoves(game);
}

TEST_F(EpdSuite, TheSwitchAndTheCommandRunASuiteAndTheGameGoesOn) {
    std::string path = dir.write("suite.epd", kSuite);
    EngineResult r = runProgram(dir, VELMORA_BINARY, "-D3 -e" + path, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("solved 3 of 4\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("type quit to exit"), std::string::npos);  // a batch run: no command loop
    r = runProgram(dir, VELMORA_BINARY, "-e" + dir.file("missing.epd"), "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fichier??\n");

    // The command keeps the file name's case and gives back the game it found.
    std::string mixed = dir.write("Mixed.EPD", kSuite);
    r = runProgram(dir, VELMORA_BINARY, "",
                   "new\nforce\ne2e4\nepdtest " + mixed + " depth 3\nepdtest " + dir.file("none.epd") +
                       "\nprint\nsetboard 4k3/8/8/8/8/8/8/4K3 w - - bm Kd2;\nping 1\nquit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("solved 3 of 4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Error (cannot open): " + dir.file("none.epd")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("........\n....p...\n........\npppp.ppp\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Illegal position"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pong 1"), std::string::npos) << r.out;
}

}  // namespace
