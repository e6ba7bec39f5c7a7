// King safety: open files beside the king, pawn shelter and storm, and a few
// mating-attack patterns. Counted only while the attacker keeps more than a
// queen and a minor piece's worth (6240) of non-pawn material.
#include <algorithm>
#include "eval/boardview.h"
#include "eval/params.h"
#include "eval/terms.h"

using namespace evalview;

constexpr int KS_ATTACKER_MATERIAL = 6240;

namespace {

// Squares of each side's pawns, for the shelter's file scans.
struct PawnSquares {
    uint64_t of[2] = {0, 0};
};

PawnSquares pawnSquares() {
    PawnSquares ps;
    for (int c = 0; c < 2; c++)
        for (int slot = c * 16 + 8; slot < c * 16 + 16; slot++)
            if (onBoard(slot) && workBoard.slotType[slot] == (c ? BLACK_PAWN : WHITE_PAWN))
                ps.of[c] |= squareBit(squareOf(slot));
    return ps;
}

constexpr uint64_t FILE_A = 0x0101010101010101ULL;
constexpr uint64_t RANK_1 = 0xFFULL;
constexpr uint64_t RANK_8 = RANK_1 << 56;

// Pawn shelter of a king of `colour` on k: on its file and each neighbour,
// the first own pawn ahead counts for it and the first enemy pawn against
// it, the nearer the more (7 less the distance, summed apart for own and
// enemy pawns). Ahead means up to the seventh rank for White and down to
// the second for Black.
struct ShelterSums {
    int own = 0, enemy = 0;
};

ShelterSums shelterSums(int k, int colour, const PawnSquares& ps) {
    ShelterSums sums;
    if (colour == WHITE ? rankOf(k) >= 6 : rankOf(k) <= 1) return sums;
    for (int df = -1; df <= 1; df++) {
        int f = fileOf(k) + df;
        if (f < 0 || f > 7) continue;
        uint64_t ahead;
        if (colour == WHITE) ahead = (~uint64_t(0) << (k + 8 + df)) & ~RANK_8;
        else ahead = ((uint64_t(2) << (k - 8 + df)) - 1) & ~RANK_1;
        ahead &= FILE_A << f;
        for (int side = 0; side < 2; side++) {
            uint64_t found = ps.of[side] & ahead;
            if (!found) continue;
            int s = colour == WHITE ? __builtin_ctzll(found) : 63 - __builtin_clzll(found);
            (side == colour ? sums.own : sums.enemy) += 7 - distance(k, s);
        }
    }
    return sums;
}

int shelterValue(const ShelterSums& sums) {
    return evalWeights.shelterOwnPawn * sums.own - evalWeights.shelterEnemyPawn * sums.enemy;
}

int shelterOf(int k, int colour, const PawnSquares& ps) { return shelterValue(shelterSums(k, colour, ps)); }

// The shelter sums depend only on the pawns and the king's square, and one
// evaluation asks for up to six of them: every thread that evaluates keeps
// the sums it counted in a small table of its own. Sums, not values, so that
// changed weights (the tuner, tests) need no clearing.
struct ShelterCacheEntry {
    uint32_t lock = 0;
    uint8_t tag = 0xFF;  // square | colour << 6
    uint8_t own = 0, enemy = 0;
};
constexpr int SHELTER_CACHE_BITS = 10;
thread_local ShelterCacheEntry shelterCache[1 << SHELTER_CACHE_BITS];

// Shelters of one evaluation: the pawn squares are gathered only when a
// count misses the cache.
class ShelterProbe {
public:
    explicit ShelterProbe(const NodeState& ns) : ns_(ns) {}
    int operator()(int k, int colour) {
        const uint8_t tag = uint8_t(k | colour << 6);
        const uint32_t mixed = (ns_.pawnKey ^ (tag * 0x9E3779B1u)) * 0x85EBCA6Bu;
        ShelterCacheEntry& e = shelterCache[mixed >> (32 - SHELTER_CACHE_BITS)];
        if (e.lock != ns_.pawnLock || e.tag != tag) {
            if (!ready_) {
                ps_ = pawnSquares();
                ready_ = true;
            }
            ShelterSums sums = shelterSums(k, colour, ps_);
            e.lock = ns_.pawnLock;
            e.tag = tag;
            e.own = uint8_t(sums.own);
            e.enemy = uint8_t(sums.enemy);
        }
        return shelterValue({e.own, e.enemy});
    }

private:
    const NodeState& ns_;
    PawnSquares ps_;
    bool ready_ = false;
};

}  // namespace

int shelterWhite(int k, const NodeState&) { return shelterOf(k, WHITE, pawnSquares()); }
int shelterBlack(int k, const NodeState&) { return shelterOf(k, BLACK, pawnSquares()); }

// Enemy rooks (the two rook slots) and queen (its slot) on a file the
// defender has no pawn on, at most 2.
static int heavyOnFile(int square, int defender, const NodeState& ns) {
    int f = fileOf(square);
    if (ns.pawnFiles[defender] & (1u << f)) return 0;
    int base = defender ? 0 : 16;
    int n = 0;
    for (int slot = base + 1; slot <= base + 3; slot++)
        if (onBoard(slot) && fileOf(squareOf(slot)) == f) n++;
    return std::min(n, 2);
}

int heavyOnFileWhite(int square, const NodeState& ns) { return heavyOnFile(square, WHITE, ns); }
int heavyOnFileBlack(int square, const NodeState& ns) { return heavyOnFile(square, BLACK, ns); }

