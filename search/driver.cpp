#include "search/driver.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book.h"
#include "engine/platform.h"
#include "eval/evaluate.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"

Relaxed<int> postThinking{0};
Relaxed<int> useBook{1};

int bestScore = NO_SCORE;
uint32_t principalVariation[60];
uint32_t previousVariation[60];
uint32_t displayedVariation[60];
Relaxed<uint32_t> searchStartTick{0};
Relaxed<int> iterationDepth{0}, rootMoveTotal{0}, rootMovesLeft{0};
Relaxed<uint32_t> currentRootMove{0};
int maxIterations = 60;
int internalErrors = 0;
void (*reportInternalError)(int code) = nullptr;

int searchRoot(int sideFlag, uint32_t move, uint32_t flags, int depth, int alpha, int beta, Board& root) {
    NodeState ns;
    nodeStateFromBoard(root, ns);
    copyBoardToWork(root);
    WorkBoard saved = workBoard;
    int score = sideFlag ? searchWhite(move, flags, depth * ONE_PLY, alpha, beta, &ns)
                         : searchBlack(move, flags, depth * ONE_PLY, alpha, beta, &ns);
    if (std::memcmp(&saved, &workBoard, sizeof saved) != 0) {
        internalErrors++;
        if (reportInternalError) reportInternalError(333);
    }
    return score;
}

// ---------------------------------------------------------------------------
// Score texts.

void uciScoreText(char* buffer, int s) {
    if (s >= 32001) std::snprintf(buffer, 24, "mate %d", (32699 - s) / 2 + 1);
    else if (s >= -32000) std::snprintf(buffer, 24, "cp %d", s / 4);
    else std::snprintf(buffer, 24, "mate %d", -((s + 32699) / 2) - 1);
}

int xboardScoreValue(int s) {
    if (s >= 32001) return (32699 - s) / 2 + 100001;
    if (s >= -32000) return s / 4;
    return -((s + 32699) / 2) - 100001;
}

void formatScore(char* buffer, int s) {
    if (s == NO_SCORE) std::strcpy(buffer, " ");
    else if (s == INFINITE_SCORE || s == -INFINITE_SCORE) std::sprintf(buffer, "%cINF ", s > 0 ? '+' : '-');
    else if (s > MATE_BOUND || s < -MATE_BOUND) std::sprintf(buffer, "%cMAT%d ", s > 0 ? '+' : '-', (32700 - std::abs(s) + 1) / 2);
    else std::sprintf(buffer, "%+4.2f ", s / 480.0);
}

// ---------------------------------------------------------------------------
// Thinking output.

static void printThinking(int depth, int score, uint32_t elapsed, int marker, int side, const uint32_t* list,
                          const Board& root, int uci) {
    if (!postThinking) return;
    lockOutput();
    std::string line;
    if (elapsed < 1) elapsed = 1;
    if (uci) {
        char text[24];
        uciScoreText(text, score);
        formatLineCoordinates(line, displayedVariation, marker);
        for (char& c : line) c = char(std::tolower((unsigned char)c));  // promotions: e7e8q
        std::printf("info depth %d score %s time %u nodes %u pv %s\n", depth, text, elapsed, uint32_t(nodeCount),
                    line.c_str());
    } else {
        formatLine(line, displayedVariation, 0, side, list, root, marker);
        std::printf("%d %3d %5u %7u\t%s\n", depth, xboardScoreValue(score), elapsed / 10, uint32_t(nodeCount),
                    line.c_str());
    }
    std::fflush(stdout);
    unlockOutput();
}

void printStatus() {
    char move[8];
    moveToText(currentRootMove, move);
    lockOutput();
    std::printf("stat01: %d %u %d %d %d %s\n", int((tickCount() - searchStartTick) / 10), uint32_t(childSearches),
                int(iterationDepth), int(rootMovesLeft), int(rootMoveTotal), move);
    std::fflush(stdout);
    unlockOutput();
}

