#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include "egtb/tablebase.h"
#include "egtb/tbdecode.h"
#include "egtb/tbregistry.h"
#include "tests/engine/engine_process.h"
#include "tools/lib/tbgenerate.h"

namespace {

// Temporary directories, removed when the test program ends (not when a
// death test's child ends).
struct TempDirs {
    std::vector<std::string> made;
    pid_t owner = getpid();
    ~TempDirs() {
        if (getpid() == owner)
            for (const std::string& d : made) std::filesystem::remove_all(d);
    }
};

std::string makeDir(const char* tag) {
    static TempDirs dirs;
    std::string t = std::string("/tmp/velmora_egtb_") + tag + "_XXXXXX";
    std::vector<char> buf(t.begin(), t.end());
    buf.push_back(0);
    EXPECT_NE(mkdtemp(buf.data()), nullptr);
    dirs.made.push_back(buf.data());
    return buf.data();
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

uint32_t bigEndianAt(const std::vector<uint8_t>& f, size_t at) {
    return uint32_t(f[at]) << 24 | uint32_t(f[at + 1]) << 16 | uint32_t(f[at + 2]) << 8 | f[at + 3];
}
void putBigEndian(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// Solved 3-man classes, written once as plain and as compressed files.
struct Tables {
    TbSolvedSet solved;
    std::string plainDir, packedDir;
    Tables() {
        std::string error;
        plainDir = makeDir("plain");
        packedDir = makeDir("packed");
        for (const char* n : {"kpk", "knk", "kbk", "krk", "kqk"}) {
            int c = tbClassByName(n);
            EXPECT_TRUE(tbSolveClass(c, solved, error)) << error;
            EXPECT_TRUE(tbWritePlain(plainDir, solved[c], error)) << error;
            EXPECT_TRUE(tbWriteCompressed(packedDir, solved[c], error)) << error;
        }
    }
};

Tables& tables() {
    static Tables t;
    return t;
}

// A working board holding only the given men.
struct Men {
    WorkBoard b;
    int nextSlot[2] = {1, 17};
    Men() {
        for (int& s : b.slotSquare) s = 64;
        for (int& s : b.squareSlot) s = 32;
        for (int& t : b.slotType) t = NO_PIECE;
        for (int& v : b.slotValue) v = 0;
    }
    Men& put(int colour, int type, int sq) {
        int slot = type == KING ? colour * 16 : nextSlot[colour]++;
        b.slotSquare[slot] = sq;
        b.squareSlot[sq] = slot;
        b.slotType[slot] = type;
        return *this;
    }
    int probe(int side, int ep = -1) {
        countMen(b);
        fillPieceLists(b);
        return probeTablebase(side, ep);
    }
};

enum { W = 0, B = 1 };

int sq(const char* s) { return (s[0] - 'a') + 8 * (s[1] - '1'); }
int mateIn(int moves) { return 32767 - moves; }

class Tablebase : public ::testing::Test {
protected:
    void SetUp() override { tables(); }
    void TearDown() override {
        closeTablebases();
        tbLoaded = 0;
    }
    void init(const std::string& dirs) { initTablebases(dirs.c_str(), 1u << 20); }
};

TEST_F(Tablebase, KnownFactsOfTheEndings) {
    init(tables().plainDir);
    EXPECT_EQ(tbMaxPieces, 3);
    // Queen mates in one from c6/d7 against a8; black to move there is lost in one.
    EXPECT_EQ(Men().put(W, KING, sq("c6")).put(W, QUEEN, sq("d7")).put(B, KING, sq("a8")).probe(W), mateIn(1));
    EXPECT_EQ(Men().put(W, KING, sq("c6")).put(W, QUEEN, sq("b6")).put(B, KING, sq("a8")).probe(B), 0);  // stalemate
    // The colour-exchanged position answers the same, seen from the other side.
    int direct = Men().put(W, KING, sq("e4")).put(W, ROOK, sq("h1")).put(B, KING, sq("e6")).probe(W);
    int exchanged = Men().put(B, KING, sq("e5")).put(B, ROOK, sq("h8")).put(W, KING, sq("e3")).probe(B);
    EXPECT_GT(direct, 32640);
    EXPECT_EQ(direct, exchanged);
    // Longest wins: mate in 10 with the queen, 16 with the rook, 28 with the pawn.
    int longest[6] = {};
    for (int cls = 1; cls <= 5; ++cls)
        for (int8_t b : tables().solved[cls].bytes[0])
            if (b > 0 && b < 127) longest[cls] = std::max(longest[cls], 127 - b);
    EXPECT_EQ(longest[5], 10);
    EXPECT_EQ(longest[4], 16);
    EXPECT_EQ(longest[1], 28);
    EXPECT_EQ(longest[2], 0);
    // The defending king in front of the pawn holds; a king on the sixth wins.
    EXPECT_EQ(Men().put(W, KING, sq("e3")).put(W, WHITE_PAWN, sq("e4")).put(B, KING, sq("e5")).probe(W), 0);
    EXPECT_GT(Men().put(W, KING, sq("e6")).put(W, WHITE_PAWN, sq("e5")).put(B, KING, sq("e8")).probe(W), 32640);
    int lost = Men().put(W, KING, sq("e6")).put(W, WHITE_PAWN, sq("e5")).put(B, KING, sq("e8")).probe(B);
    EXPECT_LT(lost, -32640);
    // Black's pawn mirrors white's.
    EXPECT_EQ(Men().put(B, KING, sq("e3")).put(B, BLACK_PAWN, sq("e4")).put(W, KING, sq("e1")).probe(W), lost);
    // Lone minor pieces draw; bare kings and unknown material answer nothing.
    EXPECT_EQ(Men().put(W, KING, sq("a1")).put(B, BISHOP, sq("c3")).put(B, KING, sq("h8")).probe(W), 0);
    EXPECT_EQ(Men().put(W, KING, sq("a1")).put(W, ROOK, sq("b2")).put(W, ROOK, sq("c2")).put(B, KING, sq("h8"))
                  .probe(W), 32767);
}

TEST_F(Tablebase, PlainAndCompressedCopiesAgree) {
    init(tables().packedDir);
    EXPECT_EQ(tbMaxPieces, 3);
    for (int cls = 1; cls <= 5; ++cls)
        for (int side = 0; side < 2; ++side) {
            const auto& bytes = tables().solved[cls].bytes[side];
            for (uint32_t i = 0; i < bytes.size(); ++i)
                ASSERT_EQ(tablebaseValue(cls, side, i), tbValueOfByte(bytes[i])) << cls << " " << side << " " << i;
            EXPECT_EQ(tablebaseValue(cls, side, uint32_t(bytes.size())), 32767);  // past the end
        }
}

TEST_F(Tablebase, FirstDirectoryWinsAndMissingDirectoriesAreHarmless) {
    std::string empty = makeDir("empty");
    init(empty + ";" + tables().plainDir + "," + tables().packedDir);
    EXPECT_EQ(tbMaxPieces, 3);
    EXPECT_EQ(std::string(tbClasses[5].side[0].path), tables().plainDir + "/kqk.nbw");
    EXPECT_EQ(tbClasses[5].side[0].compressed, nullptr);
    init(empty);
    EXPECT_EQ(tbMaxPieces, 0);
    EXPECT_EQ(Men().put(W, KING, sq("c6")).put(W, QUEEN, sq("d7")).put(B, KING, sq("a8")).probe(W), 32767);
    // The name without the dot before the side is found as compressed.
    std::string odd = makeDir("odd");
    writeAll(odd + "/kqknbw.emd", readAll(tables().packedDir + "/kqk.nbw.emd"));
    init(odd);
    ASSERT_NE(tbClasses[5].side[0].path, nullptr);
    EXPECT_NE(tbClasses[5].side[0].compressed, nullptr);
    EXPECT_EQ(Men().put(W, KING, sq("c6")).put(W, QUEEN, sq("d7")).put(B, KING, sq("a8")).probe(W), mateIn(1));
}

TEST_F(Tablebase, SmallCacheEvictsAndStillAnswers) {
    init(tables().plainDir);
    EXPECT_EQ(tbCacheBlockCount(), 126);  // 1 MiB
    std::vector<char> area(3 * 8284);
    setupBlockCache(area.data(), area.size());
    EXPECT_EQ(tbCacheBlockCount(), 3);
    std::mt19937 rng(7);
    const auto& kpk = tables().solved[1].bytes;
    for (int k = 0; k < 20000; ++k) {
        int side = int(rng() & 1);
        uint32_t i = uint32_t(rng() % kpk[side].size());
        ASSERT_EQ(tablebaseValue(1, side, i), tbValueOfByte(kpk[side][i]));
    }
    setupBlockCache(nullptr, 0);
    EXPECT_EQ(tablebaseValue(1, 0, 0), 32767);
}

TEST_F(Tablebase, DamageFoundWhileProbingDropsTheTable) {
    std::string dir = makeDir("damaged");
    std::vector<uint8_t> file = readAll(tables().packedDir + "/kpk.nbw.emd");
    writeAll(dir + "/kpk.nbw.emd", file);
    writeAll(dir + "/kqk.nbw", readAll(tables().plainDir + "/kqk.nbw"));
    init(dir);
    ASSERT_NE(tbClasses[1].side[0].path, nullptr);
    // Overwrite the blocks after registration; the header stays good.
    uint32_t S = bigEndianAt(file, 64);
    for (size_t i = S; i < file.size(); ++i) file[i] = uint8_t(0xA5 ^ (i * 31));
    writeAll(dir + "/kpk.nbw.emd", file);
    int answered = 0;
    ::testing::internal::CaptureStdout();
    for (uint32_t i = 0; i < 81664; i += 8192) answered += tablebaseValue(1, 0, i) != 32767;
    std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(tbClasses[1].side[0].path, nullptr);
    EXPECT_EQ(tablebaseValue(1, 0, 0), 32767);
    EXPECT_EQ(answered, 0);
    // Said once, although every block after the first was probed too.
    EXPECT_EQ(said, "*** " + dir + "/kpk.nbw.emd: block 0 damaged, table dropped\n");
    // A plain file removed after registration answers nothing from the next miss on.
    std::remove((dir + "/kqk.nbw").c_str());
    closeTableFiles();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(tablebaseValue(5, 0, 100), 32767);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "*** " + dir + "/kqk.nbw: read error, table dropped\n");
}

// Start and length of each compressed block, from the header's size stream.
std::vector<std::pair<uint64_t, uint64_t>> blockSpans(const std::vector<uint8_t>& f) {
    uint32_t S = bigEndianAt(f, 64), N = bigEndianAt(f, 72);
    TbBitReader in(f.data(), S - 4, (80 + 8 * uint64_t(N)) * 8);
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    uint64_t at = S;
    for (uint32_t b = 0; b < N; ++b) {
        uint32_t v = in.bits(13);
        spans.push_back({at, v ? v : 8192});
        at += spans.back().second;
    }
    return spans;
}

// One-bit flips in the blocks of a compressed file used to decode, often
// cleanly, into wrong values: a drawn kpk position came out as a mate in 12.
// Every flip must now drop the table instead, also when the check of the
// compressed bytes is made to agree (then only the check of the expanded
// bytes can tell).
TEST_F(Tablebase, FlippedBitsInBlocksDropTheTableInsteadOfGivingWrongValues) {
    const std::vector<uint8_t> good = readAll(tables().packedDir + "/kpk.nbw.emd");
    const std::vector<int8_t>& truth = tables().solved[1].bytes[0];
    // 8/1k1K4/8/P7/8/8/8/8 w: a draw; its block gets half of the flips.
    auto drawn = [] { return Men().put(W, KING, sq("d7")).put(W, WHITE_PAWN, sq("a5")).put(B, KING, sq("b7")); };
    int first[TB_LIST_LEN], second[TB_LIST_LEN];
    std::fill(first, first + TB_LIST_LEN, -1);
    std::fill(second, second + TB_LIST_LEN, -1);
    first[0] = sq("d7"), first[TB_LIST_START[5]] = sq("a5"), second[0] = sq("b7");
    uint32_t drawnBlock = tbIndex(1, 0, first, second, -1, 0) / 8192;
    ASSERT_EQ(truth[drawnBlock * 8192 + tbIndex(1, 0, first, second, -1, 0) % 8192], 0);

    auto spans = blockSpans(good);
    ASSERT_EQ(spans.size(), 10u);
    std::string dir = makeDir("flips");
    std::mt19937 rng(11);
    for (int k = 0; k < 24; ++k) {
        std::vector<uint8_t> f = good;
        uint32_t block = k % 2 ? drawnBlock : uint32_t(rng() % spans.size());
        size_t at = size_t(spans[block].first + rng() % spans[block].second);
        f[at] ^= uint8_t(1u << (rng() % 8));
        bool fixedUp = k % 4 >= 2;
        if (fixedUp) {
            putBigEndian(f, 80 + 8 * block, headerCheck(f.data() + spans[block].first, spans[block].second));
            uint32_t S = bigEndianAt(f, 64);
            putBigEndian(f, S - 4, headerCheck(f.data(), S - 4));
        }
        writeAll(dir + "/kpk.nbw.emd", f);
        init(dir);
        ASSERT_NE(tbClasses[1].side[0].path, nullptr);
        ::testing::internal::CaptureStdout();
        int drawnValue = drawn().probe(W);
        int wrong = 0;
        for (uint32_t i = 0; i < truth.size(); ++i) {
            int v = tablebaseValue(1, 0, i);
            wrong += v != 32767 && v != tbValueOfByte(truth[i]);
        }
        std::string said = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(wrong, 0) << "flip " << k;
        EXPECT_TRUE(drawnValue == 0 || drawnValue == 32767) << drawnValue;
        EXPECT_EQ(tbClasses[1].side[0].path, nullptr) << "flip " << k << " went unnoticed";
        EXPECT_EQ(said, "*** " + dir + "/kpk.nbw.emd: block " + std::to_string(block) + " damaged, table dropped\n")
            << "flip " << k << (fixedUp ? " (compressed check made right)" : "");
    }
}

// Fatal registration errors print on standard output and exit with status 1.
// Only the start-up load is fatal; a hang (a FIFO read) fails by the alarm.
void initWithStdoutOnStderr(const std::string& dir) {
    dup2(2, 1);
    alarm(20);
    tbLoaded = 0;
    initTablebases(dir.c_str(), 1u << 20);
}

TEST_F(Tablebase, DamagedFilesStopRegistration) {
    std::string dir = makeDir("short");
    std::vector<uint8_t> kpk = readAll(tables().plainDir + "/kpk.nbw");
    kpk.pop_back();
    writeAll(dir + "/kpk.nbw", kpk);
    EXPECT_EXIT(initWithStdoutOnStderr(dir), ::testing::ExitedWithCode(1), "\\*\\*\\* .*/kpk.nbw corrupted");

    std::vector<uint8_t> packed = readAll(tables().packedDir + "/kqk.nbw.emd");
    ASSERT_GT(packed.size(), 200u);
    std::string d2 = makeDir("header");
    auto variant = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> f = packed;
        f[at] = value;
        writeAll(d2 + "/kqk.nbw.emd", f);
    };
    variant(100, uint8_t(packed[100] ^ 1));  // check value no longer matches
    EXPECT_EXIT(initWithStdoutOnStderr(d2), ::testing::ExitedWithCode(1), "Unable to read .*kqk.nbw.emd - file broken");
    variant(3, uint8_t(packed[3] ^ 1));  // banner
    EXPECT_EXIT(initWithStdoutOnStderr(d2), ::testing::ExitedWithCode(1), "read error");
    variant(75, 0);  // block count 0 (with the other count bytes zero)
    EXPECT_EXIT(initWithStdoutOnStderr(d2), ::testing::ExitedWithCode(1), "file broken");
    variant(64, 0x7F);  // header size far past the file
    EXPECT_EXIT(initWithStdoutOnStderr(d2), ::testing::ExitedWithCode(1), "kqk.nbw.emd - ");
    std::vector<uint8_t> truncated(packed.begin(), packed.begin() + 40);
    writeAll(d2 + "/kqk.nbw.emd", truncated);
    EXPECT_EXIT(initWithStdoutOnStderr(d2), ::testing::ExitedWithCode(1), "read error");
}

TEST_F(Tablebase, NonRegularFilesStopTheStartUpWithoutHanging) {
    std::string fifo = makeDir("fifo");
    ASSERT_EQ(mkfifo((fifo + "/kpk.nbw").c_str(), 0600), 0);
    EXPECT_EXIT(initWithStdoutOnStderr(fifo), ::testing::ExitedWithCode(1), "\\*\\*\\* .*/kpk.nbw corrupted");
    std::string packedFifo = makeDir("fifo2");
    ASSERT_EQ(mkfifo((packedFifo + "/kqknbw.emd").c_str(), 0600), 0);
    EXPECT_EXIT(initWithStdoutOnStderr(packedFifo), ::testing::ExitedWithCode(1),
                "Unable to read .*/kqknbw.emd - read error");
    std::string folder = makeDir("folder");
    ASSERT_TRUE(std::filesystem::create_directory(folder + "/krk.nbb.emd"));
    EXPECT_EXIT(initWithStdoutOnStderr(folder), ::testing::ExitedWithCode(1),
                "Unable to read .*/krk.nbb.emd - read error");
}

// A directory added during a game may hold damaged files, folders or FIFOs
// named like tables: each is skipped with a message, the good ones load.
TEST_F(Tablebase, ReloadDuringAGameSkipsDamagedFiles) {
    std::string bad = makeDir("reload_bad"), good = makeDir("reload_good");
    std::vector<uint8_t> kpk = readAll(tables().plainDir + "/kpk.nbw");
    kpk.push_back(0);
    writeAll(bad + "/kpk.nbw", kpk);                                          // wrong size
    writeAll(good + "/kpk.nbw", readAll(tables().plainDir + "/kpk.nbw"));     // found after it
    ASSERT_EQ(mkfifo((bad + "/krk.nbw").c_str(), 0600), 0);
    ASSERT_TRUE(std::filesystem::create_directory(bad + "/knk.nbb"));
    writeAll(bad + "/knk.nbb.emd", readAll(tables().packedDir + "/knk.nbb.emd"));  // beside the folder
    std::vector<uint8_t> kqk = readAll(tables().packedDir + "/kqk.nbw.emd");
    kqk[100] ^= 1;
    writeAll(bad + "/kqk.nbw.emd", kqk);                                       // header check fails
    std::vector<uint8_t> kbk = readAll(tables().packedDir + "/kbk.nbw.emd");
    kbk[70] = 12;
    putBigEndian(kbk, bigEndianAt(kbk, 64) - 4, headerCheck(kbk.data(), bigEndianAt(kbk, 64) - 4));
    writeAll(bad + "/kbk.nbw.emd", kbk);                                       // 4096-byte blocks

    init(tables().plainDir);  // the start-up load
    ::testing::internal::CaptureStdout();
    init(bad + ";" + good);
    std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(tbMaxPieces, 3);
    EXPECT_NE(said.find("*** " + bad + "/kpk.nbw corrupted (skipped)\n"), std::string::npos) << said;
    EXPECT_NE(said.find("*** " + bad + "/krk.nbw corrupted (skipped)\n"), std::string::npos) << said;
    EXPECT_NE(said.find("*** " + bad + "/knk.nbb corrupted (skipped)\n"), std::string::npos) << said;
    EXPECT_NE(said.find("*** Unable to read " + bad + "/kqk.nbw.emd - file broken (skipped)\n"), std::string::npos);
    EXPECT_NE(said.find("*** " + bad + "/kbk.nbw.emd: Unsupported block size 4096 (skipped)\n"), std::string::npos);
    ASSERT_NE(tbClasses[1].side[0].path, nullptr);
    EXPECT_EQ(std::string(tbClasses[1].side[0].path), good + "/kpk.nbw");
    ASSERT_NE(tbClasses[2].side[1].path, nullptr);
    EXPECT_EQ(std::string(tbClasses[2].side[1].path), bad + "/knk.nbb.emd");
    for (int cls : {3, 4, 5}) EXPECT_EQ(tbClasses[cls].side[0].path, nullptr) << cls;
    EXPECT_EQ(Men().put(W, KING, sq("e3")).put(W, WHITE_PAWN, sq("e4")).put(B, KING, sq("e5")).probe(W), 0);
    EXPECT_EQ(Men().put(W, KING, sq("c6")).put(W, QUEEN, sq("d7")).put(B, KING, sq("a8")).probe(W), 32767);
}

// The same through the protocols: the engine answers on after the reload
// and still plays.
TEST_F(Tablebase, EngineKeepsPlayingAfterReloadingADamagedDirectory) {
    std::string bad = makeDir("engine_reload");
    std::vector<uint8_t> kpk = readAll(tables().plainDir + "/kpk.nbw");
    kpk.resize(1000);
    writeAll(bad + "/kpk.nbw", kpk);
    ASSERT_EQ(mkfifo((bad + "/kpk.nbb").c_str(), 0600), 0);
    writeAll(bad + "/kqk.nbw", readAll(tables().plainDir + "/kqk.nbw"));
    // Found after the skipped plain file; its blocks fail their checks when
    // the search first reads them.
    std::vector<uint8_t> packed = readAll(tables().packedDir + "/kpk.nbw.emd");
    for (size_t i = bigEndianAt(packed, 64); i < packed.size(); ++i) packed[i] ^= 0x10;
    writeAll(bad + "/kpk.nbw.emd", packed);
    {
        EngineProcess engine;
        engine.send("xboard");
        engine.send("protover 2");
        engine.send("egtpath nalimov " + bad);
        engine.send("ping 3");
        EXPECT_EQ(engine.waitFor("pong", 10000), "pong 3");
        bool told = false;
        for (const std::string& l : engine.lines) told = told || l == "*** " + bad + "/kpk.nbw corrupted (skipped)";
        EXPECT_TRUE(told);
        engine.send("setboard 8/8/8/8/8/2K5/8/k1Q5 w - - 0 1");
        engine.send("go");
        EXPECT_NE(engine.waitFor("move", 10000), "");
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(5000), 0);
    }
    EngineProcess engine;
    engine.send("uci");
    engine.send("setoption name NalimovPath value " + bad);
    engine.send("isready");
    EXPECT_EQ(engine.waitFor("readyok", 10000), "readyok");
    bool told = false;
    for (const std::string& l : engine.lines)
        told = told || l == "info string *** " + bad + "/kpk.nbb corrupted (skipped)";
    EXPECT_TRUE(told);
    engine.send("position fen 8/8/8/8/8/2K5/8/k1Q5 w - - 0 1");
    engine.send("go depth 4");
    EXPECT_NE(engine.waitFor("bestmove", 10000), "");
    // The drawn ending of the damaged table: dropped once, searched as usual.
    size_t before = engine.lines.size();
    engine.send("position fen 8/1k1K4/8/P7/8/8/8/8 w - - 0 1");
    engine.send("go depth 8");
    EXPECT_NE(engine.waitFor("bestmove", 10000), "");
    int drops = 0;
    for (size_t i = before; i < engine.lines.size(); ++i) {
        const std::string& l = engine.lines[i];
        drops += l.rfind("info string *** " + bad + "/kpk.nbw.emd: block ", 0) == 0 &&
                 l.find(" damaged, table dropped") != std::string::npos;
        EXPECT_EQ(l.find("score mate"), std::string::npos) << l;
    }
    EXPECT_EQ(drops, 1);
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(5000), 0);
}

