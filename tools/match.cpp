// Plays engines against each other and says which is stronger.
//
//   match --engine "cmd=./build/velmora name=new" --engine "cmd=/tmp/old/velmora name=old"
//         --each "option.Hash=16" --tc 5+0.05 --openings tools/openings.epd --random 1
//         --games 20000 --sprt elo0=0 elo1=5 alpha=0.05 beta=0.05 --pgnout test.pgn
//
// The first engine plays each of the others (a gauntlet when there are more
// than two). Every opening is played twice, with the colours swapped; the
// pair is the unit of the statistics. UCI engines are spoken to directly,
// xboard engines (proto=xboard) in protocol version 2. All games run in one
// thread that waits on every engine at once; our own rules code referees.
#include <poll.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include "tools/lib/childprocess.h"
#include "tools/lib/matchstats.h"
#include "tools/lib/openings.h"
#include "tools/lib/referee.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

std::atomic<int> gInterrupted{0};
bool gDebug = false;  // every line to and from the engines on standard error
void onSignal(int) { gInterrupted = 1; }

// Mate scores are put beyond every centipawn score.
constexpr int MATCH_MATE_SCORE = 100000;
constexpr int64_t MATCH_START_TIMEOUT_MS = 10000;
constexpr int64_t MATCH_READY_TIMEOUT_MS = 10000;
// xboard engines that declare no features get this long to say anything more.
constexpr int64_t MATCH_FEATURE_WAIT_MS = 2000;

enum class Proto { UCI, XBOARD };

struct EngineSetup {
    std::string name, cmd, dir;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> options;
    Proto proto = Proto::UCI;
};

struct Settings {
    std::vector<EngineSetup> engines;
    double baseSeconds = 0, incSeconds = 0;
    int64_t nodes = 0;
    int gamesPerOpponent = 100;
    int concurrency = 0;
    std::string openingFile, pgnFile, errorFile;
    int64_t seed = -1;      // <0: openings in file order
    int randomPlies = 0;    // random moves after each opening, one line a pair
    bool noRepeat = false;  // every game its own opening (self-play data: a pair would be one game twice)
    bool sprt = false;
    double elo0 = 0, elo1 = 5, alpha = 0.05, beta = 0.05;
    int resignMoves = 0, resignScore = 0;
    int drawFrom = 0, drawMoves = 0, drawScore = 0;
    int maxMoves = 0;
    int64_t timeMarginMs = 0;
    int64_t moveTimeoutMs = 60000;
    bool ponder = false;
};

enum Fault { F_ILLEGAL, F_TIME, F_CRASH, F_DISCONNECT, F_HANG, F_COUNT };
const char* const kFaultNames[F_COUNT] = {"illegal moves", "time losses", "crashes", "disconnects", "hangs"};

// One engine process and its protocol.
class Player {
public:
    // PONDERING: a UCI "go ponder" runs; STOPPING: "stop" was sent to it and
    // its bestmove, which nobody wants, is awaited.
    enum State { OFF, STARTING, IDLE, WAITING_READY, THINKING, PONDERING, STOPPING };
    Player(const EngineSetup& s, const std::string& errorFile, bool ponder)
        : setup(s), errorFile_(errorFile), ponder_(ponder) {}

    const EngineSetup& setup;
    State state = OFF;
    int64_t deadline = 0;  // 0: nothing awaited
    bool moveReady = false, resigned = false;
    std::string move;
    std::string ponderMove;  // the reply the engine named with its move ("": none)
    std::string predicted;   // while pondering: the opponent's move it searches after
    bool hasScore = false;
    int score = 0, depth = 0;  // of the latest thinking line, from the engine's side

    int fd() const { return proc_.running() && !proc_.outputEnded() ? proc_.outputFd() : -1; }
    bool ended() const { return !proc_.running() || proc_.outputEnded(); }
    void pump() { proc_.readAvailable(); }
    bool nextLine(std::string& l) {
        if (!proc_.nextLine(l)) return false;
        if (gDebug) std::fprintf(stderr, "%lld %s > %s\n", (long long)nowMs(), setup.name.c_str(), l.c_str());
        return true;
    }
    std::string reap() { return proc_.reap(500); }
    bool crashed() const { return proc_.crashed(); }

