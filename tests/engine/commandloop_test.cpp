#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include "board/game.h"
#include "book/book.h"
#include "engine/commandloop.h"
#include "engine/session.h"
#include "engine_process.h"

namespace {

using EngineRun = EngineResult;

TEST(CommandLoop, HandshakePingAndUnknown) {
    EngineRun r = runEngine("protover 2\nping 12\nfoo\nquit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.out,
        "feature myname=\"Velmora 4.0\" name=1 ping=1 time=1 analyze=1 setboard=1 memory=1 reuse=0 egt=\"nalimov\"\n"
        "feature sigint=0 colors=0 playother=1 draw=1 nps=1 variants=\"normal\"\n"
        "feature option=\"BOOK FILE -file \"\n"
        "feature smp=1\n"
        "feature option=\"RESIGN -check 1\"\n"
        "feature option=\"USE BOOK -check 1\" done=1\n"
        "pong 12\n"
        "Error (unknown command): FOO\n");
    r = runEngine("option USE BOOK=0 RESIGN=0\nprotover 2\n");
    EXPECT_NE(r.out.find("RESIGN -check 0"), std::string::npos);
    EXPECT_NE(r.out.find("USE BOOK -check 0"), std::string::npos);
}

// Outside UCI mode the UCI words are no commands: they are read as moves and
// refused, keeping their text. The xboard announcements get no answer.
TEST(CommandLoop, UciWordsBeforeUciAreUnknownAndAnnouncementsSilent) {
    EngineRun r = runEngine(
        "stop\nponderhit\nposition startpos\nsetoption name Hash value 1\nisready\n"
        "white\nblack\nxboard\naccepted ping\nreset\nname someone\nping 1\nquit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Error (unknown command): STOP\n"
              "Error (unknown command): PONDERHIT\n"
              "Error (unknown command): position startpos\n"
              "Error (unknown command): setoption name Hash value 1\n"
              "Error (unknown command): ISREADY\n"
              "pong 1\n");
}

TEST(CommandLoop, RejectedSetupsKeepThePosition) {
    EngineRun r = runEngine(
        "force\nsetboard 4k3/8/8/8/8/8/8/4K2R w K -\n"
        "setboard 8/8\nSETBOARD\nsetboard 4k3/8/8/8/8/8/8/3KK3 w - -\nsetboard 4k3/4R3/8/8/8/8/8/4K3 w - -\n"
        "print\nh1h8\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "tellusererror Illegal position -3\ntellusererror Illegal position -3\n"
              "tellusererror Illegal position -2\ntellusererror Illegal position 32768\n"
              "....R...\n........\n........\n........\n........\n........\n........\n....r..t\n");
}

TEST(CommandLoop, EditMode) {
    EngineRun r = runEngine("force\nedit\n#\nKE1\nRA1\nc\nKE8\nPA0\nXZ9\nQ\n\nPE7\nPE7\n.\nprint\ne1c1\nedit\n#\n.\nping 1\nedit\nKA1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "....R...\n....P...\n........\n........\n........\n........\n........\nt...r...\n"
              "tellusererror Illegal position -3\npong 1\n");
}

TEST(CommandLoop, MoveResults) {
    EngineRun r = runEngine("force\ne2e5\nf2f3\ne7e5\ng2g4\nd8h4\n");
    EXPECT_EQ(r.out, "Illegal move: E2E5\n0-1 {Black mates}\n");
    r = runEngine("force\nsetboard 8/4P3/8/8/8/8/k6p/4K3 w - -\ne7e8\ne7e8n\nundo\nundo\nremove\n");
    EXPECT_EQ(r.out,
              "Illegal move (promote?): E7E8\nError (command not legal now): undo\n"
              "Error (command not legal now): remove\n");
    r = runEngine("force\nsetboard k7/8/8/2Q5/8/8/8/4K3 w - -\nc5b6\n");
    EXPECT_EQ(r.out, "1/2-1/2 {Stalemate}\n");
    r = runEngine("force\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\ng8f6\nf3g1\nf6g8\ng1f3\n");
    EXPECT_EQ(r.out, "1/2-1/2 {Triple repetition}\n");
    r = runEngine("force\nsetboard 4k3/8/8/8/8/8/4r3/4KB2 w - -\ne1e2\n");
    EXPECT_EQ(r.out, "1/2-1/2 {Insufficient material}\n");
    r = runEngine("level 40\nlevel 40 5 0\nlevel 0 2:30 5\nlevel 0 2\n");
    EXPECT_EQ(r.out, "Error (command not legal)\n");
}

TEST(CommandLoop, LongLinesAndCarriageReturns) {
    std::string longLine(100000, 'x');
    EngineRun r = runEngine(longLine + "\nping 7\r\n");
    EXPECT_EQ(r.out, "Error (unknown command): " + std::string(100000, 'X') + "\npong 7\n");
}

TEST(CommandLoop, RandomGarbageNeverBreaksTheLoop) {
    std::mt19937 rng(12345);
    const char* words[] = {"setboard ", "edit", "undo", "remove", "level ", "time ", "otim ", "ping ", "option ",
                           "new", "force", "print", "protover ", "memory ", "result ", "go", "?", "post", "e2e4",
                           "O-O", "0-0-0", "e7e8q", "a7a8=N", "SETBOARD rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e3"};
    std::string script;
    for (int i = 0; i < 3000; i++) {
        int kind = int(rng() % 4);
        std::string line;
        if (kind == 0) {
            int n = int(rng() % 40);
            for (int k = 0; k < n; k++) line += char(32 + rng() % 95);
        } else if (kind == 1) {
            line = words[rng() % (sizeof words / sizeof *words)];
            int n = int(rng() % 20);
            for (int k = 0; k < n; k++) line += "KQRBNPkqrbnp12345678/ -abcdefgh"[rng() % 31];
        } else if (kind == 2) {
            line = "setboard ";
            int n = int(rng() % 70);
            for (int k = 0; k < n; k++) line += "KQRBNPkqrbnp12345678/ -wbKQkq"[rng() % 29];
        } else {
            script += "edit\n";
            int n = int(rng() % 8);
            for (int k = 0; k < n; k++) {
                std::string e;
                int len = int(rng() % 5);
                for (int j = 0; j < len; j++) e += "KQRBNPXCabcdefgh12345678#09Z"[rng() % 28];
                script += e + "\n";
            }
            line = ".";
        }
        script += line + "\n";
    }
    script += "new\nforce\ne2e4\nping 99\n";
    EngineRun r = runEngine(script);
    EXPECT_EQ(r.status, 0);
    ASSERT_GE(r.out.size(), 8u);
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "pong 99\n");
}

