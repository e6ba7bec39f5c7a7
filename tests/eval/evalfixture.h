// Positions for the evaluation tests: set up from FEN, evaluated from
// scratch, and mirrored colour for colour at the slot level.
#pragma once
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include "board/game.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "tools/lib/positionwalk.h"

struct EvalPosition {
    Board board;
    NodeState ns;
    int side;
};

// The root's set-up stage, the counts and keys from scratch; workBoard holds it.
inline EvalPosition fromBoard(const Board& b, int side) {
    EvalPosition p{b, {}, side};
    prepareEvaluation(p.board);
    p.ns = freshNodeState(p.board);
    p.ns.stage = p.board.stage;
    return p;
}

inline EvalPosition setUp(const std::string& fen) {
    EXPECT_EQ(setupFromFen(game, fen.c_str()), 0) << fen;
    return fromBoard(game.board, game.sideToMove);
}

// Makes p the position the evaluation reads again (placement, blended
// tables and root piece counts).
inline const NodeState& use(const EvalPosition& p) {
    Board b = p.board;
    prepareEvaluation(b);
    copyBoardToWork(p.board);
    return p.ns;
}

// The same position with colours exchanged: slot s becomes s ^ 16 on the
// square mirrored top to bottom, pawns change type, castling states swap.
inline EvalPosition mirrored(const EvalPosition& p) {
    const Board& b = p.board;
    Board m = b;
    for (int sq = 0; sq < 64; sq++) m.squareSlot[sq] = SLOT_EMPTY;
    for (int s = 0; s < 32; s++) {
        int t = s ^ 16;
        int type = b.slotType[s];
        if (type == WHITE_PAWN) type = BLACK_PAWN;
        else if (type == BLACK_PAWN) type = WHITE_PAWN;
        m.slotType[t] = type;
        m.slotValue[t] = b.slotValue[s];
        m.slotSquare[t] = b.slotSquare[s] == SQ_NONE ? SQ_NONE : b.slotSquare[s] ^ 56;
        if (m.slotSquare[t] != SQ_NONE) m.squareSlot[m.slotSquare[t]] = t;
    }
    m.castle[CS_WHITE_KING] = b.castle[CS_BLACK_KING];
    m.castle[CS_BLACK_KING] = b.castle[CS_WHITE_KING];
    m.castle[CS_WHITE_QUEEN] = b.castle[CS_BLACK_QUEEN];
    m.castle[CS_BLACK_QUEEN] = b.castle[CS_WHITE_QUEEN];
    m.lastMove = 0;
    EvalPosition r = fromBoard(m, p.side ^ 1);
    r.ns.stage = p.ns.stage;
    r.ns.fiftyCount = p.ns.fiftyCount;
    use(p);
    return r;
}

inline int sign(int v) { return (v > 0) - (v < 0); }

// A term's sign at each position: 1 for White's good, -1 for Black's, 0 for none.
struct SignCase {
    const char* fen;
    int sign;
};
template <class Term>
void expectSigns(const char* what, Term term, std::initializer_list<SignCase> cases) {
    for (const SignCase& c : cases) {
        EvalPosition p = setUp(c.fen);
        EXPECT_EQ(sign(term(p)), c.sign) << what << ": " << c.fen;
    }
}

// Puts the built-in weights back however a test ends. Given "name = values"
// lines, it first sets those weights, for a test of how a term reacts: fitted
// weights can be zero or noisy where games rarely show the feature, and the
// test is about the mechanism, not the number.
struct WeightsGuard {
    std::string saved = formatEvalParams();
    WeightsGuard() = default;
    explicit WeightsGuard(const std::string& pinned) {
        std::string error;
        EXPECT_TRUE(parseEvalParams(pinned, &error)) << error;
        clearPawnHash();
    }
    ~WeightsGuard() {
        parseEvalParams(saved);
        clearPawnHash();
    }
};