    bool start(int64_t now) {
        if (!proc_.start(commandLine(), setup.dir, errorFile_)) return false;
        xbWaitDone_ = false;
        pingSent_ = 0;
        ponderOption_ = false;
        if (setup.proto == Proto::UCI) {
            send("uci");
            deadline = now + MATCH_START_TIMEOUT_MS;
        } else {
            send("xboard");
            send("protover 2");
            deadline = now + MATCH_FEATURE_WAIT_MS;
        }
        state = STARTING;
        return true;
    }
    void kill() {
        proc_.kill();
        state = OFF;
        deadline = 0;
    }
    // Asks politely; whatever is left is killed by the caller.
    void quit() {
        if (!proc_.running() || proc_.outputEnded()) return;
        if (state == PONDERING) send("stop");
        send("quit");
    }
    void askReady(int64_t now) {
        deadline = now + MATCH_READY_TIMEOUT_MS;
        state = WAITING_READY;
        if (setup.proto == Proto::UCI) {
            send("isready");
        } else if (xbPing_) {
            send("ping " + std::to_string(++pingSent_));
        } else {
            state = IDLE;  // no way to ask: trust it
            deadline = 0;
        }
    }
    void newGame(const Settings& s, const std::string& fen, int64_t now) {
        synced_ = 0;
        xbPlaying_ = false;
        fen_ = fen;
        if (setup.proto == Proto::UCI) {
            send("ucinewgame");
        } else {
            send("new");
            send("force");
            send(s.ponder ? "hard" : "easy");
            send("post");
            if (s.nodes == 0) {
                int total = int(std::lround(s.baseSeconds));
                char level[96];
                std::snprintf(level, sizeof level, "level 0 %d:%02d %g", total / 60, total % 60, s.incSeconds);
                send(level);
            }
            if (!fen.empty()) send("setboard " + fen);
        }
        askReady(now);
    }
    // Starts the search of the side to move; moves are every move since the
    // start position.
    void go(const Settings& s, const std::vector<std::string>& moves, const int64_t clocks[2], int side) {
        moveReady = resigned = hasScore = false;
        move.clear();
        ponderMove.clear();
        if (setup.proto == Proto::UCI) {
            sendPosition(moves, "");
            if (s.nodes) send("go nodes " + std::to_string(s.nodes));
            else send("go " + uciClocks(s, clocks));
        } else if (s.ponder && xbPlaying_ && synced_ + 1 == moves.size()) {
            // Still playing its side: the opponent's move alone, as
            // interfaces send it, so that a ponder search on it can go on
            // ("force" would end it).
            sendXboardClocks(clocks, side);
            send((xbUsermove_ ? "usermove " : "") + moves[synced_]);
            synced_ += 2;  // and its own move
        } else {
            send("force");
            for (; synced_ < moves.size(); synced_++) send((xbUsermove_ ? "usermove " : "") + moves[synced_]);
            sendXboardClocks(clocks, side);
            send("go");
            synced_++;  // its own move will be on its board
            xbPlaying_ = true;
        }
        state = THINKING;
        deadline = 0;  // the referee sets it from the clock
    }
    // UCI: searches the position after the expected reply on the opponent's
    // time. The clocks are those after the engine's own move, so that they
    // hold at its next turn.
    void startPondering(const Settings& s, const std::vector<std::string>& moves, const std::string& reply,
                        const int64_t clocks[2]) {
        moveReady = resigned = hasScore = false;
        move.clear();
        ponderMove.clear();
        predicted = reply;
        sendPosition(moves, reply);
        send("go ponder " + uciClocks(s, clocks));
        state = PONDERING;
        deadline = 0;  // no limit: it waits for the opponent
    }
    // The expected reply came: the search goes on as the engine's own.
    void ponderHit() {
        send("ponderhit");
        state = THINKING;
    }
    // Another move came, or the game ended: the search's bestmove is of no
    // use, but must be read before the engine is told anything else.
    void stopPondering(int64_t now, int64_t timeoutMs) {
        send("stop");
        state = STOPPING;
        deadline = now + timeoutMs;
    }
    // Handles one output line; true when the state changed.
    void onLine(const std::string& line, int64_t now) {
        std::istringstream in(line);
        std::string word;
        in >> word;
        if (setup.proto == Proto::UCI) {
            if (state == STARTING && word == "option") {
                if (equalNoCase(uciOptionName(in), "Ponder")) ponderOption_ = true;
            } else if (state == STARTING && word == "uciok") {
                // Before the given options: an explicit option.Ponder wins.
                if (ponder_ && ponderOption_) send("setoption name Ponder value true");
                for (const auto& o : setup.options) send("setoption name " + o.first + " value " + o.second);
                askReady(now);
            } else if (state == WAITING_READY && word == "readyok") {
                state = IDLE;
                deadline = 0;
            } else if ((state == THINKING || state == PONDERING) && word == "info") {
                readUciInfo(in);
            } else if (state == THINKING && word == "bestmove") {
                std::string w;
                in >> move;
                if (in >> w && w == "ponder") in >> ponderMove;
                moveReady = true;
            } else if (state == STOPPING && word == "bestmove") {
                state = IDLE;  // the answer to "stop", thrown away
                deadline = 0;
            } else if (state == PONDERING && word == "bestmove") {
                // Given up pondering unasked: it gets the next position
                // like an engine that never pondered.
                state = IDLE;
            }
            return;
        }
        if (word == "feature") {
            readFeatures(line, now);
        } else if (state == WAITING_READY && word == "pong") {
            int n = 0;
            in >> n;
            if (n == pingSent_) {
                state = IDLE;
                deadline = 0;
            }
        } else if (state == THINKING && word == "move") {
            in >> move;
            moveReady = true;
        } else if (state == THINKING && word == "resign") {
            resigned = true;
        } else if (state == THINKING && !word.empty() && std::isdigit((unsigned char)word[0])) {
            // thinking: ply score time nodes pv
            int sc;
            if (in >> sc) {
                depth = std::atoi(word.c_str());
                hasScore = true;
                // 100000 + N: mate in N moves; -100000 - N: mated.
                score = std::abs(sc) >= 99000 ? (sc > 0 ? MATCH_MATE_SCORE : -MATCH_MATE_SCORE) : sc;
            }
        }
    }
    // The start-up deadline passed without "done=1": an xboard engine that
    // did not ask for more time (done=0) is taken as ready, as the protocol
    // says. False when that is so.
    bool startTimedOut(int64_t now) {
        if (setup.proto == Proto::XBOARD && !xbWaitDone_) {
            finishXboardStart(now);
            return false;
        }
        return true;
    }
    void stopThinking() { state = IDLE; }
    void gameOver(const std::string& result, const std::string& reason) {
        if (setup.proto == Proto::XBOARD) send("result " + result + " {" + reason + "}");
    }

private:
    const std::string errorFile_;
    ChildProcess proc_;
    std::string fen_;
    size_t synced_ = 0;
    bool xbWaitDone_ = false, xbPing_ = false, xbUsermove_ = false;
    bool xbPlaying_ = false;  // told "go" this game: it answers the opponent's moves by itself
    int pingSent_ = 0;
    const bool ponder_;          // the match is played with pondering
    bool ponderOption_ = false;  // the UCI engine offers the Ponder option

