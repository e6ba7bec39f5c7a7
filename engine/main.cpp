#include <cstdio>
#include "board/game.h"
#include "engine/commandloop.h"
#include "search/nodestate.h"
#include "search/transtable.h"

int main(int /*argc*/, char** /*argv*/) {
    listMoves(game);
    selectEnglishLetters();
    std::fprintf(stderr, "%s\n", engineName);
    std::fprintf(stderr, "Velmora chess engine, by the Velmora developers\n");
    allocateTransTable(0);  // the minimum table
    std::fprintf(stderr, "Hash=%uMB Sst=%d\n", unsigned(ttSizeMiB()), int(sizeof(NodeState)));
    std::fprintf(stderr, "type quit to exit\n");
    std::fflush(stderr);
    return runCommandLoop(stdin);
}
