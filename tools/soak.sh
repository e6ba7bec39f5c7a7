#!/usr/bin/env bash
# A soak of fast games under xboard in match mode against Debian's engines:
# fairymax, phalanx and (through polyglot) glaurung as a UCI opponent, with
# pondering on in some matches, several time controls (one with a tenth of
# a second increment), and our engine in UCI mode behind polyglot in part.
# Passes when no game ends in a crash, an illegal move, a time forfeit or a
# hang; prints the counts and our overall score.
# usage: tools/soak.sh ENGINE [GAMES PER MATCH, default 10] [OUTPUT DIRECTORY] [MATCH NAME PATTERN]
# needs: apt-get install xboard xvfb polyglot fairymax phalanx glaurung
set -u
engine="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
games="${2:-10}"
out="${3:-$(mktemp -d)}"
only="${4:-.}"
# xboard starts polyglot by name for UCI engines
export PATH="$PATH:/usr/games"
mkdir -p "$out"
home="$(mktemp -d)"
disp=$(( 100 + RANDOM % 800 ))
Xvfb ":$disp" -screen 0 1024x768x24 >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; rm -rf "$home"' EXIT
sleep 1.5
mkdir -p "$home/engine" && cp "$engine" "$home/engine/velmora"
[ -f "$(dirname "$engine")/Velmora.bo2" ] && cp "$(dirname "$engine")/Velmora.bo2" "$home/engine/"
g=/usr/games
xb=$(command -v xboard || echo $g/xboard)
# name | opponent | extra xboard options
matches=(
  "fairymax-0:10|$g/fairymax|-timeControl 0:10"
  "fairymax-ponder|$g/fairymax|-timeControl 0:20 -ponderNextMove true"
  "phalanx-0:10|$g/phalanx|-timeControl 0:10"
  "phalanx-inc|$g/phalanx|-timeControl 0:05 -timeIncrement 0.1"
  "glaurung-uci|$g/glaurung|-timeControl 0:10 -sUCI"
  "fairymax-ours-uci|$g/fairymax|-timeControl 0:10 -fUCI"
  "phalanx-ours-uci-ponder|$g/phalanx|-timeControl 0:20 -fUCI -ponderNextMove true"
)
total=0; bad=0; points2=0
for m in "${matches[@]}"; do
  IFS='|' read -r name opp opts <<<"$m"
  [[ "$name" =~ $only ]] || continue
  pgn="$out/$name.pgn"
  # shellcheck disable=SC2086
  HOME="$home" DISPLAY=":$disp" timeout $(( games * 120 )) "$xb" \
    -firstChessProgram "$home/engine/velmora" -firstDirectory "$home/engine" \
    -secondChessProgram "$opp" -secondDirectory "$home" $opts \
    -matchMode true -matchGames "$games" -saveGameFile "$pgn" \
    -autoCallFlag true -popupExitMessage false >"$out/$name.log" 2>&1
  n=$(grep -cE '^\[Result "(1-0|0-1|1/2-1/2)"\]' "$pgn" 2>/dev/null); n=${n:-0}
  faults=$(grep -ciE '\{[^}]*(forfeit|illegal|crash|disconnect|error|exit|on time)[^}]*\}' "$pgn" 2>/dev/null); faults=${faults:-0}
  # Our points: we are White in odd games, Black in even ones (xboard alternates).
  p=$(awk '/^\[Result "/ { i++; r=$2; gsub(/[\]"]/, "", r);
             w = (r == "1-0") ? 2 : (r == "0-1") ? 0 : 1;
             s += (i % 2 == 1) ? w : 2 - w } END { print s + 0 }' "$pgn" 2>/dev/null)
  p=${p:-0}
  echo "$name: $n games, $faults faulty, our points $(echo "scale=1; $p / 2" | bc) / $n; $(grep -m1 -E '^xboard: Match' "$out/$name.log")"
  total=$((total + n)); bad=$((bad + faults + games - n)); points2=$((points2 + p))
done
echo "total $total games, $bad faulty or missing, our score $(echo "scale=1; $points2 / 2" | bc) / $total"
[ "$bad" -eq 0 ]
