// Fitting the evaluation weights to game results (the logistic "Texel"
// method): the error of a set of positions is the mean of
// (result - sigmoid(K * score))^2, score the quiescence score in White's view.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "board/types.h"

// One line of a data file: "FEN | result" with result 1.0, 0.5 or 0.0 from
// White's view, or an EPD-like line that ends in "1-0", "1/2-1/2" or "0-1"
// (bare, in brackets or in quotes, with an optional ';'). Returns false for a
// line that is neither; fen then holds the position's fields only.
bool parseTuningLine(const std::string& line, std::string& fen, double& result);

// A position as the tuner keeps it: the placement and what the root set-up
// needs, about a tenth of a Board.
struct TuningPosition {
    int8_t slotSquare[32];
    int8_t slotType[32];
    int8_t castle[4];
    uint8_t fiftyCount;
    uint8_t side;
    float result;
    // Positions that share the root's phase and piece counts share the blended
    // tables: they are scored together.
    uint16_t group;
};

struct TuningSet {
    std::vector<TuningPosition> positions;  // sorted by group
    int refused = 0;                        // lines skipped: no result or a position the set-up refused
    bool staticScores = false;              // scored by the static evaluation (keepQuietPositions ran)
};

// Reads at most limit positions (0: all) from the data file. False when the
// file cannot be read; error says why. Sets each position up in the global
// game (the set-up's checks are the ones the engine makes). A file whose name
// ends in ".pgn" is read as games: each game's quiet positions (from ply
// TUNING_SKIP_PLIES on, not in check, the move played neither a capture nor a
// promotion) with the game's result; a game without one counts as refused.
constexpr int TUNING_SKIP_PLIES = 8;
bool loadTuningSet(const std::string& path, int limit, TuningSet& set, std::string& error);
// Adds one position (the set must be sorted again with sortTuningSet after
// the last one). False when the set-up refuses the FEN.
bool addTuningPosition(TuningSet& set, const std::string& fen, double result);
void sortTuningSet(TuningSet& set);

// Quiescence (or, after keepQuietPositions, static) scores of all positions in White's view with the current weights,
// on threads threads. Writes the evaluation's shared tables (pstWhite,
// pstBlack, rootPieceCount) and clears the pawn hash tables it uses: call it
// only while no search runs.
void scoreTuningSet(const TuningSet& set, int threads, std::vector<int>& scores);

// Keeps only the positions whose quiescence score with the current weights
// is their static evaluation, and from then on scores the set by the static
// evaluation: the same scores for those positions at a fraction of the cost
// (no capture is tried). Returns how many positions it dropped.
int keepQuietPositions(TuningSet& set, int threads);

double tuningSigmoid(double k, int score);
double tuningError(const TuningSet& set, const std::vector<int>& scores, double k);
// The K that minimises the error of these scores (a golden-section search).
double fitScale(const TuningSet& set, const std::vector<int>& scores);

// One weight the local search may move: element index of entry param.
struct TunedWeight {
    int param;
    int index;
};
// The weights of the entries whose names match the regular expression (all
// when it is empty). False with error set for a bad expression.
bool selectWeights(const std::string& only, std::vector<TunedWeight>& out, std::string& error);

struct LocalSearchOptions {
    int threads = 1;
    int passes = 10;    // passes over all weights at most
    int firstStep = 8;  // step of the first pass; halved after a pass without gain
    double k = 0;       // the sigmoid scale, fitted beforehand
    // A change is kept only when it changes the scores of at least this many
    // positions: a weight that few positions show would be fitted to their
    // noise (a mobility count or a king square games rarely reach).
    int minPositions = 0;
};
// Local search with decreasing steps: each weight in turn tries +step, then
// -step, and keeps a change that lowers the error (rescoring the whole set)
// and changes at least minPositions scores.
// A pass that changes nothing halves the step; the search ends after the
// passes, or after a pass without gain at step 1. Calls report after every
// pass with its number, step and the error. Returns the final error; the
// weights keep the best values found.
double localSearch(const TuningSet& set, const std::vector<TunedWeight>& weights, const LocalSearchOptions& options,
                   const std::function<void(int pass, int step, double error, int changed)>& report);
