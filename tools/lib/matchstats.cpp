#include "tools/lib/matchstats.h"
#include <cmath>
#include <cstdio>
#include <limits>

// 97.5 % quantile of the standard normal: two-sided 95 %.
constexpr double MS_Z95 = 1.959963984540054;
// Pairs before the test may decide: the normal model needs a variance seen
// in a real sample; one lost pair alone once "accepted" H0.
constexpr int64_t MS_SPRT_MIN_PAIRS = 20;

double scoreFromElo(double elo) { return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0)); }

double eloFromScore(double score) {
    if (score <= 0) return -std::numeric_limits<double>::infinity();
    if (score >= 1) return std::numeric_limits<double>::infinity();
    return -400.0 * std::log10(1.0 / score - 1.0);
}

// Mean and variance of a sample given as counts of the values 0, step, 2 step ...
template <size_t N>
static void moments(const std::array<double, N>& counts, double step, double& total, double& mean, double& var) {
    total = mean = var = 0;
    for (size_t i = 0; i < N; i++) total += counts[i];
    if (total <= 0) return;
    for (size_t i = 0; i < N; i++) mean += counts[i] * double(i) * step;
    mean /= total;
    for (size_t i = 0; i < N; i++) var += counts[i] * (double(i) * step - mean) * (double(i) * step - mean);
    var /= total;
}

// The interval of the mean score, mapped through the Elo curve.
static EloEstimate estimate(double mean, double var, double samples) {
    EloEstimate e{0, std::nan(""), mean};
    if (samples <= 0) return e;
    e.elo = eloFromScore(mean);
    double se = std::sqrt(var / samples);
    if (se > 0 && mean > 0 && mean < 1) {
        double hi = std::fmin(mean + MS_Z95 * se, 1.0), lo = std::fmax(mean - MS_Z95 * se, 0.0);
        e.margin = (eloFromScore(hi) - eloFromScore(lo)) / 2;
    }
    return e;
}

EloEstimate eloFromGames(int64_t wins, int64_t draws, int64_t losses) {
    std::array<double, 3> c{double(losses), double(draws), double(wins)};
    double n, mean, var;
    moments(c, 0.5, n, mean, var);
    return estimate(mean, var, n);
}

EloEstimate eloFromPairs(const Pentanomial& pairs) {
    std::array<double, 5> c;
    for (int i = 0; i < 5; i++) c[size_t(i)] = double(pairs[size_t(i)]);
    double n, mean, var;
    moments(c, 0.25, n, mean, var);  // a pair's score per game: 0, 1/4 .. 1
    return estimate(mean, var, n);
}

SprtBounds sprtBounds(double alpha, double beta) {
    return {std::log(beta / (1 - alpha)), std::log((1 - beta) / alpha)};
}

double sprtLlr(const Pentanomial& pairs, double elo0, double elo1) {
    int64_t total = 0;
    for (int64_t x : pairs) total += x;
    if (total < MS_SPRT_MIN_PAIRS) return 0;
    // A thousandth of a pair in every empty class: a sample without spread
    // (every pair won, say) still has a finite variance and decides.
    std::array<double, 5> c;
    for (int i = 0; i < 5; i++) c[size_t(i)] = std::fmax(double(pairs[size_t(i)]), 1e-3);
    double n, mean, var;
    moments(c, 0.25, n, mean, var);
    double s0 = scoreFromElo(elo0), s1 = scoreFromElo(elo1);
    // Normal pair scores with the observed variance: the log ratio of the
    // likelihoods at the two means.
    return n * (s1 - s0) * (2 * mean - s0 - s1) / (2 * var);
}

std::string eloText(const EloEstimate& e) {
    char buffer[64];
    double elo = e.elo + 0.0;  // no "-0.0"
    if (std::abs(elo) < 0.05) elo = 0;
    if (std::isinf(e.elo)) std::snprintf(buffer, sizeof buffer, "%sinf", e.elo > 0 ? "+" : "-");
    else if (std::isnan(e.margin)) std::snprintf(buffer, sizeof buffer, "%+.1f +/- nan", elo);
    else std::snprintf(buffer, sizeof buffer, "%+.1f +/- %.1f", elo, e.margin);
    return buffer;
}
