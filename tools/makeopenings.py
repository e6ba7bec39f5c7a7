#!/usr/bin/env python3
"""Make an opening file of balanced positions for tools/match.

Each line is a short game from the initial position: at every ply a move is
chosen at random among those Debian's stockfish, at a low depth, finds close
to its best, so the lines stay plausible yet varied. The end position is kept
when stockfish, searching it to a fixed depth on one thread, scores it near
equal; positions already kept are skipped. The same arguments make the same
file (one thread and a fixed depth keep the engine deterministic).

    python3 tools/makeopenings.py --count 300 --seed 1 --out tools/openings.epd
"""
import argparse
import random
import sys

from selfplay import Engine  # the UCI wrapper and legal-move oracle


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--engine", default="/usr/games/stockfish")
    ap.add_argument("--count", type=int, default=300, help="positions to keep")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--min-plies", type=int, default=6)
    ap.add_argument("--max-plies", type=int, default=9)
    ap.add_argument("--choice-depth", type=int, default=6, help="depth of the search that offers the moves")
    ap.add_argument("--choice-margin", type=int, default=50, help="centipawns below the best a move may be")
    ap.add_argument("--depth", type=int, default=10, help="depth of the search that judges the end position")
    ap.add_argument("--balance", type=int, default=30, help="largest score kept, centipawns")
    ap.add_argument("--out", default="-")
    args = ap.parse_args()

    rng = random.Random(args.seed)
    engine = Engine(args.engine, 16)
    kept, tried = {}, 0
    while len(kept) < args.count and tried < 50 * args.count:
        tried += 1
        engine.send("ucinewgame")
        moves = []
        for _ in range(rng.randint(args.min_plies, args.max_plies)):
            fen, check, legal = engine.state(moves)
            if not legal:
                break
            cands = engine.candidates(args.choice_depth)
            near = [m for m, cp in cands if cp >= cands[0][1] - args.choice_margin and m in legal]
            moves.append(rng.choice(near or legal))
        fen, check, legal = engine.state(moves)
        key = " ".join(fen.split()[:4])
        if not legal or key in kept:
            continue
        # The judgement needs the best move only: one variation is far cheaper.
        engine.send("setoption name MultiPV value 1")
        score = engine.candidates(args.depth)[0][1]
        engine.send("setoption name MultiPV value 4")
        if abs(score) <= args.balance:
            kept[key] = (score, moves, fen.split()[4:6])
            print("%d/%d kept after %d lines" % (len(kept), args.count, tried), file=sys.stderr)
    engine.close()

    out = sys.stdout if args.out == "-" else open(args.out, "w")
    out.write("# Balanced openings for tools/match, made by tools/makeopenings.py --count %d --seed %d\n"
              "# (stockfish depth %d, |score| <= %d cp from the side to move)\n"
              % (args.count, args.seed, args.depth, args.balance))
    for key, (score, moves, counters) in kept.items():
        out.write('%s hmvc %s; fmvn %s; c0 "%s"; c1 "%+d cp";\n' % (key, counters[0], counters[1], " ".join(moves), score))


if __name__ == "__main__":
    main()
