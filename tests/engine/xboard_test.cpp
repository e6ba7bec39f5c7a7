// The xboard protocol as interfaces and tournament managers use it, with
// the engine run as a child process.
#include <gtest/gtest.h>
#include <unistd.h>
#include <chrono>
#include <cstring>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "board/game.h"
#include "board/notation.h"
#include "engine/session.h"
#include "engine/xboard.h"
#include "engine_process.h"
#include "replies.h"
#include "filetest_util.h"

namespace {

// The initial position, with moves written as the engine writes them.
Game startingGame() {
    selectEnglishLetters();
    Game g;
    newGame(g);
    listMoves(g);
    return g;
}

// Plays a variation in SAN from g's position as an interface reads it; false
// at the first move that is not legal there ("Impossible move"). Fail-high
// and fail-low marks carry no move.
bool sanLineLegal(Game g, const std::string& line, std::string& bad) {
    std::istringstream words(line);
    std::string w;
    while (words >> w) {
        if (w == "!" || w == "?") continue;
        Board b;
        copyToBoard(g, b);
        std::string t = w;
        uint32_t m = parseSan(&t[0], g.sideToMove, g.legalMoves, b);
        if (m == 0 || g.result != 0) {
            bad = w;
            return false;
        }
        int code = makeMove(g, m);
        if (code < 0 || code == 1) {
            bad = w;
            return false;
        }
    }
    return true;
}

struct Thinking {
    int depth = 0, score = 0;
    long nodes = 0;
    std::string variation;
};

// A thinking line: "depth score centiseconds nodes<TAB>variation".
bool parseThinking(const std::string& line, Thinking& t) {
    static const std::regex form("^(\\d+) +(-?\\d+) +(\\d+) +(\\d+)\t(.*)$");
    std::smatch m;
    if (!std::regex_match(line, m, form)) return false;
    t.depth = std::stoi(m[1]);
    t.score = std::stoi(m[2]);
    t.nodes = std::stol(m[4]);
    t.variation = m[5];
    return true;
}

// Reads lines until "pong n"; returns them (the pong excluded), or fails.
std::vector<std::string> linesUntilPong(EngineProcess& e, int n, int timeoutMs = 5000) {
    std::vector<std::string> got;
    std::string line;
    const std::string pong = "pong " + std::to_string(n);
    e.send("ping " + std::to_string(n));
    while (e.readLine(line, timeoutMs)) {
        if (line == pong) return got;
        got.push_back(line);
    }
    ADD_FAILURE() << "no " << pong;
    return got;
}

// Where the engines run: no book, configuration or log of anyone's.
const std::string& emptyDir() {
    static TempDir dir;
    return dir.path;
}

// The engine as an interface starts it, in emptyDir.
struct XboardEngine : EngineProcess {
    XboardEngine() : EngineProcess("", VELMORA_BINARY, emptyDir()) {}
};

EngineResult run(const std::string& script) { return runEngine(script, "", emptyDir()); }

std::string sourceRoot() { return std::string(VELMORA_SOURCE_DIR) + "/"; }

}  // namespace

// Command words match whole, in both protocols: GOODBYE is no GO, TIMEX no TIME.
TEST(Xboard, CommandWordsMatchWhole) {
    EngineResult r = run("new\ngoodbye\ngolf 1\npingx 2\ntimex 5\nlevelx 1 2 3\nforcefully\nping 3\n");
    EXPECT_EQ(r.out,
              "Error (unknown command): GOODBYE\nError (unknown command): GOLF 1\n"
              "Error (unknown command): PINGX 2\nError (unknown command): TIMEX 5\n"
              "Error (unknown command): LEVELX 1 2 3\nError (unknown command): FORCEFULLY\npong 3\n");
    // The words themselves, with their arguments, still act.
    XboardEngine e;
    e.send("ping");
    e.send("ping 4");
    e.send("level 40 5 0");
    e.send("new");
    e.send("force");
    e.send("go");
    std::string line;
    ASSERT_TRUE(e.readLine(line, 3000));
    EXPECT_EQ(line, "pong");
    ASSERT_TRUE(e.readLine(line, 3000));
    EXPECT_EQ(line, "pong 4");
    EXPECT_FALSE(e.waitFor("move ", 5000).empty());
    r = run("uci\nisready\ngoodbye\nisready\n");
    EXPECT_EQ(r.out.find("bestmove"), std::string::npos) << r.out;
}

