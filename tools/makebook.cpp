// makebook [-n plies] [-m games] [-o book.bo2|book.bin] games.pgn...: builds an
// opening book from the first plies of every game (default 20) and writes it
// to the output file (default "Velmora.bo2"), in our format or, for a name
// ending in ".bin", in the Polyglot format. Only moves of at least -m games
// are kept: by default all of them in our format, and 3 in the Polyglot one,
// as Debian's polyglot make-book keeps them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>
#include "board/game.h"
#include <strings.h>
#include "tools/lib/bookbuilder.h"
#include "tools/lib/pgnreader.h"

static int usage() {
    std::fprintf(stderr, "usage: makebook [-n plies] [-m games] [-o book.bo2|book.bin] [-q] games.pgn...\n");
    return 2;
}

int main(int argc, char** argv) {
    selectEnglishLetters();
    int plies = 20;
    int minGames = 0;  // the format's default
    bool quiet = false;
    std::string output = "Velmora.bo2";
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (std::strcmp(a, "-n") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end != 0 || v < 1 || v > 1000) {
                std::fprintf(stderr, "makebook: plies must be 1..1000\n");
                return 2;
            }
            plies = int(v);
        } else if (std::strcmp(a, "-m") == 0 && i + 1 < argc) {
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end != 0 || v < 1 || v > 1000000) {
                std::fprintf(stderr, "makebook: games must be 1..1000000\n");
                return 2;
            }
            minGames = int(v);
        } else if (std::strcmp(a, "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(a, "-q") == 0) {
            quiet = true;
        } else if (a[0] == '-' && a[1] != 0) {
            return usage();
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty()) return usage();
    BookBuilder builder;
    long positions = 0;
    for (const std::string& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "makebook: cannot read %s\n", path.c_str());
            return 1;
        }
        PgnGame pg;
        for (long number = 1; readPgnGame(in, pg); number++) {
            std::string warning;
            positions += builder.addGame(pg, plies, &warning);
            if (!warning.empty() && !quiet)
                std::fprintf(stderr, "%s, game %ld: %s\n", path.c_str(), number, warning.c_str());
        }
    }
    std::string error;
    bool polyglot = output.size() >= 4 && strcasecmp(output.c_str() + output.size() - 4, ".bin") == 0;
    if (minGames == 0) minGames = polyglot ? BOOK_POLYGLOT_MIN_GAMES : 1;
    if (!(polyglot ? builder.writePolyglot(output, minGames, &error) : builder.write(output, &error, minGames))) {
        std::fprintf(stderr, "makebook: %s\n", error.c_str());
        return 1;
    }
    if (polyglot)
        std::printf("%ld games used, %ld skipped, %ld positions, %zu entries -> %s\n", builder.gamesUsed,
                    builder.gamesSkipped, positions, builder.polyglotEntries(minGames).size(), output.c_str());
    else
        std::printf("%ld games used, %ld skipped, %ld positions, %zu records, %ld keys refused -> %s\n",
                    builder.gamesUsed, builder.gamesSkipped, positions, builder.records(minGames).size(),
                    builder.keysRefused, output.c_str());
    return 0;
}
