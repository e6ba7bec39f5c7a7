// Opening positions for matches: EPD lines or the games of a PGN file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Opening {
    std::string fen;                 // "" for the initial position
    std::vector<std::string> moves;  // coordinate moves played from fen
};

// Reads an opening file: PGN when its name ends in ".pgn", else EPD (one
// position a line: placement, side, castling, en passant, then either the two
// FEN counters or operations such as "hmvc 0; fmvn 1;"). Blank lines and
// lines starting with '#' are passed over. False, with *error naming the
// place, when the file cannot be read or holds a position or move our rules
// refuse (a broken opening would fail every game played from it).
bool loadOpenings(const std::string& path, std::vector<Opening>& out, std::string* error);

// The opening with plies random legal moves added, drawn from seed (the
// same seed, the same line), none of them ending the game. Fixed-node games
// repeat themselves from one opening; these make every pair its own.
Opening extendOpening(const Opening& o, int plies, uint64_t seed);

// The FEN of an EPD line (counters from hmvc/fmvn or the FEN fields; 0 1 when
// none), or "" when it has fewer than four fields.
std::string fenFromEpd(const std::string& line);
