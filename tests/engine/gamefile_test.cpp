#include <gtest/gtest.h>
#include <random>
#include <string>
#include "board/game.h"
#include "engine/gamefile.h"
#include "filetest_util.h"

namespace {

class GameFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string message;

    int load(const std::string& text) {
        message.clear();
        return loadGameFile(game, dir.write("game.pgn", text).c_str(), &message);
    }
    // Placement, side and castling of the game, without the en-passant field.
    static std::string position() {
        char text[128];
        positionText(game, text);
        std::string s = text;
        return s.substr(0, s.rfind(' '));
    }
    static std::string expected(const char* fen) {
        EXPECT_EQ(setupFromFen(game, fen), 0) << fen;
        return position();
    }
};

const char* const RUY_LOPEZ = "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -";

TEST_F(GameFiles, CoordinateAndAlgebraicNotationGiveTheSameGame) {
    std::string want = expected(RUY_LOPEZ);
    EXPECT_EQ(load("1. e2e4 e7e5 2. g1f3 b8c6 3. f1b5 a7a6\n"), 0);
    EXPECT_EQ(position(), want);
    // Numbers written onto their moves no longer swallow them.
    EXPECT_EQ(load("1.e2e4 e7e5 2.g1f3 b8c6\n3.f1b5 3...a7a6\n"), 0);
    EXPECT_EQ(position(), want);
    EXPECT_EQ(load("[Event \"x\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 *\n"), 0);
    EXPECT_EQ(position(), want);
    EXPECT_EQ(game.ply, 5);
    EXPECT_EQ(load("1.e2-e4 e7-e5 2.Ng1-f3 Nb8c6 3. Bf1-b5?! ... a6\n"), 0);
    EXPECT_EQ(position(), want);
}

TEST_F(GameFiles, CommentsVariationsAndGlyphsAreSkipped) {
    std::string want = expected("r1bqk2r/1pppbppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 w kq -");
    EXPECT_EQ(load("[Event \"Test {not a comment\"]\n"
                   "% an escaped line: Nc3\n"
                   "{A comment before the moves}\n"
                   "1.e4 e5 2. Nf3 {a comment that runs\n"
                   "onto the next line, Nc3 in it} Nc6 (2... d6 (2... Nf6 {(} 3. Nc3) 3. d4)\n"
                   "3.Bb5 $1 a6!? ; Nc3 here is a rest-of-line comment\n"
                   "4. Ba4 ! Nf6 +- 5. O-O Be7{end}\n"
                   "1/2-1/2\n"
                   "\n"
                   "[Event \"Second\"]\n"
                   "[FEN \"4k3/8/8/8/8/8/8/4K3 w - - 0 1\"]\n"
                   "1. Kd2 *\n"),
              0);
    EXPECT_EQ(position(), want);
    EXPECT_EQ(game.ply, 9);
}

TEST_F(GameFiles, SetUpPositionsInBothTagForms) {
    std::string want = expected("3k4/8/8/8/4P3/8/8/4K3 w - -");
    EXPECT_EQ(load("[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1\"]\n\n1. e4 Kd8 *\n"), 0);
    EXPECT_EQ(position(), want);
    EXPECT_EQ(load("[FEN:4k3/8/8/8/4P3/8/8/4K3 b - -]\n1... Kd8\n"), 0);
    EXPECT_EQ(position(), want);
    EXPECT_EQ(load("[FEN \"8/8/8 w - -\"]\n1. e4\n"), GF_CANNOT_LOAD);
    EXPECT_NE(message.find("line 1: FEN tag refused"), std::string::npos) << message;
}

TEST_F(GameFiles, MateEndsTheLoadButADrawThatMayBeClaimedDoesNot) {
    EXPECT_EQ(load("1. f3 e5 2. g4 Qh4# 3. a3 a6\n"), 2);
    EXPECT_EQ(game.ply, 3);
    EXPECT_EQ(load("[FEN \"k7/8/8/2Q5/8/8/8/4K3 w - -\"]\n1. Qb6 Kb8 2. Kd2\n"), 3);
    EXPECT_EQ(load("1. Nf3 Nf6 2. Ng1 Ng8 3. Nf3 Nf6 4. Ng1 Ng8 5. e4 *\n"), 0);
    EXPECT_EQ(game.ply, 8);
}

