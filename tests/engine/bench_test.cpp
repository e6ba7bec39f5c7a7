// The bench signature is the same from the tool, the command line and a
// running engine, whatever that engine did before; the engine's game is
// given back afterwards.
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include "engine_process.h"

namespace {

constexpr const char* BENCH_DEPTH = "5";

// The per-position lines and the node total, without the time and speed.
std::string signatureOf(const std::string& output) {
    std::istringstream in(output);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 10, "Total time") != 0 && line.compare(0, 12, "Nodes/second") != 0) kept += line + "\n";
    return kept;
}

// The bench lines a running engine printed after "bench", up to the total.
std::string benchFrom(EngineProcess& e) {
    std::string out, line;
    bool speedSeen = false;
    while (e.readLine(line, 60000)) {
        out += line + "\n";
        if (speedSeen) break;  // the total follows the speed line
        speedSeen = line.compare(0, 12, "Nodes/second") == 0;
    }
    return out;
}

}  // namespace

TEST(Bench, SignatureIsTheSameEverywhere) {
    EngineResult fromArgument = runEngine("", std::string("bench ") + BENCH_DEPTH);
    EXPECT_EQ(fromArgument.status, 0);
    const std::string expected = signatureOf(fromArgument.out);
    ASSERT_GT(std::count(expected.begin(), expected.end(), '\n'), 30) << fromArgument.out;

    // tools/bench, built beside the engine.
    std::string tool = VELMORA_BINARY;
    tool = tool.substr(0, tool.rfind('/') + 1) + "bench";
    if (access(tool.c_str(), X_OK) == 0) {
        EngineResult fromTool = runEngine("", BENCH_DEPTH, "", tool);
        EXPECT_EQ(signatureOf(fromTool.out), expected);
    }

    // A UCI engine that has searched with another table size and a book.
    EngineProcess e;
    e.send("uci");
    ASSERT_FALSE(e.waitFor("uciok", 3000).empty());
    e.send("setoption name Hash value 32");
    e.send("position startpos moves e2e4");
    e.send("go depth 6");
    ASSERT_FALSE(e.waitFor("bestmove ", 30000).empty());
    e.send(std::string("bench ") + BENCH_DEPTH);
    EXPECT_EQ(signatureOf(benchFrom(e)), expected);
    // Its game is the one it had: Black is to move after e2e4.
    e.send("go depth 1");
    std::string best = e.waitFor("bestmove ", 5000);
    ASSERT_GE(best.size(), 13u);
    EXPECT_TRUE(best[10] == '7' || best[10] == '8') << best;
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);

    // And from the xboard loop.
    EngineProcess x;
    x.send("xboard");
    x.send("new");
    x.send("force");
    x.send("e2e4");
    x.send(std::string("bench ") + BENCH_DEPTH);
    EXPECT_EQ(signatureOf(benchFrom(x)), expected);
    x.send("quit");
    EXPECT_EQ(x.waitExit(3000), 0);
}
