#!/usr/bin/env python3
"""Plants single-point faults in the product code one at a time and runs the tests against each.

Two commands:

    mutate.py generate SOURCE_DIR --seed N --count 150 > faults.txt
    mutate.py run SOURCE_DIR BUILD_DIR FAULT_LIST... [--timeout SECONDS] [--only PATTERN] [--equivalence DIR]
                  [--reviewed LIST]

`generate` spreads COUNT faults over the product files (base/, resid/, archive/, headerlib/, app/) in
proportion to their counted lines (non-blank lines that are not only a comment), then picks each fault at
random among the single-point changes its file offers: a comparison flipped or loosened, a logical operator
swapped, an arithmetic operator swapped, an integer constant off by one, a statement dropped, the operands of
an ordering comparison swapped, a Boolean result inverted, a negation dropped. The same seed on the same tree
gives the same faults. Files built only for another platform are left out: no test here could run them.

`run` reads fault lists (generated or hand-written) whose lines are

    path:line: original text ==> mutated text    # what the fault stands for

where the original text must occur on that line; its first occurrence is replaced (an empty mutated text
drops it). Blank lines and lines starting with '#' are skipped. SOURCE_DIR is a scratch copy of the tree (the
faults are written into it and taken out again), BUILD_DIR a build directory configured for it.

Each fault builds the tool and the test programs that can see it (those of its folder and of the folders
above) and runs their tests. A fault is "no-compile" when the build fails (left out of the score),
"missed" when every test passes, and "caught" only when a second run of just the failing tests fails
again; a failure that does not repeat is "unconfirmed" and counts as missed, so a test that fails at
random cannot kill a fault.

With --equivalence DIR, a second build directory configured for SOURCE_DIR to optimise (for instance
`-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2`: optimised, assertions kept, no debug information), a fault the
tests miss is compiled there in full. When every object file comes out identical to the unchanged tree's,
the compiler has shown that the fault cannot change what the program does: the fault is "equivalent" and
left out of the score like one that does not compile. (A default member value that every construction
replaces is one such case; a member that nothing instantiates, or a branch the optimiser proves
unreachable, are others.) This only ever removes faults that no test could catch.

With --reviewed LIST (tools/equivalent-faults.txt), a fault the tests miss that a reader has already shown to
change nothing the program does is "reviewed" and left out of the score too. The compiler cannot prove every
such fault: a default member value that every constructor overwrites still leaves a store in the code, and a
buffer size or a comparator that both sorts and searches changes the code but not the result. Each entry is
the whole source line, the whole line with the fault, and the reason:

    path:line: source line ==> line with the fault    # why no run of the program can tell them apart

A source line that occurs once in its file is found wherever it moved; one of several equal lines must keep
its line number. An entry whose line is not found is reported as stale and left out. A reviewed fault that a
test catches counts as caught, and is reported: its reason was wrong.
"""
import argparse
import hashlib
import pathlib
import random
import re
import signal
import subprocess
import sys

LINE = re.compile(r"^(?P<path>[^:]+):(?P<line>\d+):\s?(?P<original>.*?) ==> ?(?P<mutated>.*?)\s*(#\s*(?P<note>.*))?$")
PRODUCT_FOLDERS = ("base", "resid", "archive", "headerlib", "app")
OTHER_PLATFORM = re.compile(r"Windows\.cpp$")


def counted(line):
    stripped = line.strip()
    return bool(stripped) and not stripped.startswith("//")


