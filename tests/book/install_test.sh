#!/bin/sh
# An installed engine finds its book from any folder: cmake --install to a
# temporary prefix, then the engine started elsewhere answers the first move
# from the book (one thinking line of one node, e2e4 or d2d4), and the
# configuration sample and the tools are in place.
# Usage: install_test.sh CMAKE BUILD_DIR
set -u
cmake=$1
build=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
prefix="$dir/prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$dir/install.log" 2>&1 || { cat "$dir/install.log"; exit 1; }
status=0
for f in bin/velmora bin/velmora.cfg share/velmora/Velmora.bo2 bin/velmora-makebook bin/velmora-perft; do
    [ -e "$prefix/$f" ] || { echo "FAIL: $f not installed"; status=1; }
done
# Every setting of the sample is commented out: it changes nothing.
if grep -v '^[[:space:]]*;' "$prefix/bin/velmora.cfg" | grep -q '[^[:space:]]'; then
    echo "FAIL: the sample configuration sets something"; status=1
fi
mkdir "$dir/elsewhere" && cd "$dir/elsewhere" || exit 1
out=$( (printf 'xboard\npost\nnew\ngo\n'; sleep 3; printf 'quit\n') | "$prefix/bin/velmora" 2>/dev/null)
thinking=$(printf '%s\n' "$out" | sed -n '/^move /q;p' | grep -c "$(printf '\t')")
nodes=$(printf '%s\n' "$out" | grep "$(printf '\t')" | head -1 | awk '{print $4}')
move=$(printf '%s\n' "$out" | grep '^move ' | head -1)
case "$move" in
"move e2e4" | "move d2d4") ;;
*) echo "FAIL: first move '$move'"; status=1 ;;
esac
if [ "$thinking" != 1 ] || [ "$nodes" != 1 ]; then
    echo "FAIL: the move was searched, not taken from the book:"; printf '%s\n' "$out"; status=1
fi
"$prefix/bin/velmora-perft" >/dev/null 2>&1
[ $? -le 2 ] || { echo "FAIL: velmora-perft does not run"; status=1; }
[ $status = 0 ] && echo "installed engine answers from its book: $move"
exit $status