// Mutated headers and blocks must fail cleanly (run under the sanitizers).
TEST(TbDecode, MutatedInputNeverReadsOutside) {
    std::vector<int8_t> table(20000);
    std::mt19937 rng(99);
    for (size_t i = 0; i < table.size(); ++i) table[i] = int8_t((i / 61) % 7 == 0 ? rng() % 5 : (i % 13));
    std::vector<uint8_t> packed;
    std::string error;
    ASSERT_TRUE(tbCompressTable(table, packed, error)) << error;
    uint32_t S = bigEndianAt(packed, 64);
    uint32_t N = uint32_t(packed[74]) << 8 | packed[75];
    ASSERT_EQ(N, 3u);
    static TbPrefixCode code;
    uint32_t distances[TB_MATCH_DISTANCES];
    auto decodeAll = [&](const std::vector<uint8_t>& f, std::vector<uint8_t>& out) {
        TbBitReader in(f.data(), S - 4, (80 + 8 * N) * 8);
        std::vector<uint32_t> sizes(N + 1);
        for (auto& s : sizes) s = in.bits(13);
        for (auto& d : distances) d = in.bits(13);
        in.pos = (in.pos + 7) & ~uint64_t(7);
        uint8_t lengths[TB_ALPHABET];
        if (!readLengths(in, TB_ALPHABET, lengths) || !tbBuildCode(code, lengths, TB_ALPHABET, 13)) return false;
        uint64_t at = S;
        out.clear();
        for (uint32_t b = 0; b < N; ++b) {
            uint32_t len = sizes[b] ? sizes[b] : 8192;
            if (at + len > f.size()) return false;
            uint32_t outSize = b + 1 == N ? (sizes[N] ? sizes[N] : 8192) : 8192;
            std::vector<uint8_t> in2(f.begin() + long(at), f.begin() + long(at + len));  // exact-size buffer
            std::vector<uint8_t> o(outSize);
            if (!tbDecodeBlock(code, distances, in2.data(), len, o.data(), outSize)) return false;
            out.insert(out.end(), o.begin(), o.end());
            at += len;
        }
        return true;
    };
    std::vector<uint8_t> out;
    ASSERT_TRUE(decodeAll(packed, out));
    ASSERT_EQ(out.size(), table.size());
    EXPECT_EQ(0, std::memcmp(out.data(), table.data(), out.size()));
    int failed = 0;
    for (int k = 0; k < 3000; ++k) {
        std::vector<uint8_t> f = packed;
        int flips = 1 + int(rng() % 4);
        for (int j = 0; j < flips; ++j) {
            size_t at = 80 + 8 * N + rng() % (f.size() - 80 - 8 * N);
            f[at] ^= uint8_t(1u << (rng() % 8));
        }
        failed += !decodeAll(f, out);
    }
    EXPECT_GT(failed, 0);
    // A repeat count that would overflow is refused, not wrapped.
    // Inner lengths: A holds symbols 0 and 32, B only symbol 63 (2^31 repeats).
    std::vector<int> bits;
    auto put = [&](uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) bits.push_back(int(v >> i) & 1);
    };
    put(0, 1), put(0, 1), put(5, 5);
    put(1, 5), put(0, 5), put(15, 4), put(0, 5), put(14, 4), put(1, 5);
    for (int i = 0; i < 5; ++i) put(0, 5), put(15, 4);
    put(0, 5), put(13, 4), put(1, 5);
    put(1, 1);  // A: symbol 32, then B: 63
    uint8_t bad[32] = {};
    for (size_t i = 0; i < bits.size(); ++i) bad[i / 8] |= uint8_t(bits[i] << (7 - i % 8));
    TbBitReader r(bad, sizeof bad);
    uint8_t lengths[TB_ALPHABET];
    EXPECT_FALSE(readLengths(r, TB_ALPHABET, lengths));
}

