#!/usr/bin/env bash
# A soak of fast games under xboard in match mode against Debian's engines:
# fairymax, phalanx and (through polyglot) glaurung as a UCI opponent, with
# pondering on in some matches, several time controls (one with a tenth of
# a second increment), and our engine in UCI mode behind polyglot in part.
# Passes when none of our games ends in a crash, an illegal move, a time
# forfeit or a hang; prints the counts (opponents' faults apart) and our
# overall score.
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
  "glaurung-inc-ponder|$g/glaurung|-timeControl 0:05 -timeIncrement 0.1 -sUCI -ponderNextMove true"
  "fairymax-ours-uci-inc|$g/fairymax|-timeControl 0:05 -timeIncrement 0.1 -fUCI"
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
  # Per game: our points (from the player tags) and whether it ended in a
  # fault (a forfeit, an illegal move, a crash); a fault in a game we lost is
  # ours, one in a game we did not lose is the opponent's.
  read -r n ours theirs p < <(awk '
    /^\[White "/ { white = ($0 ~ /Velmora/) }
    /^\[Result "/ { r = $2; gsub(/[\]"]/, "", r) }
    /^\[/ { next }
    /\{[^}]*\} *(1-0|0-1|1\/2-1\/2)/ { last = $0 }
    /^$/ && r != "" && inmoves { score(); }
    /^[^[]/ { inmoves = 1 }
    function score() {
      w = (r == "1-0") ? 2 : (r == "0-1") ? 0 : (r == "1/2-1/2") ? 1 : -1
      if (w >= 0) {
        g++; q = white ? w : 2 - w; s += q
        if (tolower(last) ~ /\{[^}]*(forfeit|illegal|crash|disconnect|error|exit|on time)[^}]*\}/) {
          if (q == 0) mine++; else other++
        }
      }
      r = ""; last = ""; inmoves = 0
    }
    END { if (r != "") score(); print g + 0, mine + 0, other + 0, s + 0 }' "$pgn" 2>/dev/null)
  n=${n:-0}; ours=${ours:-0}; theirs=${theirs:-0}; p=${p:-0}
  faults=$ours
  echo "$name: $n games, $ours our faults, $theirs opponent faults, our points $(echo "scale=1; $p / 2" | bc) / $n; $(grep -m1 -E '^xboard: Match' "$out/$name.log")"
  total=$((total + n)); bad=$((bad + faults + games - n)); points2=$((points2 + p))
done
echo "total $total games, $bad faulty or missing, our score $(echo "scale=1; $points2 / 2" | bc) / $total"
[ "$bad" -eq 0 ]
