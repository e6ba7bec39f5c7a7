#include "eval/params.h"
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <vector>
#include "eval/evaluate.h"

EvalWeights evalWeights;

// Each macro names an entry after its storage: a scalar or a whole array.
// clang-format off
#define SCALAR(name, field) {name, &evalWeights.field, 1}
#define ARRAY(name, field) {name, evalWeights.field, int(sizeof evalWeights.field / sizeof(int))}
#define PST(name, table, type) {name, table[type], 64}
// clang-format on

const EvalParam EVAL_PARAMS[] = {
    PST("pst.opening.king", openingPst, 0),
    PST("pst.opening.queen", openingPst, 1),
    PST("pst.opening.rook", openingPst, 2),
    PST("pst.opening.bishop", openingPst, 3),
    PST("pst.opening.knight", openingPst, 4),
    PST("pst.opening.pawn", openingPst, 5),
    PST("pst.endgame.king", endgamePst, 0),
    PST("pst.endgame.queen", endgamePst, 1),
    PST("pst.endgame.rook", endgamePst, 2),
    PST("pst.endgame.bishop", endgamePst, 3),
    PST("pst.endgame.knight", endgamePst, 4),
    PST("pst.endgame.pawn", endgamePst, 5),
    SCALAR("blend.pst_scale", pstScale),
    SCALAR("blend.positional_scale", positionalScale),
    SCALAR("blend.pawn_scale_base", pawnScaleBase),
    SCALAR("opening.castled_king_side", castledKingSide),
    SCALAR("opening.castled_queen_side", castledQueenSide),
    SCALAR("opening.lost_king_side", lostKingSide),
    SCALAR("opening.lost_queen_side", lostQueenSide),
    SCALAR("opening.undeveloped", undeveloped),
    SCALAR("opening.queen_from_kings", queenFromKings),
    SCALAR("pattern.trapped_bishop", trappedBishop),
    SCALAR("pattern.stuck_knight", stuckKnight),
    SCALAR("pattern.shut_in_rook", shutInRook),
    SCALAR("rook.open_file", rookOpenFile),
    SCALAR("rook.half_open_file", rookHalfOpenFile),
    SCALAR("minor.bishop_near_king", bishopNearKing),
    SCALAR("minor.knight_near_king", knightNearKing),
    SCALAR("bishop.pair", bishopPair),
    SCALAR("bishop.pair_per_pawn", bishopPairPawn),
    SCALAR("material.knight_per_missing_pawn", knightPawnLoss),
    SCALAR("material.lone_minor", loneMinor),
    SCALAR("material.lone_queen", loneQueen),
    SCALAR("king.shelter_own_pawn", shelterOwnPawn),
    SCALAR("king.shelter_enemy_pawn", shelterEnemyPawn),
    SCALAR("king.open_centre_file", kingCentreFile),
    SCALAR("king.open_side_file", kingSideFile),
    SCALAR("king.fully_open_file", kingFullyOpenFile),
    SCALAR("king.heavy_on_file", kingHeavyOnFile),
    SCALAR("king.mating_pattern", matingPattern),
    ARRAY("pawn.passed", passedBonus),
    ARRAY("pawn.duo", duoBonus),
    ARRAY("pawn.passer_file", passerFilePenalty),
    SCALAR("pawn.doubled", pawnDoubled),
    SCALAR("pawn.backward", pawnBackward),
    SCALAR("pawn.isolated", pawnIsolated),
    SCALAR("pawn.unstoppable", unstoppableBase),
    SCALAR("pawn.unstoppable_per_step", unstoppableStep),
    SCALAR("passer.king_distance", passerKingDistance),
    SCALAR("passer.free_square", passerFreeSquare),
    SCALAR("passer.king_pawn_distance", kingPawnDistance),
    SCALAR("passer.bishop_against", bishopAgainstPasser),
    SCALAR("passer.bishop_with", bishopWithPasser),
    SCALAR("passer.kings_opposed_majorities", kingsOpposedMajorities),
    SCALAR("passer.rook_behind", rookBehindPasser),
    SCALAR("passer.rook_cutting_off", rookCuttingOff),
    SCALAR("passer.knight_catching", knightCatchingPasser),
    SCALAR("passer.trade_down", tradeDown),
    SCALAR("passer.connected_against_rook", connectedPassersAgainstRook),
    SCALAR("piece.line_up", lineUp),
    SCALAR("piece.heavy_on_advanced_rank", heavyOnAdvancedRank),
    SCALAR("piece.outpost_sixth", outpostSixth),
    SCALAR("piece.outpost_fifth", outpostFifth),
    ARRAY("mobility.knight", mobilityKnight),
    ARRAY("mobility.bishop", mobilityBishop),
    ARRAY("mobility.rook", mobilityRook),
    ARRAY("mobility.queen", mobilityQueen),
    ARRAY("mobility.king_attack", kingAttackWeight),
    SCALAR("mobility.king_attack_scale", kingAttackScale),
};
const int EVAL_PARAM_COUNT = int(sizeof EVAL_PARAMS / sizeof EVAL_PARAMS[0]);

#undef SCALAR
#undef ARRAY
#undef PST

const EvalParam* findEvalParam(const std::string& name) {
    for (const EvalParam& p : EVAL_PARAMS)
        if (name == p.name) return &p;
    return nullptr;
}

std::string formatEvalParams() {
    std::string out;
    for (const EvalParam& p : EVAL_PARAMS) {
        out += p.name;
        out += " =";
        for (int i = 0; i < p.count; i++) out += " " + std::to_string(p.values[i]);
        out += "\n";
    }
    return out;
}

namespace {

struct PendingValues {
    const EvalParam* param;
    std::vector<int> values;
};

bool fail(std::string* error, int lineNumber, const std::string& what) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + what;
    return false;
}

}  // namespace

bool parseEvalParams(const std::string& text, std::string* error) {
    std::vector<PendingValues> pending;
    std::istringstream in(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        lineNumber++;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        size_t eq = line.find('=');
        std::istringstream head(line.substr(0, eq));
        std::string name, extra;
        head >> name >> extra;
        if (eq == std::string::npos) {
            if (name.empty()) continue;
            return fail(error, lineNumber, "expected \"" + name + " = values\"");
        }
        if (name.empty() || !extra.empty()) return fail(error, lineNumber, "expected one name before '='");
        std::istringstream words(line.substr(eq + 1));
        const EvalParam* p = findEvalParam(name);
        if (!p) return fail(error, lineNumber, "unknown entry " + name);
        PendingValues v{p, {}};
        std::string word;
        while (words >> word) {
            errno = 0;
            char* end = nullptr;
            long x = std::strtol(word.c_str(), &end, 10);
            if (*end != '\0' || errno == ERANGE || x < INT_MIN || x > INT_MAX)
                return fail(error, lineNumber, "bad number " + word);
            v.values.push_back(int(x));
        }
        if (int(v.values.size()) != p->count)
            return fail(
                error, lineNumber,
                name + " takes " + std::to_string(p->count) + " values, not " + std::to_string(v.values.size()));
        pending.push_back(std::move(v));
    }
    for (const PendingValues& v : pending)
        for (int i = 0; i < v.param->count; i++) v.param->values[i] = v.values[i];
    return true;
}
