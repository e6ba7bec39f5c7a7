#include "search/search.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include "board/attacks.h"
#include "board/exchange.h"
#include "board/movegen.h"
#include "board/side.h"
#include "board/tables.h"
#include "egtb/tablebase.h"
#include "eval/evaluate.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "search/worker.h"

// Margins by remaining plies, in evaluation units (a pawn is 480).
// Razoring (1-3 plies): a node whose static score lies this far below alpha
// is tried with the quiescence search first, and cut when that stays below.
static const int razorMargin[5] = {0, 2400, 5760, 10080, 14400};
// Static null move (1-3 plies): a node whose static score beats beta by this
// much returns beta unsearched.
static const int staticNullMargin[8] = {0, 960, 1920, 2880, 3840, 4800, 5760, 8000};
// Futility (1-3 plies): a quiet move is skipped when the static score plus
// this cannot reach alpha (never in check, where the static score is only a
// stand-in).
static const int futilityMargin[8] = {0, 800, 1920, 2880, 3840, 4800, 5760, 0};
// Late-move pruning (up to 6 plies, non-PV, not in check): once more quiet
// moves than this have been searched, the remaining quiet ones are skipped.
static const int lateMoveCount[8] = {0, 5, 7, 11, 17, 26, 36, 48};
// In a node's move list the order score sits above the move; a quiet move
// put back to the end of the list carries the deferred mark.
constexpr uint32_t LIST_DEFERRED = 0x8000;
constexpr uint32_t LIST_MOVE = 0x7FFF;  // the move without the mark

// Ordering bonus of a promotion by its kind bits (queen, rook, bishop, knight).
static const int promotionOrder[8] = {0, 0, 0, 0, 10, 4, 2, 2};

// Late-move reduction in plies by remaining plies and quiet moves searched:
// grows with the logarithm of both.
static uint8_t reductionTable[32][64];

static struct ReductionTableInit {
    ReductionTableInit() {
        for (int d = 0; d < 32; d++)
            for (int n = 0; n < 64; n++)
                reductionTable[d][n] = (d <= 1 || n <= 1) ? 0 : uint8_t(0.4 * std::log2(double(d)) * std::log2(double(n)));
    }
} reductionTableInit;

static inline void recordPv(SearchWorker& w, int ply, uint32_t value) {
    uint32_t* line = w.pvTable[ply];
    const uint32_t* child = w.pvTable[ply + 1];
    line[0] = value;
    int i = 0;
    while (i + 1 < MAX_SEARCH_PLY - ply && child[i] != 0) {
        line[i + 1] = child[i];
        i++;
    }
    line[i + 1] = 0;
}

// ---------------------------------------------------------------------------
// Colour dispatch at compile time: each copy calls its twin's routines.

template <int C> static inline int makeFor(uint32_t m) {
    if constexpr (C == 0) return searchMakeWhite(m); else return searchMakeBlack(m);
}
template <int C> static inline void unmakeFor(uint32_t m, int captured) {
    if constexpr (C == 0) searchUnmakeWhite(m, captured); else searchUnmakeBlack(m, captured);
}
// Whether square t is attacked by colour C.
template <int C> static inline bool attackedBy(int t) {
    if constexpr (C == 0) return workAttackedByWhite(t); else return workAttackedByBlack(t);
}
// Whether a slider of colour C attacks square king along the line through
// the empty square vacated (the only line a move off it can open).
template <int C>
static inline bool exposedThrough(int king, int vacated) {
    const int e = directionTable[king][vacated];
    if (e == 0) return false;
    const int kind = lineKind[std::abs(e)];
    return (kind == 1 || kind == 2) && sliderAlong<C>(workBoard, king, e, vacated);
}
template <int C> static inline int generateFor(uint32_t* list, int lf, int lt, int inCheck, const int16_t* castle) {
    if constexpr (C == 0) return generateMovesWhite(list, lf, lt, inCheck, castle);
    else return generateMovesBlack(list, lf, lt, inCheck, castle);
}
template <int C> static inline int capturesFor(uint32_t* list, int lf, int lt) {
    if constexpr (C == 0) return generateCapturesWhite(list, lf, lt); else return generateCapturesBlack(list, lf, lt);
}
template <int C> static inline int givesCheckFor(uint32_t m, int king, const NodeState& ns) {
    if constexpr (C == 0) return givesCheckWhite(m, king, ns); else return givesCheckBlack(m, king, ns);
}
template <int C>
static int searchNode(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
                      const NodeState* state);

// ---------------------------------------------------------------------------
// Incremental update of a node's state for the move that enters it.

// Piece-square entry of a man of colour C, signed as White minus Black.
template <int C> static inline int pstOf(int type, int sq) {
    if constexpr (C == 0) return pstWhite[type][sq]; else return -pstBlack[type][sq];
}

// Puts a man of colour C into or out of the Zobrist words.
template <int C> static inline void toggleMan(NodeState& ns, int slot, int type, int sq) {
    uint32_t idx = zobristIndex(C, type, sq);
    ns.hashKey ^= zobristKey[idx];
    ns.hashLock ^= zobristLock[idx];
    if ((slot & 15) >= 8 && type == Side<C>::PAWN) {
        ns.pawnKey ^= zobristKey[idx];
        ns.pawnLock ^= zobristLock[idx];
    }
}

static inline int castleTerm(const int16_t* castle, int colour) {
    return colour ? 2 * (castle[CS_BLACK_KING] == 0) + (castle[CS_BLACK_QUEEN] == 0)
                  : 2 * (castle[CS_WHITE_KING] == 0) + (castle[CS_WHITE_QUEEN] == 0);
}

