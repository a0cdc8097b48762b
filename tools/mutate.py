#!/usr/bin/env python3
"""Plants single-point faults one at a time and runs the whole test suite against each.

Usage: mutate.py SOURCE_DIR BUILD_DIR FAULT_LIST [--timeout SECONDS] [--only PATTERN]

SOURCE_DIR is a scratch copy of the tree (the faults are written into it and taken out again), BUILD_DIR a
build directory already configured for it. Each line of FAULT_LIST is

    path:line: original text ==> mutated text    # what the fault stands for

where the original text must occur on that line; its first occurrence is replaced (an empty mutated text
drops it). Blank lines and lines starting with '#' are skipped. A fault is "caught" when the build succeeds
and ctest fails (a test that runs past the timeout fails too), "missed" when every test passes and
"no-compile" when the build fails; the share caught leaves out the faults that do not compile.
"""
import argparse
import pathlib
import re
import subprocess
import sys

LINE = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+):\s?(?P<original>.*?) ==> ?(?P<mutated>.*?)\s*(#\s*(?P<note>.*))?$")


def read_faults(list_path):
    faults = []
    for number, text in enumerate(pathlib.Path(list_path).read_text().splitlines(), 1):
        if not text.strip() or text.lstrip().startswith("#"):
            continue
        match = LINE.match(text)
        if match is None:
            sys.exit(f"{list_path}:{number}: not a fault line: {text}")
        faults.append(match.groupdict() | {"line": int(match["line"])})
    return faults


def run(command, timeout=None):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("build")
    parser.add_argument("faults")
    parser.add_argument("--timeout", type=int, default=60, help="per test, in seconds")
    parser.add_argument("--only", default="", help="run only faults whose path contains this text")
    options = parser.parse_args()

    faults = [f for f in read_faults(options.faults) if options.only in f["path"]]
    tally = {"caught": 0, "missed": 0, "no-compile": 0}
    for fault in faults:
        path = pathlib.Path(options.source) / fault["path"]
        original_text = path.read_text()
        lines = original_text.split("\n")
        index = fault["line"] - 1
        if index >= len(lines) or fault["original"] not in lines[index]:
            sys.exit(f"{fault['path']}:{fault['line']}: does not hold '{fault['original']}'")
        lines[index] = lines[index].replace(fault["original"], fault["mutated"], 1)
        try:
            path.write_text("\n".join(lines))
            if run(["cmake", "--build", options.build, "-j2"]) != 0:
                outcome = "no-compile"
            else:
                status = run(["ctest", "--test-dir", options.build, "-j2", "--timeout", str(options.timeout)],
                             timeout=options.timeout * 20)
                outcome = "missed" if status == 0 else "caught"
        finally:
            path.write_text(original_text)
        tally[outcome] += 1
        print(f"{outcome:10} {fault['path']}:{fault['line']}  {fault['note'] or ''}", flush=True)

    # Leave the build matching the restored sources.
    run(["cmake", "--build", options.build, "-j2"])
    counted = tally["caught"] + tally["missed"]
    share = 100.0 * tally["caught"] / counted if counted else 0.0
    print(f"caught {tally['caught']}, missed {tally['missed']}, no-compile {tally['no-compile']}: "
          f"{share:.1f}% of {counted} caught", flush=True)


if __name__ == "__main__":
    main()
