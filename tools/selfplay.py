#!/usr/bin/env python3
"""Play fast games of a UCI engine against itself and write them as PGN.

The engine (Debian's stockfish by default) also serves as the rules oracle:
its "d" command gives the position and the checkers, "go perft 1" the legal
moves, so no chess library is needed. Openings are varied by choosing among
the engine's best few moves early in the game, from a seeded random source,
so the same arguments give the same kind of games.

    python3 tools/selfplay.py --games 200 --seed 1 --out book/games/selfplay.pgn

For book games only the opening matters: --nodes searches a fixed node count
(steadier than a depth), --vary-plies and --window say how long and how
close to the best the openings vary, and --adjudicate ends a game after that
many plies with the result the engine's evaluation gives (a win beyond
--margin centipawns, else a draw), which costs far less than playing it out.
"""
import argparse
import random
import subprocess
import sys

FIRST_MOVES = ["e2e4", "d2d4", "c2c4", "g1f3", "e2e4", "d2d4", "g2g3", "b2b3"]


class Engine:
    def __init__(self, path, hash_mb):
        self.p = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, universal_newlines=True, bufsize=1)
        self.send("uci")
        self.wait("uciok")
        self.send("setoption name Threads value 1")
        self.send("setoption name Hash value %d" % hash_mb)
        self.send("setoption name MultiPV value 4")
        self.send("isready")
        self.wait("readyok")

    def send(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def wait(self, prefix):
        lines = []
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("engine ended")
            line = line.rstrip("\n")
            lines.append(line)
            if line.startswith(prefix):
                return lines

    def state(self, moves):
        """FEN, whether the side to move is in check, and the legal moves."""
        self.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
        self.send("d")
        fen, checkers = None, ""
        for line in self.wait("Checkers:"):
            if line.startswith("Fen: "):
                fen = line[5:]
        checkers = line[len("Checkers:"):].strip()
        self.send("go perft 1")
        legal = []
        for line in self.wait("Nodes searched"):
            if ": " in line and not line.startswith("Nodes"):
                legal.append(line.split(":")[0])
        return fen, bool(checkers), legal

    def candidates(self, limit):
        """(move, centipawns) of the best few moves, best first."""
        self.send("go " + limit)
        best = {}
        for line in self.wait("bestmove"):
            if not line.startswith("info") or " pv " not in line or " multipv " not in line:
                continue
            f = line.split()
            rank = int(f[f.index("multipv") + 1])
            kind, value = f[f.index("score") + 1], int(f[f.index("score") + 2])
            cp = value if kind == "cp" else (100000 - abs(value)) * (1 if value > 0 else -1)
            best[rank] = (f[f.index("pv") + 1], cp)
        return [best[k] for k in sorted(best)]

    def close(self):
        self.send("quit")
        self.p.wait()


def board_of(fen):
    squares = {}
    rows = fen.split()[0].split("/")
    for r, row in enumerate(rows):
        f = 0
        for c in row:
            if c.isdigit():
                f += int(c)
            else:
                squares["abcdefgh"[f] + str(8 - r)] = c
                f += 1
    return squares


def san(move, squares, legal):
    frm, to, promo = move[:2], move[2:4], move[4:]
    piece = squares[frm]
    kind = piece.upper()
    if kind == "K" and abs(ord(frm[0]) - ord(to[0])) == 2:
        return "O-O" if to[0] == "g" else "O-O-O"
    capture = to in squares
    if kind == "P":
        text = (frm[0] + "x" if frm[0] != to[0] else "") + to
        if promo:
            text += "=" + promo.upper()
        return text
    rivals = [m[:2] for m in legal if m[2:4] == to and m[:2] != frm and squares.get(m[:2]) == piece]
    hint = ""
    if rivals:
        if all(r[0] != frm[0] for r in rivals):
            hint = frm[0]
        elif all(r[1] != frm[1] for r in rivals):
            hint = frm[1]
        else:
            hint = frm
    return kind + hint + ("x" if capture else "") + to


def insufficient(squares):
    rest = [p.upper() for p in squares.values() if p.upper() != "K"]
    return not rest or (len(rest) == 1 and rest[0] in "NB")


def play(engine, rng, limit, max_plies, vary_plies=10, window=40, adjudicate=0, margin=75, first_moves=None):
    engine.send("ucinewgame")
    moves, sans, seen = [], [], {}
    result, why = None, None
    while True:
        fen, check, legal = engine.state(moves)
        if sans and check:
            sans[-1] += "#" if not legal else "+"
        if not legal:
            if check:
                result = "0-1" if fen.split()[1] == "w" else "1-0"
                why = "checkmate"
            else:
                result, why = "1/2-1/2", "stalemate"
            break
        key = " ".join(fen.split()[:4])
        seen[key] = seen.get(key, 0) + 1
        squares = board_of(fen)
        if seen[key] >= 3:
            result, why = "1/2-1/2", "repetition"
        elif int(fen.split()[4]) >= 100:
            result, why = "1/2-1/2", "fifty moves"
        elif insufficient(squares):
            result, why = "1/2-1/2", "insufficient material"
        elif len(moves) >= max_plies:
            result, why = "1/2-1/2", "adjudicated at %d plies" % max_plies
        elif adjudicate and len(moves) >= adjudicate:
            cp = engine.candidates(limit)[0][1]  # for the side to move
            white = cp if fen.split()[1] == "w" else -cp
            result = "1-0" if white > margin else "0-1" if white < -margin else "1/2-1/2"
            why = "evaluated %+d at %d plies" % (white, len(moves))
        if result:
            break
        if not moves and (first_moves or not adjudicate):
            # The engine's own first choice hardly varies: a list covers more openings.
            move = rng.choice(first_moves or FIRST_MOVES)
        else:
            cands = engine.candidates(limit)
            if len(moves) < vary_plies:
                # Early on, any move close to the best keeps the openings varied.
                near = [m for m, cp in cands if cp >= cands[0][1] - window]
                move = rng.choice(near)
            else:
                move = cands[0][0]
        sans.append(san(move, squares, legal))
        moves.append(move)
    return sans, result, why


def write_game(out, number, sans, result, why, player):
    out.write('[Event "Velmora self-play"]\n[Site "local"]\n[Date "????.??.??"]\n')
    out.write('[Round "%d"]\n[White "stockfish %s"]\n[Black "stockfish %s"]\n' % (number, player, player))
    out.write('[Result "%s"]\n[Termination "%s"]\n\n' % (result, why))
    words = []
    for i, s in enumerate(sans):
        words.append(("%d. " % (i // 2 + 1) if i % 2 == 0 else "") + s)
    words.append(result)
    line = ""
    for w in words:
        if len(line) + len(w) + 1 > 79:
            out.write(line.rstrip() + "\n")
            line = ""
        line += w + " "
    out.write(line.rstrip() + "\n\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--engine", default="/usr/games/stockfish")
    ap.add_argument("--games", type=int, default=200)
    ap.add_argument("--depth", type=int, default=6)
    ap.add_argument("--max-plies", type=int, default=200)
    ap.add_argument("--nodes", type=int, default=0, help="search this many nodes a move instead of --depth")
    ap.add_argument("--vary-plies", type=int, default=10)
    ap.add_argument("--window", type=int, default=40, help="centipawns from the best a varied move may be")
    ap.add_argument("--adjudicate", type=int, default=0, help="end games after this many plies by evaluation")
    ap.add_argument("--margin", type=int, default=75, help="centipawns an adjudicated win needs")
    ap.add_argument("--first-moves", default="", help="comma-separated first moves to draw from")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="-")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    engine = Engine(args.engine, 16)
    out = sys.stdout if args.out == "-" else open(args.out, "w")
    for n in range(1, args.games + 1):
        limit = "nodes %d" % args.nodes if args.nodes else "depth %d" % args.depth
        sans, result, why = play(engine, rng, limit, args.max_plies, args.vary_plies, args.window,
                                 args.adjudicate, args.margin, [m for m in args.first_moves.split(",") if m])
        write_game(out, n, sans, result, why, limit)
        out.flush()
        print("game %d: %s (%s, %d plies)" % (n, result, why, len(sans)), file=sys.stderr)
    engine.close()
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