def code_part(line):
    """The line up to a trailing comment, with string and character literals blanked so that no fault is
    planted inside them (positions stay those of the line)."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(c if c == quote else " ")
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)[: len(line)]


# Each operator: the replacements that make a plausible single-point fault.
OPERATORS = {
    "==": ["!="], "!=": ["=="], "<=": ["<", ">"], ">=": [">", "<"], "<": ["<=", ">"], ">": [">=", "<"],
    "&&": ["||"], "||": ["&&"], "+": ["-"], "-": ["+"], "*": ["/"], "<<": [">>"], ">>": ["<<"],
}
OPERATOR = re.compile(r"(?<![-+*/<>=!&|^%])(==|!=|<=|>=|<<|>>|&&|\|\||<|>|\+|-|\*)(?![-+*/<>=!&|^%])")
NUMBER = re.compile(r"(?<![\w.])(\d+|0[xX][0-9a-fA-F]+)([uU]?[lL]{0,2}|[lL]{1,2}[uU]?)(?![\w.])")
COMPARISON = re.compile(r"(?<![\w:>*&!])(?P<left>[\w.:\->\[\]()]+) (?P<op>==|!=|<=|>=|<|>) (?P<right>[\w.:\->\[\]]+(\(\))?)(?![\w:<(.\[-])")
SKIPPED_LINE = re.compile(r"^\s*(#|static_assert|template|using |namespace|class |struct |enum |public:|private:|protected:|case .*:$|default:)")


def candidates(text):
    """Every single-point fault the line offers, as (original, mutated, note)."""
    code = code_part(text)
    if SKIPPED_LINE.match(code) or not code.strip():
        return []
    found = []

    def around(start, end, replacement):
        # The replaced span with a word of context on each side, widened until its first occurrence on the
        # line is this one.
        left = code.rfind(" ", 0, max(code.rfind(" ", 0, start), 0)) + 1
        right = code.find(" ", min(code.find(" ", end) + 1 or len(code), len(code)))
        right = len(text) if right < 0 else right
        while text.find(text[left:right]) != left and (left > 0 or right < len(text)):
            left, right = max(left - 1, 0), min(right + 1, len(text))
        return text[left:right], text[left:start] + replacement + text[end:right]

    for match in OPERATOR.finditer(code):
        op = match.group(1)
        # Binary operators stand between spaces; this leaves out templates, pointers, references and signs.
        if code[match.start() - 1: match.start()] != " " or code[match.end(): match.end() + 1] != " ":
            continue
        if op in ("<", ">", "<<", ">>") and re.search(r"template|static_cast|reinterpret_cast", code):
            continue
        for replacement in OPERATORS[op]:
            original, mutated = around(match.start(), match.end(), replacement)
            found.append((original, mutated, f"'{op}' becomes '{replacement}'"))
    for match in NUMBER.finditer(code):
        digits, suffix = match.group(1), match.group(2)
        if len(digits) > 1 and digits[0] == "0" and digits[1] not in "xX":
            continue  # Octal: file modes.
        if code[: match.start()].rstrip().endswith("<"):
            continue  # A template argument: a buffer's capacity, which no behaviour pins.
        value = int(digits, 0)
        for changed in (value + 1, value - 1):
            if changed < 0:
                continue
            written = (hex(changed) if digits.lower().startswith("0x") else str(changed)) + suffix
            original, mutated = around(match.start(), match.end(), written)
            found.append((original, mutated, f"constant {digits} becomes {changed}"))
    for match in COMPARISON.finditer(code):
        left, op, right = match.group("left"), match.group("op"), match.group("right")
        # Swapped operands of == and != compare the same: such a fault could never be caught.
        if left == right or op in ("==", "!=") or left.count("(") != left.count(")"):
            continue
        swapped = f"{right} {op} {left}"
        original, mutated = around(match.start(), match.end(), swapped)
        found.append((original, mutated, "operands of a comparison swapped"))
    for word, other in (("true", "false"), ("false", "true")):
        for match in re.finditer(rf"\b{word}\b", code):
            original, mutated = around(match.start(), match.end(), other)
            found.append((original, mutated, f"{word} becomes {other}"))
    for match in re.finditer(r"!(?=[\w(])", code):
        original, mutated = around(match.start(), match.end(), "")
        found.append((original, mutated, "negation dropped"))
    start = len(code) - len(code.lstrip())
    stripped = code.strip()
    raw = text[start:start + len(stripped)]
    # Declarations are not statements: dropping one either fails to build or changes nothing.
    if stripped.startswith("[[") or re.search(r"= (delete|default);$", stripped):
        return found
    # A whole statement dropped: calls, assignments, increments, early returns and breaks.
    if stripped.endswith(";") and not stripped.startswith(("return ", "}")) and "{" not in stripped \
            and (re.search(r"\w\(.*\);$|[^=!<>]=[^=]|\+\+|--|\+=|-=", stripped) or stripped in ("break;", "continue;")) \
            and not re.match(r"^(const |constexpr |static |auto |unsigned |[\w:<>,* &]+ [\w]+ ?(=|\(|\{|;))", stripped):
        found.append((raw, "", "statement dropped"))
    # A returned value changed: inverted when it is not a Boolean literal (those are swapped above).
    returned = re.match(r"^return (?P<value>[^;]+);$", stripped)
    if returned and returned["value"] not in ("true", "false", "nullptr") and "?" not in returned["value"]:
        found.append((raw, f"return !({raw[7:-1]});", "returned value inverted"))
    return found


def generate(options):
    root = pathlib.Path(options.source)
    files = []
    for folder in PRODUCT_FOLDERS:
        for path in sorted((root / folder).glob("*")):
            if path.suffix in (".cpp", ".h") and not OTHER_PLATFORM.search(path.name):
                lines = path.read_text().split("\n")
                files.append((path.relative_to(root).as_posix(), lines, sum(counted(l) for l in lines)))
    total = sum(size for _, _, size in files)
    # Largest remainder: each file's share of the count in proportion to its counted lines.
    shares = [(options.count * size / total, index) for index, (_, _, size) in enumerate(files)]
    quota = {index: int(share) for share, index in shares}
    left = options.count - sum(quota.values())
    for share, index in sorted(shares, key=lambda s: s[0] - int(s[0]), reverse=True)[:left]:
        quota[index] += 1
    generator = random.Random(options.seed)
    sites = {index: list_sites(lines) for index, (_, lines, _) in enumerate(files)}
    # A file that offers fewer sites than its share hands the rest to the largest files that have more.
    for index in quota:
        spare = quota[index] - len(sites[index])
        if spare > 0:
            quota[index] -= spare
            for other, _ in sorted(((o, f[2]) for o, f in enumerate(files)), key=lambda o: -o[1]):
                while spare and quota[other] < len(sites[other]):
                    quota[other] += 1
                    spare -= 1
    print(f"# Generated by: tools/mutate.py generate --seed {options.seed} --count {options.count}")
    for index, (name, _, _) in enumerate(files):
        for number, original, mutated, note in sorted(generator.sample(sites[index], quota[index])):
            print(f"{name}:{number}: {original} ==> {mutated}    # {note}")


def list_sites(lines):
    sites = []
    in_block_comment = False
    for number, text in enumerate(lines, 1):
        stripped = text.strip()
        if in_block_comment or stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        for original, mutated, note in candidates(text):
            sites.append((number, original, mutated, note))
    return sites


def read_faults(list_path):
    faults = []
    for number, text in enumerate(pathlib.Path(list_path).read_text().splitlines(), 1):
        if not text.strip() or text.lstrip().startswith("#"):
            continue
        match = LINE.match(text)
        if match is None:
            sys.exit(f"{list_path}:{number}: not a fault line: {text}")
        faults.append(match.groupdict() | {"line": int(match["line"]), "list": list_path})
    return faults


def read_reviewed(list_path, source):
    """The reviewed faults, as a set of (path, line number, stripped line with the fault)."""
    reviewed = set()
    for fault in read_faults(list_path):
        lines = [line.strip() for line in (pathlib.Path(source) / fault["path"]).read_text().split("\n")]
        found = [number for number, line in enumerate(lines, 1) if line == fault["original"].strip()]
        # A line that occurs once is found wherever it moved; one of several equal lines must keep its number.
        if len(found) > 1:
            found = [number for number in found if number == fault["line"]]
        if not found:
            print(f"{list_path}: stale entry: {fault['path']}:{fault['line']}", file=sys.stderr)
            continue
        reviewed.add((fault["path"], found[0], fault["mutated"].strip()))
    return reviewed


def run_quietly(command, timeout=None):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def run_tests(options, tests, extra, jobs):
    command = ["ctest", "--test-dir", options.build, f"-j{jobs}", "--timeout", str(options.timeout), "-R", tests]
    return run_quietly(command + extra, timeout=options.timeout * 30)


def failed_tests(options):
    failed_log = pathlib.Path(options.build) / "Testing" / "Temporary" / "LastTestsFailed.log"
    failed = failed_log.read_text().split() if failed_log.exists() else []
    return " ".join(entry.split(":", 1)[1] for entry in failed[:3] if ":" in entry)


def judge(options, tests):
    """Runs the tests, stopping at the first failure, then the failed ones again one at a time: a fault is
    caught when a failure repeats. When it does not, the whole run is made to its end and what fails there is
    run again, so that a test failing at random can neither kill a fault nor hide the tests after it."""
    if run_tests(options, tests, ["--stop-on-failure"], options.jobs) == 0:
        return "missed", ""
    # One at a time, so that two failed tests cannot disturb each other again.
    if run_tests(options, tests, ["--rerun-failed"], 1) != 0:
        return "caught", failed_tests(options)
    if run_tests(options, tests, [], options.jobs) == 0:
        return "unconfirmed", ""
    if run_tests(options, tests, ["--rerun-failed"], 1) != 0:
        return "caught", failed_tests(options)
    return "unconfirmed", failed_tests(options)


# The test programs that can see a fault of each folder: those of the folder and of the folders above it.
# The tool itself is built for the end-to-end tests of app/.
REACHING_PROGRAMS = {
    "base": ["base", "resid", "archive", "headerlib", "app"],
    "resid": ["resid", "archive", "headerlib", "app"],
    "archive": ["archive", "app"],
    "headerlib": ["headerlib", "app"],
    "app": ["app"],
}


def list_suites(options, program):
    """The test suites of one test program, from its own listing."""
    path = pathlib.Path(options.build) / "tests" / f"{program}_tests"
    listing = subprocess.run([str(path), "--gtest_list_tests"], capture_output=True, text=True).stdout
    return [line.rstrip(".") for line in listing.splitlines() if line and not line.startswith(" ")]


def prepare_layers(options):
    """Per folder, the targets to build and the tests (a ctest regular expression) that can see its faults."""
    run_quietly(build_command(options))
    suites = {program: list_suites(options, program) for program in REACHING_PROGRAMS}
    layers = {}
    for folder, programs in REACHING_PROGRAMS.items():
        names = [suite for program in programs for suite in suites[program]]
        layers[folder] = {
            "targets": ["VorskExtract"] + [f"{program}_tests" for program in programs],
            "tests": r"^([a-z0-9]+\.)?(" + "|".join(names) + r")\.",
        }
    return layers


def build_command(options, targets=(), build=None):
    return (["cmake", "--build", build or options.build, f"-j{options.jobs}"] +
            (["--target", *targets] if targets else []))


def object_digests(build):
    """The digest of every object file of a build directory, by path."""
    return {path: hashlib.sha256(path.read_bytes()).digest() for path in pathlib.Path(build).rglob("*.o")}


def compiles_unchanged(options, unchanged):
    """Whether the optimised copy, built with the fault, has every object file identical to the unchanged
    tree's."""
    built = run_quietly(build_command(options, build=options.equivalence)) == 0
    return built and object_digests(options.equivalence) == unchanged


