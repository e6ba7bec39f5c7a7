// Match statistics: the Elo difference of a score with its 95 % margin, and
// the sequential probability ratio test over game pairs.
#pragma once
#include <array>
#include <cstdint>
#include <string>

struct EloEstimate {
    double elo;     // of the first engine over the second; +-inf at a score of 1 or 0
    double margin;  // half the width of the 95 % interval (nan when it has no width)
    double score;   // the first engine's mean score, 0..1
};

// From wins, draws and losses of the first engine (each game on its own).
EloEstimate eloFromGames(int64_t wins, int64_t draws, int64_t losses);

// Game pairs (one opening played with both colours) counted by the first
// engine's points in the pair: index 0 = 0, 1 = 1/2, 2 = 1, 3 = 3/2, 4 = 2.
using Pentanomial = std::array<int64_t, 5>;

// Elo difference and margin from the pair results: the pairs' variance is
// smaller than that of single games when the openings decide much.
EloEstimate eloFromPairs(const Pentanomial& pairs);

struct SprtBounds {
    double lower;  // accept H0 (elo <= elo0) at or below
    double upper;  // accept H1 (elo >= elo1) at or above
};
SprtBounds sprtBounds(double alpha, double beta);

// Log-likelihood ratio of H1 (logistic Elo elo1) against H0 (elo0) from the
// pair results, by the normal approximation of the pair score (0 without
// pairs).
double sprtLlr(const Pentanomial& pairs, double elo0, double elo1);

// The expected score at a logistic Elo difference, and back.
double scoreFromElo(double elo);
double eloFromScore(double score);

// "+12.3 +/- 20.1" style text of an estimate.
std::string eloText(const EloEstimate& e);
