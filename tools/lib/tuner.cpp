#include "tools/lib/tuner.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>
#include "board/game.h"
#include "eval/evaluate.h"
#include "eval/params.h"
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/worker.h"
#include "tools/lib/pgnreader.h"

namespace {

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// A result word with its brackets, quotes and ';' taken off: 1, 0.5 or 0, or
// -1. Numbers count only where asked: at the end of a FEN, "1" is its move number.
double resultValue(std::string word, bool numbers) {
    while (!word.empty() && std::string(";\"'])").find(word.back()) != std::string::npos) word.pop_back();
    while (!word.empty() && std::string("\"'[(").find(word.front()) != std::string::npos) word.erase(0, 1);
    if (word == "1-0" || (numbers && (word == "1" || word == "1.0"))) return 1;
    if (word == "0-1" || (numbers && (word == "0" || word == "0.0"))) return 0;
    if (word == "1/2-1/2" || (numbers && (word == "0.5" || word == ".5"))) return 0.5;
    return -1;
}

bool isNumber(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

}  // namespace

bool parseTuningLine(const std::string& line, std::string& fen, double& result) {
    std::string text = trim(line);
    if (text.empty() || text[0] == '#') return false;
    size_t bar = text.rfind('|');
    if (bar != std::string::npos) {
        result = resultValue(trim(text.substr(bar + 1)), true);
        fen = trim(text.substr(0, bar));
        return result >= 0 && !fen.empty();
    }
    // EPD-like: the placement, side, castling and en-passant fields, the
    // move counters when they follow, then operations ending in the result.
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.size() < 5) return false;
    result = resultValue(words.back(), false);
    if (result < 0) return false;
    size_t fields = words.size() >= 7 && isNumber(words[4]) && isNumber(words[5]) ? 6 : 4;
    fen.clear();
    for (size_t i = 0; i < fields; i++) fen += (i ? " " : "") + words[i];
    return true;
}

namespace {

// The root board of a kept position, keys and evaluation set-up done but for
// the blended tables (shared by its group).
void unpackBoard(const TuningPosition& p, Board& b) {
    b = Board();
    for (int sq = 0; sq < 64; sq++) b.squareSlot[sq] = SLOT_EMPTY;
    for (int s = 0; s < 32; s++) {
        b.slotSquare[s] = p.slotSquare[s];
        b.slotType[s] = p.slotType[s];
        if (p.slotSquare[s] != SQ_NONE) b.squareSlot[p.slotSquare[s]] = s;
    }
    b.slotType[32] = NO_PIECE;
    for (int i = 0; i < 4; i++) b.castle[i] = p.castle[i];
    b.fiftyCount = p.fiftyCount;
    computeKeys(p.side, b);
    setUpRootBoard(b);
}

struct GroupKey {
    int phase, whitePieces, blackPieces;
};
GroupKey groupKey(uint16_t group) { return {group >> 8, (group >> 4) & 15, group & 15}; }

}  // namespace

namespace {
void addBoardPosition(TuningSet& set, const Board& g, int side, double result) {
    TuningPosition p{};
    for (int s = 0; s < 32; s++) {
        p.slotSquare[s] = int8_t(g.slotSquare[s]);
        p.slotType[s] = int8_t(g.slotType[s]);
    }
    for (int i = 0; i < 4; i++) p.castle[i] = int8_t(g.castle[i]);
    p.fiftyCount = uint8_t(std::clamp(g.fiftyCount, 0, 255));
    p.side = uint8_t(side);
    p.result = float(result);
    Board b;
    unpackBoard(p, b);
    p.group = uint16_t(rootPhase(b) << 8 | std::min(b.pieceCount[0], 15) << 4 | std::min(b.pieceCount[1], 15));
    set.positions.push_back(p);
}

bool endsInCheck(const std::string& san) { return !san.empty() && (san.back() == '+' || san.back() == '#'); }

// The positions of a game file worth fitting: past the opening plies, the
// side to move not in check (the SAN before it says so), and the move played
// neither a capture nor a promotion, so that the static evaluation is about
// what the quiescence search says.
bool loadTuningGames(const std::string& path, int limit, TuningSet& set, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    auto g = std::make_unique<Game>();
    PgnGame pg;
    while ((limit <= 0 || int(set.positions.size()) < limit) && readPgnGame(in, pg)) {
        int points = pgnResultPoints(pg.result, 0);
        if (points < 0) {
            set.refused++;
            continue;
        }
        int index = 0;
        auto visit = [&](const Game& at, uint32_t entry) {
            int ply = index++;
            if (ply < TUNING_SKIP_PLIES || (ply > 0 && endsInCheck(pg.moves[ply - 1]))) return;
            if (isPromotion(entry) || moveKind(entry) == MK_EN_PASSANT || at.squareSlot[moveTo(entry)] != SLOT_EMPTY)
                return;
            if (limit > 0 && int(set.positions.size()) >= limit) return;
            Board b{};
            copyToBoard(at, b);
            b.fiftyCount = fiftyCountFromHistory(at);  // the evaluation scales toward a draw by it
            addBoardPosition(set, b, at.sideToMove, points / 2.0);
        };
        std::string replayError;
        if (replayPgnGame(*g, pg, INT32_MAX, visit, &replayError) < 0 || !replayError.empty()) set.refused++;
    }
    sortTuningSet(set);
    return true;
}
}  // namespace

