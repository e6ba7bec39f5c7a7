#!/bin/sh
# A UCI engine that misbehaves at its first move, for the match runner's
# tests: fake_engine.sh illegal|crash|hang|disconnect
# or one that ponders through a scripted game: fake_engine.sh ponder|ponderhang
# (ponderhang never answers stop). It leaves at once, a disconnect, when told
# ponderhit or stop while not pondering, or go while pondering.
mode="$1"
# The game it plays, whichever side it has, and the replies it names with its
# moves: it expects 2... Nf6 where Nc6 comes.
game="e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7"
expect="e2e4 e7e5 f1c4 g8f6 d1h5 g8f6 h5f7"
plies=0
pondering=0
word() { echo "$2" | cut -d' ' -f"$1"; }
answer() {
    move=$(word $((plies + 1)) "$game")
    reply=$(word $((plies + 2)) "$expect")
    if [ -n "$reply" ]; then echo "bestmove $move ponder $reply"; else echo "bestmove $move"; fi
}
while read -r line; do
    case "$line" in
    uci)
        echo "id name fake-$mode"
        echo "option name Ponder type check default false"
        echo "uciok" ;;
    isready) echo "readyok" ;;
    position*)
        case "$line" in
        *" moves "*) plies=$(echo "${line#* moves }" | wc -w) ;;
        *) plies=0 ;;
        esac ;;
    "go ponder"*)
        [ "$pondering" = 1 ] && exit 3
        pondering=1 ;;
    go*)
        [ "$pondering" = 1 ] && exit 3
        case "$mode" in
        illegal) echo "info depth 1 score cp 0 pv e2e5"; echo "bestmove e2e5" ;;
        crash) kill -SEGV $$ ;;
        hang) sleep 60 ;;
        disconnect) exit 0 ;;
        ponder*) answer ;;
        esac ;;
    ponderhit)
        [ "$pondering" = 1 ] || exit 3
        pondering=0
        answer ;;
    stop)
        [ "$pondering" = 1 ] || exit 3
        pondering=0
        # What it found is of no use: the runner must throw it away.
        [ "$mode" = ponderhang ] || echo "bestmove 0000" ;;
    quit) exit 0 ;;
    esac
done
