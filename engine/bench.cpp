#include "engine/bench.h"
#include "board/game.h"
#include "board/notation.h"
#include "egtb/tablebase.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "eval/pawnhash.h"
#include "platform/platform.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/transtable.h"
#include "search/worker.h"

namespace {

const char* const BENCH_POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/5N2/PP2PPPP/RNBQKB1R w KQkq - 0 4",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w KQkq - 1 5",
    "rnbqkb1r/ppp2ppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR b KQkq - 1 4",
    "r2q1rk1/pp2bppp/2n1pn2/2pp4/3P1B2/2PBPN2/PP1N1PPP/R2QK2R w KQ - 4 9",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - - 4 11",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN5/PPP2PPP/R2Q1RK1 w - - 0 12",
    "r2qr1k1/1b1nbppp/p2p1n2/1pp1p3/4P3/1BPP1N1P/PP1N1PP1/R1BQR1K1 w - - 0 13",
    "3r1rk1/p4ppp/1qn1p3/2bpP3/5P2/1P1B1N2/P1Q3PP/R4R1K b - - 0 18",
    "r1q2rk1/2p1bppp/2Pp4/p6b/Q1PNp3/4B3/PP1R1PPP/2K4R w - - 2 18",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
    "2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 30",
    "8/8/4k3/3p4/3P4/4K3/8/8 w - - 0 1",
    "8/8/8/4k3/8/8/3PK3/8 w - - 0 1",
    "8/5pk1/6p1/8/6P1/5PK1/8/8 w - - 0 1",
    "8/8/1p1k4/1P6/2PK4/8/8/8 w - - 0 1",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/8/8/5k2/8/4R3/4K3 w - - 0 1",
    "8/8/8/8/8/5k2/8/3QK3 w - - 0 1",
    "4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1",
    "r1bq2r1/b4pk1/p1pp1p2/1p2pP2/1P2P1PB/3P4/1PPQ2P1/R3K2R w - - 0 1",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1",
    "r5k1/pp4pp/4p3/2pp4/3P1P2/2P3P1/P6P/4R1K1 w - - 0 1",
    "6k1/pp3ppp/4p3/8/8/4P3/PP3PPP/6K1 w - - 0 1",
    "3k4/3P4/3K4/8/8/8/8/8 w - - 0 1",
    "8/P7/8/8/8/8/6k1/K7 w - - 0 1",
    "2kr3r/pp1q1ppp/5n2/1Nb5/2Pp1B2/7Q/P4PPP/1R3RK1 w - - 0 1",
    "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 0 1",
    "6k1/5p2/6p1/8/7p/8/6PP/6K1 b - - 0 1",
    "1k6/1b6/8/8/7R/8/8/4K2R b K - 0 1",
};

constexpr uint64_t BENCH_TABLE_BYTES = uint64_t(16) << 20;

}  // namespace

uint64_t runBench(int depth, FILE* out, int positions) {
    if (depth < 2) depth = 2;
    if (allocateTransTable(BENCH_TABLE_BYTES) < 0) {
        std::fprintf(stderr, "no memory for the bench table\n");
        return 0;
    }
    uint64_t total = 0;
    uint32_t start = tickCount();
    int index = 0;
    for (const char* fen : BENCH_POSITIONS) {
        if (positions > 0 && index == positions) break;
        index++;
        if (setupFromFen(game, fen) < 0) {
            std::fprintf(stderr, "bad position %d: %s\n", index, fen);
            return 0;
        }
        clearTransTable();
        clearPawnHash();
        clearHistory();
        clearHelperTables();
        TimeBudget budget;
        budget.maxDepth = depth;
        budget.targetTenths = budget.hardTenths = 1 << 30;
        PonderState ponder;
        searchWorker.signals.abortSearch = 0;
        uint32_t r = think(game, budget, ponder);
        char move[8];
        moveToText(r & 0xFFFF, move);
        // With helper threads the sum over all workers, which varies from run to run.
        const uint32_t nodes = searchNodeTotal(searchWorker);
        std::fprintf(out, "%2d %-6s %10u  %s\n", index, move, nodes, fen);
        total += nodes;
    }
    uint32_t ms = tickCount() - start;
    if (ms == 0) ms = 1;
    std::fprintf(out, "Total time (ms) : %u\n", ms);
    std::fprintf(out, "Nodes/second    : %llu\n", (unsigned long long)(total * 1000 / ms));
    std::fprintf(out, "%llu\n", (unsigned long long)total);
    std::fflush(out);
    return total;
}

void benchCommand(int depth) {
    cancelSearch();
    // What a fresh process has: no book, no thinking lines, no tablebases,
    // empty killers and counter moves; otherwise the signature would depend on
    // what the engine did before.
    const uint64_t tableBytes = uint64_t(ttBucketCount()) * sizeof(TTBucket);
    const int savedBook = useBook, savedPost = postThinking, savedTbPieces = tbMaxPieces;
    const SearchReportHooks savedHooks = searchReport;
    GameSnapshot* snap = saveGame(game);
    useBook = 0;
    postThinking = 0;
    tbMaxPieces = 0;
    searchReport = SearchReportHooks();
    clearSearchTables();
    runBench(depth, stdout);
    searchReport = savedHooks;
    tbMaxPieces = savedTbPieces;
    postThinking = savedPost;
    useBook = savedBook;
    restoreGame(game, snap);
    // The old size again; should that fail, the bench's table stays.
    allocateTransTable(tableBytes);
    clearSearchTables();
}
