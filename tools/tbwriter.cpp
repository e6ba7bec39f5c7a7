// Tablebase writer and checker.
//   tbwriter [--compressed] DIR CLASS...   solve the classes, write their files
//   tbwriter --check DIR CLASS...          compare the files in DIR with a fresh solve
//   tbwriter --verify DIR CLASS...         sample the files in DIR against their successors
//   tbwriter --bench DIR CLASS...          probes per second, warm and cold cache
#include <chrono>
#include <random>
#include <vector>
#include <cstdio>
#include <cstring>
#include <string>
#include "egtb/tablebase.h"
#include "egtb/tbindex.h"
#include "egtb/tbregistry.h"
#include "tools/lib/tbgenerate.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

int usage() {
    std::fprintf(stderr,
                 "usage: tbwriter [--compressed] DIR CLASS...\n"
                 "       tbwriter --check|--verify|--bench DIR CLASS...\n");
    return 2;
}

struct Sample {
    WorkBoard board;
    int side;
};

// Random legal positions of the class as working boards.
std::vector<Sample> samples(int cls, size_t count) {
    std::vector<Sample> out;
    std::mt19937 rng(2026);
    for (size_t k = 0; out.size() < count && k < count * 50; ++k) {
        int side = int(rng() & 1);
        uint32_t i = uint32_t(rng() % tbClasses[cls].size[side]);
        TbPlacement p;
        if (!tbDecode(cls, side, i, p) || !tbPlacementLegal(p, side)) continue;
        Sample s;
        s.side = side;
        for (int& x : s.board.slotSquare) x = 64;
        for (int& x : s.board.squareSlot) x = 32;
        for (int& x : s.board.slotType) x = NO_PIECE;
        for (int& x : s.board.slotValue) x = 0;
        for (int c = 0; c < 2; ++c) {
            int slot = c * 16 + 1;
            for (int j = 0; j < TB_LIST_LEN; ++j) {
                int sq = p.list[c][j];
                if (sq < 0 || sq >= 64) continue;
                int g = j == 0 ? 0 : j < 4 ? 1 : j < 7 ? 2 : j < 10 ? 3 : j < 13 ? 4 : 5;
                int at = g == 0 ? c * 16 : slot++;
                s.board.slotSquare[at] = sq;
                s.board.squareSlot[sq] = at;
                s.board.slotType[at] = g == 5 ? (c ? BLACK_PAWN : WHITE_PAWN) : g;
            }
        }
        out.push_back(s);
    }
    return out;
}

double probesPerSecond(const std::vector<Sample>& set, int rounds, long& known) {
    auto t0 = std::chrono::steady_clock::now();
    known = 0;
    for (int r = 0; r < rounds; ++r)
        for (const Sample& s : set) {
            countMen(s.board);
            fillPieceLists(s.board);
            known += probeTablebase(s.side, -1) != 32767;
        }
    return double(set.size()) * rounds / secondsSince(t0);
}

}  // namespace

int main(int argc, char** argv) {
    bool compressed = false, check = false, verify = false, bench = false;
    int a = 1;
    for (; a < argc && argv[a][0] == '-'; ++a) {
        if (!std::strcmp(argv[a], "--compressed")) compressed = true;
        else if (!std::strcmp(argv[a], "--check")) check = true;
        else if (!std::strcmp(argv[a], "--verify")) verify = true;
        else if (!std::strcmp(argv[a], "--bench")) bench = true;
        else return usage();
    }
    if (argc - a < 2) return usage();
    std::string dir = argv[a++];
    TbSolvedSet solved;
    std::string error;
    if (check || verify || bench) initTablebases(dir.c_str(), 64u << 20);
    int failures = 0;
    for (; a < argc; ++a) {
        int cls = tbClassByName(argv[a]);
        if (!cls) {
            std::fprintf(stderr, "tbwriter: unknown class %s\n", argv[a]);
            return 2;
        }
        if (verify) {
            for (int side = 0; side < 2; ++side) {
                uint64_t agree, checked;
                if (!tbVerifySample(cls, side, 20000, 1, agree, checked, error)) {
                    std::printf("%s %s: %s\n", argv[a], side ? "btm" : "wtm", error.c_str());
                    ++failures;
                    continue;
                }
                std::printf("%s %s: %llu of %llu sampled positions agree with their successors (%.2f%%)\n",
                            argv[a], side ? "btm" : "wtm", (unsigned long long)agree, (unsigned long long)checked,
                            checked ? 100.0 * double(agree) / double(checked) : 0.0);
                if (agree != checked) ++failures;
            }
            continue;
        }
        if (bench) {
            std::vector<Sample> set = samples(cls, 200000);
            long known;
            probesPerSecond(set, 1, known);  // fill the cache
            double warm = probesPerSecond(set, 5, known);
            std::vector<char> one(8284 * 2);
            setupBlockCache(one.data(), one.size());  // two blocks: nearly every probe misses
            double cold = probesPerSecond(set, 1, known);
            std::printf("%s: %zu positions, warm cache %.0f probes/s, cold cache %.0f probes/s (%ld answered)\n",
                        argv[a], set.size(), warm, cold, known);
            initTablebases(dir.c_str(), 64u << 20);
            continue;
        }
        auto t0 = std::chrono::steady_clock::now();
        if (!tbSolveClass(cls, solved, error)) {
            std::fprintf(stderr, "tbwriter: %s: %s\n", argv[a], error.c_str());
            return 1;
        }
        double solveTime = secondsSince(t0);
        const TbSolvedClass& t = solved[cls];
        if (!check) {
            bool ok = compressed ? tbWriteCompressed(dir, t, error) : tbWritePlain(dir, t, error);
            if (!ok) {
                std::fprintf(stderr, "tbwriter: %s\n", error.c_str());
                return 1;
            }
            std::printf("%s: %u + %u positions, solved in %.2f s\n", argv[a], unsigned(t.bytes[0].size()),
                        unsigned(t.bytes[1].size()), solveTime);
            continue;
        }
        for (int side = 0; side < 2; ++side) {
            if (!tbClasses[cls].side[side].path) {
                std::printf("%s %s: no file\n", argv[a], side ? "btm" : "wtm");
                ++failures;
                continue;
            }
            uint64_t agree = 0, n = t.bytes[side].size();
            for (uint32_t i = 0; i < n; ++i)
                if (tablebaseValue(cls, side, i) == tbValueOfByte(t.bytes[side][i])) ++agree;
            std::printf("%s %s: %llu of %llu positions agree (%.4f%%)\n", argv[a], side ? "btm" : "wtm",
                        (unsigned long long)agree, (unsigned long long)n, n ? 100.0 * double(agree) / double(n) : 0);
            if (agree != n) ++failures;
        }
    }
    return failures ? 1 : 0;
}