template <int C> static inline uint8_t pawnFilesOf() {
    uint8_t files = 0;
    for (int s = Side<C>::US + 8; s < Side<C>::US + 16; s++)
        if (workBoard.slotSquare[s] != SQ_NONE && workBoard.slotType[s] == Side<C>::PAWN)
            files |= uint8_t(1u << fileOf(workBoard.slotSquare[s]));
    return files;
}

// Makes move m of colour M on the working board and updates ns; returns the
// captured slot (32 when none).
template <int M> static inline int enterMove(NodeState& ns, uint32_t m) {
    typedef Side<M> S;
    constexpr int T = M ^ 1;
    WorkBoard& b = workBoard;
    int from = moveFrom(m), to = moveTo(m);
    uint32_t kind = moveKind(m);
    int slot = b.squareSlot[from];
    int type = b.slotType[slot];
    int oldTerms = castleTerm(ns.castle, 0) | castleTerm(ns.castle, 1) << 2;
    int captured = makeFor<M>(m);
    bool stageChange = false;
    if (captured != SLOT_EMPTY) {
        int victimType = b.slotType[captured];
        int victimSquare = kind == MK_EN_PASSANT ? to - S::FORWARD : to;
        int v = b.slotValue[captured];
        toggleMan<T>(ns, captured, victimType, victimSquare);
        ns.pstScore -= pstOf<T>(victimType, victimSquare);
        ns.material += M ? -v : v;
        if (victimType >= WHITE_PAWN) {
            ns.pawnCount[T]--;
            ns.pawnFiles[T] = pawnFilesOf<T>();
        } else {
            ns.pieceCount[T]--;
            ns.nonPawnMaterial[T] = uint16_t(ns.nonPawnMaterial[T] - v);
        }
        ns.promotedQueens &= ~(1u << captured);
        if (captured == S::THEM + 3 && ns.castle[S::THEIR_CS_KING] == 0) ns.castle[S::THEIR_CS_KING] = -1;
        if (captured == S::THEM + 2 && ns.castle[S::THEIR_CS_QUEEN] == 0) ns.castle[S::THEIR_CS_QUEEN] = -1;
        stageChange = true;
    }
    int newType = kind >= MK_PROMO_QUEEN ? promotedType(m) : type;
    toggleMan<M>(ns, slot, type, from);
    toggleMan<M>(ns, slot, newType, to);
    ns.pstScore += pstOf<M>(newType, to) - pstOf<M>(type, from);
    if (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN) {
        bool kingSide = kind == MK_CASTLE_KING;
        int rook = kingSide ? S::US + 3 : S::US + 2;
        int rookFrom = kingSide ? S::KING_HOME + 3 : S::KING_HOME - 4;
        int rookTo = kingSide ? S::KING_HOME + 1 : S::KING_HOME - 1;
        toggleMan<M>(ns, rook, ROOK, rookFrom);
        toggleMan<M>(ns, rook, ROOK, rookTo);
        ns.pstScore += pstOf<M>(ROOK, rookTo) - pstOf<M>(ROOK, rookFrom);
        ns.castle[S::CS_KING] = kingSide ? 1 : -1;
        ns.castle[S::CS_QUEEN] = kingSide ? -1 : 1;
    } else if (kind >= MK_PROMO_QUEEN) {
        int gain = TYPE_VALUE[newType] - VALUE_PAWN;
        ns.material += M ? -gain : gain;
        ns.pawnCount[M]--;
        ns.pieceCount[M]++;
        ns.nonPawnMaterial[M] = uint16_t(ns.nonPawnMaterial[M] + TYPE_VALUE[newType]);
        if (newType == QUEEN && (slot & 15) >= 8) ns.promotedQueens |= 1u << slot;
        ns.pawnFiles[M] = pawnFilesOf<M>();
        stageChange = true;
    } else if (slot == S::US) {
        if (ns.castle[S::CS_KING] == 0) ns.castle[S::CS_KING] = -1;
        if (ns.castle[S::CS_QUEEN] == 0) ns.castle[S::CS_QUEEN] = -1;
    } else if (slot == S::US + 3) {
        if (ns.castle[S::CS_KING] == 0) ns.castle[S::CS_KING] = -1;
    } else if (slot == S::US + 2) {
        if (ns.castle[S::CS_QUEEN] == 0) ns.castle[S::CS_QUEEN] = -1;
    } else if (type == S::PAWN && fileOf(from) != fileOf(to)) {
        ns.pawnFiles[M] = pawnFilesOf<M>();
    }
    int newTerms = castleTerm(ns.castle, 0) | castleTerm(ns.castle, 1) << 2;
    if (newTerms != oldTerms) {
        uint32_t w0 = 448 + (oldTerms & 3), w1 = 448 + (newTerms & 3);
        uint32_t b0 = 960 + (oldTerms >> 2), b1 = 960 + (newTerms >> 2);
        ns.hashKey ^= zobristKey[w0] ^ zobristKey[w1] ^ zobristKey[b0] ^ zobristKey[b1];
        ns.hashLock ^= zobristLock[w0] ^ zobristLock[w1] ^ zobristLock[b0] ^ zobristLock[b1];
    }
    if (stageChange) ns.stage = recomputeStage(ns);
    return captured;
}

int makeNodeMove(int mover, NodeState& ns, uint32_t m) {
    return mover ? enterMove<1>(ns, m) : enterMove<0>(ns, m);
}

// ---------------------------------------------------------------------------
// Shared pieces that need no colour.

