#include "engine/report.h"
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "board/game.h"
#include "board/notation.h"
#include "platform/platform.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"

void reportResult(int code, const char* moveText) {
    switch (code) {
    case -2: std::printf("%s (error): %s\n", "Illegal move", moveText); break;
    case -1: std::printf("%s: %s\n", "Illegal move", moveText); break;
    case 1: std::printf("%s (promote?): %s\n", "Illegal move", moveText); break;
    case 2: std::printf("%s\n", game.sideToMove ? "1-0 {White mates}" : "0-1 {Black mates}"); break;
    case 3: std::printf("1/2-1/2 {Stalemate}\n"); break;
    case 4: std::printf("1/2-1/2 {Triple repetition}\n"); break;
    case 5: std::printf("1/2-1/2 {50 moves rule}\n"); break;
    case 6: std::printf("1/2-1/2 {Insufficient material}\n"); break;
    case 10: std::printf("resign\n"); break;
    default: break;
    }
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// Score texts.

// The ply that mateIn or matedIn was given for the mate score s.
static int plyOfMate(int s) { return s > 0 ? MATE_VALUE - 1 - s : s + MATE_VALUE; }
// Moves to the mate of a mate score as the thinking lines count them:
// negative when the engine is mated.
static int movesToMate(int s) { return s > 0 ? plyOfMate(s) / 2 + 1 : -((plyOfMate(s) - 1) / 2) - 1; }

void uciScoreText(char* buffer, int s) {
    if (isMateScore(s)) std::snprintf(buffer, 24, "mate %d", movesToMate(s));
    else std::snprintf(buffer, 24, "cp %d", s / 4);
}

// Mates are shown as 100000 plus the moves to mate, with the sign of the score.
int xboardScoreValue(int s) {
    if (!isMateScore(s)) return s / 4;
    return s > 0 ? movesToMate(s) + 100000 : movesToMate(s) - 100000;
}

void formatScore(char* buffer, int s) {
    if (s == NO_SCORE) std::strcpy(buffer, " ");
    else if (s == INFINITE_SCORE || s == -INFINITE_SCORE) std::sprintf(buffer, "%cINF ", s > 0 ? '+' : '-');
    else if (isMateScore(s)) std::sprintf(buffer, "%cMAT%d ", s > 0 ? '+' : '-', (MATE_VALUE + 1 - std::abs(s)) / 2);
    else std::sprintf(buffer, "%+4.2f ", s / 480.0);
}

// ---------------------------------------------------------------------------
// Search output.

Relaxed<int> postThinking{0};

// The pondered move in SAN and a space, or empty. Written and read by the
// search thread, under the output lock.
static std::string ponderedMoveText;

void setPonderedMove(const Game& g, uint32_t move) {
    std::string text;
    if (move != 0) {
        const uint32_t line[2] = {move & 0xFFFF, 0};
        Board b;
        copyToBoard(g, b);
        formatLine(text, line, 0, g.sideToMove, g.legalMoves, b, -1);
    }
    OutputLock lock;
    ponderedMoveText = text;
}

static void printThinking(const ThinkingReport& r) {
    if (!postThinking) return;
    OutputLock lock;
    std::string line;
    if (r.uci) {
        char text[24];
        uciScoreText(text, r.score);
        formatLineCoordinates(line, r.variation, r.marker);
        for (char& c : line) c = char(std::tolower((unsigned char)c));  // promotions: e7e8q
        std::printf("info depth %d score %s time %u nodes %u pv %s\n", r.depth, text, r.elapsedMs, r.nodes,
                    line.c_str());
    } else {
        line = ponderedMoveText;
        formatLine(line, r.variation, 0, r.side, r.list, *r.root, r.marker);
        std::printf("%d %3d %5u %7u\t%s\n", r.depth, xboardScoreValue(r.score), r.elapsedMs / 10, r.nodes,
                    line.c_str());
    }
    std::fflush(stdout);
}

void installSearchReport() { searchReport.thinking = printThinking; }

void printStatus() {
    const RootProgress& p = searchWorker.progress;
    char move[8];
    moveToText(p.currentRootMove, move);
    OutputLock lock;
    std::printf("stat01: %d %u %d %d %d %s\n", int((tickCount() - p.searchStartTick) / 10),
                uint32_t(searchWorker.counters.childSearches), int(p.iterationDepth), int(p.rootMovesLeft),
                int(p.rootMoveTotal), move);
    std::fflush(stdout);
}
