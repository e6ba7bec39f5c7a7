#!/usr/bin/env bash
# Checks that the C++ lines changed since a base commit follow .clang-format.
# usage: tools/checkformat.sh [base commit]
# The base defaults to the commit that last changed .clang-format, so that code
# older than the style is never reformatted wholesale. Uncommitted changes are
# checked too. Prints the formatting the changed lines need and exits 1, or
# exits 0 when they are formatted; exits 0 with a message when
# git-clang-format is not installed, 2 when the base is unknown.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! git clang-format -h >/dev/null 2>&1 || ! command -v clang-format >/dev/null; then
  echo "git-clang-format missing: formatting not checked"
  exit 0
fi
base="${1:-$(git log -1 --format=%H -- .clang-format)}"
if [ -z "$base" ]; then
  echo "no committed .clang-format and no base commit given" >&2
  exit 2
fi
git rev-parse --verify --quiet "$base^{commit}" >/dev/null || { echo "unknown commit: $base" >&2; exit 2; }
# From where this branch left the base: a base that moved on since (another
# branch merged into it) must not count its own changes as ours.
base="$(git merge-base "$base" HEAD)"
out="$(git clang-format --diff --extensions cpp,h "$base" -- 2>&1)" || { echo "$out" >&2; exit 2; }
# Formatted lines give a message ("no modified files to format", "clang-format
# did not modify any files"); anything else is the diff they need.
if [ -n "$out" ] && [[ "$out" != no\ modified\ files* ]] && [[ "$out" != clang-format\ did\ not\ modify* ]]; then
  echo "$out"
  echo "changed lines since ${base:0:12} are not formatted; to format them: git clang-format -f --extensions cpp,h $base" >&2
  exit 1
fi
echo "changed lines since ${base:0:12} are formatted"
