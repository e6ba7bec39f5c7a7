// King safety: open files beside the king, pawn shelter and storm, and a few
// mating-attack patterns. Counted only while the attacker keeps more than a
// queen and a minor piece's worth (6240) of non-pawn material.
#include <algorithm>
#include "eval/boardview.h"
#include "eval/terms.h"

using namespace evalview;

constexpr int KS_ATTACKER_MATERIAL = 6240;
constexpr int KS_CENTRE_FILE = 25, KS_SIDE_FILE = 60, KS_FULLY_OPEN = 16, KS_HEAVY_ON_FILE = 4;
constexpr int KS_MATING_PATTERN = 182;

int shelterWhite(int k, const NodeState& ns) {
    if (rankOf(k) >= 6) return 0;
    int total = 0;
    for (int df = -1; df <= 1; df++) {
        int f = fileOf(k) + df;
        if (f < 0 || f > 7) continue;
        int start = k + 8 + df;
        if (ns.pawnFiles[0] & (1u << f))
            for (int s = start; s < 56; s += 8)
                if (whitePawnOn(s)) {
                    total += 4 * (7 - distance(k, s));
                    break;
                }
        if (ns.pawnFiles[1] & (1u << f))
            for (int s = start; s < 56; s += 8)
                if (blackPawnOn(s)) {
                    total -= 3 * (7 - distance(k, s));
                    break;
                }
    }
    return 3 * total;
}

int shelterBlack(int k, const NodeState& ns) {
    if (rankOf(k) <= 1) return 0;
    int total = 0;
    for (int df = -1; df <= 1; df++) {
        int f = fileOf(k) + df;
        if (f < 0 || f > 7) continue;
        int start = k - 8 + df;
        if (ns.pawnFiles[1] & (1u << f))
            for (int s = start; s >= 8; s -= 8)
                if (blackPawnOn(s)) {
                    total += 4 * (7 - distance(k, s));
                    break;
                }
        if (ns.pawnFiles[0] & (1u << f))
            for (int s = start; s >= 8; s -= 8)
                if (whitePawnOn(s)) {
                    total -= 3 * (7 - distance(k, s));
                    break;
                }
    }
    return 3 * total;
}

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
        penalty += f == cf ? KS_CENTRE_FILE : KS_SIDE_FILE;
        if (!(ns.pawnFiles[defender ^ 1] & bit)) penalty += KS_FULLY_OPEN;
        int s = (centre & 56) + f;
        penalty += KS_HEAVY_ON_FILE * (defender ? heavyOnFileBlack(s, ns) : heavyOnFileWhite(s, ns));
    }
    return penalty;
}

static bool pawnOrBishop(int square, int colour) {
    return pieceOn(square, colour, colour ? BLACK_PAWN : WHITE_PAWN) || pieceOn(square, colour, BISHOP);
}

// Mating patterns against a black king on the king's wing. When Black's
// g-pawn has left g7 and White's own queen is gone, none of them counts,
// even for a promoted queen on h6 (the rules against White have no such
// exception).
static int kingSideAttackOnBlack() {
    int v = 0;
    int bk = blackKing();
    if (!pawnSlotOn(30, sq("g7"))) {
        if (!onBoard(1)) return 0;
        if (pawnOrBishop(sq("f6"), WHITE) || pawnOrBishop(sq("h6"), WHITE)) v += KS_MATING_PATTERN;
    }
    bool queenH6 = pieceOn(sq("h6"), WHITE, QUEEN);
    bool kingCorner = bk == sq("g8") || bk == sq("h8");
    if (queenH6 && pieceOn(sq("g5"), WHITE, KNIGHT) && !blackPawnOn(sq("g7")) &&
        (bk == sq("h8") || (kingCorner && slotOn(19, sq("f8")))))
        v += KS_MATING_PATTERN;
    if (queenH6 && pieceOn(sq("f5"), WHITE, KNIGHT) && !blackPawnOn(sq("g7")) && !blackPawnOn(sq("g6")) &&
        kingCorner)
        v += KS_MATING_PATTERN;
    return v;
}

