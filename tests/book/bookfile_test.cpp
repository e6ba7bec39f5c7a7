#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "book/polyglot.h"
#include "tests/book/booktestutil.h"
#include "tests/engine/filetest_util.h"

namespace {

const uint64_t kStartKey = 0x463b96181691fc9cULL;

// A Polyglot book that answers the initial position with one move only.
std::string polyglotBook(const TempDir& dir, const std::string& name, const char* move) {
    int from = int(booktest::sq(move)), to = int(booktest::sq(move + 2));
    PolyglotEntry e{kStartKey, uint16_t((to & 7) | ((to >> 3) << 3) | ((from & 7) << 6) | ((from >> 3) << 9)), 1, 0};
    unsigned char bytes[POLYGLOT_ENTRY_SIZE];
    encodePolyglotEntry(e, bytes);
    return dir.write(name, std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
}

std::string firstMove(const std::string& program, const std::string& args, const std::string& workDir) {
    EngineProcess e(args, program, workDir);
    e.send("xboard");
    e.send("new");
    e.send("go");
    std::string line = e.waitFor("move ", 10000);
    e.send("quit");
    e.waitExit(2000);
    return line;
}

TEST(BookFileSettings, TheConfigurationKeyAndTheSwitchChooseTheBook) {
    TempDir dir;
    std::string engine = dir.copyEngine();
    polyglotBook(dir, "beside.bin", "g1f3");
    std::string other = polyglotBook(dir, "other.bin", "b1c3");
    // A relative name is found beside the engine, wherever it is started from.
    dir.write("velmora.cfg", "; the book\nBOOK_FILE= beside.bin \n");
    EXPECT_EQ(firstMove(engine, "", "/"), "move g1f3");
    // The switch comes after the file and wins.
    EXPECT_EQ(firstMove(engine, "-b" + other, "/"), "move b1c3");
}

}  // namespace
