#include "search/driver.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include "board/movegen.h"
#include "board/notation.h"
#include "book/book.h"
#include "platform/platform.h"
#include "eval/evaluate.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "search/worker.h"

Relaxed<int> useBook{1};

std::atomic<int> internalErrors{0};
void (*reportInternalError)(int code) = nullptr;

int searchRoot(SearchWorker& w, int movedSide, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
               Board& root) {
    NodeState ns;
    nodeStateFromBoard(root, ns);
    copyBoardToWork(root);
    WorkBoard saved = workBoard;
    int score = movedSide ? searchWhite(w, move, flags, depth * ONE_PLY, alpha, beta, &ns)
                          : searchBlack(w, move, flags, depth * ONE_PLY, alpha, beta, &ns);
    if (std::memcmp(&saved, &workBoard, sizeof saved) != 0) {
        internalErrors++;
        if (reportInternalError) reportInternalError(333);
    }
    return score;
}

int quiescenceScore(SearchWorker& w, Board& root, int side) {
    w.clock.pollInterval = UINT32_MAX;
    w.clock.softTimeMs = w.clock.hardTimeMs = UINT64_MAX;
    w.clock.nodeLimit = 0;
    w.signals.abortSearch = 0;
    return searchRoot(w, side ^ 1, 0, SF_ROOT | SF_QS_PLAIN, 0, -INFINITE_SCORE, INFINITE_SCORE, root);
}

// ---------------------------------------------------------------------------
// Thinking output.

SearchReportHooks searchReport;

// Records root line k as reported: line 0 takes the published variation,
// another line the root's line as the search left it.
static void recordLine(SearchWorker& w, int k, int depth, int score, int marker, bool scored) {
    OutputLock lock;
    PublishedVariations& v = w.variations;
    ReportedLine& line = v.lines[k];
    line.depth = depth;
    line.selDepth = w.counters.selDepth;
    line.score = score;
    line.marker = marker;
    line.scored = scored;
    if (k == 0) std::memcpy(line.variation, v.displayed, sizeof line.variation);
    else w.collectVariation(line.variation);
    if (v.lineCount < k + 1) v.lineCount = k + 1;
}

static void printLine(SearchWorker& w, int k, int side, const uint32_t* list, const Board& root, int uci) {
    if (!searchReport.thinking) return;
    const ReportedLine& line = w.variations.lines[k];  // written by this thread only
    const uint32_t elapsed = std::max<uint32_t>(tickCount() - w.progress.searchStartTick, 1);
    const uint32_t nodes = searchNodeTotal(w);
    ThinkingReport r{line.depth, line.score, elapsed, line.marker, side, list, &root, uci, nodes, line.variation};
    r.selDepth = line.selDepth;
    r.multiPv = k + 1;
    r.scored = line.scored;
    r.tbHits = w.counters.tbHits;
    searchReport.thinking(r);
}

static void publishVariation(SearchWorker& w) {
    OutputLock lock;
    std::memcpy(w.variations.previous, w.variations.principal, sizeof w.variations.principal);
    w.collectVariation(w.variations.principal);
    std::memcpy(w.variations.displayed, w.variations.principal, sizeof w.variations.principal);
}

void rootMoveStarted(SearchWorker& w, uint32_t move, int number) {
    if (!w.uciReports || !searchReport.currentMove) return;
    // Interfaces want it only once the search takes a while.
    if (uint32_t(tickCount() - w.progress.searchStartTick) < 1000) return;
    searchReport.currentMove(w.progress.iterationDepth, move & 0xFFFF, number + w.rootLineIndex);
}

// ---------------------------------------------------------------------------
// Root list.

static int listLength(const uint32_t* list) {
    int n = 0;
    while (list[n] != 0) n++;
    return n;
}

// A root move or root cell without a score holds -INFINITE_SCORE.
static bool scored(int s) { return s > -INFINITE_SCORE; }

