// Coordinate and standard algebraic move parsers against a few positions.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"

namespace {
const char* const POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    setupFromFen(game, POSITIONS[data[0] % 4]);
    // Exactly sized copies, so any read past the end is caught.
    std::vector<char> text(data + 1, data + size);
    text.push_back(0);
    std::vector<char> copy = text;
    uint32_t m = parseMove(text.data(), game.sideToMove);
    uint32_t s = parseSan(copy.data(), game.sideToMove, game.legalMoves, game.board);
    for (uint32_t move : {m, s}) {
        if (move == 0) continue;
        std::string san;
        moveToSan(san, move, game.legalMoves, game.board);
        makeMove(game, move);
    }
    return 0;
}
