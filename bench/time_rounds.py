#!/usr/bin/python3
"""Times several commands in interleaved rounds and prints, per command, the
best wall-clock time and the CPU time (user + system) of that best run.

Interleaving (floor, ours, floor, ours, ...) keeps a machine whose speed
drifts (other work, frequency changes) from favouring whichever command ran
during a quiet moment; the best of many rounds is the figure least touched by
interference.

usage: time_rounds.py ROUNDS NAME=COMMAND... > results.json
"""
import json
import os
import subprocess
import sys
import time


def run(command):
    start = time.perf_counter()
    process = subprocess.Popen(command, shell=True, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit("command failed: " + command)
    return wall, usage.ru_utime + usage.ru_stime


def main():
    rounds = int(sys.argv[1])
    commands = [argument.split("=", 1) for argument in sys.argv[2:]]
    best = {name: None for name, _ in commands}
    for name, command in commands:  # warm-up round, not counted
        run(command)
    for _ in range(rounds):
        for name, command in commands:
            wall, cpu = run(command)
            if best[name] is None or wall < best[name][0]:
                best[name] = (wall, cpu)
    json.dump({name: {"wall": wall, "cpu": cpu} for name, (wall, cpu) in best.items()},
              sys.stdout, indent=1)


main()