    void send(const std::string& line) {
        if (gDebug) std::fprintf(stderr, "%lld %s < %s\n", (long long)nowMs(), setup.name.c_str(), line.c_str());
        proc_.send(line);
    }
    void sendXboardClocks(const int64_t clocks[2], int side) {
        send("time " + std::to_string(std::max<int64_t>(clocks[side] / 10, 1)));
        send("otim " + std::to_string(std::max<int64_t>(clocks[side ^ 1] / 10, 1)));
    }
    // The game so far and one more move when extra is not empty.
    void sendPosition(const std::vector<std::string>& moves, const std::string& extra) {
        std::string pos = fen_.empty() ? "position startpos" : "position fen " + fen_;
        if (!moves.empty() || !extra.empty()) pos += " moves";
        for (const std::string& m : moves) pos += " " + m;
        if (!extra.empty()) pos += " " + extra;
        send(pos);
    }
    static std::string uciClocks(const Settings& s, const int64_t clocks[2]) {
        int64_t inc = std::llround(s.incSeconds * 1000);
        return "wtime " + std::to_string(std::max<int64_t>(clocks[0], 1)) + " btime " +
               std::to_string(std::max<int64_t>(clocks[1], 1)) + " winc " + std::to_string(inc) + " binc " +
               std::to_string(inc);
    }
    static bool equalNoCase(const std::string& a, const std::string& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower((unsigned char)x) == std::tolower((unsigned char)y);
               });
    }
    // "option name NAME type ...": the name may have blanks.
    static std::string uciOptionName(std::istringstream& in) {
        std::string w, name;
        if (!(in >> w) || w != "name") return "";
        while (in >> w && w != "type") name += (name.empty() ? "" : " ") + w;
        return name;
    }

    std::vector<std::string> commandLine() const {
        std::vector<std::string> argv{setup.cmd};
        argv.insert(argv.end(), setup.args.begin(), setup.args.end());
        return argv;
    }
    void readUciInfo(std::istringstream& in) {
        std::string w;
        while (in >> w) {
            if (w == "depth") {
                in >> depth;
            } else if (w == "score") {
                std::string kind;
                int v = 0;
                if (!(in >> kind >> v)) return;
                hasScore = true;
                if (kind == "mate") score = v > 0 ? MATCH_MATE_SCORE - v : -MATCH_MATE_SCORE - v;
                else score = v;
            } else if (w == "pv" || w == "string") {
                return;  // the rest is moves or text
            }
        }
    }
    void readFeatures(const std::string& line, int64_t now) {
        std::string accepted;
        size_t p = line.find(' ');
        while (p != std::string::npos && p < line.size()) {
            while (p < line.size() && line[p] == ' ') p++;
            size_t eq = line.find('=', p);
            if (eq == std::string::npos) break;
            std::string name = line.substr(p, eq - p);
            size_t end;
            std::string value;
            if (eq + 1 < line.size() && line[eq + 1] == '"') {
                end = line.find('"', eq + 2);
                value = line.substr(eq + 2, end == std::string::npos ? std::string::npos : end - eq - 2);
                if (end != std::string::npos) end++;
            } else {
                end = line.find(' ', eq);
                value = line.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
            }
            p = end;
            if (name == "ping") xbPing_ = value == "1";
            if (name == "usermove") xbUsermove_ = value == "1";
            // We send no interrupts and read moves in coordinates; the rest
            // is taken as offered.
            send((name == "sigint" || name == "san" ? "rejected " : "accepted ") + name);
            if (name == "done") {
                if (value == "1" && state == STARTING) finishXboardStart(now);
                else if (value == "0" && state == STARTING) {
                    xbWaitDone_ = true;  // it will say when it is done
                    deadline = now + MATCH_START_TIMEOUT_MS;
                }
            }
        }
    }
    void finishXboardStart(int64_t now) {
        for (const auto& o : setup.options) send("option " + o.first + "=" + o.second);
        askReady(now);
    }
};

struct GameTask {
    int number;    // 1-based, in the order of the schedule
    int opponent;  // engine index 1..
    int opening;
    int pair;
    bool firstIsWhite;
};

struct Tally {
    int64_t wins = 0, draws = 0, losses = 0;  // of the first engine
    Pentanomial pairs{};
    std::map<int, int> pending;  // pair -> first engine's half-points of the game already played
};

std::string pgnDate() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%Y.%m.%d", &tm);
    return buffer;
}

std::string scoreComment(bool has, int score, int depth, int64_t ms) {
    char buffer[64];
    if (!has) {
        std::snprintf(buffer, sizeof buffer, "%.3fs", double(ms) / 1000);
    } else if (std::abs(score) > MATCH_MATE_SCORE - 1000) {
        int n = MATCH_MATE_SCORE - std::abs(score);
        std::snprintf(buffer, sizeof buffer, "%sM%d/%d %.3fs", score > 0 ? "+" : "-", n, depth, double(ms) / 1000);
    } else {
        std::snprintf(buffer, sizeof buffer, "%+.2f/%d %.3fs", score / 100.0, depth, double(ms) / 1000);
    }
    return buffer;
}

// One board of the match: the engines of the pairing at hand and the game.
class Slot {
public:
    explicit Slot(const Settings& s) : s_(s) {
        for (const EngineSetup& e : s.engines) players_.emplace_back(new Player(e, s.errorFile, s.ponder));
    }
    bool busy() const { return busy_; }
    void begin(const GameTask& t, const Opening& o) {
        task_ = t;
        opening_ = o;
        busy_ = true;
        phase_ = PREPARING;
        int first = 0, other = t.opponent;
        seat_[0] = t.firstIsWhite ? first : other;
        seat_[1] = t.firstIsWhite ? other : first;
        moves_.clear();
        san_.clear();
        comments_.clear();
        result_.clear();
        reason_.clear();
        termination_ = "normal";
        faultSeat_ = -1;
        faults_.clear();
        startFailed_ = false;
        for (int i = 0; i < 2; i++) {
            clock_[i] = std::llround(s_.baseSeconds * 1000);
            resignCount_[i] = winCount_[i] = drawCount_[i] = 0;
        }
        referee_.setup(o.fen);
        for (const std::string& m : o.moves) {
            std::string san;
            referee_.play(m, &san);
            moves_.push_back(m);
            san_.push_back(san);
            comments_.push_back("book");
        }
        bookPlies_ = moves_.size();
    }