TEST(CommandLoop, RejectedSetupLeavesAPlayablePosition) {
    EngineRun r = runEngine("force\nsetboard 8/8\ne2e4\nprint\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "tellusererror Illegal position -3\n"
              "TCFDRFCT\nPPPPPPPP\n........\n........\n....p...\n........\npppp.ppp\ntcfdrfct\n");
}

TEST(CommandLoop, EditReplacesOccupantsAndSkipsGarbage) {
    EngineRun r = runEngine("edit\n#\nKE1\nc\nKE8\nc\nQD1\nRD1\nkd1junk\nZZZ\n\nRI1\nR\n.\nprint\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "....R...\n........\n........\n........\n........\n........\n........\n...tr...\n");
    // end of input inside edit mode ends the program normally, even mid-line
    r = runEngine("edit\nKA1\nQQ");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CommandLoop, QuietCommandsPrintNothing) {
    EngineRun r = runEngine(
        "force\n?\nexit\nnew\nforce\nmemory 0\nmemory\nmemory 64\nmemory abc\nmemory -5\n"
        "memory 99999999999\ntime 0\ntime 12345\notim 5\nresult 1-0 {x}\negtpath\n"
        "egtpath nalimov /tmp\nEGTPATH\nxboard\nwhite\nblack\nreset\nname x\naccepted ping\n"
        "hard\neasy\npost\nnopost\nforce\nundo\nping 3\nquit\nping 4\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Error (command not legal now): undo\npong 3\n");
}

TEST(CommandLoop, CarriageReturnsOnEveryKindOfLine) {
    EngineRun r = runEngine("setboard 4k3/8/8/8/8/8/8/4K2R w K -\r\nforce\r\ne1g1\r\nprint\r\nPING 5\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "....R...\n........\n........\n........\n........\n........\n........\n.....tr.\npong 5\n");
}

// The engine playing both sides: each GO is sent the instant the previous
// move arrives, while that search thread is still ending or (hard) about to
// ponder. None may be lost; a GO after a mate or stalemate has nothing to play.
TEST(CommandLoop, GoRightAfterTheEnginesMoveIsNeverLost) {
    EngineProcess e;
    e.send("xboard");
    e.send("option USE BOOK=0 RESIGN=0");
    e.send("new");
    e.send("force");
    e.send("level 0 1 0");
    e.send("time 30");  // a few milliseconds a move
    int moves = 0, lost = 0;
    for (const char* mode : {"easy", "hard"}) {
        e.send(mode);
        e.send("go");
        for (int round = 0; round < 100 && lost < 3;) {
            std::string line;
            if (!e.readLine(line, 3000)) {
                lost++;
                e.send("go");
                continue;
            }
            if (line.compare(0, 5, "move ") == 0) {
                moves++;
                round++;
                e.send("go");
            } else if (line.find("mates}") != std::string::npos || line.find("{Stalemate}") != std::string::npos) {
                e.send("new");
                e.send("go");
            }
        }
        e.send("force");
    }
    EXPECT_EQ(lost, 0);
    EXPECT_GE(moves, 200);
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

// An interface may hand over a non-blocking input: having nothing to read yet
// is not the end of it.
TEST(CommandLoop, NonBlockingInputIsWaitedFor) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK), 0);
    FILE* in = fdopen(fds[0], "r");
    ASSERT_NE(in, nullptr);
    std::thread writer([&] {
        auto put = [&](const char* text) {
            if (write(fds[1], text, std::strlen(text)) < 0) {
            }
        };
        put("new\nforce\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        put("e2");  // half a line, then the rest
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        put("e4\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        put("e7e5\n");
        close(fds[1]);
    });
    auto start = std::chrono::steady_clock::now();
    runCommandLoop(in);
    long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    writer.join();
    std::fclose(in);
    EXPECT_GE(ms, 350);
    EXPECT_EQ(game.ply, 1);  // both moves played
    EXPECT_EQ(game.sideToMove, 0);
    newGame(game);
    listMoves(game);
}

// A book move is announced after a pause, unless the engine is told to move
// now: "?" (or any command that stops the search) does not wait it out.
TEST(CommandLoop, BookMovePauseEndsOnMoveNow) {
    // The small book is read from the working directory: the source tree's.
    const std::string root = std::string(VELMORA_SOURCE_DIR) + "/";
    if (access((root + "Mini.bo2").c_str(), R_OK) != 0) GTEST_SKIP() << "no Mini.bo2 in " << root;
    EngineProcess e("", VELMORA_BINARY, root);
    auto now = [] { return std::chrono::steady_clock::now(); };
    auto msSince = [&](std::chrono::steady_clock::time_point t) {
        return long(std::chrono::duration_cast<std::chrono::milliseconds>(now() - t).count());
    };
    e.send("xboard");
    e.send("new");
    auto start = now();
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    EXPECT_GE(msSince(start), 250);  // the pause
    e.send("new");
    e.send("go");
    usleep(50000);
    start = now();
    e.send("?");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    EXPECT_LT(msSince(start), 200);
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// In-process: a silenced book wakes at each fresh start of the game the
// engine plays, and only at those.
TEST(CommandLoop, NewGamesSetUpsAndEarlyTakeBacksWakeTheBook) {
    auto missesAfter = [](const std::string& lines) {
        bookMissCounter = 0;
        FILE* f = fmemopen(const_cast<char*>(lines.data()), lines.size(), "r");
        if (f == nullptr) return -1;
        runCommandLoop(f);
        std::fclose(f);
        return int(bookMissCounter);
    };
    EXPECT_EQ(missesAfter("force\nnew\nforce\n"), BOOK_MISS_LIMIT);
    EXPECT_EQ(missesAfter("setboard 4k3/8/8/8/8/8/8/4K3 w - - 0 1\n"), BOOK_MISS_LIMIT);
    EXPECT_EQ(missesAfter("setboard 8/8\n"), 0);  // not read at all: nothing starts
    EXPECT_EQ(missesAfter("edit\n#\nKE1\nc\nKE8\n.\n"), BOOK_MISS_LIMIT);
    missesAfter(
        "new\nforce\ne2e4\ne7e5\ng1f3\nb8c6\nf1c4\nf8c5\nc2c3\ng8f6\nd2d3\nd7d6\ne1g1\ne8g8\n"
        "h2h3\nh7h6\na2a4\na7a5\nf1e1\nf8e8\nb1d2\nc8e6\nc4b5\ne6d7\n");
    ASSERT_EQ(game.ply, 21);
    EXPECT_EQ(missesAfter("undo\n"), 0);  // 21 half-moves remain
    EXPECT_EQ(missesAfter("remove\n"), BOOK_MISS_LIMIT);
    EXPECT_EQ(missesAfter("uci\nposition startpos moves e2e4\n"), BOOK_MISS_LIMIT);
    session.uciMode = 0;
    missesAfter("new\nforce\n");
    refillBookMisses();
}

}  // namespace
