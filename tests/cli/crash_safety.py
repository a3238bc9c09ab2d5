#!/usr/bin/python3
"""Kills quorvel-cli with SIGKILL at random moments while it saves many files,
over and over, and checks that every file still reads with either its old or
its new tags: a save must never leave a half-written file behind."""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CLI, FIXTURES = sys.argv[1], sys.argv[2]
ROUNDS = int(os.environ.get("QUORVEL_CRASH_ROUNDS", "25"))
SOURCES = ["plain.mp3", "tagged.flac", "tagged.m4a", "tagged.ogg", "tagged.wma", "tagged.aiff",
           "both.wav", "tagged.ape", "tagged.tta", "tagged.dsf", "tagged.spx"]


def read_titles(paths, env):
    result = subprocess.run([CLI, "read", "--json", *paths], env=env, capture_output=True, text=True,
                            timeout=120)
    records = json.loads(result.stdout)
    titles = {}
    for record in records:
        if "error" in record:
            titles[record["path"]] = ("unreadable", record["error"])
        else:
            value = record["tags"].get("TRACKTITLE", {}).get("values", [None])[0]
            titles[record["path"]] = ("ok", value)
    return titles


def main():
    rng = random.Random(int(os.environ.get("QUORVEL_CRASH_SEED", "1")))
    work = tempfile.mkdtemp(prefix="quorvel-crash-")
    env = dict(os.environ, QUORVEL_SETTINGS=os.path.join(work, "settings.plist"))
    paths = []
    for copy in range(4):
        for name in SOURCES:
            source = os.path.join(FIXTURES, name)
            if not os.path.exists(source):
                continue
            target = os.path.join(work, f"{copy}-{name}")
            shutil.copy(source, target)
            paths.append(target)
    # Each file starts with a known title so "old" is defined for every round.
    subprocess.run([CLI, "set", "-t", "TRACKTITLE=round 0", *paths], env=env, check=True,
                   capture_output=True, timeout=120)
    expected_old = "round 0"
    failures = 0
    for round_number in range(1, ROUNDS + 1):
        new = f"round {round_number}"
        process = subprocess.Popen([CLI, "set", "-t", f"TRACKTITLE={new}", *paths], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0.0, 0.25))
        process.send_signal(signal.SIGKILL)
        process.wait()
        titles = read_titles(paths, env)
        seen_new = False
        for path in paths:
            status, value = titles.get(path, ("missing", None))
            if status != "ok" or value not in (expected_old, new):
                print(f"round {round_number}: {path}: {status} {value!r}", file=sys.stderr)
                failures += 1
            seen_new |= value == new
        leftovers = [n for n in os.listdir(work) if n.startswith(".")]
        # Finish the round cleanly so the next one starts from one known title.
        subprocess.run([CLI, "set", "-t", f"TRACKTITLE={new}", *paths], env=env, check=True,
                       capture_output=True, timeout=120)
        expected_old = new
        print(f"round {round_number}: killed, {'some' if seen_new else 'no'} files had the new title; "
              f"{len(leftovers)} temporary files left")
    shutil.rmtree(work)
    if failures:
        print(f"{failures} damaged or unexpected files", file=sys.stderr)
        return 1
    print(f"{ROUNDS} rounds over {len(paths)} files: every file read with its old or new tags")
    return 0


if __name__ == "__main__":
    sys.exit(main())