    // Moves the game on as far as the engines' output allows. Returns true
    // when the game has just ended.
    bool step(int64_t now) {
        if (!busy_) return false;
        for (int seat = 0; seat < 2 && phase_ != FINISHED; seat++) {
            Player& p = *players_[size_t(seat_[seat])];
            if (phase_ == DRAINING && p.state != Player::STOPPING) continue;
            if (p.state != Player::OFF) p.pump();
            std::string line;
            while (phase_ != FINISHED && p.state != Player::OFF && p.nextLine(line)) {
                Player::State before = p.state;
                p.onLine(line, now);
                if (phase_ != PLAYING || seat != referee_.sideToMove()) continue;
                if (p.moveReady) onMove(seat, now);
                else if (p.resigned) finish(seat ? "1-0" : "0-1", sideName(seat) + " resigns", "normal");
                // Its turn began when the opponent moved.
                else if (before == Player::STOPPING && p.state == Player::IDLE) startTurn(now, thinkStart_);
            }
            if (phase_ == FINISHED) break;
            if (phase_ == DRAINING) {
                if (p.state == Player::STOPPING && (p.ended() || (p.deadline && now >= p.deadline))) {
                    // The game is decided; the fault still counts.
                    bool gone = p.ended();
                    std::string how = gone ? p.reap() : "";
                    Fault kind = !gone ? F_HANG : p.crashed() ? F_CRASH : F_DISCONNECT;
                    p.kill();
                    faults_.emplace_back(seat, kind);
                    reason_ +=
                        "; " + sideName(seat) + (gone ? " ends after stop (" + how + ")" : " does not answer stop");
                }
                continue;
            }
            if (p.state != Player::OFF && p.ended()) {
                std::string how = p.reap();
                bool crash = p.crashed();
                fault(seat, crash ? F_CRASH : F_DISCONNECT,
                      sideName(seat) + (crash ? " crashed (" : " disconnects (") + how + ")");
                p.state = Player::OFF;
            } else if (p.deadline && now >= p.deadline) {
                onDeadline(seat, p, now);
            }
        }
        if (phase_ == DRAINING && at(0).state != Player::STOPPING && at(1).state != Player::STOPPING) phase_ = FINISHED;
        if (phase_ == PREPARING || phase_ == NEWGAME) advancePreparation(now);
        if (phase_ == FINISHED) {
            busy_ = false;
            phase_ = IDLE;
            return true;
        }
        return false;
    }
    int64_t nextDeadline() const {
        int64_t d = 0;
        if (!busy_) return 0;
        for (int seat = 0; seat < 2; seat++) {
            int64_t x = players_[size_t(seat_[seat])]->deadline;
            if (x && (d == 0 || x < d)) d = x;
        }
        return d;
    }
    void shutdown() {
        for (auto& p : players_) p->quit();
    }
    void killAll() {
        for (auto& p : players_) p->kill();
    }