bool addTuningPosition(TuningSet& set, const std::string& fen, double result) {
    if (setupFromFen(game, fen.c_str()) != 0) return false;
    addBoardPosition(set, game.board, game.sideToMove, result);
    return true;
}

void sortTuningSet(TuningSet& set) {
    std::stable_sort(set.positions.begin(), set.positions.end(),
                     [](const TuningPosition& a, const TuningPosition& b) { return a.group < b.group; });
}

bool loadTuningSet(const std::string& path, int limit, TuningSet& set, std::string& error) {
    if (isPgnFileName(path)) return loadTuningGames(path, limit, set, error);
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line, fen;
    double result;
    while ((limit <= 0 || int(set.positions.size()) < limit) && std::getline(in, line)) {
        if (trim(line).empty() || trim(line)[0] == '#') continue;
        if (!parseTuningLine(line, fen, result) || !addTuningPosition(set, fen, result)) set.refused++;
    }
    sortTuningSet(set);
    return true;
}

namespace {

// What one scoring thread owns: its worker and its pawn table.
struct ScoringThread {
    std::unique_ptr<SearchWorker> worker = std::make_unique<SearchWorker>();
    PawnHashTable pawns;
    ~ScoringThread() { pawns.release(); }
};

void scoreRange(ScoringThread& t, const TuningSet& set, size_t first, size_t last, std::vector<int>& scores) {
    bindPawnHash(&t.pawns);
    for (size_t i = first; i < last; i++) {
        const TuningPosition& p = set.positions[i];
        Board b;
        unpackBoard(p, b);
        b.pstScore = pieceSquareSum(b);
        int s;
        if (set.staticScores) {
            NodeState ns;
            nodeStateFromBoard(b, ns);
            copyBoardToWork(b);
            s = evaluate(p.side, ns);
        } else {
            s = std::clamp(quiescenceScore(*t.worker, b, p.side), -MATE_BOUND, MATE_BOUND);
        }
        scores[i] = p.side ? -s : s;
    }
    bindPawnHash(nullptr);
}

}  // namespace

void scoreTuningSet(const TuningSet& set, int threads, std::vector<int>& scores) {
    threads = std::max(1, threads);
    static std::vector<std::unique_ptr<ScoringThread>> pool;
    while (int(pool.size()) < threads) {
        pool.push_back(std::make_unique<ScoringThread>());
        pool.back()->pawns.allocate(1 << 14);
    }
    // Pawn entries hold scores made with the old weights.
    for (auto& t : pool) t->pawns.clear();
    scores.assign(set.positions.size(), 0);
    const size_t n = set.positions.size();
    for (size_t first = 0; first < n;) {
        size_t last = first;
        while (last < n && set.positions[last].group == set.positions[first].group) last++;
        // The group's shared tables, written while no scoring thread runs.
        GroupKey key = groupKey(set.positions[first].group);
        rootPieceCount[0] = key.whitePieces;
        rootPieceCount[1] = key.blackPieces;
        blendPieceSquareTables(key.phase);
        size_t count = last - first;
        int used = int(std::min<size_t>(threads, (count + 63) / 64));
        if (used <= 1) {
            scoreRange(*pool[0], set, first, last, scores);
        } else {
            std::vector<std::thread> running;
            for (int i = 0; i < used; i++) {
                size_t a = first + count * i / used, b = first + count * (i + 1) / used;
                running.emplace_back(scoreRange, std::ref(*pool[i]), std::cref(set), a, b, std::ref(scores));
            }
            for (std::thread& t : running) t.join();
        }
        first = last;
    }
}

