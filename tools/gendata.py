#!/usr/bin/env python3
"""Generate quiet positions labelled with game results, for tools/tune.

Plays games of a UCI engine against itself (Debian's stockfish at a fixed node
count by default, through tools/selfplay.py's engine driver, which also serves
as the rules oracle) and writes one line per kept position:

    FEN | result        result 1.0, 0.5 or 0.0 from White's view

A position is kept when it comes after the opening plies (--skip-plies), the
side to move is not in check, and the move the engine plays from it is neither
a capture nor a promotion: the static evaluation then says about what the
quiescence search says, which is what the tuner fits. Of those, a share
(--keep) is taken at random, so that one game does not give many near
copies; a position seen before in the run is skipped. The early plies choose
among the engine's best few moves (as selfplay.py does) so that games differ.

    python3 tools/gendata.py --games 20000 --nodes 5000 --seed 1 --out /tmp/tune-data.txt

A game gives about 50 positions in about a second at 5000 nodes: a million
positions take some 20000 games. Runs with different seeds (one per core) can
be concatenated. Commit no large data set: only the small sample
tools/tune-sample.txt, made by

    python3 tools/gendata.py --games 40 --nodes 5000 --seed 7 --out tools/tune-sample.txt
"""
import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from selfplay import Engine, FIRST_MOVES, board_of, insufficient  # noqa: E402

RESULT_VALUE = {"1-0": "1.0", "0-1": "0.0", "1/2-1/2": "0.5"}


def is_quiet_move(move, squares):
    """Neither a capture (en passant included) nor a promotion."""
    frm, to = move[:2], move[2:4]
    if len(move) > 4 or to in squares:
        return False
    piece = squares.get(frm, "")
    return not (piece.upper() == "P" and frm[0] != to[0])


def play_game(engine, rng, limit, args):
    """Plays one game; returns (positions [(fen, quiet)], result text, plies)."""
    engine.send("ucinewgame")
    engine.send("setoption name MultiPV value 4")
    moves, seen, positions = [], {}, []
    while True:
        fen, check, legal = engine.state(moves)
        if not legal:
            return positions, ("0-1" if fen.split()[1] == "w" else "1-0") if check else "1/2-1/2", len(moves)
        key = " ".join(fen.split()[:4])
        seen[key] = seen.get(key, 0) + 1
        squares = board_of(fen)
        if (seen[key] >= 3 or int(fen.split()[4]) >= 100 or insufficient(squares)
                or len(moves) >= args.max_plies):
            return positions, "1/2-1/2", len(moves)
        if not moves:
            move = rng.choice(FIRST_MOVES)
        else:
            if len(moves) == args.vary_plies:
                engine.send("setoption name MultiPV value 1")
            cands = engine.candidates(limit)
            if len(moves) < args.vary_plies:
                near = [m for m, cp in cands if cp >= cands[0][1] - args.window]
                move = rng.choice(near)
            else:
                move = cands[0][0]
            if len(moves) >= args.skip_plies and not check:
                positions.append((fen, is_quiet_move(move, squares)))
        moves.append(move)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--engine", default="/usr/games/stockfish",
                    help="a UCI engine that also answers 'd' and 'go perft' (stockfish)")
    ap.add_argument("--games", type=int, default=100)
    ap.add_argument("--nodes", type=int, default=5000, help="nodes searched per move")
    ap.add_argument("--max-plies", type=int, default=300, help="a game this long is a draw")
    ap.add_argument("--vary-plies", type=int, default=10)
    ap.add_argument("--window", type=int, default=40, help="centipawns from the best a varied move may be")
    ap.add_argument("--skip-plies", type=int, default=16, help="opening plies never kept")
    ap.add_argument("--keep", type=float, default=0.5, help="share of the quiet positions kept")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="-")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    engine = Engine(args.engine, 16)
    out = sys.stdout if args.out == "-" else open(args.out, "w")
    limit = "nodes %d" % args.nodes
    written, seen = 0, set()
    for n in range(1, args.games + 1):
        positions, result, plies = play_game(engine, rng, limit, args)
        kept = 0
        for fen, quiet in positions:
            key = " ".join(fen.split()[:4])
            if not quiet or key in seen or rng.random() >= args.keep:
                continue
            seen.add(key)
            out.write("%s | %s\n" % (fen, RESULT_VALUE[result]))
            kept += 1
        written += kept
        out.flush()
        print("game %d: %s, %d plies, %d positions kept (%d in all)" % (n, result, plies, kept, written),
              file=sys.stderr)
    engine.close()
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
