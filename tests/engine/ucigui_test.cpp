// A whole game as tournament managers play it over UCI, pondering on: the
// handshake, isready, ucinewgame, the full move list before every go, both
// clocks with increments, go ponder answered by ponderhit or by stop, and a
// stop to move now. Every line the engine writes is checked against the
// protocol.
#include <gtest/gtest.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "engine_process.h"

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper((unsigned char)c));
    return s;
}

bool isNumber(const std::string& s, bool sign) {
    size_t i = sign && !s.empty() && s[0] == '-' ? 1 : 0;
    return i < s.size() && s.find_first_not_of("0123456789", i) == std::string::npos;
}

// Plays a UCI move text on g; false when it is not a legal move there.
bool playOnce(Game& g, const std::string& text) {
    if (text.size() < 4 || text.size() > 5) return false;
    if (text.size() == 5 && std::string("qrbn").find(text[4]) == std::string::npos) return false;
    std::string t = upper(text);
    uint32_t m = parseMove(&t[0], g.sideToMove);
    if (m == 0) return false;
    int code = makeMove(g, m);
    return code >= 0 && code != 1;
}

// The game as the GUI keeps it: the move list it sends.
struct GuiGame {
    std::vector<std::string> moves;
    Game position() const {
        Game g;
        newGame(g);
        listMoves(g);
        for (const std::string& m : moves) EXPECT_TRUE(playOnce(g, m)) << m;
        return g;
    }
    std::string positionCommand(const std::string& extra = "") const {
        std::string line = "position startpos";
        if (!moves.empty() || !extra.empty()) line += " moves";
        for (const std::string& m : moves) line += " " + m;
        if (!extra.empty()) line += " " + extra;
        return line;
    }
};

// Checks one "info" line of a search of searched; "" when it is sound, else what is wrong.
std::string checkInfo(const std::string& line, const Game& searched) {
    std::istringstream in(line.substr(5));
    std::string key;
    bool any = false;
    while (in >> key) {
        any = true;
        if (key == "string") return "";  // free text to the end
        if (key == "depth" || key == "seldepth" || key == "time" || key == "nodes" || key == "nps" ||
            key == "multipv" || key == "hashfull" || key == "tbhits" || key == "currmovenumber") {
            std::string v;
            if (!(in >> v) || !isNumber(v, false)) return key + " without a number";
        } else if (key == "score") {
            std::string kind, v;
            if (!(in >> kind >> v) || (kind != "cp" && kind != "mate") || !isNumber(v, true)) return "malformed score";
            std::streampos at = in.tellg();
            std::string bound;
            if (in >> bound && bound != "lowerbound" && bound != "upperbound") {
                in.clear();
                in.seekg(at);
            }
        } else if (key == "currmove") {
            std::string m;
            Game g = searched;
            if (!(in >> m) || !playOnce(g, m)) return "currmove not a legal move: " + m;
        } else if (key == "pv") {
            Game g = searched;
            int n = 0;
            for (std::string m; in >> m; n++)
                if (!playOnce(g, m)) return "pv move " + std::to_string(n + 1) + " not legal: " + m;
            if (n == 0) return "empty pv";
            return "";
        } else {
            return "unknown field " + key;
        }
    }
    return any ? "" : "empty info line";
}

class Gui {
public:
    explicit Gui(EngineProcess& engine) : e(engine) {}

    // Reads to the bestmove of the search of searched, checking each line.
    std::string awaitBestmove(const Game& searched, int timeoutMs) {
        std::string line;
        while (e.readLine(line, timeoutMs)) {
            if (line.compare(0, 5, "info ") == 0) {
                std::string fault = checkInfo(line, searched);
                EXPECT_EQ(fault, "") << line;
                continue;
            }
            std::istringstream in(line);
            std::string word, move, ponderWord, reply, extra;
            in >> word >> move;
            EXPECT_EQ(word, "bestmove") << "unexpected line: " << line;
            if (word != "bestmove") continue;
            bestmoves++;
            Game g = searched;
            if (searched.result != 0) {
                EXPECT_EQ(line, "bestmove 0000");  // the null move: the game has ended
                return move;
            }
            EXPECT_TRUE(playOnce(g, move)) << line;
            if (in >> ponderWord) {
                EXPECT_EQ(ponderWord, "ponder") << line;
                EXPECT_TRUE(in >> reply && playOnce(g, reply)) << line;
                EXPECT_FALSE(in >> extra) << line;
                ponderMove = reply;
            } else {
                ponderMove.clear();
            }
            return move;
        }
        ADD_FAILURE() << "no bestmove within " << timeoutMs << " ms";
        return "";
    }
    // isready answered with readyok, nothing else in between but info lines.
    void ready(const Game& searched) {
        e.send("isready");
        std::string line;
        while (e.readLine(line, 5000)) {
            if (line == "readyok") return;
            EXPECT_EQ(line.compare(0, 5, "info "), 0) << "unexpected line: " << line;
            EXPECT_EQ(checkInfo(line, searched), "") << line;
        }
        ADD_FAILURE() << "no readyok";
    }
    void go(const std::string& how) {
        e.send(how);
        gos++;
    }

