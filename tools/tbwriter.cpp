// Tablebase writer and checker.
//   tbwriter [--compressed] DIR CLASS...   solve the classes, write their files
//   tbwriter --check DIR CLASS...          compare the files in DIR with a fresh solve
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include "egtb/tablebase.h"
#include "egtb/tbgenerate.h"
#include "egtb/tbregistry.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

int usage() {
    std::fprintf(stderr, "usage: tbwriter [--compressed] DIR CLASS...\n       tbwriter --check DIR CLASS...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool compressed = false, check = false;
    int a = 1;
    for (; a < argc && argv[a][0] == '-'; ++a) {
        if (!std::strcmp(argv[a], "--compressed")) compressed = true;
        else if (!std::strcmp(argv[a], "--check")) check = true;
        else return usage();
    }
    if (argc - a < 2) return usage();
    std::string dir = argv[a++];
    TbSolvedSet solved;
    std::string error;
    if (check) initTablebases(dir.c_str(), 64u << 20);
    int failures = 0;
    for (; a < argc; ++a) {
        int cls = tbClassByName(argv[a]);
        if (!cls) {
            std::fprintf(stderr, "tbwriter: unknown class %s\n", argv[a]);
            return 2;
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
