#!/usr/bin/env python3
"""Plays one game: Velmora in UCI mode behind polyglot (the adapter xboard
uses for UCI engines) against fairymax, relaying moves as an interface does.
Both clocks run as an interface keeps them and are sent as they stand, so
running out of time is seen. Passes when the game ends with a regular result
(the opponent losing on time is one), without a sanitizer report on the
engine's standard error, and with every thinking line polyglot passes on
carrying a variation; exits 77 (skipped) when polyglot or fairymax is not
installed."""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

RESULT = re.compile(r"^(1-0|0-1|1/2-1/2) \{")
# depth, score, time, nodes, then the variation.
THINKING = re.compile(r"^\s*\d+\s+[-+]?\d+\s+\d+\s+\d+(.*)$")


def find(name):
    return shutil.which(name) or (os.path.exists("/usr/games/" + name) and "/usr/games/" + name)


class Engine:
    def __init__(self, argv, cwd, stderr=subprocess.DEVNULL):
        self.p = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=stderr, text=True, bufsize=1)
        self.name = os.path.basename(argv[0])

    def send(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def close(self):
        try:
            self.send("quit")
            self.p.wait(timeout=5)
        except Exception:
            self.p.kill()


def main():
    velmora = os.path.abspath(sys.argv[1])
    polyglot, fairymax = find("polyglot"), find("fairymax")
    if not polyglot or not fairymax:
        print("polyglot or fairymax missing: skipped")
        return 77
    work = tempfile.mkdtemp()
    ini = os.path.join(work, "velmora.ini")
    with open(ini, "w") as f:
        f.write("[PolyGlot]\nEngineCommand = %s\nEngineDir = %s\nLog = false\n[Engine]\nHash = 32\n"
                % (velmora, work))
    # polyglot hands its standard error on to our engine.
    errors = open(os.path.join(work, "stderr.txt"), "w+")
    white = Engine([polyglot, ini], work, errors)   # ours
    black = Engine([fairymax], work)
    side = {0: white, 1: black}
    clock = {0: 2000, 1: 2000}             # centiseconds: twenty seconds each
    for e in (white, black):
        e.send("xboard")
        e.send("protover 2")
    white.send("accepted usermove")
    for e in (white, black):
        e.send("new")
        e.send("level 0 0:20 0")
        e.send("post")
    time.sleep(0.5)
    black.send("force")
    white.send("time %d" % clock[0])
    white.send("otim %d" % clock[1])
    white.send("go")
    streams = {white.p.stdout.fileno(): 0, black.p.stdout.fileno(): 1}
    pending = {0: b"", 1: b""}

    def read_lines(fd):
        # Raw reads: a buffered reader would hide lines from select().
        data = os.read(fd, 65536)
        if not data:
            return None
        who = streams[fd]
        pending[who] += data
        *done, pending[who] = pending[who].split(b"\n")
        return [d.decode(errors="replace") for d in done]

    mover, plies, result, started = 0, 0, None, time.time()
    thinking, empty = 0, []
    last = time.time()
    while result is None and plies < 600 and time.time() - last < 90:
        if clock[mover] - (time.time() - last) * 100 < 0:
            result = ("FAIL: %s lost on time" if mover == 0 else "%s lost on time") % side[mover].name
            break
        ready, _, _ = select.select(list(streams), [], [], 0.05)
        for fd in ready:
            who = streams[fd]
            got = read_lines(fd)
            if got is None:
                result = result or "FAIL: %s ended" % side[who].name
                del streams[fd]
                continue
            for line in got:
                if os.environ.get("VERBOSE"):
                    print(side[who].name, line)
                if who == 0 and THINKING.match(line):
                    thinking += 1
                    if not THINKING.match(line).group(1).strip():
                        empty.append(line)
                if RESULT.match(line) or line.startswith("resign"):
                    result = result or "%s: %s" % (side[who].name, line)
                elif line.startswith("Illegal move"):
                    result = "FAIL: %s says %s" % (side[who].name, line)
                elif line.startswith("move ") and who == mover and result is None:
                    clock[who] -= int((time.time() - last) * 100)
                    last = time.time()
                    other = side[1 - who]
                    if clock[who] < 0:
                        result = ("FAIL: %s lost on time" if who == 0 else "%s lost on time") % side[who].name
                        break
                    other.send("time %d" % clock[1 - who])
                    other.send("otim %d" % clock[who])
                    other.send(("usermove " if other is white else "") + line.split()[1])
                    if plies == 0:
                        other.send("go")
                    plies += 1
                    mover = 1 - who
    # Give the other side a moment to announce the end as well.
    time.sleep(0.2)
    white.close()
    black.close()
    errors.seek(0)
    reports = [l for l in errors.read().splitlines() if "Sanitizer" in l or "runtime error:" in l]
    errors.close()
    shutil.rmtree(work, ignore_errors=True)
    print("after %d plies (clocks %d and %d cs): %s" % (plies, clock[0], clock[1], result))
    if reports:
        print("FAIL: sanitizer report from the engine:\n" + "\n".join(reports[:10]))
        return 1
    if result is None or result.startswith("FAIL") or "Illegal" in result:
        return 1
    # What polyglot makes of our info lines is what xboard shows.
    print("%d thinking lines from polyglot, %d without a variation" % (thinking, len(empty)))
    if thinking == 0 or empty:
        print("FAIL: thinking lines without a variation:\n" + "\n".join(empty[:5]))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