    EngineProcess& e;
    int gos = 0, bestmoves = 0;
    std::string ponderMove;
};

}  // namespace

TEST(UciGui, WholeGameWithPonderingFollowsTheProtocol) {
    EngineProcess e;
    Gui gui(e);
    e.send("uci");
    bool name = false, author = false;
    std::string line;
    while (e.readLine(line, 3000) && line != "uciok") {
        if (line.compare(0, 8, "id name ") == 0) name = true;
        else if (line.compare(0, 10, "id author ") == 0) author = true;
        else {
            ASSERT_EQ(line.compare(0, 12, "option name "), 0) << line;
            size_t type = line.find(" type ");
            ASSERT_NE(type, std::string::npos) << line;
            std::string rest = line.substr(type + 6);
            bool known = rest == "button" || rest == "check default false" || rest == "check default true" ||
                         rest.compare(0, 14, "string default") == 0 || rest.compare(0, 14, "combo default ") == 0;
            long a, b, c;
            if (rest.compare(0, 5, "spin ") == 0)
                known = std::sscanf(rest.c_str(), "spin default %ld min %ld max %ld", &a, &b, &c) == 3;
            EXPECT_TRUE(known) << line;
        }
    }
    ASSERT_EQ(line, "uciok");
    EXPECT_TRUE(name && author);

    GuiGame gameRecord;
    e.send("setoption name Ponder value true");
    e.send("setoption name Hash value 16");
    gui.ready(gameRecord.position());
    e.send("ucinewgame");
    gui.ready(gameRecord.position());

    std::mt19937 rng(2024);
    int clock[2] = {8000, 8000};
    const int INC = 100;
    auto timeArgs = [&] {
        return " wtime " + std::to_string(clock[0]) + " btime " + std::to_string(clock[1]) + " winc " +
               std::to_string(INC) + " binc " + std::to_string(INC);
    };
    int hits = 0, misses = 0;
    bool pondering = false;  // a "go ponder" on the engine's expected reply runs
    std::string expected;
    for (int ply = 0; ply < 40; ply++) {
        Game now = gameRecord.position();
        if (now.result != 0) break;
        // The engine's move (White): a ponder hit turns the running search
        // into this one; else a fresh go with the whole move list.
        auto start = std::chrono::steady_clock::now();
        std::string move;
        if (pondering) {
            e.send("ponderhit");
            move = gui.awaitBestmove(now, 20000);
        } else {
            e.send(gameRecord.positionCommand());
            gui.go("go" + timeArgs());
            if (ply == 10) {
                // Move now: the GUI's stop during a timed search.
                usleep(20000);
                e.send("stop");
            }
            if (ply == 6) gui.ready(now);
            move = gui.awaitBestmove(now, 20000);
        }
        pondering = false;
        ASSERT_FALSE(move.empty()) << "ply " << ply;
        int used = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        clock[0] += INC - used;
        ASSERT_GT(clock[0], 0) << "lost on time at ply " << ply;
        gameRecord.moves.push_back(move);
        Game afterEngine = gameRecord.position();
        if (afterEngine.result != 0) break;

        // Ponder on the expected reply while "the opponent" thinks.
        expected = gui.ponderMove;
        if (!expected.empty()) {
            e.send(gameRecord.positionCommand(expected));
            gui.go("go ponder" + timeArgs());
            pondering = true;
        }
        usleep(50000);
        // The opponent: the expected reply half of the time, else any legal move.
        std::vector<std::string> legal;
        for (int i = 0; afterEngine.legalMoves[i]; i++) {
            if (afterEngine.legalMoves[i] & 0x8000) continue;
            char text[8];
            moveToText(afterEngine.legalMoves[i] & 0xFFFF, text);
            std::string t = text;
            for (char& c : t) c = char(std::tolower((unsigned char)c));
            legal.push_back(t);
        }
        ASSERT_FALSE(legal.empty());
        std::string reply = !expected.empty() && rng() % 2 == 0 ? expected : legal[rng() % legal.size()];
        if (pondering && reply != expected) {
            // A miss: the ponder search is stopped and answers once, for the
            // position it searched, before the real search starts.
            e.send("stop");
            Game ponderPosition = afterEngine;
            ASSERT_TRUE(playOnce(ponderPosition, expected));
            gui.awaitBestmove(ponderPosition, 5000);
            pondering = false;
            misses++;
        } else if (pondering) {
            hits++;
        }
        gameRecord.moves.push_back(reply);
    }
    if (pondering) {
        e.send("stop");
        Game g = gameRecord.position();
        gui.awaitBestmove(g, 5000);
    }
    gui.ready(gameRecord.position());
    EXPECT_EQ(gui.gos, gui.bestmoves) << "every go gets exactly one bestmove";
    EXPECT_GT(hits, 0);
    EXPECT_GT(misses, 0);
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}
