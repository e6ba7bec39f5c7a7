// The arbiter of a match game: plays the engines' moves on our own rules
// code, refuses illegal ones and says when the rules end the game.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct Game;

enum class GameEnd { NONE, MATE, STALEMATE, REPETITION, FIFTY_MOVES, NO_MATERIAL };

class Referee {
public:
    Referee();
    ~Referee();
    Referee(const Referee&) = delete;
    Referee& operator=(const Referee&) = delete;

    // A FEN (counters optional) or "" for the initial position; false when
    // the rules code refuses it or the game would already be over.
    bool setup(const std::string& fen);
    // A move in coordinate notation (e2e4, e7e8q; castling as the king's
    // move); san, when given, receives its algebraic notation with check and
    // mate signs. Loose mode also takes algebraic notation (xboard engines may
    // answer so). False, with nothing changed, when the move is not legal.
    bool play(const std::string& text, std::string* san = nullptr, bool loose = false);
    // The move in coordinate notation as the move was played (after play()).
    const std::string& lastMoveText() const { return last_; }
    // The legal moves in coordinate notation (none once the game has ended).
    std::vector<std::string> legalMoves() const;

    GameEnd end() const { return end_; }
    int sideToMove() const;  // 0 White, 1 Black
    int fullMoveNumber() const { return fullMove_; }
    int fiftyCount() const;
    std::string fen() const;  // with the half-move and full-move counters

private:
    std::unique_ptr<Game> game_;
    std::vector<std::string> since_;  // positions since the last irreversible move, the present one last
    GameEnd end_ = GameEnd::NONE;
    int fullMove_ = 1;
    std::string last_;
    std::string placementKey() const;
};

const char* gameEndText(GameEnd e);