int repetitionScore(const SearchWorker& w, const NodeState& ns, int side) {
    int matches = 0, matchIndex = -1;
    for (int i = w.historyBase + ns.searchPly - 4; i >= 0; i -= 2) {
        const HistoryEntry& h = w.searchHistory[i];
        if (h.hashLock == ns.hashLock && (h.flags >> 7) == side) {
            matches++;
            matchIndex = i;
        }
        if (h.move == 0 || (h.flags & 0x40)) break;
    }
    if (matches >= 2) return 1;
    if (matches == 1 && matchIndex >= w.historyBase) return 2;
    return -1;
}

// King and minor against king, or two bishops of one colour: no mate.
static bool noMatingMaterial(const NodeState& ns) {
    if (ns.pawnCount[0] + ns.pawnCount[1] != 0) return false;
    if (ns.pieceCount[0] == 0 || ns.pieceCount[1] == 0)
        return ns.nonPawnMaterial[0] <= VALUE_BISHOP && ns.nonPawnMaterial[1] <= VALUE_BISHOP;
    if (ns.nonPawnMaterial[0] > VALUE_BISHOP || ns.nonPawnMaterial[1] > VALUE_BISHOP) return false;
    auto bishopOn = [](int s) { return workBoard.slotSquare[s] != SQ_NONE && workBoard.slotType[s] == BISHOP; };
    return (bishopOn(5) && bishopOn(20)) || (bishopOn(4) && bishopOn(21));
}

// History scores move towards 4096 (a cut) or 0 (no cut) by 1/q of the way.
static inline void historyBonus(int32_t& h, int q) { h += (4096 - h) / q; }
static inline void historyMalus(int32_t& h, int q) { h -= h / q; }

static void rewardQuiet(SearchWorker& w, int colour, uint32_t best, int depth, const uint32_t* tried, int nTried) {
    int q = 40 - (depth >> 8) / 2;  // deeper cuts move the scores faster
    int from = moveFrom(best);
    // The mover still stands on its start square: the move is unmade.
    historyBonus(w.ordering.historyScores[colour][workBoard.slotType[workBoard.squareSlot[from]]][moveTo(best)], q);
    for (int i = 0; i < nTried; i++) {
        int f = moveFrom(tried[i]);
        int type = workBoard.slotType[workBoard.squareSlot[f]];
        historyMalus(w.ordering.historyScores[colour][type][moveTo(tried[i])], q);
    }
}

static inline uint32_t selectNext(uint32_t* list, int i, int n) {
    int bestIndex = i;
    uint32_t bestKey = list[i] >> 16;
    for (int j = i + 1; j < n; j++)
        if ((list[j] >> 16) > bestKey) {
            bestKey = list[j] >> 16;
            bestIndex = j;
        }
    uint32_t m = list[bestIndex];
    list[bestIndex] = list[i];
    list[i] = m;
    return m;
}

static inline bool isUnderPromotion(uint32_t m) { return moveKind(m) >= MK_PROMO_ROOK; }

// ---------------------------------------------------------------------------
// The node search of one colour: C is the side to move.

template <int C> struct NodeContext {
    NodeState ns;
    uint32_t move;
    uint32_t flags;
    bool pvNode;
    bool inCheck;
    bool inCheckKnown;  // inCheck was tested, not assumed
    bool epGuard;
    int epSquare;
};

template <int C> static bool passedPawn(int sq, const NodeState& ns) {
    typedef Side<C> S;
    int f = fileOf(sq);
    unsigned mask = (1u << f) | (f > 0 ? 1u << (f - 1) : 0u) | (f < 7 ? 1u << (f + 1) : 0u);
    if ((ns.pawnFiles[C ^ 1] & mask) == 0) return true;
    for (int x = sq + S::FORWARD; x >= 0 && x < 64; x += S::FORWARD)
        for (int df = -1; df <= 1; df++) {
            if (f + df < 0 || f + df > 7) continue;
            int s = workBoard.squareSlot[x + df];
            if (S::theirs(s) && workBoard.slotType[s] == S::ENEMY_PAWN) return false;
        }
    return true;
}

// Whether an enemy pawn attacks square t (for a man of colour C moving there).
template <int C> static inline bool pawnAttacked(int t) {
    typedef Side<C> S;
    int f = fileOf(t);
    int a = t + S::FORWARD - 1, b = t + S::FORWARD + 1;
    if (f > 0 && a >= 0 && a < 64) {
        int s = workBoard.squareSlot[a];
        if (S::theirs(s) && workBoard.slotType[s] == S::ENEMY_PAWN) return true;
    }
    if (f < 7 && b >= 0 && b < 64) {
        int s = workBoard.squareSlot[b];
        if (S::theirs(s) && workBoard.slotType[s] == S::ENEMY_PAWN) return true;
    }
    return false;
}

