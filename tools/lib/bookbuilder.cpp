#include "tools/lib/bookbuilder.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include "board/game.h"
#include "tools/lib/pgnreader.h"

// The builder replays games on a game of its own, not on the engine's.
static Game& builderGame() {
    static Game g;
    return g;
}

void BookBuilder::addPolyglotMove(const Game& g, uint32_t move, int points) {
    std::vector<PolyglotMoveStats>& moves = polyglotPositions[polyglotKey(g)];
    uint16_t pm = toPolyglotMove(move);
    auto it = std::find_if(moves.begin(), moves.end(), [pm](const PolyglotMoveStats& s) { return s.move == pm; });
    if (it == moves.end()) it = moves.insert(moves.end(), PolyglotMoveStats{pm});
    it->count++;
    it->points += uint32_t(points);
    if (it->count >= BOOK_POLYGLOT_COUNT_LIMIT)
        for (PolyglotMoveStats& s : moves) {
            s.count = (s.count + 1) / 2;
            s.points = (s.points + 1) / 2;
        }
}

int BookBuilder::addGame(const PgnGame& pg, int maxPlies, std::string* warning) {
    if (pgnResultPoints(pg.result, 0) < 0) {
        gamesSkipped++;
        if (warning) *warning = "game without a result skipped";
        return 0;
    }
    int added = 0;
    std::string problem, replayProblem;
    int played = replayPgnGame(
        builderGame(), pg, maxPlies,
        [&](const Game& g, uint32_t move) {
            // A Polyglot key fits any position.
            addPolyglotMove(g, move, pgnResultPoints(pg.result, g.sideToMove));
            char key[128];
            positionText(g, key);
            if (std::strlen(key) > size_t(BOOK_MAX_KEY)) {
                keysRefused++;
                if (!problem.empty()) problem += "; ";
                problem += std::string("key longer than 69 characters refused: ") + key;
                return;
            }
            BookMoveStats& s = positions[key][uint16_t(move & 0x7FFF)];
            s.count++;
            s.points += uint64_t(pgnResultPoints(pg.result, g.sideToMove));
            added++;
        },
        &replayProblem);
    if (!replayProblem.empty()) problem += (problem.empty() ? "" : "; ") + replayProblem;
    if (played < 0) gamesSkipped++;
    else gamesUsed++;
    if (warning) *warning = problem;
    return added;
}

// Scales count and points down together so that both fit 16 bits and the
// score stays as it was (a won move stays a won move).
static BookEntry fitEntry(uint16_t move, const BookMoveStats& s) {
    uint64_t count = s.count, points = std::min(s.points, 2 * s.count);
    uint64_t largest = std::max(count, points);
    if (largest > 65535) {
        uint64_t scaled = std::max<uint64_t>(1, count * 65535 / largest);
        points = std::min(std::min((points * scaled + count / 2) / count, 2 * scaled), uint64_t(65535));
        count = scaled;
    }
    return BookEntry{uint16_t(count), uint16_t(points), move};
}

// In key order (the map's): readers index a sorted book at little cost.
std::vector<BookRecord> BookBuilder::records(int minGames) const {
    std::vector<BookRecord> out;
    out.reserve(positions.size());
    for (const auto& [key, moves] : positions) {
        std::vector<std::pair<uint16_t, BookMoveStats>> order;
        // A move seen in too few games is a guess, not the games' verdict.
        for (const auto& entry : moves)
            if (entry.second.count >= uint64_t(std::max(minGames, 1))) order.push_back(entry);
        if (order.empty()) continue;
        // Most played first; ties by points, then by move word, so that a
        // build is reproducible.
        std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
            if (a.second.count != b.second.count) return a.second.count > b.second.count;
            if (a.second.points != b.second.points) return a.second.points > b.second.points;
            return a.first < b.first;
        });
        BookRecord r;
        clearRecord(r, key.c_str());
        for (size_t i = 0; i < order.size() && i < size_t(BOOK_ENTRIES); i++)
            r.entries[i] = fitEntry(order[i].first, order[i].second);
        out.push_back(r);
    }
    return out;
}

bool BookBuilder::write(const std::string& path, std::string* error, int minGames) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    bool ok = true;
    unsigned char bytes[BOOK_RECORD_SIZE];
    for (const BookRecord& r : records(minGames)) {
        encodeRecord(r, bytes);
        if (std::fwrite(bytes, 1, sizeof bytes, f) != sizeof bytes) ok = false;
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::remove(path.c_str());  // a cut-off book would be silently incomplete
        if (error) *error = "cannot write " + path;
    }
    return ok;
}

std::vector<PolyglotEntry> BookBuilder::polyglotEntries(int minGames) const {
    std::vector<PolyglotEntry> out;
    for (const auto& [key, moves] : polyglotPositions) {
        size_t first = out.size();
        for (const PolyglotMoveStats& s : moves)
            if (s.count >= uint32_t(std::max(minGames, 1)) && s.points > 0)
                out.push_back(PolyglotEntry{key, s.move, uint16_t(std::min<uint32_t>(s.points, 65535)), 0});
        // Highest weight first; equal weights keep the order first seen.
        std::stable_sort(out.begin() + long(first), out.end(),
                         [](const PolyglotEntry& a, const PolyglotEntry& b) { return a.weight > b.weight; });
    }
    return out;
}

bool BookBuilder::writePolyglot(const std::string& path, int minGames, std::string* error) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        if (error) *error = "cannot create " + path;
        return false;
    }
    bool ok = true;
    unsigned char bytes[POLYGLOT_ENTRY_SIZE];
    for (const PolyglotEntry& e : polyglotEntries(minGames)) {
        encodePolyglotEntry(e, bytes);
        if (std::fwrite(bytes, 1, sizeof bytes, f) != sizeof bytes) ok = false;
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::remove(path.c_str());
        if (error) *error = "cannot write " + path;
    }
    return ok;
}
