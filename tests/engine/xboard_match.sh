#!/usr/bin/env bash
# A real interface: Debian's xboard under Xvfb plays our engine against
# fairymax with pondering on, two games with each colour: one match at 40
# moves in 20 s, one with an increment (10 s + 0.1 s a move). Passes when
# each saved PGN holds both games with a regular result and none lost by an
# illegal move, a time forfeit, a crash or an engine error of ours, and
# xboard's log no sanitizer report, and its debug log (everything said
# between xboard and the engines) not one "Impossible move": a thinking line
# of ours that xboard cannot play from the position it shows. Exits 77
# (skipped) when xboard, Xvfb or fairymax is not installed.
set -u
engine="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
xb=$(command -v xboard || ls /usr/games/xboard 2>/dev/null)
fm=$(command -v fairymax || ls /usr/games/fairymax 2>/dev/null)
if [ -z "$xb" ] || [ -z "$fm" ] || ! command -v Xvfb >/dev/null; then
  echo "xboard, Xvfb or fairymax missing: skipped"; exit 77
fi
home="$(mktemp -d)"
disp=$(( 100 + RANDOM % 800 ))
Xvfb ":$disp" -screen 0 1024x768x24 >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; rm -rf "$home"' EXIT
sleep 1.5
# The engine runs from a directory of its own (its log and book stay there).
mkdir -p "$home/engine" && cp "$engine" "$home/engine/velmora"
failed=0

# match NAME XBOARD-OPTIONS...
match() {
  local name="$1"; shift
  local pgn="$home/$name.pgn" debug="$home/$name.debug" log="$home/$name.log"
  HOME="$home" DISPLAY=":$disp" timeout 600 "$xb" \
    -firstChessProgram "$home/engine/velmora" -firstDirectory "$home/engine" \
    -secondChessProgram "$fm" -secondDirectory "$home" \
    -matchMode true -matchGames 2 -saveGameFile "$pgn" -debugMode true -nameOfDebugFile "$debug" \
    -ponderNextMove true -autoCallFlag true -popupExitMessage false "$@" >"$log" 2>&1
  echo "$name: $(grep -E '^xboard: Match' "$log")"
  # grep -c prints its count even when it finds nothing (status 1); a missing
  # file gives no count at all, hence the default.
  local games results impossible
  games=$(grep -cE '^\[Result ' "$pgn" 2>/dev/null); games=${games:-0}
  results=$(grep -cE '^\[Result "(1-0|0-1|1/2-1/2)"\]' "$pgn" 2>/dev/null); results=${results:-0}
  impossible=$(grep -c 'Impossible move' "$debug" 2>/dev/null); impossible=${impossible:-0}
  # A game ending in a fault (forfeit, illegal move, crash, time) is ours when
  # we lost it; fairymax losing on time is no fault of ours.
  local bad sanitizer
  bad=$(awk '
    /^\[White "/ { white = ($0 ~ /Velmora/) }
    /^\[Result "/ { r = $2; gsub(/[\]"]/, "", r) }
    /\{[^}]*\} *(1-0|0-1|1\/2-1\/2|\*) *$/ {
      lost = white ? (r == "0-1") : (r == "1-0")
      if (lost && tolower($0) ~ /\{[^}]*(forfeit|illegal|crash|time|disconnect|error|exit)[^}]*\}/) print
    }' "$pgn" 2>/dev/null | head -3)
  # The engine's standard error reaches xboard's: a sanitized build reports there.
  sanitizer=$(grep -E 'Sanitizer|runtime error:' "$log" | head -5)
  grep -oE '\{[^}]*\} *(1-0|0-1|1/2-1/2|\*) *$' "$pgn" 2>/dev/null
  if [ "$games" -ne 2 ] || [ "$results" -ne 2 ] || [ -n "$bad" ] || [ -n "$sanitizer" ] || [ "$impossible" -ne 0 ]; then
    echo "FAIL ($name): $games games, $results regular results, $impossible impossible moves; $bad $sanitizer"
    grep -m5 'Impossible move' "$debug" 2>/dev/null
    tail -20 "$log"
    failed=1
  else
    echo "$name: two games with regular results, no impossible move"
  fi
}

match classical -timeControl 0:20
match increment -timeControl 0:10 -timeIncrement 0.1
exit $failed