template <int C>
static int quiesce(SearchWorker& w, NodeContext<C>& cx, int depth, int alpha, int beta) {
    constexpr int T = C ^ 1;
    NodeState& ns = cx.ns;
    const bool plain = (cx.flags & SF_QS_PLAIN) != 0;
    w.counters.quiesceNodes++;
    if (depth >= 0 && cx.move != 0 && ns.fiftyCount > 3) {
        if (ns.fiftyCount >= 100) return 0;
        int r = repetitionScore(w, ns, C);
        if (r > 0) return r;
    }
    TTEntry entry;
    const bool e = !plain && !cx.epGuard && ttProbe(C, ns, entry);
    int eval = NO_EVAL, entryScore = 0, entryType = TT_EMPTY;
    if (e) {
        entryScore = ttScoreFromEntry(entry, ns.searchPly);
        entryType = entry.type();
        if (!cx.pvNode && !cx.inCheck &&
            (entryType == TT_EXACT || entryType == TT_TABLEBASE || (entryType == TT_LOWER && entryScore >= beta) ||
             (entryType == TT_UPPER && entryScore <= alpha))) {
            w.counters.ttHits++;
            return entryScore;
        }
        if (entry.eval != NO_EVAL) eval = entry.eval;
    }

    uint32_t list[SEARCH_LIST_SIZE];
    int lastFrom = moveFrom(ns.lastMove), lastTo = moveTo(ns.lastMove);
    int n;
    int standPat = 0;
    bool noPruning = cx.inCheck || plain;
    if (cx.inCheck) {
        eval = NO_EVAL;  // a mate-ply stand-in must never reach the table
        n = generateFor<C>(list, lastFrom, lastTo, 1, ns.castle);
    } else {
        if (cx.pvNode || eval != NO_EVAL) {
            if (eval == NO_EVAL) eval = evaluate(C, ns);
            standPat = eval;
        } else {
            // Lazy bound: with the material this far (3.3 pawns) past beta or
            // short of alpha the bound stands in for the evaluation; a queen's
            // worth when a side with at most a rook faces pawns that may promote.
            int margin = ((ns.nonPawnMaterial[C] <= VALUE_ROOK && ns.pawnCount[T] > 0) ||
                          (ns.nonPawnMaterial[T] <= VALUE_ROOK && ns.pawnCount[C] > 0))
                             ? VALUE_QUEEN : 1600;
            int material = C ? -ns.material : ns.material;
            if (beta > -MATE_BOUND && ns.pieceCount[C] > 0 && material - margin > beta) {
                standPat = beta;
            } else if (alpha < MATE_BOUND && ns.pieceCount[T] > 0 && material + margin < alpha) {
                standPat = alpha;
            } else {
                eval = evaluate(C, ns);
                standPat = eval;
            }
        }
        if (e) {
            if (entryType == TT_EXACT || entryType == TT_TABLEBASE) standPat = entryScore;
            else if (entryType == TT_LOWER && entryScore >= standPat) standPat = entryScore;
            else if (entryType == TT_UPPER && entryScore < standPat) standPat = entryScore;
        }
        if (standPat > alpha) {
            if (standPat >= beta) return standPat;
            alpha = standPat;
        }
        n = capturesFor<C>(list, lastFrom, lastTo);
        if (n == 0) return standPat;
        if (!isPlainScore(standPat)) noPruning = true;
    }
    const int alphaBefore = alpha;
    int best = alpha;
    int delta = 0;
    // Delta pruning: a capture whose victim plus this margin (1.7 pawns, a
    // queen's worth in endings, where the positional terms swing more) cannot
    // lift the stand-pat to alpha is skipped.
    if (!noPruning) {
        const bool ending = ns.nonPawnMaterial[C] <= VALUE_ROOK || ns.nonPawnMaterial[T] <= VALUE_ROOK;
        delta = standPat + (ending ? VALUE_QUEEN : 800);
    }
    int legal = 0;
    bool cut = false;
    const uint32_t moverSafe = cx.inCheckKnown && !cx.inCheck ? SF_MOVER_SAFE : 0;
    for (int i = 0; i < n; i++) {
        uint32_t m = selectNext(list, i, n) & LIST_MOVE;
        if (!noPruning) {
            int to = moveTo(m);
            int victim = moveKind(m) == MK_EN_PASSANT ? VALUE_PAWN : workBoard.slotValue[workBoard.squareSlot[to]];
            if (victim + (isPromotion(m) ? VALUE_QUEEN - VALUE_PAWN : 0) + delta < best) continue;
            // A capture that loses material once the square is fought over
            // cannot raise the stand-pat score.
            if (victim < workBoard.slotValue[workBoard.squareSlot[moveFrom(m)]] && staticExchange(m) < 0) continue;
        }
        // A plain search stays plain down to its quiet leaves.
        int r = searchNode<T>(w, m, SF_VERIFY_LEGAL | SF_QS_CHILD | (cx.flags & SF_QS_PLAIN) | moverSafe,
                              depth - ONE_PLY, -beta, -best, &ns);
        if (r == ILLEGAL_SCORE) continue;
        legal++;
        int s = -r;
        if (s > best) {
            if (cx.pvNode && !plain) recordPv(w, ns.searchPly, packScoreMove(s, m));
            best = s;
            if (s >= beta) {
                cut = true;
                break;
            }
        }
    }
    const bool store = !plain && !cx.epGuard;
    if (cut) {
        if (store) ttStore(TT_LOWER, best, 0, 0, cx.pvNode, C, ns, eval);
        return best;
    }
    if (cx.inCheck && legal == 0) return plain ? best : matedIn(ns.searchPly);
    if (store) {
        if (best != alphaBefore) ttStore(TT_EXACT, best, 0, 0, 1, C, ns, eval);
        else ttStore(TT_UPPER, best, 0, 0, cx.pvNode, C, ns, eval);
    }
    return best;
}