// The king's file and its two neighbours, shifted inward at the edge.
static int centreSquare(int king) {
    int f = fileOf(king);
    return king + std::clamp(f, 1, 6) - f;
}

// Open and half-open files around the king of `defender`, in its favour.
static int openFilesNearKing(int centre, int defender, const NodeState& ns) {
    int penalty = 0;
    int cf = fileOf(centre);
    for (int f = cf - 1; f <= cf + 1; f++) {
        unsigned bit = 1u << f;
        if (ns.pawnFiles[defender] & bit) continue;
        penalty += f == cf ? evalWeights.kingCentreFile : evalWeights.kingSideFile;
        if (!(ns.pawnFiles[defender ^ 1] & bit)) penalty += evalWeights.kingFullyOpenFile;
        int s = (centre & 56) + f;
        penalty += evalWeights.kingHeavyOnFile * (defender ? heavyOnFileBlack(s, ns) : heavyOnFileWhite(s, ns));
    }
    return penalty;
}

static bool pawnOrBishop(int square, int colour) {
    return pieceOn(square, colour, colour ? BLACK_PAWN : WHITE_PAWN) || pieceOn(square, colour, BISHOP);
}

static bool ownPawnOn(int square, int colour) { return colour ? blackPawnOn(square) : whitePawnOn(square); }

// Mating patterns against a king on its king's wing, squares named from
// Black's side. When Black's g-pawn has left g7 and White's own queen is
// gone, none of them counts against Black, even for a promoted queen on h6;
// against White the promoted queen still counts.
static int kingSideAttack(int defender) {
    int flip = defender ? 0 : 56;
    auto at = [flip](const char* name) { return sq(name) ^ flip; };
    int attacker = defender ^ 1;
    int king = squareOf(defender * 16);
    int v = 0;
    if (!pawnSlotOn(defender ? 30 : 14, at("g7"))) {
        bool queenSlot = onBoard(attacker * 16 + 1);
        if (!queenSlot && defender == BLACK) return 0;
        if (queenSlot && (pawnOrBishop(at("f6"), attacker) || pawnOrBishop(at("h6"), attacker)))
            v += evalWeights.matingPattern;
    }
    bool queenH6 = pieceOn(at("h6"), attacker, QUEEN);
    bool kingCorner = king == at("g8") || king == at("h8");
    if (queenH6 && pieceOn(at("g5"), attacker, KNIGHT) && !ownPawnOn(at("g7"), defender) &&
        (king == at("h8") || (kingCorner && slotOn(defender * 16 + 3, at("f8")))))
        v += evalWeights.matingPattern;
    if (queenH6 && pieceOn(at("f5"), attacker, KNIGHT) && !ownPawnOn(at("g7"), defender) &&
        !ownPawnOn(at("g6"), defender) && kingCorner)
        v += evalWeights.matingPattern;
    return v;
}

// Against a king on the queen's wing whose b-pawn has moved.
static int queenSideAttack(int centre, int defender) {
    int attackerQueen = defender ? 1 : 17;
    int homeRank = defender ? 6 : 1;  // rank index 6/7 for Black, 0/1 for White
    bool nearHome = defender ? rankOf(centre) >= homeRank : rankOf(centre) <= homeRank;
    if (fileOf(centre) > 2 || !nearHome) return 0;
    if (pawnSlotOn(defender ? 25 : 9, defender ? sq("b7") : sq("b2")) || !onBoard(attackerQueen)) return 0;
    return pawnOrBishop(defender ? sq("c6") : sq("c3"), defender ^ 1) ? evalWeights.matingPattern : 0;
}

// Open files and mating patterns against the king of `defender`, less its
// shelter (or the shelter it could still castle into).
static int dangerToKing(int defender, const NodeState& ns, ShelterProbe& shelterAt) {
    int centre = centreSquare(squareOf(defender * 16));
    int attack = openFilesNearKing(centre, defender, ns);
    int shelter = shelterAt(centre, defender);
    int kingSide = ns.castle[defender ? CS_BLACK_KING : CS_WHITE_KING];
    int queenSide = ns.castle[defender ? CS_BLACK_QUEEN : CS_WHITE_QUEEN];
    bool homeRanks = defender ? rankOf(centre) >= 6 : rankOf(centre) <= 1;
    if (kingSide != -1) {
        if (kingSide == 0) shelter = std::max(shelter, shelterAt(defender ? sq("g8") : sq("g1"), defender));
        if (fileOf(centre) >= 5 && homeRanks) attack += kingSideAttack(defender);
    }
    if (queenSide != -1) {
        if (queenSide == 0) shelter = std::max(shelter, shelterAt(defender ? sq("c8") : sq("c1"), defender));
        attack += queenSideAttack(centre, defender);
    }
    return attack - shelter;
}

int kingSafety(const NodeState& ns) {
    int score = 0;
    bool againstBlack = ns.nonPawnMaterial[0] > KS_ATTACKER_MATERIAL;
    bool againstWhite = ns.nonPawnMaterial[1] > KS_ATTACKER_MATERIAL;
    if (!againstBlack && !againstWhite) return 0;
    ShelterProbe shelterAt(ns);
    if (againstBlack) score += dangerToKing(BLACK, ns, shelterAt);
    if (againstWhite) score -= dangerToKing(WHITE, ns, shelterAt);
    return score;
}