    // The finished game.
    const GameTask& task() const { return task_; }
    const std::string& result() const { return result_; }
    const std::string& reason() const { return reason_; }
    int faultSeat() const { return faultSeat_; }
    // Every fault of the game as (seat, kind): the one that decided it and
    // any of an engine stopped after the end.
    const std::vector<std::pair<int, Fault>>& faults() const { return faults_; }
    bool startFailed() const { return startFailed_; }
    int engineAt(int seat) const { return seat_[seat]; }
    void seatFds(std::vector<int>& fds) const {
        if (!busy_) return;
        for (int seat = 0; seat < 2; seat++) {
            int fd = players_[size_t(seat_[seat])]->fd();
            if (fd >= 0) fds.push_back(fd);
        }
    }
    std::string pgn(const std::string& date) const {
        std::ostringstream o;
        auto tag = [&](const char* n, const std::string& v) { o << "[" << n << " \"" << v << "\"]\n"; };
        tag("Event", "match");
        tag("Site", "local");
        tag("Date", date);
        tag("Round", std::to_string(task_.number));
        tag("White", s_.engines[size_t(seat_[0])].name);
        tag("Black", s_.engines[size_t(seat_[1])].name);
        tag("Result", result_);
        if (!opening_.fen.empty()) {
            tag("SetUp", "1");
            tag("FEN", opening_.fen);
        }
        if (s_.nodes) tag("TimeControl", "-");
        else {
            char tc[64];
            std::snprintf(tc, sizeof tc, "%g+%g", s_.baseSeconds, s_.incSeconds);
            tag("TimeControl", tc);
        }
        tag("PlyCount", std::to_string(san_.size()));
        tag("Termination", termination_);
        o << "\n";
        Referee r;
        r.setup(opening_.fen);
        int fullMove = r.fullMoveNumber(), side = r.sideToMove();
        std::string text;
        for (size_t i = 0; i < san_.size(); i++) {
            if (side == 0) text += std::to_string(fullMove) + ". ";
            else if (i == 0) text += std::to_string(fullMove) + "... ";
            text += san_[i] + " {" + comments_[i] + "} ";
            if (side == 1) fullMove++;
            side ^= 1;
        }
        text += "{" + reason_ + "} " + result_;
        // PGN lines stay below 80 characters.
        std::string line;
        std::istringstream words(text);
        std::string w;
        while (words >> w) {
            if (!line.empty() && line.size() + 1 + w.size() > 79) {
                o << line << "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + w;
        }
        if (!line.empty()) o << line << "\n";
        o << "\n";
        return o.str();
    }

private:
    // DRAINING: the game is decided; an engine that pondered still owes the
    // bestmove that answers its stop.
    enum Phase { IDLE, PREPARING, NEWGAME, PLAYING, DRAINING, FINISHED };
    const Settings& s_;
    std::vector<std::unique_ptr<Player>> players_;
    bool busy_ = false;
    Phase phase_ = IDLE;
    GameTask task_{};
    Opening opening_;
    int seat_[2] = {0, 1};
    Referee referee_;
    Referee ponderCheck_;  // tries an engine's expected reply
    std::vector<std::string> moves_, san_, comments_;
    size_t bookPlies_ = 0;
    int64_t clock_[2] = {0, 0};
    int64_t thinkStart_ = 0;
    int resignCount_[2], winCount_[2], drawCount_[2];
    std::string result_, reason_, termination_;
    int faultSeat_ = -1;
    std::vector<std::pair<int, Fault>> faults_;
    bool startFailed_ = false;

    std::string sideName(int seat) const {
        return std::string(seat ? "Black" : "White") + " (" + s_.engines[size_t(seat_[seat])].name + ")";
    }
    Player& at(int seat) { return *players_[size_t(seat_[seat])]; }

    void finish(const std::string& result, const std::string& reason, const std::string& termination) {
        result_ = result;
        reason_ = reason;
        termination_ = termination;
        phase_ = FINISHED;
        for (int seat = 0; seat < 2; seat++) {
            Player& p = at(seat);
            // A searching engine is replaced before its next game; one that
            // ponders is stopped, and the game is over once it has answered.
            if (p.state == Player::THINKING || p.state == Player::STARTING || p.state == Player::WAITING_READY)
                p.kill();
            else if (p.state == Player::IDLE) p.gameOver(result, reason);
            else if (p.state == Player::PONDERING) p.stopPondering(nowMs(), s_.moveTimeoutMs);
            if (p.state == Player::STOPPING) phase_ = DRAINING;
        }
    }
    void fault(int seat, Fault kind, const std::string& reason) {
        faultSeat_ = seat;
        faults_.emplace_back(seat, kind);
        at(seat).kill();
        if (phase_ == PREPARING || phase_ == NEWGAME) {
            // Before the first move: the game is still lost, so that a broken
            // engine cannot stall the match, but it is said plainly.
            startFailed_ = startFailed_ || kind == F_HANG || kind == F_DISCONNECT || kind == F_CRASH;
        }
        const char* term = kind == F_TIME ? "time forfeit" : kind == F_ILLEGAL ? "illegal move" : "abandoned";
        finish(seat ? "1-0" : "0-1", reason, term);
    }
    void onDeadline(int seat, Player& p, int64_t now) {
        if (p.state == Player::STARTING && !p.startTimedOut(now)) return;
        if (p.state == Player::THINKING) {
            if (s_.nodes)
                fault(seat, F_HANG,
                      sideName(seat) + " hangs: no move within " + std::to_string(s_.moveTimeoutMs / 1000) + " s");
            else fault(seat, F_TIME, sideName(seat) + " loses on time");
            return;
        }
        fault(seat, F_HANG,
              sideName(seat) + (p.state == Player::STARTING   ? " does not start"
                                : p.state == Player::STOPPING ? " does not answer stop"
                                                              : " does not answer"));
    }
    void advancePreparation(int64_t now) {
        if (phase_ == PREPARING) {
            bool ready = true;
            for (int seat = 0; seat < 2; seat++) {
                Player& p = at(seat);
                if (p.state == Player::OFF) {
                    if (!p.start(now)) {
                        fault(seat, F_CRASH, sideName(seat) + " cannot be started");
                        startFailed_ = true;
                        return;
                    }
                }
                if (p.state != Player::IDLE) ready = false;
            }
            if (!ready) return;
            for (int seat = 0; seat < 2; seat++) at(seat).newGame(s_, opening_.fen, now);
            phase_ = NEWGAME;
        }
        if (phase_ == NEWGAME) {
            for (int seat = 0; seat < 2; seat++)
                if (at(seat).state != Player::IDLE) return;
            phase_ = PLAYING;
            startTurn(now, now);
        }
    }
    // The side to move's turn, which began at since (earlier when a ponder
    // search had to be stopped first: that time is its own).
    void startTurn(int64_t now, int64_t since) {
        int side = referee_.sideToMove();
        Player& p = at(side);
        thinkStart_ = since;
        int64_t clocks[2] = {clock_[0], clock_[1]};
        clocks[side] -= now - since;
        p.go(s_, moves_, clocks, side);
        p.deadline =
            s_.nodes ? now + s_.moveTimeoutMs : since + std::max<int64_t>(clock_[side], 0) + s_.timeMarginMs + 1;
    }
    // The opponent of side, which has just moved, takes its turn: by a
    // ponder hit, after stopping a ponder search on another move, or afresh.
    void passTurn(int side, int64_t now) {
        Player& o = at(side ^ 1);
        if (o.state == Player::PONDERING && moves_.back() == o.predicted) {
            o.ponderHit();
            thinkStart_ = now;  // as if "go" were sent now
            o.deadline = now + std::max<int64_t>(clock_[side ^ 1], 0) + s_.timeMarginMs + 1;
        } else if (o.state == Player::PONDERING) {
            o.stopPondering(now, s_.moveTimeoutMs);
            thinkStart_ = now;
        } else {
            startTurn(now, now);
        }
    }
    // A UCI engine that named the reply it expects thinks on it meanwhile,
    // unless that reply is illegal or would end the game.
    void startPondering(int side) {
        Player& p = at(side);
        if (!s_.ponder || p.setup.proto != Proto::UCI || p.ponderMove.empty()) return;
        if (!ponderCheck_.setup(referee_.fen()) || !ponderCheck_.play(p.ponderMove) ||
            ponderCheck_.end() != GameEnd::NONE)
            return;
        p.startPondering(s_, moves_, ponderCheck_.lastMoveText(), clock_);
    }
    void onMove(int side, int64_t now) {
        Player& p = at(side);
        p.stopThinking();
        p.deadline = 0;
        int64_t used = now - thinkStart_;
        if (!s_.nodes) {
            clock_[side] -= used;
            if (clock_[side] < -s_.timeMarginMs) {
                fault(side, F_TIME, sideName(side) + " loses on time");
                return;
            }
            clock_[side] += std::llround(s_.incSeconds * 1000);
        }
        std::string san;
        if (!referee_.play(p.move, &san, p.setup.proto == Proto::XBOARD)) {
            fault(side, F_ILLEGAL, sideName(side) + " makes an illegal move: " + p.move);
            return;
        }
        moves_.push_back(referee_.lastMoveText());
        san_.push_back(san);
        comments_.push_back(scoreComment(p.hasScore, p.score, p.depth, used));
        if (referee_.end() != GameEnd::NONE) {
            if (referee_.end() == GameEnd::MATE) finish(side ? "0-1" : "1-0", sideName(side) + " mates", "normal");
            else finish("1/2-1/2", gameEndText(referee_.end()), "normal");
            return;
        }
        if (adjudicate(side, p)) return;
        passTurn(side, now);
        startPondering(side);
    }
    // Score adjudication: both engines agree over several moves.
    bool adjudicate(int side, const Player& p) {
        int other = side ^ 1;
        if (s_.resignMoves > 0) {
            resignCount_[side] = p.hasScore && p.score <= -s_.resignScore ? resignCount_[side] + 1 : 0;
            winCount_[side] = p.hasScore && p.score >= s_.resignScore ? winCount_[side] + 1 : 0;
            for (int loser : {side, other}) {
                if (resignCount_[loser] >= s_.resignMoves && winCount_[loser ^ 1] >= s_.resignMoves) {
                    finish(loser ? "1-0" : "0-1", sideName(loser) + " loses by adjudication (scores agree)",
                           "adjudication");
                    return true;
                }
            }
        }
        if (s_.drawMoves > 0) {
            drawCount_[side] = p.hasScore && std::abs(p.score) <= s_.drawScore ? drawCount_[side] + 1 : 0;
            if (referee_.fullMoveNumber() > s_.drawFrom && drawCount_[0] >= s_.drawMoves &&
                drawCount_[1] >= s_.drawMoves) {
                finish("1/2-1/2", "Draw by adjudication (scores agree)", "adjudication");
                return true;
            }
        }
        if (s_.maxMoves > 0 && int(moves_.size() - bookPlies_) >= 2 * s_.maxMoves) {
            finish("1/2-1/2", "Draw by adjudication (move limit)", "adjudication");
            return true;
        }
        return false;
    }
};

// Blanks separate words, double quotes group them.
std::vector<std::string> splitWords(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) out.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) out.push_back(word);
    return out;
}