template <int C>
static int fullWidth(SearchWorker& w, NodeContext<C>& cx, int depth, int alpha, int beta) {
    typedef Side<C> S;
    constexpr int T = C ^ 1;
    NodeState& ns = cx.ns;
    const bool root = (cx.flags & SF_ROOT) != 0;
    const bool pvNode = cx.pvNode;
    const int ply = ns.searchPly;
    WorkBoard& b = workBoard;

    w.counters.interiorNodes++;
    if (cx.move != 0 && ns.fiftyCount > 3) {
        // A count past 100 is possible (a claim does not end the game).
        if (ns.fiftyCount >= 100) return 0;
        int r = repetitionScore(w, ns, C);
        if (r > 0) return r;
    }

    // Table probe.
    uint32_t hashMove = 0;
    int eval = NO_EVAL;
    int hashPv = 0;
    bool nullForbidden = false, upperDeep = false;
    const int plies = depth >> 8;
    if (!root && !cx.epGuard) {
        TTEntry e;
        if (ttProbe(C, ns, e)) {
            int s = ttScoreFromEntry(e, ply);
            int type = e.type();
            if (type == TT_TABLEBASE) {
                w.counters.ttHits++;
                return s;
            }
            bool deep = e.depth() >= plies;
            if (deep && !pvNode &&
                (type == TT_EXACT || (type == TT_LOWER && s >= beta) || (type == TT_UPPER && s <= alpha))) {
                w.counters.ttHits++;
                return s;
            }
            hashMove = e.move;
            eval = e.eval;
            if (eval == NO_EVAL && type == TT_EXACT && s < MATE_BOUND) eval = s;
            hashPv = e.pv();
            if (type == TT_UPPER && deep) {
                upperDeep = true;
                if (s < beta) nullForbidden = true;
            }
        }
    }

    // Tablebase probe.
    const int capturedSlot = int(ns.lastMove >> 16) & 63;
    const bool enteredByCapture = capturedSlot != SLOT_EMPTY;
    if (!root && ns.pieceCount[0] + ns.pieceCount[1] + ns.pawnCount[0] + ns.pawnCount[1] + 1 < tbMaxPieces &&
        (ply <= 3 || enteredByCapture || isPromotion(cx.move))) {
        if (countMen(b) == 0) return 0;
        fillPieceLists(b);
        int r = probeTablebase(C, cx.epGuard ? cx.epSquare : -1);
        if (r != TB_UNKNOWN && r >= -TB_BEST_VALUE) {
            w.counters.tbHits++;
            // A table counts moves to mate from this node; the search counts plies from the root.
            int s = r == 0 ? 0 : r > 0 ? mateIn(ply) - 2 * (TB_BEST_VALUE - r) : matedIn(ply) + 2 * (r + TB_BEST_VALUE);
            // Stored six plies deeper (at most 59) so that the exact result outlives searched entries.
            const int storeDepth = std::min(depth + 6 * ONE_PLY, 59 * ONE_PLY);
            if (!cx.epGuard) ttStore(TT_TABLEBASE, s, 0, storeDepth, 1, C, ns, NO_EVAL);
            return s;
        }
    }

    // Static evaluation; an in-check node's stand-in is never stored.
    int storeEval = eval;
    if (eval == NO_EVAL) {
        if (cx.inCheck) {
            eval = matedIn(ply);
        } else {
            eval = evaluate(C, ns);
            storeEval = eval;
        }
    }
    if (cx.inCheck) storeEval = NO_EVAL;

    // Improving: the static score beats the one two plies earlier (four when
    // that node was in check). Unknown counts as improving, which prunes less;
    // in check nothing asks.
    w.staticEvals[ply] = cx.inCheck ? NO_EVAL : eval;
    bool improving = true;
    if (ply >= 2 && w.staticEvals[ply - 2] != NO_EVAL) improving = eval > w.staticEvals[ply - 2];
    else if (ply >= 4 && w.staticEvals[ply - 4] != NO_EVAL) improving = eval > w.staticEvals[ply - 4];

    const bool havePieces = ns.pieceCount[C] > 0;
    const bool piecesAndPawns = havePieces && ns.pawnCount[C] > 0;

    // Shallow pruning.
    if (!pvNode && depth <= 3 * ONE_PLY && cx.move != 0 && !cx.inCheck) {
        if (hashMove == 0 && eval > -MATE_BOUND && eval + razorMargin[plies] < alpha) {
            int r = searchNode<C>(w, cx.move, (cx.flags & ~(SF_VERIFY_LEGAL | SF_ALREADY_MADE)) | SF_ALREADY_MADE, 0,
                                  alpha - 1, alpha, &ns);
            if (r < alpha) return r;
        }
        if (havePieces && isPlainScore(eval) && eval - staticNullMargin[plies] >= beta) return beta;
    }

    // Null move.
    if (!pvNode && !(cx.flags & SF_NO_NULL) && !cx.inCheck && !nullForbidden && havePieces && cx.move != 0 &&
        ply <= 58 && beta > -MATE_BOUND && eval >= beta) {
        // Three plies, one more per two pawns the static score beats beta by
        // (at most three more) and one more per four plies of depth.
        int reduction = 3 + std::min((eval - beta) / 960, 3) + depth / 1024;
        int r = searchNode<T>(w, 0, (cx.flags & SF_NULL_INHERIT) | SF_AFTER_NULL | SF_NULL_CHILD,
                              depth - ONE_PLY * reduction, -beta, 1 - beta, &ns);
        if (-r >= beta && r > -MATE_BOUND) return beta;
    }

    // Generate and score.
    uint32_t list[SEARCH_LIST_SIZE];
    int n;
    bool hashMoveIsCapture = false;
    if (root) {
        n = 0;
        while (w.rootMoves[n] != 0 && n < SEARCH_LIST_SIZE - 2) {
            list[n] = (w.rootMoves[n] & 0xFFFF) | uint32_t(2000 - n) << 16;  // in the driver's order
            n++;
        }
        list[n] = 0;
    } else {
        n = generateFor<C>(list, moveFrom(ns.lastMove), moveTo(ns.lastMove), cx.inCheck, ns.castle);
        const uint32_t killers = w.ordering.killerMoves[C][ply];
        const uint32_t newer = killers & 0xFFFF, older = killers >> 16;
        uint32_t counter = 0;
        if (cx.move != 0) {
            int lt = moveTo(cx.move);
            counter = w.ordering.counterMoves[C][b.slotType[b.squareSlot[lt]]][lt];
        }
        // Order scores: the hash move 65535; promotions and captures from
        // 65510 up or down by the gain in pawns (a losing capture three
        // lower still); en passant 65510; the killers 65509 and 65508; quiet
        // moves their history score (0-4095), the counter move 2000 more.
        for (int i = 0; i < n; i++) {
            uint32_t m = list[i] & LIST_MOVE;
            int to = moveTo(m);
            int target = b.squareSlot[to];
            uint32_t score;
            if (m == hashMove) {
                score = 65535;
                hashMoveIsCapture = target != SLOT_EMPTY;
            } else if (isPromotion(m)) {
                score = 65510 + promotionOrder[moveKind(m) >> 12];
            } else if (target != SLOT_EMPTY) {
                int d = b.slotValue[target] - b.slotValue[b.squareSlot[moveFrom(m)]];
                score = uint32_t(d >= -479 ? 65510 + d / 480 : 65507 + d / 480);
            } else if (moveKind(m) == MK_EN_PASSANT) {
                score = 65510;
            } else if (m == newer) {
                score = 65509;
            } else if (m != older) {
                int h = w.ordering.historyScores[C][b.slotType[b.squareSlot[moveFrom(m)]]][to];
                score = uint32_t(m == counter ? std::min(h + 2000, 4095) : h);
            } else {
                score = 65508;
            }
            list[i] = m | (score & 0xFFFF) << 16;
        }
        if (hashMove == 0) {
            if (depth >= 4 * ONE_PLY) depth -= ONE_PLY;
        }
    }
    w.ordering.killerMoves[0][ply + 1] = w.ordering.killerMoves[1][ply + 1] = 0;
    const int nodePlies = depth >> 8;
    const bool moveCountAllowed = nodePlies <= 6 && !cx.inCheck && !pvNode && !root && piecesAndPawns;
    const int theirKing = b.slotSquare[S::THEM];
    const int enteringTo = moveTo(cx.move);

    int searched = 0, quietSearched = 0;
    uint32_t tried[64];
    int nTried = 0;
    bool skipUnderPromotions = false;
    bool raised = false, raisedByQuiet = false;
    uint32_t bestMove = 0;
    int lastDepth = depth;
    int cutScore = 0;
    uint32_t cutMove = 0;
    int cutDepth = 0;
    bool cut = false;

    for (int i = 0; i < n; i++) {
        uint32_t word = selectNext(list, i, n);
        uint32_t m = word & LIST_MOVE;
        const bool deferred = (word & LIST_DEFERRED) != 0;
        if (skipUnderPromotions && !root && isUnderPromotion(m)) continue;
        if (root) rootMoveStarted(w, m, i + 1);
        const int from = moveFrom(m), to = moveTo(m);
        const uint32_t kind = moveKind(m);
        const int moverType = b.slotType[b.squareSlot[from]];
        const int target = b.squareSlot[to];
        const bool quiet = target == SLOT_EMPTY && !isPromotion(m) && kind != MK_EN_PASSANT;
        const int orderScore = int(word >> 16);
        const bool check = givesCheckFor<C>(m, theirKing, ns) != 0;
        if (root) {
            // The status line follows the root move in hand.
            w.progress.currentRootMove = m;
            w.progress.rootMovesLeft = n - i - 1;
        }
        int extension = check ? ONE_PLY : 0;
        int reduction = 0;

        // Pruning and reductions: for later, non-checking, plain moves that are
        // no hash move, capture, promotion or killer (scores under 65000).
        if (searched > 0 && !check && kind == 0 && orderScore < 65000) {
            const int relRank = C ? 7 - rankOf(to) : rankOf(to);
            const bool exempt = moverType == S::PAWN && relRank >= 3 && passedPawn<C>(from, ns);
            if (!exempt && !deferred) {
                if (nodePlies < 4 && !pvNode && !root && !cx.inCheck && piecesAndPawns &&
                    eval + futilityMargin[nodePlies] <= alpha) {
                    lastDepth = depth;
                    continue;
                }
                if (moveCountAllowed &&
                    (improving ? lateMoveCount[nodePlies] : lateMoveCount[nodePlies] * 2 / 3) < quietSearched) {
                    lastDepth = depth;
                    continue;
                }
                if (moverType != S::PAWN && relRank < 6 && pawnAttacked<C>(to)) {
                    if (moverType == KING) continue;  // the king cannot go there
                    if (!root && n <= SEARCH_LIST_SIZE - 2) {
                        // Deferred to the end once, its score scaled under the killers'.
                        list[n++] = m | LIST_DEFERRED | uint32_t(orderScore / 374) << 16;
                        list[n] = 0;
                        continue;
                    }
                }
                if (nodePlies >= 3 && quietSearched >= (root ? 4 : 1) && piecesAndPawns && target == SLOT_EMPTY &&
                    !cx.inCheck) {
                    reduction = reductionTable[std::min(nodePlies, 31)][std::min(quietSearched, 63)] * ONE_PLY;
                    // In 1/256 ply: less at a non-PV node whose table entry came from a PV, at a PV node
                    // without a deep upper bound or whose static score beats alpha by three pawns, and for
                    // a move with a strong history (over 3000) between 6 and 19 plies; more at a non-PV
                    // node whose hash move is a capture.
                    if (!pvNode && hashPv) reduction -= 256;
                    if (pvNode && !upperDeep) reduction -= 512;
                    if (pvNode && alpha > -MATE_BOUND && eval - alpha > 1440) reduction -= 256;
                    if (depth >= 1537 && depth <= 4863 && orderScore >= 3001) reduction -= 256;
                    if (!pvNode && hashMoveIsCapture) reduction += 256;
                    if (!improving) reduction += 256;
                    // The reduced search keeps at least one ply.
                    if (reduction > 0 && depth - 511 <= reduction) reduction = depth - 512;
                    if (reduction < 0) reduction = 0;
                }
            }
        }

        if (pvNode && target != SLOT_EMPTY && enteredByCapture && to == enteringTo) extension = ONE_PLY;
        // Taking the last piece (a minor or more) of a side with one left: half a ply more for the ending.
        if (ns.pieceCount[T] == 1 && target != SLOT_EMPTY && b.slotValue[target] >= VALUE_KNIGHT) extension += 128;
        if (ply >= w.extensionPlyLimit || deferred) extension = 0;
        const int newDepth = depth + extension - ONE_PLY;
        uint32_t childFlags = (cx.flags & SF_INHERIT) | SF_VERIFY_LEGAL;
        if (cx.inCheckKnown && !cx.inCheck) childFlags |= SF_MOVER_SAFE;
        if (searched == 0 && (cx.flags & SF_FIRST_CHILD)) childFlags |= SF_FIRST_CHILD;

        int r;
        w.counters.childSearches.increment();
        if (searched == 0) {
            r = searchNode<T>(w, m, childFlags, newDepth, -beta, -alpha, &ns);
        } else {
            r = searchNode<T>(w, m, childFlags | (pvNode ? SF_SCOUT : 0), newDepth - reduction, -alpha - 1, -alpha,
                              &ns);
            if (r != ILLEGAL_SCORE && -r > alpha && reduction > 0) {
                w.counters.childSearches.increment();
                r = searchNode<T>(w, m, childFlags, newDepth, pvNode ? -alpha - 1 : -beta, -alpha, &ns);
            }
            if (pvNode && r != ILLEGAL_SCORE && -r > alpha && -r < beta) {
                w.counters.childSearches.increment();
                r = searchNode<T>(w, m, childFlags, newDepth, -beta, -alpha, &ns);
            }
        }
        if (r == ILLEGAL_SCORE) continue;
        const int score = -r;
        lastDepth = depth + extension;
        searched++;
        bool justRaised = false;
        if (score > alpha) {
            if (score >= beta) {
                cut = true;
                cutScore = score;
                cutMove = m;
                cutDepth = depth + extension;
                break;
            }
            alpha = score;
            bestMove = m;
            raised = true;
            raisedByQuiet = quiet;
            justRaised = true;
            if (pvNode) recordPv(w, ply, packScoreMove(score, m));
        }
        if (quiet) {
            quietSearched++;
            if (!justRaised && nTried < 64) tried[nTried++] = m;
        }
        if (kind == MK_PROMO_QUEEN && score != 0 && score > -MATE_BOUND && !cx.inCheck) skipUnderPromotions = true;
    }

    if (cut) {
        if (pvNode) recordPv(w, ply, packScoreMove(cutScore, cutMove));
        const int target = b.squareSlot[moveTo(cutMove)];
        if (target == SLOT_EMPTY && !isPromotion(cutMove) && moveKind(cutMove) != MK_EN_PASSANT) {
            if (cx.move != 0)
                w.ordering.counterMoves[C][b.slotType[b.squareSlot[enteringTo]]][enteringTo] = uint16_t(cutMove);
            if (!(cx.flags & SF_AFTER_NULL)) {
                uint32_t& k = w.ordering.killerMoves[C][ply];
                if ((k & 0xFFFF) != cutMove) k = (k << 16) | cutMove;
            }
            if (cutDepth != ONE_PLY) rewardQuiet(w, C, cutMove, depth, tried, nTried);
        }
        if (!cx.epGuard) ttStore(TT_LOWER, cutScore, cutMove, depth, pvNode, C, ns, storeEval);
        return cutScore;
    }
    if (searched == 0) return cx.inCheck ? matedIn(ply) : 0;
    if (!cx.epGuard) {
        if (raised) ttStore(TT_EXACT, alpha, bestMove, depth, pvNode, C, ns, storeEval);
        else ttStore(TT_UPPER, alpha, 0, depth, pvNode, C, ns, storeEval);
    }
    if (raised && raisedByQuiet && lastDepth > ONE_PLY) rewardQuiet(w, C, bestMove, depth, tried, nTried);
    return alpha;
}

