// Position files (-p): set up or refused, never a broken board.
#include "board/game.h"
#include "engine/positionfile.h"
#include "tools/lib/perft.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = writeFuzzFile(data, size);
    std::string message;
    if (loadPositionFile(game, path.c_str(), &message) == 0) perftCount(game, 2, nullptr);
    newGame(game);
    listMoves(game);
    return 0;
}
