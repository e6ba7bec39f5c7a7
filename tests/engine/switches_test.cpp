#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include "board/game.h"
#include "egtb/tablebase.h"
#include "engine/config.h"
#include "engine/switches.h"
#include "filetest_util.h"

namespace {

TEST(Switches, ValuesAreTakenAndClamped) {
    SwitchState state;
    int savedLog = hashLog;
    std::string savedPath = tbPath;

    EXPECT_EQ(applySwitch("-h22", state), SW_GO_ON);
    EXPECT_EQ(hashLog, 21);
    applySwitch("-h0", state);
    EXPECT_EQ(hashLog, 0);
    applySwitch("-h99999999999999999999", state);
    EXPECT_EQ(hashLog, CFG_HASH_LOG_MAX);

    applySwitch("-t5", state);
    EXPECT_EQ(state.budget.targetTenths, 50);
    EXPECT_EQ(state.budget.hardTenths, 50);
    applySwitch("-t99999999999", state);
    EXPECT_EQ(state.budget.targetTenths, SW_SECONDS_MAX * 10);

    tbPath = "/eng;/tb";
    applySwitch("-d/only/this", state);
    EXPECT_EQ(tbPath, "/only/this");
    applySwitch(("-d/" + std::string(CFG_TB_PATH_LIMIT, 'x')).c_str(), state);
    EXPECT_EQ(tbPath, "/only/this");

    // Not switches, or letters no switch has.
    EXPECT_EQ(applySwitch("h22", state), SW_GO_ON);
    EXPECT_EQ(applySwitch("-", state), SW_GO_ON);
    EXPECT_EQ(applySwitch("-x5", state), SW_GO_ON);
    EXPECT_EQ(hashLog, CFG_HASH_LOG_MAX);
    EXPECT_FALSE(state.batch);

    hashLog = savedLog;
    tbPath = savedPath;
}

class SwitchRuns : public ::testing::Test {
protected:
    TempDir dir;
    EngineResult run(const std::string& args, const std::string& script = "quit\n") {
        return runProgram(dir, VELMORA_BINARY, args, script);
    }
    // The same through /bin/sh, whose arguments are given whole.
    EngineResult runThroughShell(const std::string& shellArgs, const std::string& script) {
        return runProgram(dir, "/bin/sh", shellArgs, script);
    }
};

TEST_F(SwitchRuns, TimeBelowOneSecondIsRefusedAndTheRunGoesOn) {
    EngineResult r = run("-t0", "ping 3\nquit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "temps??\npong 3\n");
    r = run("-tsoon -t-2");
    EXPECT_EQ(r.out, "temps??\ntemps??\n");
    EXPECT_NE(r.err.find("type quit to exit"), std::string::npos);
}

TEST_F(SwitchRuns, FilesThatCannotBeLoadedEndTheRunWithStatusOne) {
    EngineResult r = run("-p" + dir.file("missing.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fichier??\n");
    r = run("-f" + dir.file("missing.pgn"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fichier??\n");

    // No black king.
    r = run("-p" + dir.write("noking.txt", "b\nre1\npe2\nn\npe7\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fichier??\n");
    EXPECT_NE(r.err.find("king is missing"), std::string::npos) << r.err;

    // The refused move is named with its line before the verdict.
    r = run("-f" + dir.write("bad.pgn", "[Event \"x\"]\n1. e4 e5\n2. Nf3 Nf4 3. Bc4\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "fichier??\n");
    EXPECT_NE(r.err.find("bad.pgn, line 3: move 2... Nf4 refused"), std::string::npos) << r.err;

    r = run("-f" + dir.write("promo.pgn", "[FEN \"8/4P3/8/8/8/8/k7/4K3 w - - 0 1\"]\n1. e7e8\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("promotion piece is missing"), std::string::npos) << r.err;
}

TEST_F(SwitchRuns, BatchRunsSearchOnceAndEnd) {
    std::string position = dir.write("kp.txt", "b\nre1\npe2\nn\nre8\n");
    EngineResult r = run("-t1 -p" + position, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("move"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("type quit to exit"), std::string::npos);

    std::string game = dir.write("short.pgn", "1. e4 e5 2. Nf3 *\n");
    r = run("-t1 -f" + game, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("move"), std::string::npos) << r.out;
}

// A table larger than the machine can give is no reason not to start: the
// engine takes the largest that fits and says so. The address space is
// limited to 256 MiB here (sanitizers need far more of it for themselves).
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(SwitchRuns, HashTooLargeForTheMachineFallsBackToOneThatFits) {
    const std::string limited = "-c 'ulimit -v 262144 && exec \"$0\" \"$@\"' '" + dir.copyEngine() + "' ";
    EngineResult r = runThroughShell(limited + "-h27", "ping 1\nquit\n");  // 1.5 GiB asked
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pong 1\n");
    EXPECT_NE(r.err.find("Not enough memory for a 1536 MB hash table; using "), std::string::npos) << r.err;
    unsigned mb = 0;
    size_t at = r.err.find("Hash=");
    ASSERT_NE(at, std::string::npos) << r.err;
    mb = unsigned(std::strtoul(r.err.c_str() + at + 5, nullptr, 10));
    EXPECT_GE(mb, 3u);
    EXPECT_LT(mb, 256u);

    dir.write("velmora.cfg", "HASHTABLE=28\n");
    r = runThroughShell(limited, "ping 2\nquit\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pong 2\n");
    EXPECT_NE(r.err.find("Not enough memory for a 3072 MB hash table"), std::string::npos) << r.err;
}
#endif

}  // namespace