TEST(TbDecode, CodeLengthRules) {
    static TbPrefixCode code;
    uint8_t len[4] = {1, 2, 3, 3};
    EXPECT_TRUE(tbBuildCode(code, len, 4, 8));
    uint8_t gap[4] = {1, 2, 3, 0};  // does not fill the code space
    EXPECT_FALSE(tbBuildCode(code, gap, 4, 8));
    uint8_t lone[4] = {0, 2, 0, 0};  // one symbol must have length 1
    EXPECT_FALSE(tbBuildCode(code, lone, 4, 8));
    uint8_t one[4] = {0, 1, 0, 0};
    ASSERT_TRUE(tbBuildCode(code, one, 4, 8));
    uint8_t byte = 0xFF;
    TbBitReader r(&byte, 1);
    EXPECT_EQ(tbDecodeSymbol(code, r), 1);
    EXPECT_EQ(r.pos, 0u);
    // Codes longer than the direct look-up are decoded through the ranges.
    uint8_t deep[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 11};
    ASSERT_TRUE(tbBuildCode(code, deep, 12, 8));
    uint8_t ones[2] = {0xFF, 0xFF};
    TbBitReader r2(ones, 2);
    EXPECT_EQ(tbDecodeSymbol(code, r2), 11);
    EXPECT_EQ(r2.pos, 11u);
    EXPECT_EQ(tbDecodeSymbol(code, r2), -1);  // runs out of bits
}