[[noreturn]] void usage(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "match: %s\n", why.c_str());
    std::fprintf(stderr,
                 "usage: match --engine ENGINE --engine ENGINE [--engine ENGINE ...] [options]\n"
                 "  ENGINE: blank-separated cmd=PATH [name=NAME] [arg=ARG ...] [dir=DIR] [proto=uci|xboard]\n"
                 "        [option.NAME=VALUE ...]\n"
                 "  --each ENGINE         added to every engine\n"
                 "  --tc BASE+INC         seconds, e.g. 5+0.05          --nodes N   fixed nodes a move (UCI)\n"
                 "  --ponder              the engines think on the opponent's time (not with --nodes)\n"
                 "  --games N             games against each opponent (even; default 100)\n"
                 "  --concurrency N       games at once (default: one per core)\n"
                 "  --openings FILE       EPD or .pgn; each opening is played with both colours\n"
                 "  --random SEED         openings in a shuffled order\n"
                 "  --pgnout FILE         append the games\n"
                 "  --sprt elo0=E0 elo1=E1 [alpha=A] [beta=B]   stop when the test decides\n"
                 "  --resign movecount=N score=CP   --draw movenumber=M movecount=N score=CP\n"
                 "  --maxmoves N          draw after N moves out of the opening\n"
                 "  --random-plies N      N random legal moves after each opening, the same for both\n"
                 "                        games of a pair (seeded by --random): games at fixed nodes differ\n"
                 "  --no-repeat           every game its own opening, not one a pair (data from self-play)\n"
                 "  --timemargin MS       time a move may overstep the clock (default 0)\n"
                 "  --movetimeout S       seconds before a silent engine is said to hang (60): with --nodes\n"
                 "                        for its move, with --ponder for its answer to stop\n"
                 "  --stderr FILE         the engines' standard error (default: discarded)\n"
                 "  --debug               every line to and from the engines on standard error\n");
    std::exit(2);
}

void applySetup(EngineSetup& e, const std::string& text) {
    for (const std::string& w : splitWords(text)) {
        size_t eq = w.find('=');
        if (eq == std::string::npos) usage("engine field without '=': " + w);
        std::string key = w.substr(0, eq), value = w.substr(eq + 1);
        if (key == "cmd") e.cmd = value;
        else if (key == "name") e.name = value;
        else if (key == "arg") e.args.push_back(value);
        else if (key == "dir") e.dir = value;
        else if (key == "proto") {
            if (value == "uci") e.proto = Proto::UCI;
            else if (value == "xboard") e.proto = Proto::XBOARD;
            else usage("unknown protocol: " + value);
        } else if (key.compare(0, 7, "option.") == 0 && key.size() > 7) {
            bool replaced = false;
            for (auto& o : e.options)
                if (o.first == key.substr(7)) o.second = value, replaced = true;
            if (!replaced) e.options.emplace_back(key.substr(7), value);
        } else {
            usage("unknown engine field: " + key);
        }
    }
}

// key=value words of one option, each value a number.
std::map<std::string, double> numberFields(int argc, char** argv, int& i) {
    std::map<std::string, double> out;
    while (i + 1 < argc && std::strchr(argv[i + 1], '=') && argv[i + 1][0] != '-') {
        std::string w = argv[++i];
        char* end = nullptr;
        double v = std::strtod(w.c_str() + w.find('=') + 1, &end);
        if (end == nullptr || *end != 0) usage("not a number: " + w);
        out[w.substr(0, w.find('='))] = v;
    }
    return out;
}

double field(const std::map<std::string, double>& f, const char* name, double fallback, bool required) {
    auto it = f.find(name);
    if (it != f.end()) return it->second;
    if (required) usage(std::string("missing ") + name);
    return fallback;
}