static void resetScores(uint32_t* list) {
    for (int i = 0; list[i] != 0; i++) list[i] = packScoreMove(-INFINITE_SCORE, list[i]);
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

static void copyRootMoves(SearchWorker& w, const uint32_t* list) {
    int k = 0;
    for (int i = 0; list[i] != 0 && k < MAX_MOVES - 1; i++)
        if (!(list[i] & MOVE_ILLEGAL)) w.rootMoves[k++] = list[i];
    w.rootMoves[k] = 0;
}

// Takes the root cell's move and score as a result; false when it holds none.
static bool takeRootResult(SearchWorker& w, uint32_t* list, int& s) {
    uint32_t word = w.rootPvWord();
    s = scoreOf(word);
    if (!scored(s) || (word & 0xFFFF) == 0) return false;
    setScoreOf(list, word, s);
    publishVariation(w);
    return true;
}

// Indexing a large book gives way to a stop and to the search once half the
// soft time has gone; the next probe goes on from there. The book's stop
// check takes no argument, so it asks the engine's worker.
static bool bookMustYield() {
    const SearchClock& c = searchWorker.clock;
    return searchWorker.signals.abortSearch || uint32_t(tickCount() - c.timeStartTick) >= c.softTimeMs / 2;
}

// Moves to the mate of a mate score for the side to move at the root.
static int mateMovesOf(int s) { return (MATE_VALUE - 1 - s) / 2 + 1; }

// What every root line of one search shares.
struct RootSearch {
    SearchWorker& w;
    int side, uci;
    Board& root;
    const uint32_t* fullList;
};

// The aspiration loop of root line k at depth d over list (the root list from
// the line's rank on), the window centred on the line's last score. True when
// the line has a result, with its score in s; an abort is passed on.
static bool searchLine(RootSearch& rs, uint32_t* list, int k, int d, int centre, int& s) {
    SearchWorker& w = rs.w;
    int window = d <= 3 ? INFINITE_SCORE : 50;
    int alpha = std::max(centre - window, -INFINITE_SCORE);
    int beta = std::min(centre + window, INFINITE_SCORE);
    // Without a score to centre on, the first window's edge is arbitrary: a
    // bound found against it tells nothing and is not reported.
    bool edgeFromScore = centre > -INFINITE_SCORE;
    s = -INFINITE_SCORE;
    do {
        // A bound from the step before must not outrank the moves this step
        // scores: a move that failed high and then scored less in the wider
        // window would still head the list and be played.
        resetScores(list);
        w.setRootPvWord(packScoreMove(-INFINITE_SCORE, w.rootPvWord()));
        searchRoot(w, rs.side ^ 1, 0, SF_ROOT | SF_FIRST_CHILD, d, alpha, beta, rs.root);
        s = scoreOf(w.rootPvWord());
        if (scored(s)) {
            setScoreOf(list, w.rootPvWord(), s);
            if (k == 0) publishVariation(w);
            if (s >= beta || s <= alpha) {
                recordLine(w, k, d, s, s >= beta ? 1 : 0, edgeFromScore);
                if (edgeFromScore) printLine(w, k, rs.side, rs.fullList, rs.root, rs.uci);
            }
        }
        window = window + window / 2 + 50;
        sortRootList(list);
        copyRootMoves(w, list);
        if (s <= alpha) {
            if (k == 0) w.clock.failHighFlag = 0;
            beta = std::min((alpha + beta) / 2, INFINITE_SCORE);
            alpha = s - window < -MATE_BOUND ? -INFINITE_SCORE : s - window;
        } else if (s >= beta) {
            if (k == 0) w.clock.failHighFlag = 1;
            beta = s + window > MATE_BOUND ? INFINITE_SCORE : s + window;
        } else {
            break;
        }
        edgeFromScore = true;
    } while (beta - alpha > 1);
    if (!scored(s)) return false;
    if (k == 0) {
        w.bestScore = s;
        w.clock.failHighFlag = 0;
    }
    setScoreOf(list, w.rootPvWord(), s);
    if (k == 0) publishVariation(w);
    recordLine(w, k, d, s, -1, true);
    return true;
}

// Stable, by score: the lines found in an iteration in their order, with the
// root list's head that holds their moves.
static void sortLines(SearchWorker& w, uint32_t* list, int n) {
    OutputLock lock;
    ReportedLine* lines = w.variations.lines;
    for (int i = 1; i < n; i++)
        for (int j = i; j > 0 && lines[j].score > lines[j - 1].score; j--) {
            std::swap(lines[j], lines[j - 1]);
            std::swap(list[j], list[j - 1]);
        }
    // A later line that overtook the first is the search's result now.
    if ((w.variations.principal[0] & 0xFFFF) != (lines[0].variation[0] & 0xFFFF)) {
        std::memcpy(w.variations.previous, w.variations.principal, sizeof w.variations.principal);
        std::memcpy(w.variations.principal, lines[0].variation, sizeof w.variations.principal);
        std::memcpy(w.variations.displayed, lines[0].variation, sizeof w.variations.principal);
    }
    w.bestScore = lines[0].score;
}

// MultiPV: after the first line of iteration d, the next best moves, each
// searched without the moves of the lines before it. False when an abort cut
// the iteration short.
static bool searchOtherLines(RootSearch& rs, uint32_t* list, int lines, int d, int* lastScores) {
    SearchWorker& w = rs.w;
    const uint32_t firstWord = w.rootPvWord();
    bool complete = true;
    int k = 1;
    try {
        for (; k < lines; k++) {
            uint32_t* tail = list + k;
            resetScores(tail);
            copyRootMoves(w, tail);
            if (w.rootMoves[0] == 0) break;
            w.rootLineIndex = k;
            w.counters.selDepth = 0;
            int s;
            if (!searchLine(rs, tail, k, d, lastScores[k], s)) break;
            sortRootList(tail);
            lastScores[k] = s;
        }
    } catch (const SearchAborted&) {
        complete = false;
    }
    w.rootLineIndex = 0;
    w.setRootPvWord(firstWord);
    copyRootMoves(w, list);
    if (complete) {
        sortLines(w, list, k);
        for (int i = 0; i < k; i++) {
            printLine(w, i, rs.side, list, rs.root, rs.uci);
            lastScores[i] = w.variations.lines[i].score;
        }
    }
    return complete;
}

int iterativeDeepening(SearchWorker& w, const Game& position, int side, uint32_t* list, int previousScore,
                       const TimeBudget& budget, int& depthReached, int clearVariation, Board& root, int uci,
                       const SearchScope& scope) {
    w.bestScore = NO_SCORE;
    w.counters.clear();
    w.progress.searchStartTick = tickCount();
    w.rootMoves[0] = 0;
    w.clock.failHighFlag = 0;
    w.uciReports = uci;
    w.rootLineIndex = 0;
    {
        OutputLock lock;
        w.variations.lineCount = 0;
    }
    if (clearVariation) {
        {
            OutputLock lock;
            std::memset(w.variations.principal, 0, sizeof w.variations.principal);
            std::memset(w.variations.displayed, 0, sizeof w.variations.displayed);
        }
        w.clearRootPv();
    }
    computeKeys(side, root);

    // Started before the book so that a slow book file is paid from this
    // move's time, not added to it.
    startClock(w.clock, budget);
    // Several lines or a mate are more than a book move can answer.
    const bool bookAnswers = scope.multiPv <= 1 && scope.mateMoves == 0;
    if (useBook && bookAnswers && bookMoveForSearch(position, list, bookMustYield)) {
        w.progress.currentRootMove = list[0] & 0xFFFF;
        {
            OutputLock lock;
            std::memset(w.variations.displayed, 0, sizeof w.variations.displayed);
            w.variations.displayed[0] = list[0] & 0xFFFF;
        }
        w.counters.nodeCount = 1;
        // No score was searched for: the xboard line shows 0 as it always
        // has, the UCI line none.
        recordLine(w, 0, 0, 0, 1, false);
        if (searchReport.thinking) {
            ThinkingReport r{2, 0, 1, 1, side, list, &root, uci, 1, w.variations.lines[0].variation};
            r.scored = false;
            searchReport.thinking(r);
        }
        w.progress.iterationDepth = 0;
        w.progress.rootMoveTotal = listLength(list);
        w.progress.rootMovesLeft = listLength(list) - 1;
        depthReached = 0;
        return BOOK_SCORE;
    }

    const int stage = prepareEvaluation(root);
    newSearchAge();
    w.ordering.clearKillers();
    w.ordering.clearCounterMoves();
    {
        OutputLock lock;
        std::memcpy(w.variations.previous, w.variations.principal, sizeof w.variations.principal);
    }

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
        w.maxIterations = 3;
    } else {
        w.maxIterations = 60;
        // An abort before the first move is scored leaves the list in this
        // order, and its head is what gets played.
        std::swap(list[0], list[firstLegal]);
        resetScores(list);
        w.extensionPlyLimit = 0;
        try {
            for (int i = 0; list[i] != 0; i++) {
                if (list[i] & MOVE_ILLEGAL) continue;
                int s = searchRoot(w, side, list[i] & 0xFFFF, 0, 0, -INFINITE_SCORE, INFINITE_SCORE, root);
                list[i] = packScoreMove(-s, list[i]);
            }
        } catch (const SearchAborted&) {
        }
        sortRootList(list);
    }
    copyRootMoves(w, list);
    // Helper workers, if any, search the same root until this search ends.
    HelperSearch helpers(w, root, side, previousScore);

    // A depth limit of 1 searches one ply; otherwise the first iteration is 2.
    const int limit = budget.maxDepth;
    int d = limit < 2 ? 1 : 2;
    int previous = previousScore;
    RootSearch rs{w, side, uci, root, list};
    const int lines = std::min({std::max(scope.multiPv, 1), legal, MAX_MULTI_PV});
    int lastScores[MAX_MULTI_PV];
    for (int k = 0; k < lines; k++) lastScores[k] = -INFINITE_SCORE;
    while (!w.signals.abortSearch && d < w.maxIterations) {
        resetScores(list);
        w.progress.iterationDepth = d;
        w.extensionPlyLimit = std::min(2 * d, 60);
        w.progress.currentRootMove = w.rootPvWord() & 0xFFFF;
        w.progress.rootMoveTotal = listLength(list);
        w.progress.rootMovesLeft = listLength(list) - stage - 1;
        w.counters.selDepth = 0;
        int s = -INFINITE_SCORE;
        bool result = false;
        try {
            result = searchLine(rs, list, 0, d, previous, s);
            if (result && lines == 1) printLine(w, 0, side, list, root, uci);
        } catch (const SearchAborted&) {
            if (takeRootResult(w, list, s)) {
                w.bestScore = s;
                recordLine(w, 0, d, s, -1, true);
                result = true;
            }
        }
        if (!result) continue;  // the same iteration again (or the abort ends the loop)
        sortRootList(list);
        copyRootMoves(w, list);
        if (lines > 1 && !w.signals.abortSearch) {
            lastScores[0] = s;
            if (searchOtherLines(rs, list, lines, d, lastScores)) s = w.bestScore;
        }
        if (scope.mateMoves > 0 && s > MATE_BOUND && s < MATE_VALUE && mateMovesOf(s) <= scope.mateMoves)
            w.signals.abortSearch = 1;
        if (stopAfterIteration(w, s - previous, list[0]) || limit <= d) w.signals.abortSearch = 1;
        d++;
        previous = s;
    }
    depthReached = d - 1;
    return w.bestScore;
}

