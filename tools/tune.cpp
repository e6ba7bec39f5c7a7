// tune: fits the evaluation weights to game results (the logistic "Texel"
// method). Each position's score is its quiescence score with the current
// weights; the error is the mean of (result - sigmoid(K * score))^2. K is
// fitted first with the starting weights and then held; a local search with
// decreasing steps moves one weight at a time by +-step and keeps what lowers
// the error over the whole set (see tools/lib/tuner.h). The table is written
// after every pass, so that a long run stopped early leaves its best.
//
// usage: tune --data F [--limit N] [--iterations N] [--step N] [--threads N]
//             [--params-in F] [--params-out F] [--only REGEX] [--k K] [--static]
//             [--min-positions N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include "eval/params.h"
#include "tools/lib/tuner.h"

namespace {

struct Options {
    std::string data, paramsIn, paramsOut = "tuned-params.txt", only;
    int limit = 0, iterations = 10, step = 8, threads = 1, minPositions = 0;
    double k = 0;
    bool staticOnly = false;
};

void usage() {
    std::fprintf(stderr,
                 "usage: tune --data F [--limit N] [--iterations N] [--step N] [--threads N]\n"
                 "            [--params-in F] [--params-out F] [--only REGEX] [--k K] [--static]\n"
                 "            [--min-positions N]\n"
                 "  --data F        positions, one a line: \"FEN | result\" (1.0, 0.5, 0.0 for White)\n"
                 "                  or EPD ending in 1-0, 1/2-1/2 or 0-1; a file named *.pgn is read as\n"
                 "                  games (their quiet positions with the game's result)\n"
                 "  --limit N       read at most N positions (default all)\n"
                 "  --iterations N  passes of the local search over the weights (default 10; 0 only\n"
                 "                  measures the error)\n"
                 "  --step N        first step of the local search (default 8), halved when a pass gains nothing\n"
                 "  --threads N     scoring threads (default 1)\n"
                 "  --params-in F   start from this table (name = values lines; others keep the built-in values)\n"
                 "  --params-out F  where the tuned table goes (default tuned-params.txt)\n"
                 "  --only REGEX    tune only the entries whose names match\n"
                 "  --k K           use this sigmoid scale instead of fitting it\n"
                 "  --static        keep only the positions whose quiescence score is their static\n"
                 "                  evaluation, and score them by it (several times faster)\n"
                 "  --min-positions N  keep a change only when it changes the scores of at least N\n"
                 "                  positions (default 0): rare features are not fitted to noise\n");
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--static") {
            o.staticOnly = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "tune: %s needs a value\n", a.c_str());
            return false;
        }
        std::string v = argv[++i];
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        bool number = !v.empty() && *end == '\0';
        if (a == "--data") o.data = v;
        else if (a == "--params-in") o.paramsIn = v;
        else if (a == "--params-out") o.paramsOut = v;
        else if (a == "--only") o.only = v;
        else if (a == "--k") o.k = std::atof(v.c_str());
        else if (a == "--limit" && number && n >= 0) o.limit = int(n);
        else if (a == "--iterations" && number && n >= 0) o.iterations = int(n);
        else if (a == "--step" && number && n >= 1) o.step = int(n);
        else if (a == "--threads" && number && n >= 1 && n <= 256) o.threads = int(n);
        else if (a == "--min-positions" && number && n >= 0 && n <= 1000000000) o.minPositions = int(n);
        else {
            std::fprintf(stderr, "tune: bad option %s %s\n", a.c_str(), v.c_str());
            return false;
        }
    }
    return !o.data.empty();
}

bool readParams(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "tune: cannot read %s\n", path.c_str());
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!parseEvalParams(text.str(), &error)) {
        std::fprintf(stderr, "tune: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool writeParams(const std::string& path) {
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp);
        out << formatEvalParams();
        if (!out.flush()) {
            std::fprintf(stderr, "tune: cannot write %s\n", tmp.c_str());
            return false;
        }
    }
    // Replaced at once: a run stopped while writing keeps the previous table.
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "tune: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        usage();
        return 2;
    }
    if (!o.paramsIn.empty() && !readParams(o.paramsIn)) return 1;
    std::vector<TunedWeight> weights;
    std::string error;
    if (!selectWeights(o.only, weights, error)) {
        std::fprintf(stderr, "tune: %s\n", error.c_str());
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    TuningSet set;
    if (!loadTuningSet(o.data, o.limit, set, error)) {
        std::fprintf(stderr, "tune: %s\n", error.c_str());
        return 1;
    }
    std::printf("positions %zu (%d lines refused), %zu weights to tune, loaded in %.1f s\n", set.positions.size(),
                set.refused, weights.size(), secondsSince(start));
    if (set.positions.empty()) {
        std::fprintf(stderr, "tune: no positions in %s\n", o.data.c_str());
        return 1;
    }
    if (o.staticOnly) {
        int dropped = keepQuietPositions(set, o.threads);
        std::printf("positions %zu kept as quiet (%d dropped: a capture changes their score)\n", set.positions.size(),
                    dropped);
        if (set.positions.empty()) return 1;
    }
    std::vector<int> scores;
    auto scored = std::chrono::steady_clock::now();
    scoreTuningSet(set, o.threads, scores);
    double k = o.k > 0 ? o.k : fitScale(set, scores);
    double before = tuningError(set, scores, k);
    std::printf("K %.7f (%s), scoring %.2f s\nerror before %.7f\n", k, o.k > 0 ? "given" : "fitted",
                secondsSince(scored), before);
    std::fflush(stdout);

    LocalSearchOptions ls;
    ls.threads = o.threads;
    ls.passes = o.iterations;
    ls.firstStep = o.step;
    ls.k = k;
    ls.minPositions = o.minPositions;
    double after = before;
    if (o.iterations > 0 && !weights.empty()) {
        after = localSearch(set, weights, ls, [&](int pass, int step, double e, int changed) {
            std::printf("pass %d step %d: error %.7f, %d weights changed, %.0f s\n", pass, step, e, changed,
                        secondsSince(start));
            std::fflush(stdout);
            writeParams(o.paramsOut);
        });
    }
    std::printf("error after %.7f\n", after);
    if (!writeParams(o.paramsOut)) return 1;
    std::printf("table written to %s\n", o.paramsOut.c_str());
    return 0;
}