Settings parseArguments(int argc, char** argv) {
    Settings s;
    std::vector<std::string> setups, each;
    bool timed = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(a + " needs a value");
            return argv[++i];
        };
        auto number = [&]() -> double {
            std::string v = value();
            char* end = nullptr;
            double x = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != 0 || x < 0) usage(a + ": not a number: " + v);
            return x;
        };
        if (a == "--engine") setups.push_back(value());
        else if (a == "--each") each.push_back(value());
        else if (a == "--tc") {
            std::string v = value();
            size_t plus = v.find('+');
            char* end = nullptr;
            s.baseSeconds = std::strtod(v.c_str(), &end);
            if (plus != std::string::npos) {
                if (end != v.c_str() + plus) usage("bad time control: " + v);
                s.incSeconds = std::strtod(v.c_str() + plus + 1, &end);
            }
            if (*end != 0 || s.baseSeconds <= 0 || s.incSeconds < 0) usage("bad time control: " + v);
            timed = true;
        } else if (a == "--nodes") s.nodes = int64_t(number());
        else if (a == "--ponder") s.ponder = true;
        else if (a == "--games") s.gamesPerOpponent = int(number());
        else if (a == "--concurrency") s.concurrency = int(number());
        else if (a == "--openings") s.openingFile = value();
        else if (a == "--random") s.seed = int64_t(number());
        else if (a == "--pgnout") s.pgnFile = value();
        else if (a == "--stderr") s.errorFile = value();
        else if (a == "--maxmoves") s.maxMoves = int(number());
        else if (a == "--random-plies") s.randomPlies = int(number());
        else if (a == "--no-repeat") s.noRepeat = true;
        else if (a == "--timemargin") s.timeMarginMs = int64_t(number());
        else if (a == "--movetimeout") s.moveTimeoutMs = int64_t(number() * 1000);
        else if (a == "--sprt") {
            auto f = numberFields(argc, argv, i);
            s.sprt = true;
            s.elo0 = field(f, "elo0", 0, true);
            s.elo1 = field(f, "elo1", 0, true);
            s.alpha = field(f, "alpha", 0.05, false);
            s.beta = field(f, "beta", 0.05, false);
            if (s.elo1 <= s.elo0 || s.alpha <= 0 || s.alpha >= 1 || s.beta <= 0 || s.beta >= 1)
                usage("--sprt needs elo0 < elo1 and alpha, beta in (0, 1)");
        } else if (a == "--resign") {
            auto f = numberFields(argc, argv, i);
            s.resignMoves = int(field(f, "movecount", 0, true));
            s.resignScore = int(field(f, "score", 0, true));
        } else if (a == "--draw") {
            auto f = numberFields(argc, argv, i);
            s.drawFrom = int(field(f, "movenumber", 0, false));
            s.drawMoves = int(field(f, "movecount", 0, true));
            s.drawScore = int(field(f, "score", 0, true));
        } else if (a == "--debug") gDebug = true;
        else if (a == "--help" || a == "-h") usage("");
        else usage("unknown argument: " + a);
    }
    if (setups.size() < 2) usage("two engines at least");
    if (timed == (s.nodes > 0)) usage("give either --tc or --nodes");
    if (s.ponder && s.nodes) usage("--ponder needs --tc: a fixed-node search has no time to think ahead on");
    if (s.gamesPerOpponent < 1) usage("--games must be positive");
    for (const std::string& text : setups) {
        EngineSetup e;
        for (const std::string& x : each) applySetup(e, x);
        applySetup(e, text);
        if (e.cmd.empty()) usage("engine without cmd=");
        if (e.name.empty()) e.name = e.cmd.substr(e.cmd.find_last_of('/') + 1);
        if (e.proto == Proto::XBOARD && s.nodes) usage(e.name + ": xboard has no fixed-node searches");
        s.engines.push_back(e);
    }
    for (size_t i = 0; i < s.engines.size(); i++)
        for (size_t j = 0; j < i; j++)
            if (s.engines[i].name == s.engines[j].name) s.engines[i].name += "-" + std::to_string(i + 1);
    if (s.concurrency <= 0) s.concurrency = int(std::max(1u, std::thread::hardware_concurrency()));
    return s;
}

