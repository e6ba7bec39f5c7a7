#include <gtest/gtest.h>
#include <climits>
#include <string>
#include "engine/commandloop.h"
#include "engine/config.h"
#include "engine/textline.h"
#include "filetest_util.h"

namespace {

// The settings a configuration may change, restored after each test.
class ConfigFile : public ::testing::Test {
protected:
    int log = 0;
    std::string paths = "/eng";
    uint64_t cache = 4194304;
    int savedBook = useBook, savedResign = resignEnabled, savedLog = logEnabled;
    TempDir dir;

    void TearDown() override {
        useBook = savedBook;
        resignEnabled = savedResign;
        logEnabled = savedLog;
    }
    bool read(const std::string& text) {
        return readConfig(dir.write("velmora.cfg", text).c_str(), log, paths, cache);
    }
};

TEST_F(ConfigFile, KeysByPrefixInAnyCaseWithCommentsAndBlankLines) {
    useBook = 1;
    resignEnabled = 1;
    logEnabled = 0;
    ASSERT_TRUE(read("; a comment\n"
                     "\n"
                     "  \t;HASHTABLE=30\n"
                     "   hashtable=20\n"
                     "RESIGNS=0\r\n"
                     "use_book = 0\n"
                     "LOGFILE=1\n"
                     "NULLEVAL=0.5\n"
                     "TB_CACHE_SIZE=16\n"
                     "TABLEBASE= \t/tb/one\n"
                     "TABLEBASE=/tb/two  \r\n"
                     "HASHTABLE 25\n"
                     "UNKNOWN=7\n"));
    EXPECT_EQ(log, 19);
    EXPECT_EQ(resignEnabled, 0);
    EXPECT_EQ(useBook, 0);
    EXPECT_EQ(logEnabled, 1);
    EXPECT_EQ(cache, uint64_t(16) << 20);
    EXPECT_EQ(paths, "/eng;/tb/one;/tb/two");
}

TEST_F(ConfigFile, BadValuesKeepTheSettings) {
    useBook = 1;
    ASSERT_TRUE(read("HASHTABLE=0\nHASHTABLE=-3\nUSE_BOOK=yes\nRESIGN=\nTB_CACHE_SIZE=lots\nTABLEBASE=\n"));
    EXPECT_EQ(log, 0);
    EXPECT_EQ(useBook, 1);
    EXPECT_EQ(resignEnabled, savedResign);
    EXPECT_EQ(cache, 4194304u);
    EXPECT_EQ(paths, "/eng");
    // Huge sizes are clamped before any shift.
    ASSERT_TRUE(read("HASHTABLE=99999999999999\nTB_CACHE_SIZE=99999999999999\n"));
    EXPECT_EQ(log, CFG_HASH_LOG_MAX);
    EXPECT_EQ(cache, uint64_t(CFG_CACHE_MIB_MAX) << 20);
    ASSERT_TRUE(read("TB_CACHE_SIZE=-5\n"));
    EXPECT_EQ(cache, 0u);
}

TEST_F(ConfigFile, TablebaseListStopsAtItsLimit) {
    std::string longDir = "/" + std::string(200, 'a');
    ASSERT_TRUE(read("TABLEBASE=" + longDir + "\nTABLEBASE=/" + std::string(150, 'b') + "\nTABLEBASE=/c\n"));
    // The second directory would pass 300 characters: refused, the third still fits.
    EXPECT_EQ(paths, "/eng;" + longDir + ";/c");
    std::string list = "/x";
    EXPECT_FALSE(replaceTbPath(list, std::string(CFG_TB_PATH_LIMIT + 1, 'd')));
    EXPECT_EQ(list, "/x");
    EXPECT_TRUE(replaceTbPath(list, std::string(CFG_TB_PATH_LIMIT, 'd')));
    EXPECT_EQ(list.size(), CFG_TB_PATH_LIMIT);
    EXPECT_FALSE(appendTbPath(list, "/e"));
}

TEST_F(ConfigFile, LongLinesAreReadWholeNeverSplit) {
    // Longer than the old 126 characters: one line, one directory.
    std::string dir150 = "/" + std::string(149, 'p');
    // A line too long to be a setting: its tail must not become a line.
    std::string junk = "X" + std::string(TEXT_LINE_KEEP, 'y') + "HASHTABLE=25";
    ASSERT_TRUE(read("TABLEBASE=" + dir150 + "\n" + junk + "\nRESIGN=1\n"));
    EXPECT_EQ(paths, "/eng;" + dir150);
    EXPECT_EQ(log, 0);
    EXPECT_EQ(resignEnabled, 1);
}

TEST_F(ConfigFile, AMissingFileADirectoryOrAFifoIsNoConfiguration) {
    std::string folder = dir.file("cfgdir");
    std::string fifo = dir.file("cfg.fifo");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(60);  // a hang ends the run instead of stalling it
    for (const std::string& path : {dir.file("none.cfg"), folder, fifo}) {
        EXPECT_FALSE(readConfig(path.c_str(), log, paths, cache)) << path;
        EXPECT_EQ(log, 0);
        EXPECT_EQ(paths, "/eng");
        EXPECT_EQ(cache, 4194304u);
    }
    alarm(0);
}

TEST(ConfigSizes, ComputedIn64BitsAndClamped) {
    EXPECT_EQ(hashLogForSize(LONG_MIN), 0);
    EXPECT_EQ(hashLogForSize(0), 0);
    EXPECT_EQ(hashLogForSize(1), 0);
    EXPECT_EQ(hashLogForSize(22), 21);
    EXPECT_EQ(hashLogForSize(LONG_MAX), CFG_HASH_LOG_MAX);
    EXPECT_EQ(hashBudgetBytes(-7), 24u);
    EXPECT_EQ(hashBudgetBytes(21), uint64_t(24) << 21);
    EXPECT_EQ(hashBudgetBytes(1000), uint64_t(24) << CFG_HASH_LOG_MAX);
}

// The engine's own copy in a directory of its own finds the file beside it;
// switches come after the file. A FIFO named like the file once stalled the
// start-up for good.
TEST(ConfigBesideTheEngine, HashLineLogFileAndAFifoInPlaceOfTheFile) {
    TempDir dir;
    std::string engine = dir.copyEngine();
    EngineResult r = runProgram(dir, engine, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Hash=3MB Sst=68\n"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("velmora.log"));
    dir.write("velmora.cfg", "; table\nHASHTABLE=22\nLOGFILE=1\n");
    struct { const char* args; const char* hash; } cases[] = {
        {"", "Hash=48MB"}, {"-h19", "Hash=6MB"}, {"-h0", "Hash=3MB"}, {"-h-40", "Hash=3MB"}};
    for (const auto& c : cases) {
        r = runProgram(dir, engine, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find(std::string(c.hash) + " Sst=68\n"), std::string::npos) << c.args << r.err;
    }
    EXPECT_TRUE(dir.exists("velmora.log"));
    std::remove(dir.file("velmora.cfg").c_str());
    ASSERT_EQ(mkfifo(dir.file("velmora.cfg").c_str(), 0600), 0);
    r = runProgram(dir, engine, "", "ping 3\nquit\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "pong 3\n");
    EXPECT_NE(r.err.find("Hash=3MB Sst=68\n"), std::string::npos) << r.err;
}

}  // namespace
