#!/bin/sh
# A Polyglot book written by makebook is the book Debian's polyglot makes from
# the same games, byte for byte, and polyglot reads it back.
# Usage: polyglot_book.sh MAKEBOOK GAMES.pgn   (exit 77: polyglot missing)
set -u
makebook="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
games="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
polyglot=$(command -v polyglot || echo /usr/games/polyglot)
[ -x "$polyglot" ] || { echo "polyglot not installed"; exit 77; }
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
status=0
# The usual depth with the default minimum of games, and every ply of every game.
for settings in "20 3" "1000 1"; do
    set -- $settings
    "$makebook" -q -n "$1" -m "$2" -o ours.bin "$games" >/dev/null || { echo "makebook failed"; exit 1; }
    "$polyglot" make-book -pgn "$games" -bin theirs.bin -max-ply "$1" -min-game "$2" >/dev/null 2>&1 ||
        { echo "polyglot make-book failed"; exit 1; }
    if [ ! -s ours.bin ] || ! cmp -s ours.bin theirs.bin; then
        echo "FAIL: plies $1, min games $2: the books differ"
        status=1
    fi
    for colour in white black; do
        "$polyglot" dump-book -bin ours.bin -color $colour -out ours.txt >/dev/null 2>&1
        "$polyglot" dump-book -bin theirs.bin -color $colour -out theirs.txt >/dev/null 2>&1
        # The dump names its book file on the first line.
        if [ ! -s ours.txt ] || [ "$(tail -n +2 ours.txt)" != "$(tail -n +2 theirs.txt)" ]; then
            echo "FAIL: plies $1, min games $2: polyglot reads $colour's lines differently"
            status=1
        fi
    done
done
[ $status = 0 ] && echo "makebook and polyglot make the same books"
exit $status