def run(options):
    # A run stopped from outside still takes its fault out of the sources.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    faults = []
    for path in options.faults:
        listed = [f for f in read_faults(path) if options.only in f["path"]]
        # In a random order, the faults run so far are a fair sample of the list when a run must stop early.
        if options.shuffle is not None:
            random.Random(options.shuffle).shuffle(listed)
        faults += listed
    faults = faults[options.skip:]
    layers = prepare_layers(options)
    unchanged = None
    if options.equivalence:
        if run_quietly(build_command(options, build=options.equivalence)) != 0:
            sys.exit(f"{options.equivalence}: the unchanged tree does not build")
        unchanged = object_digests(options.equivalence)
    reviewed = read_reviewed(options.reviewed, options.source) if options.reviewed else set()
    tally = {"caught": 0, "missed": 0, "unconfirmed": 0, "no-compile": 0, "equivalent": 0, "reviewed": 0}
    for fault in faults:
        path = pathlib.Path(options.source) / fault["path"]
        original_text = path.read_text()
        lines = original_text.split("\n")
        index = fault["line"] - 1
        if index >= len(lines) or fault["original"] not in lines[index]:
            sys.exit(f"{fault['path']}:{fault['line']}: does not hold '{fault['original']}'")
        lines[index] = lines[index].replace(fault["original"], fault["mutated"], 1)
        on_review_list = (fault["path"], fault["line"], lines[index].strip()) in reviewed
        failing = ""
        try:
            path.write_text("\n".join(lines))
            layer = layers[fault["path"].split("/")[0]]
            if run_quietly(build_command(options, layer["targets"])) != 0:
                outcome = "no-compile"
            else:
                outcome, failing = judge(options, layer["tests"])
                # A caught fault needs no proof that it changes the program.
                if outcome != "caught" and on_review_list:
                    outcome = "reviewed"
                elif outcome != "caught" and options.equivalence and compiles_unchanged(options, unchanged):
                    outcome = "equivalent"
                elif outcome == "caught" and on_review_list:
                    failing += " (on the reviewed list: its reason is wrong)"
        finally:
            path.write_text(original_text)
        tally[outcome] += 1
        print(f"{outcome:11} {fault['path']}:{fault['line']}: {fault['original'].strip()} ==> "
              f"{fault['mutated'].strip()}    # {fault['note'] or ''}{' [' + failing + ']' if failing else ''}",
              flush=True)

    # Leave the builds matching the restored sources.
    run_quietly(build_command(options))
    if options.equivalence:
        run_quietly(build_command(options, build=options.equivalence))
    counted_faults = tally["caught"] + tally["missed"] + tally["unconfirmed"]
    share = 100.0 * tally["caught"] / counted_faults if counted_faults else 0.0
    print(f"caught {tally['caught']}, missed {tally['missed']}, unconfirmed {tally['unconfirmed']}, "
          f"no-compile {tally['no-compile']}, equivalent {tally['equivalent']}, reviewed {tally['reviewed']}: "
          f"{share:.1f}% of {counted_faults} caught", flush=True)


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    generating = commands.add_parser("generate")
    generating.add_argument("source")
    generating.add_argument("--seed", type=int, required=True)
    generating.add_argument("--count", type=int, default=150)
    running = commands.add_parser("run")
    running.add_argument("source")
    running.add_argument("build")
    running.add_argument("faults", nargs="+")
    running.add_argument("--timeout", type=int, default=60, help="per test, in seconds")
    running.add_argument("--only", default="", help="run only faults whose path contains this text")
    running.add_argument("--jobs", type=int, default=2, help="build and test jobs")
    running.add_argument("--skip", type=int, default=0, help="resume a stopped run after this many faults")
    running.add_argument("--shuffle", type=int, help="run each list's faults in an order drawn from this seed")
    running.add_argument("--equivalence", metavar="DIR",
                         help="an optimised build of SOURCE_DIR: faults that compile to identical objects "
                              "there are equivalent and left out of the score")
    running.add_argument("--reviewed", metavar="LIST",
                         help="faults read and shown to change nothing: missed ones are left out of the score")
    options = parser.parse_args()
    generate(options) if options.command == "generate" else run(options)


if __name__ == "__main__":
    main()