static void publishVariation() {
    lockOutput();
    std::memcpy(previousVariation, principalVariation, sizeof principalVariation);
    collectVariation(principalVariation);
    std::memcpy(displayedVariation, principalVariation, sizeof principalVariation);
    unlockOutput();
}

// ---------------------------------------------------------------------------
// Root list.

static int listLength(const uint32_t* list) {
    int n = 0;
    while (list[n] != 0) n++;
    return n;
}

static void resetScores(uint32_t* list) {
    for (int i = 0; list[i] != 0; i++) list[i] = (list[i] & 0xFFFF) | 0x80010000u;  // -32767
}

static void setScoreOf(uint32_t* list, uint32_t move, int score) {
    for (int i = 0; list[i] != 0; i++)
        if ((list[i] & 0x7FFF) == (move & 0x7FFF) && !(list[i] & MOVE_ILLEGAL)) {
            list[i] = packScoreMove(score, list[i]);
            return;
        }
}

// Stable: equal scores keep their order, so each iteration only moves its
// best move to the front.
static void sortRootList(uint32_t* list) {
    int n = listLength(list);
    for (int i = 0; i < n; i++) {
        int best = i;
        for (int j = i + 1; j < n; j++)
            if (scoreOf(list[j]) > scoreOf(list[best])) best = j;
        uint32_t w = list[best];
        for (int j = best; j > i; j--) list[j] = list[j - 1];
        list[i] = w;
    }
}

static void copyRootMoves(const uint32_t* list) {
    int k = 0;
    for (int i = 0; list[i] != 0 && k < MAX_MOVES - 1; i++)
        if (!(list[i] & MOVE_ILLEGAL)) rootMoves[k++] = list[i];
    rootMoves[k] = 0;
}

// Takes the root cell's move and score as a result; false when it holds none.
static bool takeRootResult(uint32_t* list, int& s) {
    uint32_t w = rootPvWord();
    s = scoreOf(w);
    if (s < -32766 || (w & 0xFFFF) == 0) return false;
    setScoreOf(list, w, s);
    publishVariation();
    return true;
}

// Indexing a large book gives way to a stop and to the search once half the
// soft time has gone; the next probe goes on from there.
static bool bookMustYield() { return abortSearch || uint32_t(tickCount() - timeStartTick) >= softTimeMs / 2; }