TEST_F(GameFiles, RefusedMovesStopTheLoadAndSayWhere) {
    EXPECT_EQ(load("1. e4 e5\n2. Nf3 Ke3 Bc4\n"), -1);
    EXPECT_EQ(message, dir.file("game.pgn") + ", line 2: move 2... Ke3 refused: no single legal move matches it");
    EXPECT_EQ(game.ply, 2);  // the moves before it stay played
    EXPECT_EQ(load("1. e2e5\n"), -1);
    EXPECT_NE(message.find("line 1: move 1. e2e5 refused: illegal move"), std::string::npos) << message;
    // Two knights reach d2: the bare move is ambiguous, the file letter decides.
    EXPECT_EQ(load("[FEN \"4k3/8/8/8/8/5N2/8/1N2K3 w - -\"]\n1. Nd2\n"), -1);
    EXPECT_EQ(load("[FEN \"4k3/8/8/8/8/5N2/8/1N2K3 w - -\"]\n1. Nbd2\n"), 0);
    EXPECT_EQ(game.ply, 0);
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(loadGameFile(game, dir.file("missing.pgn").c_str(), &message), GF_CANNOT_LOAD);
    EXPECT_EQ(message, "cannot open game file " + dir.file("missing.pgn"));
}

TEST_F(GameFiles, AWordThatIsNoMoveEndsOnlyItsLine) {
    std::string want = expected("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    EXPECT_EQ(load("1. e4 e5 (?) {nothing} zz Nf3\n2. Nf3 Nc6\n"), 0);
    EXPECT_EQ(position(), want);
    // A brace opened after such a word is still a comment.
    EXPECT_EQ(load("1. e4 e5 zz {comment\nNf3 Nc6} 2. Nf3 Nc6\n"), 0);
    EXPECT_EQ(position(), want);
}

TEST_F(GameFiles, SpecialMovesAndTheirSigns) {
    // The pinned d2 knight does not make Nf3 ambiguous among the legal moves.
    EXPECT_EQ(load("[FEN \"4k3/8/8/8/1b6/8/3N4/4K1N1 w - -\"]\n1. Nf3!? Kd8\n"), 0);
    EXPECT_EQ(position(), expected("3k4/8/8/8/1b6/5N2/3N4/4K3 w - -"));
    EXPECT_EQ(load("[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -\"]\n1. 0-0 O-O-O+\n"), 0);
    EXPECT_EQ(position(), expected("2kr3r/8/8/8/8/8/8/R4RK1 w - -"));
    EXPECT_EQ(load("[FEN \"4k3/8/8/3pP3/8/8/8/4K3 w - d6\"]\n1. exd6 e.p. Kd7 2. Ke2 Kxd6\n"), 0);
    EXPECT_EQ(position(), expected("8/8/3k4/8/8/8/4K3/8 w - -"));
    EXPECT_EQ(load("[FEN \"4k3/8/8/3pP3/8/8/8/4K3 w - d6\"]\n1. exd6e.p.+ Kd7\n"), 0);
    EXPECT_EQ(load("[FEN \"8/1P2P3/8/8/8/8/k7/4K3 w - -\"]\n1. e8=Q+ Ka3 2. b8N\n"), 0);
    EXPECT_EQ(position(), expected("1N2Q3/8/8/8/8/k7/8/4K3 b - -"));
}

TEST_F(GameFiles, LongLinesAndWordsAreReadWhole) {
    std::string line;
    for (int i = 0; i < 20; i++) line += std::to_string(4 * i + 1) + ". Nf3 Nf6 " + std::to_string(4 * i + 2) +
                                         ". Ng1 Ng8 " + std::to_string(4 * i + 3) + ". Nc3 Nc6 " +
                                         std::to_string(4 * i + 4) + ". Nb1 Nb8 ";
    ASSERT_GT(line.size(), 255u);
    EXPECT_EQ(load(line + "\n"), 0);
    EXPECT_EQ(game.ply, 159);
    EXPECT_EQ(position(), expected("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"));
    EXPECT_EQ(load("1. e4 e5 " + std::string(5000, 'N') + " Nf3\n2. Nf3\n"), 0);
    EXPECT_EQ(game.ply, 2);
}

TEST_F(GameFiles, GarbageNeverBreaksTheLoader) {
    EXPECT_EQ(load(std::string("\xEF\xBB\xBF[Event \"bom\"]\n1. e4\n")), 0);
    EXPECT_EQ(game.ply, 0);
    static const char withNul[] = "1. e4 \0 e5 {never closed\n2. Nf3";
    EXPECT_EQ(load(std::string(withNul, sizeof withNul - 1)), 0);
    EXPECT_EQ(game.ply, 1);
    EXPECT_EQ(load("[FEN \"" + std::string(10000, '1') + "\"]\n"), GF_CANNOT_LOAD);
    std::mt19937 rng(9);
    const std::string alphabet = "12345678abcdefghKQRBNxO0-=+#!?.{}()[];$*/\" \n\tFEN\xff";
    for (int round = 0; round < 300; round++) {
        std::string text;
        int n = int(rng() % 400);
        for (int i = 0; i < n; i++) text += alphabet[rng() % alphabet.size()];
        int code = load(text);
        EXPECT_TRUE(code == 0 || code == GF_CANNOT_LOAD || code == -1 || code == 1 || code == 2 || code == 3)
            << code;
        // Whatever was read is a real game: every move of it can be taken back.
        while (undoMove(game) == 0) {
        }
        EXPECT_EQ(game.ply, -1);
    }
}

TEST_F(GameFiles, PartieKeepsTheCaseOfItsFileName) {
    std::string path = dir.write("MyGame.PGN", "1. e4 {!} e5 2. Nf3\n");
    EngineResult r = runProgram(dir, VELMORA_BINARY, "",
                                "partie " + path + "\nprint\nPARTIE " + dir.file("none.pgn") + "\nprint\nquit\n");
    const char* board =
        "TCFDRFCT\nPPPP.PPP\n........\n....P...\n....p...\n.....c..\npppp.ppp\ntcfdrf.t\n";
    EXPECT_EQ(r.out, std::string(board) + "Error (game file): cannot open game file " + dir.file("none.pgn") + "\n" +
                         board);
}

TEST_F(GameFiles, OnlyARegularFileIsAGameFile) {
    // A directory once loaded as an empty game and a FIFO hung the engine.
    std::string folder = dir.file("games");
    std::string fifo = dir.file("game.fifo");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(load("1. e4 e5\n"), 0);
    alarm(300);  // a hang ends the run instead of stalling it
    for (const std::string& path : {folder, fifo}) {
        EXPECT_EQ(loadGameFile(game, path.c_str(), &message), GF_CANNOT_LOAD) << path;
        EXPECT_EQ(message, "cannot open game file " + path);
        EXPECT_EQ(game.ply, 1) << "the game stays as it was";
        EngineResult r = runProgram(dir, VELMORA_BINARY, "-f" + path);
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "fichier??\n");
        r = runProgram(dir, VELMORA_BINARY, "", "partie " + path + "\nquit\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Error (game file): cannot open game file " + path + "\n");
    }
    alarm(0);
}

TEST_F(GameFiles, TheFenHalfMoveFieldCarriesIntoTheGame) {
    ASSERT_EQ(load("[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 98 80\"]\n80. Ra2 Kd8 81. Ra1 *\n"), 0);
    EXPECT_EQ(game.board.fiftyCount, 101);
    ASSERT_EQ(load("[FEN \"4k3/8/8/8/8/8/8/R3K3 w - -\"]\n1. Ra2 Kd8\n"), 0);
    EXPECT_EQ(game.board.fiftyCount, 2);
}

}  // namespace