TEST(TbValues, StoredBytesBecomeValues) {
    const int pairs[][2] = {{0, 0},          {1, 32641},     {126, 32766},  {127, 32767},
                            {-1, -32641},    {-126, -32766}, {-127, -32640}, {-128, 32640}};
    for (const auto& p : pairs) EXPECT_EQ(tbValueOfByte(int8_t(p[0])), p[1]) << p[0];
    EXPECT_EQ(tbStoredByte(1, 1), 126);   // mate in one
    EXPECT_EQ(tbStoredByte(2, 0), -126);  // mated
}

TEST_F(Tablebase, VerifyFindsTablesThatDoNotFollowFromTheirSuccessors) {
    init(tables().plainDir);
    uint64_t agree, checked;
    std::string error;
    ASSERT_TRUE(tbVerifySample(4, 0, 2000, 3, agree, checked, error)) << error;  // krk
    EXPECT_EQ(checked, 2000u);
    EXPECT_EQ(agree, checked);
    // A copy with every other mate distance off by one no longer agrees.
    std::string dir = makeDir("wrong");
    std::vector<uint8_t> krk = readAll(tables().plainDir + "/krk.nbb");
    for (size_t i = 0; i < krk.size(); i += 2)
        if (int8_t(krk[i]) < 0 && int8_t(krk[i]) > -126) krk[i]--;
    writeAll(dir + "/krk.nbb", krk);
    writeAll(dir + "/krk.nbw", readAll(tables().plainDir + "/krk.nbw"));
    init(dir);
    ASSERT_TRUE(tbVerifySample(4, 0, 2000, 3, agree, checked, error)) << error;
    EXPECT_LT(agree, checked * 3 / 4);
}

