#!/bin/sh
# A UCI engine that misbehaves at its first move, for the match runner's
# tests: fake_engine.sh illegal|crash|hang|disconnect
mode="$1"
while read -r line; do
    case "$line" in
    uci)
        echo "id name fake-$mode"
        echo "uciok" ;;
    isready) echo "readyok" ;;
    go*)
        case "$mode" in
        illegal) echo "info depth 1 score cp 0 pv e2e5"; echo "bestmove e2e5" ;;
        crash) kill -SEGV $$ ;;
        hang) sleep 60 ;;
        disconnect) exit 0 ;;
        esac ;;
    quit) exit 0 ;;
    esac
done
