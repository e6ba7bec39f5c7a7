#!/usr/bin/env bash
# Fails when the bench signature differs from the one the newest commit
# message carrying "Bench: N" gives: a change of search or evaluation
# behaviour must say so in its commit.
# usage: tools/checkbench.sh [build directory, default build]
set -euo pipefail
build="${1:-build}"
cd "$(dirname "$0")/.."
expected=$(git log --format=%B | grep -m1 -oiE '^bench: *[0-9]+' | grep -oE '[0-9]+' || true)
actual=$("$build/bench" | tail -1 | grep -oE '[0-9]+$')
if [ -z "$expected" ]; then
  echo "no commit message carries a bench signature; bench is $actual"
  exit 1
fi
if [ "$expected" != "$actual" ]; then
  echo "bench signature $actual, but the last commit that gives one says $expected"
  exit 1
fi
echo "bench signature $actual as committed"
