#include <gtest/gtest.h>
#include <string>
#include "board/game.h"
#include "engine/positionfile.h"
#include "filetest_util.h"

namespace {

class PositionFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string message;
    int load(const std::string& text) {
        message.clear();
        return loadPositionFile(game, dir.write("pos.txt", text).c_str(), &message);
    }
    static std::string position() {
        char text[128];
        positionText(game, text);
        return text;
    }
};

TEST_F(PositionFiles, FrenchLettersColoursAndTheSideToMove) {
    ASSERT_EQ(load("b\nre1\npe2\nn\nre8\n"), 0);
    EXPECT_EQ(position(), "4k3/8/8/8/8/8/4P3/4K3/ w - -");
    // Upper case, any text after the square, other lines ignored; the file
    // ends with white chosen, so black moves. Rooks at home may castle.
    ASSERT_EQ(load("; a comment\nN\nRE8 roi\nTA8\nCB8\n\nB\nRE1\nTH1\nDD1 dame\nFC1\nPA2\nxyz\n"), 0);
    EXPECT_EQ(position(), "rn2k3/8/8/8/8/8/P7/2BQK2R/ b Kq -");
    EXPECT_EQ(game.sideToMove, 1);
}

TEST_F(PositionFiles, BadFilesFailAndLeaveTheGame) {
    ASSERT_EQ(load("b\nre1\npe2\nn\nre8\n"), 0);
    std::string before = position();
    EXPECT_EQ(load("b\nre1\npe2\nn\n"), PF_BAD_POSITION);
    EXPECT_NE(message.find("a king is missing"), std::string::npos) << message;
    EXPECT_EQ(load("b\nre1\nri1\nn\nre8\n"), PF_BAD_POSITION);  // no such file letter
    EXPECT_NE(message.find("line 3: no square"), std::string::npos) << message;
    EXPECT_EQ(load("b\nre1\nd\nn\nre8\n"), PF_BAD_POSITION);  // a piece without its square
    EXPECT_EQ(load("b\nre1\npe9\nn\nre8\n"), PF_BAD_POSITION);
    EXPECT_EQ(load("b\nre1\nde1\nn\nre8\n"), PF_BAD_POSITION);  // two men on one square
    EXPECT_NE(message.find("square e1 is taken"), std::string::npos) << message;
    EXPECT_EQ(load("b\nre1\npe8\nn\nre7\n"), PF_BAD_POSITION);  // a pawn on the last rank
    EXPECT_EQ(load("b\nre1\nre2\nn\nre8\n"), PF_BAD_POSITION);  // a second king
    // White chosen last, so black moves while the white king stands in check.
    EXPECT_EQ(load("n\nre8\nte2\nb\nre1\n"), PF_BAD_POSITION);
    EXPECT_NE(message.find("in check"), std::string::npos) << message;
    std::string nine = "b\nre1\n";
    for (int i = 0; i < 9; i++) nine += std::string("p") + char('a' + i % 8) + char('2' + i / 8) + "\n";
    EXPECT_EQ(load(nine + "n\nre8\n"), PF_BAD_POSITION);  // a ninth pawn
    EXPECT_EQ(loadPositionFile(game, dir.file("none.txt").c_str(), &message), PF_CANNOT_OPEN);
    EXPECT_EQ(position(), before);
}

TEST_F(PositionFiles, LongAndBinaryLinesAreReadWhole) {
    // Beyond 63 characters a line goes on; its tail is never a line of its own.
    std::string longLine = "b" + std::string(100, ' ') + "re2";
    ASSERT_EQ(load("n\nre8\n" + longLine + "\nre1\n"), 0);
    EXPECT_EQ(position(), "4k3/8/8/8/8/8/8/4K3/ b - -");
    static const char binary[] = "b\nre1\n\0\xff\x01\n";
    EXPECT_EQ(load(std::string(binary, sizeof binary - 1) + "n\nre8\n"), 0);
}

TEST_F(PositionFiles, OnlyARegularFileIsAPositionFile) {
    std::string folder = dir.file("positions");
    std::string fifo = dir.file("pos.fifo");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(load("b\nre1\npe2\nn\nre8\n"), 0);
    std::string before = position();
    alarm(300);  // a hang ends the run instead of stalling it
    for (const std::string& path : {folder, fifo}) {
        EXPECT_EQ(loadPositionFile(game, path.c_str(), &message), PF_CANNOT_OPEN) << path;
        EXPECT_EQ(message, "cannot open position file " + path);
        EXPECT_EQ(position(), before);
        EngineResult r = runProgram(dir, VELMORA_BINARY, "-p" + path);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "fichier??\n");
    }
    alarm(0);
}

TEST_F(PositionFiles, APositionFileStartsTheFiftyMoveCountAtZero) {
    // It has no counters: nothing of an earlier set-up's count may remain.
    ASSERT_EQ(setupFromFen(game, "4k3/8/8/8/8/8/8/R3K3 w - - 98 80"), 0);
    ASSERT_EQ(load("b\nre1\nta1\nn\nre8\n"), 0);
    EXPECT_EQ(game.board.fiftyCount, 0);
    ASSERT_EQ(makeMove(game, makeMoveWord(0, 8)), 0);
    ASSERT_EQ(undoMove(game), 0);
    EXPECT_EQ(game.board.fiftyCount, 0);
}

}  // namespace