// ---------------------------------------------------------------------------
// Game-level searches.

static bool moveToFront(uint32_t* list, uint32_t move);

static bool listed(const uint32_t* moves, uint32_t move) {
    for (int i = 0; moves[i] != 0; i++)
        if ((moves[i] & 0x7FFF) == (move & 0x7FFF)) return true;
    return false;
}

static int runSearch(SearchWorker& w, Game& g, int previous, const TimeBudget& budget, int& depth, int clearVariation,
                     int uci, const SearchScope& scope = SearchScope()) {
    // The search writes entries up to 60 plies beyond the game.
    ensureHistoryRoom(g, g.ply + 64);
    w.searchHistory = g.history.data();
    w.historyBase = g.ply;
    copyToBoard(g, g.board);
    // Root moves restricted to a set: the search gets the legal ones of the
    // set (all moves when none of them is legal), its choice goes to the
    // front of the game's list.
    uint32_t restricted[MAX_MOVES];
    uint32_t* list = g.legalMoves;
    if (scope.searchMoves[0] != 0) {
        int n = 0;
        for (int i = 0; g.legalMoves[i] != 0; i++)
            if (!(g.legalMoves[i] & MOVE_ILLEGAL) && listed(scope.searchMoves, g.legalMoves[i]))
                restricted[n++] = g.legalMoves[i];
        restricted[n] = 0;
        if (n > 0) list = restricted;
    }
    int score =
        iterativeDeepening(w, g, g.sideToMove, list, previous, budget, depth, clearVariation, g.board, uci, scope);
    if (list != g.legalMoves) moveToFront(g.legalMoves, list[0]);
    return score;
}

