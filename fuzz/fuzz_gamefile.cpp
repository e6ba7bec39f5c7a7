// Game files (PARTIE, -f): any bytes load some moves or are refused; the
// game that results is always playable.
#include "board/game.h"
#include "engine/gamefile.h"
#include "tools/lib/perft.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = writeFuzzFile(data, size);
    std::string message;
    loadGameFile(game, path.c_str(), &message);
    perftCount(game, 1, nullptr);
    undoMove(game);
    newGame(game);
    listMoves(game);
    return 0;
}
