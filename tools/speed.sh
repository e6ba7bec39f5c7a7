#!/usr/bin/env bash
# Side-by-side speed figures on this machine: our bench and perft against
# Debian's stockfish, and a 5-second search from the initial position against
# glaurung (both from Debian's packages, when installed), then the depth our
# engine reaches in 5 seconds from three positions, and the gain from a
# second search thread.
# usage: tools/speed.sh [build directory, default build]
set -u
build="${1:-build}"
sf=$(command -v stockfish || echo /usr/games/stockfish)
gl=$(command -v glaurung || echo /usr/games/glaurung)

build="$(cd "$build" && pwd)"
echo "== bench (fixed depth, 36 positions)"
"$build/bench" | tail -3
if [ -x "$sf" ]; then
  echo "== stockfish bench (one thread)"
  "$sf" bench 16 1 13 2>&1 | grep -E "Nodes/second|Total time"
fi

echo "== perft 6 from the initial position"
/usr/bin/time -f "ours: %e s" "$build/perft" startpos 6 | tail -1
[ -x "$sf" ] && ( echo "position startpos"; echo "go perft 6"; echo quit ) | /usr/bin/time -f "stockfish: %e s" "$sf" >/dev/null

movetime() {  # engine, fen, ms: the last info line of a timed search
  # run from an empty directory, so that no book answers at once
  ( cd "$(mktemp -d)" && ( echo uci; echo "position $2"; echo "go movetime $3"; sleep $(( $3 / 1000 + 1 )); echo quit ) | "$1" 2>/dev/null | grep "^info" | grep " nodes " | tail -1 )
}
ours_nps() { awk '{ for (i = 1; i < NF; i++) { if ($i == "depth") d = $(i+1); if ($i == "time") t = $(i+1); if ($i == "nodes") n = $(i+1) }
                    printf "depth %s, %s nodes in %s ms, %d nps\n", d, n, t, n * 1000 / (t ? t : 1) }'; }
echo "== 5 s from the initial position"
build="$(cd "$build" && pwd)"
echo "ours:     $(movetime "$build/velmora" startpos 5000 | ours_nps)"
[ -x "$gl" ] && echo "glaurung: $(movetime "$gl" startpos 5000)"

echo "== depth in 5 s"
for fen in startpos \
  "fen r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P1B2/2PBPN2/PP1N1PPP/R2QK2R w KQ - 4 9" \
  "fen r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN5/PPP2PPP/R2Q1RK1 w - - 0 12"; do
  echo "$fen: $(movetime "$build/velmora" "$fen" 5000 | ours_nps)"
done

# Several threads on the same machine, one run after the other: the summed
# node rate, and the time the bench positions take to depth 16 (the first
# eight: the whole set at that depth would take many minutes).
echo "== threads: node rate at depth 12, time to depth 16 (bench positions 1-8)"
for threads in 1 2; do
  nps=$("$build/bench" 12 "$threads" | grep "Nodes/second" | awk '{ print $3 }')
  ms=$("$build/bench" 16 "$threads" 8 | grep "Total time" | awk '{ print $5 }')
  echo "$threads thread(s): $nps nps; depth 16 in $ms ms"
done
