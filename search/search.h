// The alpha-beta node search, written once as a template and instantiated
// for each side to move (searchWhite / searchBlack), with the quiescence
// search and the move ordering inside it.
#pragma once
#include <cstdint>
#include "board/game.h"
#include "board/nodestate.h"
#include "search/relaxed.h"
#include "eval/evaluate.h"  // nodeStateFromBoard

constexpr int ONE_PLY = 256;
constexpr int INFINITE_SCORE = 32767;
constexpr int ILLEGAL_SCORE = 32760;
constexpr int NO_EVAL = -32767;
constexpr int NO_SCORE = 32761;
// What think() returns as the score of a book move: outside every score a
// search can return, so that a searched score of 1 (a hair above even) is not
// taken for a book move and held back like one.
constexpr int BOOK_SCORE = 32762;
constexpr int MATE_BOUND = 32000;  // every score beyond +-32000 is a mate score
constexpr int MATE_VALUE = 32700;
constexpr int MAX_SEARCH_PLY = 59;
static_assert(BOOK_SCORE > MATE_VALUE && BOOK_SCORE < INFINITE_SCORE && BOOK_SCORE != NO_SCORE &&
                  BOOK_SCORE != ILLEGAL_SCORE,
              "a book move's score must differ from every searched score and mark");
// Root lines a search may be asked for (the UCI option MultiPV).
constexpr int MAX_MULTI_PV = 256;

constexpr uint32_t SF_VERIFY_LEGAL = 0x2;
// The side making the move was known not to be in check: only a line opened
// through the square it left can expose its king.
constexpr uint32_t SF_MOVER_SAFE = 0x4;
constexpr uint32_t SF_FIRST_CHILD = 0x8;
constexpr uint32_t SF_QUIT_ON_NULL = 0x10;
constexpr uint32_t SF_AFTER_NULL = 0x80;
constexpr uint32_t SF_ALREADY_MADE = 0x200;
constexpr uint32_t SF_NO_NULL = 0x1000;
constexpr uint32_t SF_QS_PLAIN = 0x8000;
constexpr uint32_t SF_QS_CHILD = 0x20000;
constexpr uint32_t SF_ROOT = 0x80000;
constexpr uint32_t SF_NULL_CHILD = 0x100000;
constexpr uint32_t SF_SCOUT = 0x200000;
constexpr uint32_t SF_INHERIT = 0x51D80;
// What a null-move child keeps of its parent's flags: the inherited ones but
// the after-null mark, which the null move sets afresh.
constexpr uint32_t SF_NULL_INHERIT = SF_INHERIT & ~SF_AFTER_NULL;

// Mate scores count plies from the root so that a nearer mate scores higher.
constexpr int mateIn(int ply) { return MATE_VALUE - 1 - ply; }  // mating move made at ply + 1
constexpr int matedIn(int ply) { return ply - MATE_VALUE; }     // mated at ply
constexpr bool isMateScore(int s) { return s > MATE_BOUND || s < -MATE_BOUND; }
// A score the evaluation could give: no mate and no open bound in it.
constexpr bool isPlainScore(int s) { return s > -MATE_BOUND && s < MATE_BOUND; }

// Capacity of a node's move list: the worst pseudo-legal count with many
// promoted queens, plus room for the moves deferred to the end.
constexpr int SEARCH_LIST_SIZE = 512;

// Thrown at a node entry once the worker's abort signal is set; caught by the driver.
// No search frame holds an object with a destructor.
struct SearchAborted {};

struct SearchWorker;

inline uint32_t packScoreMove(int score, uint32_t move) {
    return (uint32_t(uint16_t(int16_t(score))) << 16) | (move & 0xFFFF);
}
inline int scoreOf(uint32_t word) { return int16_t(uint16_t(word >> 16)); }

// The root node calls it as it starts each move, numbered from 1 in the
// root's order; the driver reports it.
void rootMoveStarted(SearchWorker& w, uint32_t move, int number);

int searchWhite(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta, const NodeState* state);
int searchBlack(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta, const NodeState* state);

// A new game clears the engine worker's ordering tables.
void clearHistory();
void clearCounterMoves();
void clearKillers();

// The node entry's make: plays m of colour mover on workBoard and updates ns
// (returns the captured slot). For tools and tests; the search inlines it.
int makeNodeMove(int mover, NodeState& ns, uint32_t m);

// Repetition walk over the game and search history from the node back:
// 1 for a position seen twice before, 2 for one repetition inside the search
// (or of the root), -1 otherwise.
int repetitionScore(const SearchWorker& w, const NodeState& ns, int side);
