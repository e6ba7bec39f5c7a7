// FEN reader: any text sets up a position or is refused; a refused one
// leaves the game playable.
#include <cstddef>
#include <cstdint>
#include <string>
#include "board/game.h"
#include "tools/lib/perft.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string fen(reinterpret_cast<const char*>(data), size);
    int code = setupFromFen(game, fen.c_str());
    if (code < 0) newGame(game), listMoves(game);
    // Whatever was accepted must be walkable.
    perftCount(game, 2, nullptr);
    char text[128];
    positionText(game, text);
    return 0;
}
