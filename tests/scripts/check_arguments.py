#!/usr/bin/env python3
"""Runs `spoolora` with command lines that must be refused at once.

Each must end with exit status 2, one message naming the problem on standard error,
and nothing run: no script line, no window.
"""

import argparse
import os
import subprocess
import sys
import tempfile

CASES = [
    (["--config-dir", "", "--script", "-"], '--config-dir needs a folder, not an empty name'),
    (["--config-dir=", "--script", "-"], '--config-dir needs a folder, not an empty name'),
    (["--script", "{script}", "--script", "{script}"], "--script is given twice"),
    (["--script={script}", "--script", "-"], "--script is given twice"),
    (["--config-dir", "{folder}", "--config-dir", "{folder}", "--script", "-"], "--config-dir is given twice"),
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    args = parser.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "dump.script")
        with open(script, "w") as f:
            f.write("dump\n")
        for words, message in CASES:
            command = [args.binary] + [w.format(script=script, folder=folder) for w in words]
            result = subprocess.run(command, input=b"dump\n", capture_output=True, timeout=60, cwd=folder)
            stderr = result.stderr.decode("utf-8", errors="replace")
            if result.returncode != 2:
                failures.append(f"{words}: exit status {result.returncode}, expected 2")
            if message not in stderr:
                failures.append(f"{words}: standard error lacks {message!r}: {stderr!r}")
            if result.stdout:
                failures.append(f"{words}: something ran: {result.stdout[:200]!r}")
        if os.path.exists(os.path.join(folder, "preferences.conf")):
            failures.append("a preferences file was written into the working folder")
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(CASES) - len(failures)} of {len(CASES)} command lines refused as they should be")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