static int kingSideAttackOnWhite() {
    int v = 0;
    int wk = whiteKing();
    if (!pawnSlotOn(14, sq("g2")) && onBoard(17) && (pawnOrBishop(sq("f3"), BLACK) || pawnOrBishop(sq("h3"), BLACK)))
        v += KS_MATING_PATTERN;
    bool queenH3 = pieceOn(sq("h3"), BLACK, QUEEN);
    bool kingCorner = wk == sq("g1") || wk == sq("h1");
    if (queenH3 && pieceOn(sq("g4"), BLACK, KNIGHT) && !whitePawnOn(sq("g2")) &&
        (wk == sq("h1") || (kingCorner && slotOn(3, sq("f1")))))
        v += KS_MATING_PATTERN;
    if (queenH3 && pieceOn(sq("f4"), BLACK, KNIGHT) && !whitePawnOn(sq("g2")) && !whitePawnOn(sq("g3")) &&
        kingCorner)
        v += KS_MATING_PATTERN;
    return v;
}

// Against a king on the queen's wing whose b-pawn has moved.
static int queenSideAttack(int centre, int defender) {
    int attackerQueen = defender ? 1 : 17;
    int homeRank = defender ? 6 : 1;  // rank index 6/7 for Black, 0/1 for White
    bool nearHome = defender ? rankOf(centre) >= homeRank : rankOf(centre) <= homeRank;
    if (fileOf(centre) > 2 || !nearHome) return 0;
    if (pawnSlotOn(defender ? 25 : 9, defender ? sq("b7") : sq("b2")) || !onBoard(attackerQueen)) return 0;
    return pawnOrBishop(defender ? sq("c6") : sq("c3"), defender ^ 1) ? KS_MATING_PATTERN : 0;
}

static int safetyOfBlackKing(const NodeState& ns) {
    int centre = centreSquare(blackKing());
    int attack = openFilesNearKing(centre, BLACK, ns);
    int shelter = shelterBlack(centre, ns);
    int kingSide = ns.castle[CS_BLACK_KING], queenSide = ns.castle[CS_BLACK_QUEEN];
    if (kingSide != -1) {
        if (kingSide == 0) shelter = std::max(shelter, shelterBlack(sq("g8"), ns));
        if (fileOf(centre) >= 5 && rankOf(centre) >= 6) attack += kingSideAttackOnBlack();
    }
    if (queenSide != -1) {
        if (queenSide == 0) shelter = std::max(shelter, shelterBlack(sq("c8"), ns));
        attack += queenSideAttack(centre, BLACK);
    }
    return attack - shelter;
}

static int safetyOfWhiteKing(const NodeState& ns) {
    int centre = centreSquare(whiteKing());
    int attack = openFilesNearKing(centre, WHITE, ns);
    int shelter = shelterWhite(centre, ns);
    int kingSide = ns.castle[CS_WHITE_KING], queenSide = ns.castle[CS_WHITE_QUEEN];
    if (kingSide != -1) {
        if (kingSide == 0) shelter = std::max(shelter, shelterWhite(sq("g1"), ns));
        if (fileOf(centre) >= 5 && rankOf(centre) <= 1) attack += kingSideAttackOnWhite();
    }
    if (queenSide != -1) {
        if (queenSide == 0) shelter = std::max(shelter, shelterWhite(sq("c1"), ns));
        attack += queenSideAttack(centre, WHITE);
    }
    return attack - shelter;
}

int kingSafety(const NodeState& ns) {
    int score = 0;
    if (ns.nonPawnMaterial[0] > KS_ATTACKER_MATERIAL) score += safetyOfBlackKing(ns);
    if (ns.nonPawnMaterial[1] > KS_ATTACKER_MATERIAL) score -= safetyOfWhiteKing(ns);
    return score;
}