static bool moveToFront(uint32_t* list, uint32_t move) {
    for (int i = 0; list[i] != 0; i++)
        if ((list[i] & 0x7FFF) == (move & 0x7FFF) && !(list[i] & MOVE_ILLEGAL)) {
            std::swap(list[0], list[i]);
            return true;
        }
    return false;
}

static int centreFrom(int score) { return isPlainScore(score) ? score : -INFINITE_SCORE; }

uint32_t replyFromTable(const Game& g, uint32_t played) {
    std::unique_ptr<Game> copy(new Game(g));
    int code = makeMove(*copy, played & 0xFFFF);
    if (code < 0 || code == 1 || copy->result != 0) return 0;
    NodeState ns;
    nodeStateFromBoard(copy->board, ns);
    // The probe checks the stored move against the work board, which must
    // hold the position probed for that.
    WorkBoard saved = workBoard;
    copyBoardToWork(copy->board);
    TTEntry e;
    bool found = ttProbe(copy->sideToMove, ns, e);
    workBoard = saved;
    if (!found || e.move == 0) return 0;
    for (int i = 0; copy->legalMoves[i] != 0; i++)
        if ((copy->legalMoves[i] & 0x7FFF) == e.move && !(copy->legalMoves[i] & MOVE_ILLEGAL))
            return copy->legalMoves[i] & 0xFFFF;
    return 0;
}