// Node entry: everything after the move is made, shared by both searches.
template <int C>
static int nodeBody(SearchWorker& w, NodeContext<C>& cx, int captured, int depth, int alpha, int beta) {
    typedef Side<C> S;
    NodeState& ns = cx.ns;
    const uint32_t flags = cx.flags;
    const uint32_t move = cx.move;
    WorkBoard& b = workBoard;

    w.counters.nodeCount.increment();
    if (!(flags & SF_ALREADY_MADE)) {
        if (!(flags & SF_ROOT)) ns.searchPly++;
        // A node re-entered with its move already made keeps the values its
        // first entry set (the captured slot, the fifty-move step).
        ns.lastMove = uint32_t(captured) << 16 | move;
        if (ns.searchPly > 0) w.pvTable[ns.searchPly][0] = 0;
    }
    if (ns.searchPly > w.counters.selDepth) w.counters.selDepth = ns.searchPly;
    if (ns.searchPly >= MAX_SEARCH_PLY) return evaluate(C, ns);
    if (!(flags & SF_ALREADY_MADE) && ns.searchPly > 0 && depth >= 0) {
        bool irreversible = move == 0 || captured != SLOT_EMPTY || moveKind(move) != 0 ||
                            b.slotType[b.squareSlot[moveTo(move)]] >= WHITE_PAWN;
        HistoryEntry& h = w.searchHistory[w.historyBase + ns.searchPly];
        h.hashLock = ns.hashLock;
        h.keyHigh = uint16_t(ns.hashKey >> 16);
        h.move = uint16_t(move);
        h.castling = 0;
        h.flags = uint8_t((captured & 63) | (irreversible ? 0x40 : 0) | (C << 7));
        ns.fiftyCount = irreversible ? 0 : ns.fiftyCount + 1;
    }

    cx.inCheck = false;
    cx.inCheckKnown = depth >= -511 && (move != 0 || (flags & SF_ROOT));
    if (cx.inCheckKnown) {
        const int king = b.slotSquare[S::US];
        const uint32_t kind = moveKind(move);
        if (king == SQ_NONE) {
            cx.inCheck = false;
        } else if (move != 0 && kind != MK_EN_PASSANT && kind != MK_CASTLE_KING && kind != MK_CASTLE_QUEEN) {
            // Before a legal plain move we were not in check: only the man
            // that moved, or a slider behind the square it left, can give it.
            cx.inCheck =
                manAttacksSquare<C ^ 1>(workBoard, moveTo(move), king) || exposedThrough<C ^ 1>(king, moveFrom(move));
        } else {
            cx.inCheck = attackedBy<C ^ 1>(king);
        }
    }
    if (captured != SLOT_EMPTY && noMatingMaterial(ns)) return 0;

    cx.pvNode = beta - alpha > 1;
    if (!(flags & SF_ROOT)) {
        alpha = std::max(alpha, matedIn(ns.searchPly));
        beta = std::min(beta, mateIn(ns.searchPly));
        if (beta <= alpha) return alpha;
    }

    // The keys carry no en-passant term: after a double step that can be
    // taken en passant, the table is neither read nor written.
    cx.epGuard = false;
    cx.epSquare = -1;
    if (move != 0 && rankOf(moveFrom(move)) == S::ENEMY_FROM_RANK && rankOf(moveTo(move)) == S::ENEMY_TO_RANK) {
        int to = moveTo(move);
        int mover = b.squareSlot[to];
        if (S::theirs(mover) && b.slotType[mover] == S::ENEMY_PAWN) {
            auto ourPawn = [&](int sq) {
                int s = b.squareSlot[sq];
                return S::ours(s) && b.slotType[s] == S::PAWN;
            };
            if ((fileOf(to) > 0 && ourPawn(to - 1)) || (fileOf(to) < 7 && ourPawn(to + 1))) {
                cx.epGuard = true;
                cx.epSquare = to + S::FORWARD;
            }
        }
    }

    if (depth < ONE_PLY) return quiesce<C>(w, cx, depth, alpha, beta);
    return fullWidth<C>(w, cx, depth, alpha, beta);
}