// The feature lines announce what the engine does, done=1 last; every option
// announced is taken back by "option NAME=VALUE" without a word.
TEST(Xboard, FeaturesAndTheirOptions) {
    EngineResult r = run("xboard\nprotover 2\n");
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 2u);
    std::string all;
    std::vector<std::string> options;
    for (const std::string& l : lines) {
        ASSERT_EQ(l.compare(0, 8, "feature "), 0) << l;
        all += " " + l.substr(8);
        static const std::regex option("option=\"([^\"]*) -(check|file|spin|string|button)[^\"]*\"");
        for (std::sregex_iterator it(l.begin(), l.end(), option), end; it != end; ++it)
            options.push_back((*it)[1].str() + "|" + (*it)[2].str());
    }
    for (const char* f : {"ping=1", "setboard=1", "analyze=1", "sigint=0", "colors=0", "playother=1", "time=1",
                          "myname=\"Velmora 4.0\""})
        EXPECT_NE(all.find(std::string(" ") + f), std::string::npos) << f;
    EXPECT_EQ(all.find("usermove=1"), std::string::npos);
    EXPECT_EQ(all.find("done="), all.rfind("done="));
    EXPECT_EQ(lines.back().substr(lines.back().size() - 7), " done=1");
    ASSERT_GE(options.size(), 2u);

    std::string script;
    for (const std::string& o : options) {
        std::string name = o.substr(0, o.find('|')), type = o.substr(o.find('|') + 1);
        if (type == "check") script += "option " + name + "=0\n";
        else if (type == "file") script += "option " + name + "=" + sourceRoot() + "Mini.bo2\n";
        else script += "option " + name + "=1\n";
    }
    r = run(script + "protover 2\nping 1\n");
    EXPECT_NE(r.out.find("RESIGN -check 0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("USE BOOK -check 0"), std::string::npos);
    EXPECT_NE(r.out.find("BOOK FILE -file " + sourceRoot() + "Mini.bo2\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Error"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 7), "pong 1\n");
    // A book file that cannot be opened is said so; the value keeps its case.
    r = run("option BOOK FILE=/no/Such.bin\n");
    EXPECT_EQ(r.out, "tellusererror Cannot open the book file /no/Such.bin\n");
}

// What xboard and managers send that needs no answer is taken without one.
TEST(Xboard, AnnouncementsAreAccepted) {
    EngineResult r =
        run("xboard\nprotover 2\naccepted ping\nrejected usermove\nnew\nrandom\ncomputer\nrating 2100 1900\n"
            "name Someone Else\nics -\nnps 0\nvariant normal\nwhite\nblack\nresult 1-0 {White mates}\nping 1\n");
    EXPECT_EQ(r.out.substr(r.out.find("done=1") + 7), "pong 1\n");
    r = run("variant crazyhouse\n");
    EXPECT_EQ(r.out, "Error (variant not supported): CRAZYHOUSE\n");
}

// LEVEL reads the increment in seconds with fractions, and skips what a later
// protocol appends to the time field.
TEST(Xboard, LevelIncrementsWithFractions) {
    struct Case {
        const char* line;
        int moves, base, incrementTenths;
    } cases[] = {{"LEVEL 0 0:05 0.5", 0, 5, 5}, {"LEVEL 0 2 12", 0, 120, 120},  {"LEVEL 40 25+5 0", 40, 1500, 0},
                 {"LEVEL 0 1 0.1", 0, 60, 1},   {"LEVEL 40 0:30 0", 40, 30, 0}, {"LEVEL 0 2:30 1.25", 0, 150, 13},
                 {"LEVEL 0 5 -3", 0, 300, 0},   {"LEVEL 0 5 inf", 0, 300, 0}};
    const Clocks saved = session.clocks;
    for (const Case& c : cases) {
        session.moveTimeMs = 3000;
        setTimeControl(c.line);
        EXPECT_EQ(session.clocks.movesPerPeriod, c.moves) << c.line;
        EXPECT_EQ(session.clocks.baseSeconds, c.base) << c.line;
        EXPECT_EQ(session.clocks.incrementTenths, c.incrementTenths) << c.line;
        EXPECT_EQ(session.moveTimeMs, 0) << c.line << ": a level ends a fixed time per move";
    }
    session.clocks = saved;
}

// ST is a fixed time per move, SD a depth limit until NEW, NPS counts nodes
// for time, and TIME 0 is an empty clock: the engine moves at once.
TEST(Xboard, TimeCommands) {
    XboardEngine e;
    e.send("xboard");
    e.send("new");
    e.send("level 40 60 0");  // 90 s a move on the clock below
    e.send("time 360000");
    e.send("force");
    e.send("st 1");
    auto start = std::chrono::steady_clock::now();
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    EXPECT_GT(msSince(start), 500);
    EXPECT_LT(msSince(start), 6000);  // far from the clock's 90 s, even on a loaded machine

    e.send("new");
    e.send("force");
    e.send("post");
    e.send("sd 3");
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    int deepest = 0;
    Thinking t;
    for (const std::string& l : e.lines)
        if (parseThinking(l, t)) deepest = std::max(deepest, t.depth);
    EXPECT_GE(deepest, 2);
    EXPECT_LE(deepest, 3);
    e.lines.clear();
    e.send("new");  // the depth limit ends; the second still rules
    e.send("force");
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    deepest = 0;
    for (const std::string& l : e.lines)
        if (parseThinking(l, t)) deepest = std::max(deepest, t.depth);
    EXPECT_GT(deepest, 3);

    e.lines.clear();
    e.send("new");
    e.send("force");
    e.send("nps 2000");  // one second: 2000 nodes
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    long most = 0;
    for (const std::string& l : e.lines)
        if (parseThinking(l, t)) most = std::max(most, t.nodes);
    EXPECT_GT(most, 0);
    EXPECT_LE(most, 4000);

    e.send("new");
    e.send("force");
    e.send("level 40 5 0");
    e.send("time 30000");
    e.send("time 0");
    start = std::chrono::steady_clock::now();
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    EXPECT_LT(msSince(start), 1500);  // the clock's 5 minutes would give 7.5 s
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// "." asks an analysis for its status; elsewhere it gets no answer (and never
// a status with no move in it). The moves-left count follows the root moves.
TEST(Xboard, StatusLine) {
    EngineResult r = run("new\n.\nforce\n.\nping 1\n");
    EXPECT_EQ(r.out, "pong 1\n");
    XboardEngine e;
    e.send("xboard");
    e.send("new");
    e.send("analyze");
    std::set<int> movesLeft;
    static const std::regex form("^stat01: (\\d+) (\\d+) (\\d+) (\\d+) (\\d+) ([a-h][1-8][a-h][1-8]\\w?)$");
    auto start = std::chrono::steady_clock::now();
    for (int ping = 0; movesLeft.size() < 3 && msSince(start) < 8000; ping++) {
        usleep(30000);
        e.send(".");
        // Answered once the analysis has a root move in hand.
        std::vector<std::string> lines = linesUntilPong(e, ping);
        if (lines.empty()) continue;
        ASSERT_EQ(lines.size(), 1u);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[0], m, form)) << lines[0];
        const int left = std::stoi(m[4]), total = std::stoi(m[5]);
        EXPECT_EQ(total, 20);
        EXPECT_GE(left, 0);
        EXPECT_LT(left, total);
        EXPECT_NE(m[6].str(), "a1a1");
        movesLeft.insert(left);
    }
    EXPECT_GE(movesLeft.size(), 3u);
    e.send("exit");
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// In analyse mode a new position, by SETBOARD or EDIT, is analysed at once.
TEST(Xboard, AnalysisFollowsNewPositions) {
    XboardEngine e;
    e.send("xboard");
    e.send("post");
    e.send("new");
    e.send("analyze");
    ASSERT_FALSE(e.waitFor("3 ", 5000).empty());
    // White mates at once with Qa8.
    e.send("setboard 6k1/5ppp/8/8/8/8/8/Q5K1 w - - 0 1");
    Thinking t;
    std::string line;
    bool mate = false;
    while (!mate && e.readLine(line, 5000))
        mate = parseThinking(line, t) && t.score == 100001 && t.variation.compare(0, 3, "Qa8") == 0;
    EXPECT_TRUE(mate) << "no mate found after setboard";
    // And with Qb8 in the edited one.
    e.send("edit");
    e.send("#");
    e.send("Kg1");
    e.send("Qb1");
    e.send("c");
    e.send("Kg8");
    e.send("Pf7");
    e.send("Pg7");
    e.send("Ph7");
    e.send(".");
    mate = false;
    const auto start = std::chrono::steady_clock::now();
    while (!mate && msSince(start) < 5000 && e.readLine(line, 5000))
        mate = parseThinking(line, t) && t.variation.compare(0, 3, "Qb8") == 0 && t.score == 100001;
    EXPECT_TRUE(mate) << "no mate found after edit";
    e.send("exit");
    std::vector<std::string> after = linesUntilPong(e, 9);
    e.send("quit");
    EXPECT_EQ(e.waitExit(2000), 0);
}

// With pondering on, the engine names the move it ponders on ("Hint:") before
// its first ponder line, and every ponder line reads from the position the
// interface shows: it starts with that move, and all its moves are legal.
TEST(Xboard, PonderOutputReadsFromTheShownPosition) {
    XboardEngine e;
    e.send("xboard");
    e.send("protover 2");
    e.send("new");
    e.send("hard");
    e.send("post");
    e.send("option USE BOOK=0");
    e.send("level 0 0:20 0.5");
    Game g = startingGame();
    std::mt19937 rng(7);
    int hinted = 0;
    std::string lastHint;
    for (int turn = 0; turn < 4; turn++) {
        std::vector<uint32_t> legal;
        for (int i = 0; g.legalMoves[i]; i++)
            if (!(g.legalMoves[i] & MOVE_ILLEGAL)) legal.push_back(g.legalMoves[i] & 0xFFFF);
        char text[8];
        moveToText(legal[rng() % legal.size()], text);
        e.send("time 2000");
        e.send("otim 2000");
        e.send(text);
        ASSERT_TRUE(playIfLegal(g, text));
        std::string reply = e.waitFor("move ", 10000);
        ASSERT_FALSE(reply.empty());
        ASSERT_TRUE(playIfLegal(g, reply.substr(5))) << reply;
        usleep(500000);  // let it ponder
        std::string hintSan;
        lastHint.clear();
        for (const std::string& l : linesUntilPong(e, turn)) {
            Thinking t;
            if (l.compare(0, 6, "Hint: ") == 0) {
                ASSERT_TRUE(hintSan.empty()) << l;
                std::string move = l.substr(6);
                for (char& c : move) c = char(std::toupper((unsigned char)c));
                Board b;
                copyToBoard(g, b);
                moveToSan(hintSan, parseMove(&move[0], g.sideToMove), g.legalMoves, b);
                ASSERT_FALSE(hintSan.empty()) << l;
                hinted++;
                lastHint = l;
                continue;
            }
            ASSERT_TRUE(parseThinking(l, t)) << l;
            // No ponder line comes without its hint first (the search of the
            // move itself has printed all its lines before the move).
            ASSERT_FALSE(hintSan.empty()) << l;
            EXPECT_EQ(t.variation.compare(0, hintSan.size(), hintSan), 0) << hintSan << "| " << l;
            std::string bad;
            EXPECT_TRUE(sanLineLegal(g, t.variation, bad)) << "impossible move " << bad << " in " << l;
        }
    }
    EXPECT_GE(hinted, 2);
    // HINT names the pondered move while the engine ponders.
    if (!lastHint.empty()) {
        e.send("hint");
        EXPECT_EQ(e.waitFor("Hint: ", 3000), lastHint);
    }
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

// BK lists a Polyglot book's moves too, each legal, with its share of the weights.
TEST(Xboard, BookListingReadsPolyglotBooks) {
    const std::string book = sourceRoot() + "tests/book/data/selfplay.bin";
    if (access(book.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << book;
    EngineResult r = run("new\noption BOOK FILE=" + book + "\nbk\nping 1\n");
    std::istringstream in(r.out);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    Game g = startingGame();
    size_t i = 0;
    int share = 0;
    for (; i < lines.size() && !lines[i].empty(); i++) {
        ASSERT_EQ(lines[i][0], '\t') << r.out;
        const size_t tab = lines[i].find('\t', 1);
        std::string bad;
        EXPECT_TRUE(sanLineLegal(g, lines[i].substr(1, tab - 1), bad)) << lines[i];
        share += std::atoi(lines[i].c_str() + tab + 1);
    }
    EXPECT_GT(i, 0u) << r.out;
    EXPECT_GT(share, 90) << r.out;
    EXPECT_LE(share, 100) << r.out;
}

// HINT, BK and DRAW: a move suggested, the book shown as an indented block
// ended by an empty line, a draw offer taken when the engine stands worse.
TEST(Xboard, HintBookAndDrawOffers) {
    // No expectation yet and no book: nothing to suggest.
    EngineResult r = run("new\nhint\nbk\nping 1\n");
    EXPECT_EQ(r.out, "\tno book file\n\npong 1\n");

    // The source tree's small book.
    const std::string root = sourceRoot();
    if (access((root + "Mini.bo2").c_str(), R_OK) != 0) GTEST_SKIP() << "no Mini.bo2 in " << root;
    r = runEngine("new\nbk\nforce\ne2e4\nbk\nhint\nping 1\n", "", root);
    std::istringstream in(r.out);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0], "\te4\t60%");
    EXPECT_EQ(lines[1], "\td4\t40%");
    EXPECT_EQ(lines[2], "");
    Game g = startingGame();
    ASSERT_TRUE(playIfLegal(g, "e2e4"));
    size_t i = 3;
    for (; i < lines.size() && !lines[i].empty(); i++) {
        ASSERT_EQ(lines[i][0], '\t') << lines[i];
        std::string san = lines[i].substr(1, lines[i].find('\t', 1) - 1);
        std::string bad;
        EXPECT_TRUE(sanLineLegal(g, san, bad)) << lines[i];
    }
    EXPECT_GT(i, 3u);
    ASSERT_LT(i + 2, lines.size());
    EXPECT_EQ(lines[i + 1].compare(0, 6, "Hint: "), 0) << lines[i + 1];
    EXPECT_TRUE(playIfLegal(g, lines[i + 1].substr(6))) << lines[i + 1];

    // After its own move the engine suggests the reply it expects.
    XboardEngine e;
    e.send("new");
    e.send("easy");
    e.send("st 1");
    e.send("e2e4");
    std::string reply = e.waitFor("move ", 5000);
    ASSERT_FALSE(reply.empty());
    e.send("hint");
    std::string hint = e.waitFor("Hint: ", 3000);
    Game h = startingGame();
    ASSERT_TRUE(playIfLegal(h, "e2e4"));
    ASSERT_TRUE(playIfLegal(h, reply.substr(5)));
    EXPECT_TRUE(playIfLegal(h, hint.substr(6))) << hint;

    // A queen down the engine takes a draw; a queen up it says nothing.
    e.send("setboard 3qk3/8/8/8/8/8/8/4K3 w - - 0 1");
    e.send("st 0.2");
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    e.send("draw");
    EXPECT_EQ(linesUntilPong(e, 2), std::vector<std::string>{"offer draw"});
    e.send("setboard 3qk3/8/8/8/8/8/8/4K3 b - - 0 1");
    e.send("go");
    ASSERT_FALSE(e.waitFor("move ", 5000).empty());
    e.send("draw");
    EXPECT_EQ(linesUntilPong(e, 3), std::vector<std::string>{});
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

// PLAYOTHER: the engine takes the side not to move and answers the next move.
TEST(Xboard, PlayOther) {
    XboardEngine e;
    e.send("new");
    e.send("force");
    e.send("e2e4");
    e.send("playother");
    e.send("st 0.2");
    e.send("e7e5");
    std::string reply = e.waitFor("move ", 5000);
    Game g = startingGame();
    ASSERT_TRUE(playIfLegal(g, "e2e4"));
    ASSERT_TRUE(playIfLegal(g, "e7e5"));
    EXPECT_TRUE(playIfLegal(g, reply.substr(5))) << reply;
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}

// A whole game as xboard or a tournament manager plays it: handshake,
// new, level with an increment, post, hard, clocks before every move, pings,
// and the result. Every reply is checked: feature lines, pongs in order,
// legal moves, hints and thinking lines that read from the shown position.
TEST(Xboard, ScriptedTournamentGame) {
    XboardEngine e;
    e.send("xboard");
    e.send("protover 2");
    std::string line;
    std::vector<std::string> features;
    while (e.readLine(line, 3000)) {
        ASSERT_EQ(line.compare(0, 8, "feature "), 0) << line;
        features.push_back(line);
        if (line.find("done=1") != std::string::npos) break;
    }
    ASSERT_FALSE(features.empty());
    e.send("accepted myname");
    e.send("accepted done");
    e.send("new");
    e.send("random");
    e.send("level 0 0:03 0.1");
    e.send("post");
    e.send("hard");
    e.send("option USE BOOK=0");
    e.send("computer");
    e.send("name Opponent");
    EXPECT_TRUE(linesUntilPong(e, 1000).empty());

    Game g = startingGame();
    std::mt19937 rng(2024);
    int engineClock = 300, ping = 1;  // centiseconds
    std::string result;
    for (int moveNumber = 0; moveNumber < 100 && result.empty(); moveNumber++) {
        // The manager's move: random among the legal ones.
        std::vector<uint32_t> legal;
        for (int i = 0; g.legalMoves[i]; i++)
            if (!(g.legalMoves[i] & MOVE_ILLEGAL)) legal.push_back(g.legalMoves[i] & 0xFFFF);
        ASSERT_FALSE(legal.empty());
        char text[8];
        moveToText(legal[rng() % legal.size()], text);
        for (char* p = text; *p; p++) *p = char(std::tolower((unsigned char)*p));
        e.send("time " + std::to_string(engineClock));
        e.send("otim 300");
        const Game before = g;
        ASSERT_TRUE(playIfLegal(g, text));
        auto start = std::chrono::steady_clock::now();
        e.send(text);
        if (g.result != 0) break;  // we mated or stalemated it
        // Lines up to the engine's move read from the position after ours,
        // or, when the ponder search had not yet stopped, from the one before.
        std::string reply;
        while (reply.empty() && e.readLine(line, 5000)) {
            Thinking t;
            std::string bad;
            if (line.compare(0, 5, "move ") == 0) reply = line.substr(5);
            else if (!parseThinking(line, t)) ADD_FAILURE() << "unexpected: " << line;
            else if (!sanLineLegal(g, t.variation, bad) && !sanLineLegal(before, t.variation, bad))
                ADD_FAILURE() << "impossible " << bad << " in " << line;
        }
        ASSERT_FALSE(reply.empty()) << "no move after " << text;
        engineClock = std::max(0, engineClock - int(msSince(start) / 10)) + 10;
        ASSERT_TRUE(playIfLegal(g, reply)) << reply;
        // Then a result line (if the move ended the game), the hint, and the
        // ponder lines, which start from the position after the hint.
        std::vector<std::string> after;
        const auto moved = std::chrono::steady_clock::now();
        while (g.result == 0 && msSince(moved) < 2000 && e.readLine(line, 2000)) {
            after.push_back(line);
            if (line.compare(0, 6, "Hint: ") == 0) break;
        }
        for (const std::string& l : linesUntilPong(e, ping++)) after.push_back(l);
        Game pondered = g;
        bool hinted = false;
        for (const std::string& l : after) {
            Thinking t;
            if (l.compare(0, 6, "Hint: ") == 0) {
                EXPECT_FALSE(hinted) << l;
                hinted = true;
                EXPECT_TRUE(playIfLegal(pondered, l.substr(6))) << l;
            } else if (parseThinking(l, t)) {
                std::string bad;
                EXPECT_TRUE(hinted) << "a ponder line before the hint: " << l;
                EXPECT_TRUE(sanLineLegal(g, t.variation, bad)) << "impossible " << bad << " in " << l;
            } else if (l == "1-0 {White mates}" || l == "0-1 {Black mates}" || l.compare(0, 8, "1/2-1/2 ") == 0) {
                result = l;
            } else {
                ADD_FAILURE() << "unexpected: " << l;
            }
        }
    }
    e.send(result.empty() ? "result 1/2-1/2 {adjudicated}" : "result " + result);
    EXPECT_TRUE(linesUntilPong(e, 9999).empty());
    e.send("quit");
    EXPECT_EQ(e.waitExit(3000), 0);
}