void printScore(const Settings& s, int opponent, const Tally& t, const SprtBounds& bounds) {
    int64_t n = t.wins + t.draws + t.losses;
    EloEstimate games = eloFromGames(t.wins, t.draws, t.losses);
    std::printf("Score of %s vs %s: %lld - %lld - %lld  [%.3f] %lld\n", s.engines[0].name.c_str(),
                s.engines[size_t(opponent)].name.c_str(), (long long)t.wins, (long long)t.losses, (long long)t.draws,
                games.score, (long long)n);
    int64_t pairs = 0;
    for (int64_t c : t.pairs) pairs += c;
    std::printf("Elo difference: %s", eloText(games).c_str());
    if (pairs > 0) {
        std::printf(", by pairs %s, pairs [%lld, %lld, %lld, %lld, %lld]", eloText(eloFromPairs(t.pairs)).c_str(),
                    (long long)t.pairs[0], (long long)t.pairs[1], (long long)t.pairs[2], (long long)t.pairs[3],
                    (long long)t.pairs[4]);
    }
    std::printf("\n");
    if (s.sprt)
        std::printf("SPRT: LLR %.2f [%.2f, %.2f] (elo0 %g, elo1 %g, alpha %g, beta %g)\n",
                    sprtLlr(t.pairs, s.elo0, s.elo1), bounds.lower, bounds.upper, s.elo0, s.elo1, s.alpha, s.beta);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Settings s = parseArguments(argc, argv);
    std::vector<Opening> openings;
    if (!s.openingFile.empty()) {
        std::string error;
        if (!loadOpenings(s.openingFile, openings, &error)) {
            std::fprintf(stderr, "match: %s\n", error.c_str());
            return 2;
        }
        if (openings.empty()) {
            std::fprintf(stderr, "match: %s holds no opening\n", s.openingFile.c_str());
            return 2;
        }
    } else {
        openings.push_back(Opening{});
    }
    std::vector<size_t> order(openings.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    if (s.seed >= 0) std::shuffle(order.begin(), order.end(), std::mt19937_64(uint64_t(s.seed)));

    const int opponents = int(s.engines.size()) - 1;
    const int pairsEach = (s.gamesPerOpponent + 1) / 2;
    const int totalTasks = 2 * pairsEach * opponents;
    auto taskAt = [&](int k) {
        int pair = k / 2;
        GameTask t;
        t.number = k + 1;
        t.pair = pair;
        t.opponent = 1 + pair % opponents;
        // Without repeats each game takes the next opening (and its own
        // random line), else both games of a pair share one.
        t.opening = int(order[size_t((s.noRepeat ? k : pair) / opponents) % order.size()]);
        t.firstIsWhite = k % 2 == 0;
        return t;
    };

    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("Match of %s against %d opponent%s, %d games each, %d at once, %zu opening%s\n",
                s.engines[0].name.c_str(), opponents, opponents > 1 ? "s" : "", 2 * pairsEach,
                std::min(s.concurrency, totalTasks), openings.size(), openings.size() > 1 ? "s" : "");
    std::vector<std::unique_ptr<Slot>> slots;
    for (int i = 0; i < std::min(s.concurrency, totalTasks); i++) slots.emplace_back(new Slot(s));
    std::vector<Tally> tallies(s.engines.size());
    std::vector<std::array<int64_t, F_COUNT>> faults(s.engines.size(), std::array<int64_t, F_COUNT>{});
    std::vector<int64_t> played(s.engines.size(), 0);
    const SprtBounds bounds = sprtBounds(s.alpha, s.beta);
    std::ofstream pgn;
    if (!s.pgnFile.empty()) {
        pgn.open(s.pgnFile, std::ios::app);
        if (!pgn) {
            std::fprintf(stderr, "match: cannot write %s\n", s.pgnFile.c_str());
            return 2;
        }
    }
    const std::string date = pgnDate();
    int nextTask = 0, finished = 0, status = 0;
    bool stop = false;
    std::string verdict;

    while (!gInterrupted) {
        int64_t now = nowMs();
        bool busy = false;
        for (auto& slot : slots) {
            if (!slot->busy() && !stop && nextTask < totalTasks) {
                GameTask t = taskAt(nextTask++);
                const Opening& o = openings[size_t(t.opening)];
                if (s.randomPlies > 0)
                    slot->begin(t, extendOpening(o, s.randomPlies,
                                                 uint64_t(std::max<int64_t>(s.seed, 0)) * 1000003u +
                                                     uint64_t(s.noRepeat ? t.number : t.pair)));
                else slot->begin(t, o);
            }
            if (!slot->busy()) continue;
            if (!slot->step(now)) {
                busy = busy || slot->busy();
                continue;
            }
            // A game has ended.
            finished++;
            const GameTask& t = slot->task();
            std::string white = s.engines[size_t(slot->engineAt(0))].name;
            std::string black = s.engines[size_t(slot->engineAt(1))].name;
            std::printf("Game %d: %s - %s %s {%s}\n", t.number, white.c_str(), black.c_str(), slot->result().c_str(),
                        slot->reason().c_str());
            for (const auto& f : slot->faults()) faults[size_t(slot->engineAt(f.first))][f.second]++;
            if (slot->startFailed()) {
                int culprit = slot->engineAt(slot->faultSeat());
                if (played[size_t(culprit)] == 0) {
                    std::fprintf(stderr, "match: %s does not start: %s\n", s.engines[size_t(culprit)].name.c_str(),
                                 slot->reason().c_str());
                    stop = true;
                    status = 2;
                    continue;
                }
            }
            played[size_t(slot->engineAt(0))]++;
            played[size_t(slot->engineAt(1))]++;
            if (pgn.is_open()) {
                pgn << slot->pgn(date);
                pgn.flush();
            }
            int whitePoints = slot->result() == "1-0" ? 2 : slot->result() == "0-1" ? 0 : 1;
            int firstPoints = slot->engineAt(0) == 0 ? whitePoints : 2 - whitePoints;
            Tally& tally = tallies[size_t(t.opponent)];
            (firstPoints == 2 ? tally.wins : firstPoints == 1 ? tally.draws : tally.losses)++;
            auto other = tally.pending.find(t.pair);
            if (other == tally.pending.end()) {
                tally.pending[t.pair] = firstPoints;
            } else {
                tally.pairs[size_t(other->second + firstPoints)]++;
                tally.pending.erase(other);
            }
            printScore(s, t.opponent, tally, bounds);
            if (s.sprt && opponents == 1 && !stop) {
                double llr = sprtLlr(tally.pairs, s.elo0, s.elo1);
                if (llr >= bounds.upper) verdict = "H1 accepted";
                else if (llr <= bounds.lower) verdict = "H0 accepted";
                if (!verdict.empty()) stop = true;
            }
            busy = true;  // the board is free: give it the next game at once
        }
        // Once the test has decided, the games under way are not waited for.
        if (stop) break;
        bool any = false, free = false;
        for (auto& slot : slots) {
            any = any || slot->busy();
            free = free || (!slot->busy() && nextTask < totalTasks);
        }
        if (!any && nextTask >= totalTasks) break;
        if (free || (busy && !any)) continue;  // a board to give a game to before waiting
        std::vector<int> fds;
        int64_t wake = 0;
        for (auto& slot : slots) {
            slot->seatFds(fds);
            int64_t d = slot->nextDeadline();
            if (d && (wake == 0 || d < wake)) wake = d;
        }
        std::vector<pollfd> pfds;
        for (int fd : fds) pfds.push_back(pollfd{fd, POLLIN, 0});
        int64_t timeout = 1000;
        if (wake) timeout = std::clamp<int64_t>(wake - nowMs(), 0, 1000);
        poll(pfds.data(), pfds.size(), int(timeout));
    }

    for (auto& slot : slots) slot->shutdown();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (auto& slot : slots) slot->killAll();

    std::printf("\nFinished: %d games%s\n", finished, gInterrupted ? " (interrupted)" : "");
    for (int o = 1; o <= opponents; o++) printScore(s, o, tallies[size_t(o)], bounds);
    if (s.sprt) std::printf("SPRT: %s\n", verdict.empty() ? "no decision" : verdict.c_str());
    for (size_t e = 0; e < s.engines.size(); e++) {
        std::printf("%s:", s.engines[e].name.c_str());
        for (int f = 0; f < F_COUNT; f++)
            std::printf(" %lld %s%s", (long long)faults[e][size_t(f)], kFaultNames[f], f + 1 < F_COUNT ? "," : "\n");
    }
    std::fflush(stdout);
    return gInterrupted ? 130 : status;
}
