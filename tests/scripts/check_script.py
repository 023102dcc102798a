#!/usr/bin/env python3
"""Runs one script through `spoolora --script` and checks what its dumps say.

The expectations live in the script itself, in comment lines that the player
skips:

    #? exit N                     the exit status (0 when not given)
    #? stderr TEXT                standard error contains TEXT
    #? dumps N                    the number of dump lines
    #? D PATH OP VALUE            a check on dump D (0-based; -1 is the last)

PATH is dotted, with [i] for array elements (`transitions[0].subtype`), or
len(PATH) for the length of an array or string. OP is one of
    ==  !=          equal / not equal to the JSON VALUE (floats compare exactly,
                    so write them as the dump prints them)
    ~=              within 1e-6 of the number VALUE (for sums of many small steps)
    <   <=  >  >=   numeric comparisons
    has  lacks      an array holds / does not hold VALUE, or a string holds the text
Every dump line must be a JSON object. All failures are listed, then the exit
status is 1.
"""

import argparse
import json
import re
import subprocess
import sys

PATH_PART = re.compile(r"([A-Za-z_][A-Za-z0-9_]*)|\[(-?\d+)\]")


def resolve(document, path):
    length = False
    if path.startswith("len(") and path.endswith(")"):
        length = True
        path = path[4:-1]
    value = document
    for part in path.split("."):
        pos = 0
        while pos < len(part):
            match = PATH_PART.match(part, pos)
            if not match:
                raise KeyError(f"bad path {path!r}")
            name, index = match.groups()
            if name is not None:
                if not isinstance(value, dict) or name not in value:
                    raise KeyError(f"no member {name!r} in {path!r}")
                value = value[name]
            else:
                if not isinstance(value, list):
                    raise KeyError(f"not an array before [{index}] in {path!r}")
                value = value[int(index)]
            pos = match.end()
    return len(value) if length else value


def compare(actual, op, expected):
    if op == "==":
        return actual == expected and type(actual) is type(expected) or (
            isinstance(actual, (int, float)) and not isinstance(actual, bool)
            and isinstance(expected, (int, float)) and not isinstance(expected, bool)
            and actual == expected)
    if op == "!=":
        return not compare(actual, "==", expected)
    if op == "~=":
        return isinstance(actual, (int, float)) and abs(actual - expected) <= 1e-6
    if op in ("<", "<=", ">", ">="):
        if not isinstance(actual, (int, float)) or isinstance(actual, bool):
            return False
        return {"<": actual < expected, "<=": actual <= expected,
                ">": actual > expected, ">=": actual >= expected}[op]
    if op in ("has", "lacks"):
        if isinstance(actual, str):
            held = isinstance(expected, str) and expected in actual
        elif isinstance(actual, list):
            held = expected in actual
        else:
            return False
        return held if op == "has" else not held
    raise ValueError(f"unknown operator {op!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--script", required=True)
    args = parser.parse_args()

    with open(args.script, "rb") as f:
        script_bytes = f.read()
    expectations = []
    expected_exit = 0
    stderr_texts = []
    expected_dumps = None
    for number, raw in enumerate(script_bytes.split(b"\n"), start=1):
        line = raw.decode("utf-8", errors="replace").strip()
        if not line.startswith("#?"):
            continue
        words = line[2:].split(None, 1)
        if not words:
            continue
        if words[0] == "exit":
            expected_exit = int(words[1])
        elif words[0] == "stderr":
            stderr_texts.append(words[1])
        elif words[0] == "dumps":
            expected_dumps = int(words[1])
        else:
            dump_index, path, op, value = line[2:].split(None, 3)
            expectations.append((number, int(dump_index), path, op, json.loads(value)))

    result = subprocess.run([args.binary, "--script", args.script], capture_output=True, timeout=120)
    failures = []
    if result.returncode != expected_exit:
        failures.append(f"exit status {result.returncode}, expected {expected_exit}")
    stderr = result.stderr.decode("utf-8", errors="replace")
    for text in stderr_texts:
        if text not in stderr:
            failures.append(f"standard error lacks {text!r}")
    dumps = []
    for line in result.stdout.decode("utf-8").splitlines():
        try:
            dump = json.loads(line)
        except json.JSONDecodeError as error:
            failures.append(f"a dump line is not JSON ({error}): {line[:200]}")
            continue
        if not isinstance(dump, dict):
            failures.append(f"a dump line is not an object: {line[:200]}")
        dumps.append(dump)
    if expected_dumps is not None and len(dumps) != expected_dumps:
        failures.append(f"{len(dumps)} dumps, expected {expected_dumps}")
    for number, dump_index, path, op, expected in expectations:
        where = f"line {number}: dump {dump_index} {path} {op} {json.dumps(expected)}"
        try:
            actual = resolve(dumps[dump_index], path)
        except (IndexError, KeyError) as error:
            failures.append(f"{where}: {error}")
            continue
        if not compare(actual, op, expected):
            failures.append(f"{where}: found {json.dumps(actual)}")

    if failures:
        print(f"{args.script}: {len(failures)} failed", file=sys.stderr)
        for failure in failures:
            print("  " + failure, file=sys.stderr)
        if stderr:
            print("standard error of the run:\n" + stderr, file=sys.stderr)
        return 1
    print(f"{args.script}: {len(expectations)} checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
