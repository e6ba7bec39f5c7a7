#include "engine/report.h"
#include <algorithm>
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
#include "search/transtable.h"
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

// One UCI info line: depth and score only for a line with a searched score,
// its bound after the score; the variation is moves only.
static void printUciLine(const ReportedLine& line, int multiPv, uint32_t nodes, uint32_t elapsedMs, uint32_t tbHits,
                         const uint32_t* variation) {
    std::string text = "info";
    char field[96];
    if (line.scored) {
        char score[24];
        uciScoreText(score, line.score);
        std::snprintf(field, sizeof field, " depth %d seldepth %d multipv %d score %s%s", line.depth,
                      std::max(line.selDepth, line.depth), multiPv, score,
                      line.marker == 1   ? " lowerbound"
                      : line.marker == 0 ? " upperbound"
                                         : "");
    } else {
        std::snprintf(field, sizeof field, " multipv %d", multiPv);
    }
    text += field;
    const uint32_t ms = elapsedMs < 1 ? 1 : elapsedMs;
    std::snprintf(field, sizeof field, " nodes %u nps %llu hashfull %d tbhits %u time %u", nodes,
                  (unsigned long long)(uint64_t(nodes) * 1000 / ms), ttHashfull(), tbHits, ms);
    text += field;
    std::string moves;
    formatLineCoordinates(moves, variation, -1);
    for (char& c : moves) c = char(std::tolower((unsigned char)c));  // promotions: e7e8q
    if (!moves.empty()) text += " pv " + moves;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::printf("%s\n", text.c_str());
}

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
    if (r.uci) {
        ReportedLine line;
        line.depth = r.depth;
        line.selDepth = r.selDepth;
        line.score = r.score;
        line.marker = r.marker;
        line.scored = r.scored;
        printUciLine(line, r.multiPv, r.nodes, r.elapsedMs, r.tbHits, r.variation);
    } else {
        std::string line = ponderedMoveText;
        formatLine(line, r.variation, 0, r.side, r.list, *r.root, r.marker);
        std::printf("%d %3d %5u %7u\t%s\n", r.depth, xboardScoreValue(r.score), r.elapsedMs / 10, r.nodes,
                    line.c_str());
    }
    std::fflush(stdout);
}

static void printCurrentMove(int depth, uint32_t move, int number) {
    if (!postThinking) return;
    char text[8];
    moveToText(move, text);
    for (char* p = text; *p; p++) *p = char(std::tolower((unsigned char)*p));
    OutputLock lock;
    std::printf("info depth %d currmove %s currmovenumber %d\n", depth, text, number);
    std::fflush(stdout);
}

void installSearchReport() {
    searchReport.thinking = printThinking;
    searchReport.currentMove = printCurrentMove;
}

void printFinalReport(const Game& g, uint32_t result) {
    if (!postThinking) return;
    const SearchWorker& w = searchWorker;
    if (result == 0xFFFFFFFFu) {
        // The game is over: mated, or no score but a draw.
        std::printf("info depth 0 score %s\n", g.result == 2 ? "mate 0" : "cp 0");
    } else {
        const uint32_t elapsed = tickCount() - w.progress.searchStartTick;
        const uint32_t nodes = w.counters.nodeCount;
        const PublishedVariations& v = w.variations;
        if (v.lineCount > 0 && (v.lines[0].variation[0] & 0xFFFF) == (result & 0xFFFF)) {
            // The answer's line only: with several lines the others were
            // reported as their iteration ended.
            printUciLine(v.lines[0], 1, nodes, elapsed, w.counters.tbHits, v.lines[0].variation);
        } else {
            // No line of this move was reported: the move alone.
            const uint32_t alone[2] = {result & 0xFFFF, 0};
            printUciLine(ReportedLine(), 1, nodes, elapsed, w.counters.tbHits, alone);
        }
    }
}

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