int keepQuietPositions(TuningSet& set, int threads) {
    std::vector<int> searched, still;
    set.staticScores = false;
    scoreTuningSet(set, threads, searched);
    set.staticScores = true;
    scoreTuningSet(set, threads, still);
    size_t kept = 0;
    for (size_t i = 0; i < set.positions.size(); i++)
        if (searched[i] == still[i]) set.positions[kept++] = set.positions[i];
    int dropped = int(set.positions.size() - kept);
    set.positions.resize(kept);  // the group order stays
    return dropped;
}

double tuningSigmoid(double k, int score) { return 1.0 / (1.0 + std::exp(-k * score)); }

double tuningError(const TuningSet& set, const std::vector<int>& scores, double k) {
    if (set.positions.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < set.positions.size(); i++) {
        double d = set.positions[i].result - tuningSigmoid(k, scores[i]);
        sum += d * d;
    }
    return sum / double(set.positions.size());
}

double fitScale(const TuningSet& set, const std::vector<int>& scores) {
    // A pawn (480) between even and about 3 to 1 lies near K = 0.0023; the
    // bracket leaves room either side.
    double lo = 0, hi = 0.02;
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
    double ea = tuningError(set, scores, a), eb = tuningError(set, scores, b);
    for (int i = 0; i < 60; i++) {
        if (ea < eb) {
            hi = b;
            b = a;
            eb = ea;
            a = hi - ratio * (hi - lo);
            ea = tuningError(set, scores, a);
        } else {
            lo = a;
            a = b;
            ea = eb;
            b = lo + ratio * (hi - lo);
            eb = tuningError(set, scores, b);
        }
    }
    return (lo + hi) / 2;
}

bool selectWeights(const std::string& only, std::vector<TunedWeight>& out, std::string& error) {
    out.clear();
    std::regex pattern;
    try {
        if (!only.empty()) pattern = std::regex(only);
    } catch (const std::regex_error& e) {
        error = "bad expression " + only + ": " + e.what();
        return false;
    }
    for (int p = 0; p < EVAL_PARAM_COUNT; p++) {
        if (!only.empty() && !std::regex_search(EVAL_PARAMS[p].name, pattern)) continue;
        for (int i = 0; i < EVAL_PARAMS[p].count; i++) out.push_back({p, i});
    }
    return true;
}

double localSearch(const TuningSet& set, const std::vector<TunedWeight>& weights, const LocalSearchOptions& options,
                   const std::function<void(int pass, int step, double error, int changed)>& report) {
    std::vector<int> scores, kept;
    auto errorNow = [&] {
        scoreTuningSet(set, options.threads, scores);
        return tuningError(set, scores, options.k);
    };
    auto enoughChanged = [&] {
        int changed = 0;
        for (size_t i = 0; i < scores.size() && changed < options.minPositions; i++) changed += scores[i] != kept[i];
        return changed >= options.minPositions;
    };
    double best = errorNow();
    kept = scores;
    int step = std::max(1, options.firstStep);
    for (int pass = 1; pass <= options.passes; pass++) {
        int changed = 0;
        for (const TunedWeight& w : weights) {
            int& value = EVAL_PARAMS[w.param].values[w.index];
            const int old = value;
            bool better = false;
            for (int delta : {step, -step}) {
                value = old + delta;
                double e = errorNow();
                if (e < best && enoughChanged()) {
                    best = e;
                    better = true;
                    kept.swap(scores);
                    break;
                }
            }
            if (better) changed++;
            else value = old;
        }
        if (report) report(pass, step, best, changed);
        if (changed == 0) {
            if (step == 1) break;
            step /= 2;
        }
    }
    return best;
}