int parseBytes(std::vector<uint8_t>& bytes, uint32_t& size) {
    FILE* f = fmemopen(bytes.data(), bytes.size(), "rb");
    EXPECT_NE(f, nullptr);
    TbCompressed* c = nullptr;
    int bits = 0;
    int result = parseCompressedHeader(f, &c, &size, &bits);
    std::fclose(f);
    freeCompressed(c);
    return result;
}

// Registration reads untrusted headers: mutated ones fail, never crash.
TEST(TbHeader, MutatedHeadersAreRefusedCleanly) {
    std::vector<uint8_t> packed = readAll(tables().packedDir + "/kpk.nbb.emd");
    uint32_t size = 0;
    ASSERT_EQ(parseBytes(packed, size), TBH_OK);
    EXPECT_EQ(size, 84012u);
    uint32_t S = bigEndianAt(packed, 64);
    std::mt19937 rng(5);
    int refused = 0, mutatedPlain = 0;
    for (int k = 0; k < 2000; ++k) {
        std::vector<uint8_t> f = packed;
        for (int j = 0; j < 1 + int(rng() % 3); ++j) f[64 + rng() % (S - 64)] ^= uint8_t(1u << (rng() % 8));
        if (k % 4 == 0) f.resize(rng() % f.size());
        if (k % 4 == 1 && f.size() >= S) {
            // With the check value made right again, the fields and the code
            // lengths themselves must hold up.
            putBigEndian(f, S - 4, headerCheck(f.data(), S - 4));
        } else {
            ++mutatedPlain;
            refused += parseBytes(f, size) != TBH_OK;
            continue;
        }
        parseBytes(f, size);
    }
    EXPECT_GT(refused, mutatedPlain * 95 / 100);  // the check value catches nearly every change
    std::vector<uint8_t> wrongBlock = packed;
    wrongBlock[70] = 12;
    EXPECT_EQ(parseBytes(wrongBlock, size), TBH_BROKEN);  // the check value covers the field
}

}  // namespace
