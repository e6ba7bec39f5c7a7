// Book files: records of any content give no move or a legal one.
#include <cstdio>
#include <cstring>
#include <string>
#include "board/game.h"
#include "book/book.h"
#include "fuzz_input_file.h"

static bool stopAlways() { return true; }

// The index agrees with a whole-file lookup, stopped after every slice or
// holding almost nothing.
static void checkIndex(const std::string& path, size_t size, const char* key) {
    FILE* f = std::fopen(path.c_str(), "rb");
    BookFileStamp stamp;
    if (f == nullptr) return;
    if (stampBookFile(f, path, stamp)) {
        BookRecord whole, sliced, small;
        int expected = bookLookup(f, key, whole);
        BookIndex slices, tiny(size % 512);
        slices.reset(stamp);
        tiny.reset(stamp);
        int found;
        while ((found = slices.find(f, key, sliced, stopAlways)) == -1) {
        }
        if (found != expected || tiny.find(f, key, small, nullptr) != expected) __builtin_trap();
        if (expected && (std::memcmp(whole.entries, sliced.entries, sizeof whole.entries) != 0 ||
                         std::memcmp(whole.entries, small.entries, sizeof whole.entries) != 0))
            __builtin_trap();
    }
    std::fclose(f);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 100) {
        BookRecord r;
        decodeRecord(data, r);
        (void)weightedChoice(r);
    }
    std::string path = writeFuzzFile(data, size);
    setBookFile(path);
    const char* positions[] = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                               "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"};
    for (const char* fen : positions) {
        setupFromFen(game, fen);
        refillBookMisses();
        uint32_t list[MAX_MOVES];
        int n = 0;
        for (; game.legalMoves[n]; n++) list[n] = game.legalMoves[n];
        list[n] = 0;
        if (bookMoveForSearch(game, list)) {
            bool legal = false;
            for (int i = 0; game.legalMoves[i]; i++)
                if ((game.legalMoves[i] & 0xFFFF) == (list[0] & 0xFFFF) && !(game.legalMoves[i] & 0x8000)) legal = true;
            if (!legal) __builtin_trap();
        }
        (void)bookProbe(game);
        char key[128];
        positionText(game, key);
        checkIndex(path, size, key);
    }
    return 0;
}