int iterativeDeepening(int side, uint32_t* list, int previousScore, const TimeBudget& budget, int& depthReached,
                       int clearVariation, Board& root, int uci) {
    bestScore = NO_SCORE;
    clearSearchCounters();
    searchStartTick = tickCount();
    rootMoves[0] = 0;
    failHighFlag = 0;
    if (clearVariation) {
        lockOutput();
        std::memset(principalVariation, 0, sizeof principalVariation);
        std::memset(displayedVariation, 0, sizeof displayedVariation);
        unlockOutput();
        clearRootPv();
    }
    computeKeys(side, root);

    // Started before the book so that a slow book file is paid from this
    // move's time, not added to it.
    startClock(budget);
    if (useBook && bookMoveForSearch(list, bookMustYield)) {
        currentRootMove = list[0] & 0xFFFF;
        lockOutput();
        std::memset(displayedVariation, 0, sizeof displayedVariation);
        displayedVariation[0] = list[0] & 0xFFFF;
        unlockOutput();
        nodeCount = 1;
        printThinking(2, 0, 1, 1, side, list, root, uci);
        iterationDepth = 0;
        rootMoveTotal = listLength(list);
        rootMovesLeft = listLength(list) - 1;
        depthReached = 0;
        return BOOK_SCORE;
    }

    const int stage = prepareEvaluation(root);
    newSearchAge();
    clearKillers();
    clearCounterMoves();
    lockOutput();
    std::memcpy(previousVariation, principalVariation, sizeof principalVariation);
    unlockOutput();

    int legal = 0, firstLegal = -1;
    for (int i = 0; list[i] != 0; i++)
        if (!(list[i] & MOVE_ILLEGAL)) {
            if (legal++ == 0) firstLegal = i;
        }
    if (legal == 0) {
        depthReached = 0;
        return NO_SCORE;
    }
    if (legal == 1) {
        std::swap(list[0], list[firstLegal]);
        maxIterations = 3;
    } else {
        maxIterations = 60;
        // An abort before the first move is scored leaves the list in this
        // order, and its head is what gets played.
        std::swap(list[0], list[firstLegal]);
        resetScores(list);
        extensionPlyLimit = 0;
        try {
            for (int i = 0; list[i] != 0; i++) {
                if (list[i] & MOVE_ILLEGAL) continue;
                int s = searchRoot(side, list[i] & 0xFFFF, 0, 0, -INFINITE_SCORE, INFINITE_SCORE, root);
                list[i] = packScoreMove(-s, list[i]);
            }
        } catch (const SearchAborted&) {
        }
        sortRootList(list);
    }
    copyRootMoves(list);

    int d = 2;
    int previous = previousScore;
    const int limit = budget.maxDepth;
    while (!abortSearch && d < maxIterations) {
        resetScores(list);
        iterationDepth = d;
        extensionPlyLimit = std::min(2 * d, 60);
        currentRootMove = rootPvWord() & 0xFFFF;
        rootMoveTotal = listLength(list);
        rootMovesLeft = listLength(list) - stage - 1;
        int s = -INFINITE_SCORE;
        bool result = false;
        try {
            int w = d <= 3 ? INFINITE_SCORE : 50;
            int alpha = std::max(previous - w, -INFINITE_SCORE);
            int beta = std::min(previous + w, INFINITE_SCORE);
            do {
                setRootPvWord((rootPvWord() & 0xFFFF) | 0x80010000u);
                searchRoot(side ^ 1, 0, SF_ROOT | SF_FIRST_CHILD, d, alpha, beta, root);
                s = scoreOf(rootPvWord());
                if (s >= -32766) {
                    setScoreOf(list, rootPvWord(), s);
                    publishVariation();
                    if (s >= beta) printThinking(d, s, tickCount() - searchStartTick, 1, side, list, root, uci);
                    else if (s <= alpha) printThinking(d, s, tickCount() - searchStartTick, 0, side, list, root, uci);
                }
                w = w + w / 2 + 50;
                sortRootList(list);
                copyRootMoves(list);
                if (s <= alpha) {
                    failHighFlag = 0;
                    beta = std::min((alpha + beta) / 2, INFINITE_SCORE);
                    alpha = s - w < -MATE_BOUND ? -INFINITE_SCORE : s - w;
                } else if (s >= beta) {
                    failHighFlag = 1;
                    beta = s + w > MATE_BOUND ? INFINITE_SCORE : s + w;
                } else {
                    break;
                }
            } while (beta - alpha > 1);
            if (s >= -32766) {
                bestScore = s;
                failHighFlag = 0;
                setScoreOf(list, rootPvWord(), s);
                publishVariation();
                printThinking(d, s, tickCount() - searchStartTick, -1, side, list, root, uci);
                result = true;
            }
        } catch (const SearchAborted&) {
            if (takeRootResult(list, s)) {
                bestScore = s;
                result = true;
            }
        }
        if (!result) continue;  // the same iteration again (or the abort ends the loop)
        sortRootList(list);
        copyRootMoves(list);
        if (stopAfterIteration(s - previous, d) || limit <= d) abortSearch = 1;
        d++;
        previous = s;
    }
    depthReached = d - 1;
    return bestScore;
}

// ---------------------------------------------------------------------------
// Game-level searches.

static int runSearch(Game& g, int previous, const TimeBudget& budget, int& depth, int clearVariation, int uci) {
    // The search writes entries up to 60 plies beyond the game.
    ensureHistoryRoom(g, g.ply + 64);
    searchHistory = g.history.data();
    historyBase = g.ply;
    copyToBoard(g, g.board);
    return iterativeDeepening(g.sideToMove, g.legalMoves, previous, budget, depth, clearVariation, g.board, uci);
}