template <int C>
static int searchNode(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
                      const NodeState* state) {
    typedef Side<C> S;
    constexpr int T = C ^ 1;
    if (++w.counters.pollCount >= w.clock.pollInterval) {
        w.counters.pollCount = 0;
        checkClock(w);
    }
    if (w.signals.abortSearch) throw SearchAborted();

    NodeContext<C> cx;
    cx.ns = *state;
    cx.move = move & LIST_MOVE;
    cx.flags = flags;
    int captured = SLOT_EMPTY;
    const bool make = cx.move != 0 && !(flags & SF_ALREADY_MADE);
    if (make) {
        WorkBoard& b = workBoard;
        if (b.squareSlot[moveTo(cx.move)] == S::US) return ILLEGAL_SCORE;
        captured = enterMove<T>(cx.ns, cx.move);
        if (flags & SF_VERIFY_LEGAL) {
            int king = b.slotSquare[S::THEM];
            uint32_t kind = moveKind(cx.move);
            // Out of check, a man other than the king that leaves its square
            // can expose the king only along the line through that square.
            const bool lineOnly = (flags & SF_MOVER_SAFE) && moveTo(cx.move) != king && kind != MK_EN_PASSANT &&
                                  kind != MK_CASTLE_KING && kind != MK_CASTLE_QUEEN;
            bool attacked =
                king != SQ_NONE && (lineOnly ? exposedThrough<C>(king, moveFrom(cx.move)) : attackedBy<C>(king));
            if (!attacked && (kind == MK_CASTLE_KING || kind == MK_CASTLE_QUEEN)) {
                constexpr int home = Side<T>::KING_HOME;
                attacked = attackedBy<C>(home) || attackedBy<C>(kind == MK_CASTLE_KING ? home + 1 : home - 1);
            }
            if (attacked) {
                unmakeFor<T>(cx.move, captured);
                return ILLEGAL_SCORE;
            }
        }
    } else if (cx.move == 0 && (flags & SF_QUIT_ON_NULL)) {
        return 0;
    } else if (flags & SF_ALREADY_MADE) {
        captured = SLOT_EMPTY;
    }

    int score = nodeBody<C>(w, cx, captured, depth, alpha, beta);
    if (make) unmakeFor<T>(cx.move, captured);
    return score;
}

int searchWhite(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
                const NodeState* state) {
    return searchNode<0>(w, move, flags, depth, alpha, beta, state);
}
int searchBlack(SearchWorker& w, uint32_t move, uint32_t flags, int depth, int alpha, int beta,
                const NodeState* state) {
    return searchNode<1>(w, move, flags, depth, alpha, beta, state);
}
