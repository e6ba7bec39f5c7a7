#!/usr/bin/env python3
"""Judge an opening book by where it leaves the game.

Velmora plays both sides from the initial position with the book given, the
way it plays a game (its own weighted choice), until a move comes from the
search instead of the book; Debian's stockfish then scores that exit
position at a fixed depth. A sound book leaves White a little better and
neither side lost: the report gives the mean exit score from White's side,
the share of exits where either side is a pawn or more down, the mean
number of book plies, and the worst lines for each colour.

    python3 tools/bookcheck.py --book Mini.bo2 --walks 300
"""
import argparse
import collections
import statistics

from selfplay import Engine  # the UCI wrapper


class Player(Engine):
    """Velmora in UCI mode, asked for one move at a time."""

    def __init__(self, path, book):
        super().__init__(path, 16)
        self.send("setoption name MultiPV value 1")
        self.send("setoption name OwnBook value true")
        self.send("setoption name BookFile value " + book)

    def bookMove(self, moves):
        """The book's move here, or None once the search answers."""
        self.send("position startpos" + (" moves " + " ".join(moves) if moves else ""))
        self.send("go depth 1")
        lines = self.wait("bestmove")
        infos = [l.split() for l in lines if l.startswith("info") and " pv " in l]
        # A book answer is one line without a depth: nothing was searched.
        if infos and "depth" not in infos[-1]:
            return lines[-1].split()[1]
        return None


def exitScore(judge, moves, depth):
    judge.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
    judge.send("go depth %d" % depth)
    score = 0
    for line in judge.wait("bestmove"):
        w = line.split()
        if "score" in w and ("multipv" not in w or w[w.index("multipv") + 1] == "1"):
            i = w.index("score")
            score = int(w[i + 2]) if w[i + 1] == "cp" else (10000 if int(w[i + 2]) > 0 else -10000)
    # stockfish scores for the side to move
    return score if len(moves) % 2 == 0 else -score


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--book", required=True)
    ap.add_argument("--engine", default="build/velmora")
    ap.add_argument("--judge", default="/usr/games/stockfish")
    ap.add_argument("--walks", type=int, default=300)
    ap.add_argument("--depth", type=int, default=14)
    ap.add_argument("--worst", type=int, default=5, help="lines shown for each colour")
    args = ap.parse_args()

    player = Player(args.engine, args.book)
    exits = collections.Counter()
    for _ in range(args.walks):
        player.send("ucinewgame")
        moves = []
        while len(moves) < 60:
            m = player.bookMove(moves)
            if m is None:
                break
            moves.append(m)
        exits[tuple(moves)] += 1
    player.close()

    judge = Engine(args.judge, 16)
    judge.send("setoption name MultiPV value 1")
    scores = {line: exitScore(judge, list(line), args.depth) for line in exits}
    judge.send("quit")

    walked = [(scores[l], len(l)) for l, n in exits.items() for _ in range(n)]
    values = [s for s, _ in walked]
    print("book %s: %d walks, %d distinct exits" % (args.book, args.walks, len(exits)))
    print("book plies: mean %.1f, median %d" % (statistics.mean(p for _, p in walked),
                                                statistics.median(p for _, p in walked)))
    print("exit score (White's side, cp): mean %+.1f, median %+d" % (statistics.mean(values),
                                                                    statistics.median(values)))
    print("exits with White down 100 cp or more: %.1f%%; Black down 100 cp or more: %.1f%%" %
          (100.0 * sum(v <= -100 for v in values) / len(values),
           100.0 * sum(v >= 100 for v in values) / len(values)))
    ranked = sorted(scores.items(), key=lambda kv: kv[1])
    print("worst for White:")
    for line, s in ranked[:args.worst]:
        print("  %+5d  %s" % (s, " ".join(line)))
    print("worst for Black:")
    for line, s in reversed(ranked[-args.worst:]):
        print("  %+5d  %s" % (s, " ".join(line)))


if __name__ == "__main__":
    main()