static void expectReply(PonderState& ponder, const Game& g, uint32_t played, int depth) {
    preparePonder(ponder, depth);
    // No line names a reply when the last iteration stopped in the fail high
    // of a new move: the table usually still holds the one it expected.
    if (ponder.move == 0 && (played & 0xFFFF) != 0) ponder.move = replyFromTable(g, played);
}

uint32_t think(Game& g, TimeBudget budget, PonderState& ponder, int uci, const SearchScope& scope) {
    SearchWorker& w = searchWorker;
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
                if (budget.targetMs > 0) {
                    budget.targetMs = std::max(budget.targetMs - ponder.time * 100, 1);
                    budget.hardMs = std::max(budget.hardMs - ponder.time * 100, budget.targetMs);
                }
                previous = centreFrom(ponder.score);
                moveToFront(g.legalMoves, ponder.reply);
            } else if (scope.searchMoves[0] == 0 && moveToFront(g.legalMoves, ponder.reply)) {
                // preparePonder sets the next expected reply: answer with this one.
                uint32_t reply = ponder.reply;
                expectReply(ponder, g, reply, ponder.depth);
                return reply;
            }
        }
    }
    int depth = 0;
    int score = runSearch(w, g, previous, budget, depth, clearVariation, uci, scope);
    expectReply(ponder, g, g.legalMoves[0], depth);
    return packScoreMove(score, g.legalMoves[0]);
}

void preparePonder(PonderState& ponder, int depth) {
    SearchWorker& w = searchWorker;
    ponder.time = 0;
    ponder.depth = depth - 1;
    ponder.score = -INFINITE_SCORE;
    ponder.reply = 0;
    ponder.move = 0;
    OutputLock lock;
    // A line that failed high ends at its first move: the full line before
    // it that opens with the same move still names the expected reply.
    uint32_t* principal = w.variations.principal;
    const uint32_t* previous = w.variations.previous;
    if ((principal[0] & 0xFFFF) != 0 && (principal[1] & 0xFFFF) == 0 &&
        (previous[0] & 0xFFFF) == (principal[0] & 0xFFFF))
        std::memcpy(principal, previous, sizeof w.variations.principal);
    if ((principal[0] & 0xFFFF) != 0 && (principal[1] & 0xFFFF) != 0) {
        ponder.move = principal[1] & 0xFFFF;
        if ((principal[2] & 0xFFFF) != 0) ponder.reply = principal[2];
    }
    if ((principal[0] & 0xFFFF) != 0) {
        // Drop the engine's move and the expected reply.
        for (int k = 0; k < 2; k++) {
            uint32_t* line = w.variations.principal;
            std::memmove(line, line + 1, sizeof w.variations.principal - sizeof(uint32_t));
            w.variations.principal[59] = 0;
        }
        // The displayed line keeps the move played: the log reads it next.
    }
}

uint32_t ponderSearch(Game& g, PonderState& ponder, int uci) {
    SearchWorker& w = searchWorker;
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
    runSearch(w, *copy, previous, unlimitedBudget(), depth, clearVariation, uci);
    ponder.reply = copy->legalMoves[0];
    ponder.time = int((tickCount() - start) / 100);
    ponder.depth = depth;
    ponder.score = scoreOf(copy->legalMoves[0]);
    return ponder.reply;
}