static bool moveToFront(uint32_t* list, uint32_t move) {
    for (int i = 0; list[i] != 0; i++)
        if ((list[i] & 0x7FFF) == (move & 0x7FFF) && !(list[i] & MOVE_ILLEGAL)) {
            std::swap(list[0], list[i]);
            return true;
        }
    return false;
}

static int centreFrom(int score) { return (score >= MATE_BOUND || score <= -MATE_BOUND) ? -INFINITE_SCORE : score; }

uint32_t think(Game& g, TimeBudget budget, PonderState& ponder, int uci) {
    if (g.result != 0) return 0xFFFFFFFFu;
    int previous = -INFINITE_SCORE;
    int clearVariation = 1;
    if (g.lastMove != 0 && (g.lastMove & 0xFFFF) == (ponder.move & 0xFFFF)) {
        clearVariation = 0;
        ponder.move = 0;
        if (ponder.reply != 0) {
            if (ponder.time < budget.targetTenths) {
                budget.targetTenths -= ponder.time;
                budget.hardTenths -= ponder.time;
                previous = centreFrom(ponder.score);
                moveToFront(g.legalMoves, ponder.reply);
            } else if (moveToFront(g.legalMoves, ponder.reply)) {
                // preparePonder sets the next expected reply: answer with this one.
                uint32_t reply = ponder.reply;
                preparePonder(ponder, ponder.depth);
                return reply;
            }
        }
    }
    int depth = 0;
    int score = runSearch(g, previous, budget, depth, clearVariation, uci);
    preparePonder(ponder, depth);
    return (uint32_t(uint16_t(int16_t(score))) << 16) | (g.legalMoves[0] & 0xFFFF);
}

void preparePonder(PonderState& ponder, int depth) {
    ponder.time = 0;
    ponder.depth = depth - 1;
    ponder.score = -INFINITE_SCORE;
    ponder.reply = 0;
    ponder.move = 0;
    lockOutput();
    if ((principalVariation[0] & 0xFFFF) != 0 && (principalVariation[1] & 0xFFFF) != 0) {
        ponder.move = principalVariation[1] & 0xFFFF;
        if ((principalVariation[2] & 0xFFFF) != 0) ponder.reply = principalVariation[2];
    }
    if ((principalVariation[0] & 0xFFFF) != 0) {
        // Drop the engine's move and the expected reply.
        for (int k = 0; k < 2; k++) {
            std::memmove(principalVariation, principalVariation + 1, sizeof principalVariation - sizeof(uint32_t));
            principalVariation[59] = 0;
        }
        // The displayed line keeps the move played: the log reads it next.
    }
    unlockOutput();
}

uint32_t ponderSearch(Game& g, PonderState& ponder, int uci) {
    if (g.result != 0) return 0;
    if (ponder.move == 0) return ponder.reply;
    bool listed = false;
    for (int i = 0; g.legalMoves[i] != 0; i++)
        if ((g.legalMoves[i] & 0x7FFF) == (ponder.move & 0x7FFF) && !(g.legalMoves[i] & MOVE_ILLEGAL)) listed = true;
    if (!listed) return 0;
    std::unique_ptr<Game> copy(new Game(g));
    int code = makeMove(*copy, ponder.move);
    if (code < 0 || code == 1 || copy->result != 0) return 0;
    int previous = -INFINITE_SCORE;
    int clearVariation = 1;
    if (ponder.reply != 0 && moveToFront(copy->legalMoves, ponder.reply)) {
        previous = centreFrom(ponder.score);
        clearVariation = 0;
    }
    uint32_t start = tickCount();
    int depth = 0;
    runSearch(*copy, previous, unlimitedBudget(), depth, clearVariation, uci);
    ponder.reply = copy->legalMoves[0];
    ponder.time = int((tickCount() - start) / 100);
    ponder.depth = depth;
    ponder.score = scoreOf(copy->legalMoves[0]);
    return ponder.reply;
}
