// Reading games in the portable game notation: tags and the main line's
// moves in algebraic notation, then replaying them on a Game.
#pragma once
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <utility>
#include <vector>

struct Game;

struct PgnGame {
    std::vector<std::pair<std::string, std::string>> tags;
    std::vector<std::string> moves;  // main line only, numbers and annotations removed
    std::string result;              // "1-0", "0-1", "1/2-1/2", "*", or "" when none was given

    // The value of a tag, or nullptr.
    const std::string* tag(const char* name) const;
};

// Whether a file is read as games: its name ends in ".pgn".
bool isPgnFileName(const std::string& path);

// Reads the next game from the stream. Comments, variations, NAGs, move
// numbers and annotation signs are passed over. Returns false when no
// further game is found.
bool readPgnGame(std::istream& in, PgnGame& out);

// Half-points the result gives the side (0 White, 1 Black): 2, 1 or 0;
// -1 when the game has no result.
int pgnResultPoints(const std::string& result, int side);

// Sets g to the game's start (its FEN tag or the initial position) and plays
// at most maxPlies of its moves. visit, when given, sees the game before each
// move together with the legal-list entry about to be played. Returns the
// number of moves played, or -1 when the FEN tag is refused. A move text that
// names no legal move ends the replay; *error then says which.
int replayPgnGame(Game& g, const PgnGame& pg, int maxPlies,
                  const std::function<void(const Game&, uint32_t)>& visit, std::string* error = nullptr);
