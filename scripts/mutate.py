#!/usr/bin/env python3
"""Sampled mutation testing of the plug-in against the host suite.

Collects every mutation site of the classic kinds in the product code (plugin/, sensor/, fpga/,
handlers/, platform/), shuffles them with a seed, and for each one in turn: writes the mutant,
builds the host configuration in its own tree (incrementally), runs the host suite, and
restores the file. Stops after COUNT mutants that compiled. Writes a table (file, line,
change, outcome, killing test) as Markdown and prints the score.

A development tool, not part of CI. Standard library only. Run it niced:

    nice -n 19 scripts/mutate.py --seed 20261209 --count 150

The source file is restored after every mutant, on Ctrl-C and on SIGTERM; a backup of the
file under mutation is kept in the build tree and put back at the next start should the
process be killed outright.
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PRODUCT_DIRS = ["plugin", "sensor", "fpga", "handlers", "platform"]

# clang-format puts spaces around every binary operator and none inside template brackets,
# references or pointers, so " < " is a comparison and "<" alone is not.
BINARY_SWAPS = {
    "relational": {
        " < ": [" <= ", " > "],
        " <= ": [" < ", " > "],
        " > ": [" >= ", " < "],
        " >= ": [" > ", " < "],
        " == ": [" != "],
        " != ": [" == "],
    },
    "arithmetic": {
        " + ": [" - "],
        " - ": [" + "],
        " * ": [" / "],
        " / ": [" * "],
        " % ": [" * "],
        " += ": [" -= "],
        " -= ": [" += "],
    },
    "bitwise": {
        " & ": [" | "],
        " | ": [" & "],
        " ^ ": [" | "],
        " << ": [" >> "],
        " >> ": [" << "],
        " &= ": [" |= "],
        " |= ": [" &= "],
    },
    "logical": {
        " && ": [" || "],
        " || ": [" && "],
    },
}

INT_LITERAL = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uU]?[lL]{0,2}[uU]?)(?![\w.])")
BOOL_LITERAL = re.compile(r"\b(true|false)\b")
CONDITION = re.compile(r"\b(if|while) \(")
# A statement that is a call whose result is not used: "name(...);", "a.b(...);", "a->b(...);".
CALL_STATEMENT = re.compile(r"^(\s*)((?:[A-Za-z_]\w*(?:::|\.|->))*[A-Za-z_]\w*)\(.*\);\s*$")
NOT_CALLS = {"return", "if", "while", "for", "switch", "sizeof", "static_assert", "throw",
             "assert", "delete", "case"}


@dataclass
class Mutant:
    path: str
    line: int  # 1-based
    kind: str
    column: int
    old: str
    new: str

    def describe(self):
        return f"{self.kind}: `{self.old.strip() or self.old}` -> `{self.new.strip() or '(deleted)'}`"

    def apply(self, text_lines):
        line = text_lines[self.line - 1]
        assert line[self.column:self.column + len(self.old)] == self.old, (self, line)
        mutated = line[:self.column] + self.new + line[self.column + len(self.old):]
        return text_lines[:self.line - 1] + [mutated] + text_lines[self.line:]


def code_mask(line, in_block_comment):
    """Returns the line with comments and string/char literals blanked, and the comment state."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_block_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_block_comment = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block_comment = True
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out), in_block_comment


def sites_in_file(rel):
    text = (ROOT / rel).read_text()
    mutants = []
    in_comment = False
    for number, line in enumerate(text.split("\n"), start=1):
        code, in_comment = code_mask(line, in_comment)
        stripped = code.strip()
        if not stripped or stripped.startswith("#") or stripped.startswith("static_assert"):
            continue
        if re.match(r"^\s*(namespace|using|template|enum|struct|class)\b", code):
            continue
        for kind, swaps in BINARY_SWAPS.items():
            for old, news in swaps.items():
                start = 0
                while True:
                    at = code.find(old, start)
                    if at < 0:
                        break
                    # " < " inside " << " or " <= " is another operator, found by its own key.
                    before = code[at - 1] if at > 0 else " "
                    after = code[at + len(old)] if at + len(old) < len(code) else " "
                    if before not in "<>=!&|+-*/%^" and after not in "<>=&|":
                        for new in news:
                            mutants.append(Mutant(rel, number, kind, at, old, new))
                    start = at + 1
        for match in INT_LITERAL.finditer(code):
            literal = match.group(1)
            if code[:match.start()].rstrip().endswith(("[", "<")) and literal == "0":
                continue
            octal = len(literal) > 1 and literal.startswith("0") and literal.isdigit()
            value = int(literal, 8) if octal else int(literal, 0)  # C's 0644 is octal
            for delta in (1, -1):
                if value + delta < 0:
                    continue
                if literal.lower().startswith("0x"):
                    new = hex(value + delta)
                elif octal:
                    new = "0" + format(value + delta, "o")
                else:
                    new = str(value + delta)
                mutants.append(Mutant(rel, number, "constant", match.start(1), literal, new))
        for match in BOOL_LITERAL.finditer(code):
            flipped = "false" if match.group(1) == "true" else "true"
            mutants.append(Mutant(rel, number, "boolean", match.start(1), match.group(1), flipped))
        for match in CONDITION.finditer(code):
            at = match.end() - 1
            mutants.append(Mutant(rel, number, "negated condition", at, "(", "(!"))
        call = CALL_STATEMENT.match(code)
        if call and call.group(2).split("::")[0] not in NOT_CALLS and "=" not in code.split("(")[0]:
            body = line[len(call.group(1)):]
            mutants.append(Mutant(rel, number, "deleted call", len(call.group(1)), body, ";"))
    return mutants


def all_sites(only=None):
    files = []
    for directory in PRODUCT_DIRS:
        for path in sorted((ROOT / directory).rglob("*")):
            if path.suffix in (".cpp", ".h"):
                files.append(str(path.relative_to(ROOT)))
    if only:
        files = [rel for rel in files if rel in only]
    sites = []
    for rel in files:
        sites.extend(sites_in_file(rel))
    return sites


def load_equivalents(path):
    """(file, line, change) -> why the mutant changes nothing observable."""
    equivalents = {}
    if path.exists():
        for line in path.read_text().splitlines():
            if line.strip() and not line.startswith("#"):
                place, change, reason = (part.strip() for part in line.split(" | ", 2))
                file, number = place.rsplit(":", 1)
                equivalents[(file, int(number), change)] = reason
    return equivalents


def previous_survivors(table, sites):
    """The mutants of TABLE that survived or timed out, found again among SITES (by file and
    change, at the nearest line: edits since may have moved them)."""
    wanted = []
    for line in table.read_text().splitlines():
        cells = [c.strip() for c in re.split(r"(?<!\\)\|", line)[1:-1]]
        if len(cells) == 8 and cells[4] in ("survived", "timed out"):
            wanted.append((cells[1], int(cells[2]), cells[3].replace("\\|", "|")))
    found = []
    for path, line, change in wanted:
        same = [m for m in sites if m.path == path and m.describe() == change]
        if not same:
            print(f"gone: {path}:{line} {change}")
            continue
        found.append(min(same, key=lambda m: abs(m.line - line)))
    return found


class Restorer:
    """Puts the original file back whatever happens, and leaves a backup for a hard kill."""

    def __init__(self, build):
        self.backup = build / "mutant-original"
        self.backup_name = build / "mutant-original.path"
        self.path = None
        self.original = None

    def recover_leftover(self):
        if self.backup.exists() and self.backup_name.exists():
            path = ROOT / self.backup_name.read_text().strip()
            shutil.copyfile(self.backup, path)
            print(f"restored {path} from a previous interrupted run")
        self.clear()

    def write(self, rel, content, original):
        self.path = ROOT / rel
        self.original = original
        self.backup.write_text(original)
        self.backup_name.write_text(rel)
        self.path.write_text(content)

    def restore(self):
        if self.path is not None:
            # Written, not renamed: ninja must see the file as newer than the mutant's object.
            self.path.write_text(self.original)
            self.path = None
        self.clear()

    def clear(self):
        for f in (self.backup, self.backup_name):
            if f.exists():
                f.unlink()


def run(cmd, timeout=None, **kwargs):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout, start_new_session=True, **kwargs)


def run_suite(build, timeout, per_test_timeout):
    """Returns (outcome, killing test or detail, seconds)."""
    start = time.monotonic()
    cmd = ["ctest", "--test-dir", str(build), "-j", str(os.cpu_count() or 2),
           "--stop-on-failure", "--timeout", str(per_test_timeout), "--no-tests=error"]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.communicate()
        return "timed out", f"suite over {timeout} s", time.monotonic() - start
    elapsed = time.monotonic() - start
    if proc.returncode == 0:
        return "survived", "", elapsed
    # Each finished test: "  3/120 Test  #17: Name .......***Failed    0.10 sec".
    results = re.findall(r"Test\s+#\d+: (\S+) \.*\s*(\*{3}\S+|Passed|Not Run)", out)
    failed = [(name, why) for name, why in results if why != "Passed"]
    if failed:
        timeouts = [name for name, why in failed if "Timeout" in why]
        if len(timeouts) == len(failed):
            return "timed out", timeouts[0], elapsed
        return "killed", failed[0][0], elapsed
    errors = [line for line in out.splitlines() if "rror" in line]
    return "killed", "ctest: " + (errors[0].strip() if errors else "failed")[:60], elapsed


def configure(build, preset):
    if (build / "build.ninja").exists():
        return
    flags = "-O1 -g0 -DNDEBUG"
    result = run(["cmake", "--preset", preset, "-B", str(build),
                  f"-DCMAKE_CXX_FLAGS_RELWITHDEBINFO={flags}",
                  f"-DCMAKE_C_FLAGS_RELWITHDEBINFO={flags}"], cwd=ROOT)
    if result.returncode != 0:
        sys.exit("configure failed:\n" + result.stdout)


def build_tree(build, jobs, timeout=None):
    return run(["cmake", "--build", str(build), "-j", str(jobs)], timeout=timeout, cwd=ROOT)


def markdown_row(cells):
    return "| " + " | ".join(str(c).replace("|", "\\|") for c in cells) + " |"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--count", type=int, default=150, help="compiling mutants to run")
    parser.add_argument("--build", default="build/mutate", help="build tree of the mutants")
    parser.add_argument("--preset", default="host")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds for the suite per mutant (default: 3x the clean run, min 60)")
    parser.add_argument("--test-timeout", type=int, default=60, help="seconds per test")
    parser.add_argument("--out", default=None, help="Markdown table (default: BUILD/mutants.md)")
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--equivalent", default=str(ROOT / "scripts" / "mutants-equivalent.txt"),
                        help="mutants judged equivalent: lines 'file:line | change | reason'")
    parser.add_argument("--files", nargs="+", default=None,
                        help="mutate only these product files (e.g. the ones a change touched)")
    parser.add_argument("--rerun", default=None,
                        help="a previous table: run again only its survivors and time-outs")
    args = parser.parse_args()

    build = (ROOT / args.build).resolve()
    build.mkdir(parents=True, exist_ok=True)
    out_path = Path(args.out) if args.out else build / "mutants.md"
    restorer = Restorer(build)
    restorer.recover_leftover()

    sites = all_sites(args.files)
    random.Random(args.seed).shuffle(sites)
    if args.rerun:
        sites = previous_survivors(Path(args.rerun), sites)
    print(f"{len(sites)} mutation sites; seed {args.seed}")
    if args.list:
        for m in sites[:args.count]:
            print(f"{m.path}:{m.line}: {m.describe()}")
        return 0

    def on_signal(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGHUP, on_signal)

    configure(build, args.preset)
    print("building the unmutated tree ...", flush=True)
    result = build_tree(build, args.jobs)
    if result.returncode != 0:
        sys.exit("the unmutated tree does not build:\n" + result.stdout[-4000:])
    outcome, detail, clean_seconds = run_suite(build, 3600, args.test_timeout)
    if outcome != "survived":
        sys.exit(f"the unmutated suite does not pass ({outcome}: {detail})")
    suite_timeout = args.timeout or max(60.0, 3 * clean_seconds)
    print(f"clean suite: {clean_seconds:.1f} s; per-mutant suite timeout {suite_timeout:.0f} s")

    equivalent = load_equivalents(Path(args.equivalent))
    rows = []
    counts = {"killed": 0, "survived": 0, "equivalent": 0, "timed out": 0, "did not compile": 0}
    started = time.monotonic()

    def write_table(final):
        compiled = (counts["killed"] + counts["survived"] + counts["equivalent"] +
                    counts["timed out"])
        caught = counts["killed"] + counts["timed out"]
        meaningful = compiled - counts["equivalent"]
        lines = [f"# Mutation run, seed {args.seed}" + ("" if final else " (partial)"), "",
                 f"{compiled} compiling mutants: {counts['killed']} killed, "
                 f"{counts['timed out']} timed out, {counts['survived']} survived, "
                 f"{counts['equivalent']} equivalent; "
                 f"{counts['did not compile']} did not compile. "
                 f"Caught {caught}/{meaningful} non-equivalent"
                 + (f" ({100.0 * caught / meaningful:.1f} %)" if meaningful else "")
                 + f"; {time.monotonic() - started:.0f} s.", "",
                 markdown_row(["#", "file", "line", "change", "outcome", "killed by", "build s",
                               "suite s"]),
                 markdown_row(["---"] * 8)]
        lines += [markdown_row(r) for r in rows]
        out_path.write_text("\n".join(lines) + "\n")

    index = 0
    try:
        for mutant in sites:
            compiled = (counts["killed"] + counts["survived"] + counts["equivalent"] +
                        counts["timed out"])
            if compiled >= args.count:
                break
            index += 1
            original = (ROOT / mutant.path).read_text()
            lines = original.split("\n")
            mutated = "\n".join(mutant.apply(lines))
            restorer.write(mutant.path, mutated, original)
            try:
                t0 = time.monotonic()
                built = build_tree(build, args.jobs)
                build_seconds = time.monotonic() - t0
                if built.returncode != 0:
                    outcome, detail, suite_seconds = "did not compile", "", 0.0
                else:
                    outcome, detail, suite_seconds = run_suite(build, suite_timeout,
                                                               args.test_timeout)
            finally:
                restorer.restore()
            reason = equivalent.get((mutant.path, mutant.line, mutant.describe()))
            if outcome == "survived" and reason:
                outcome, detail = "equivalent", reason
            counts[outcome] += 1
            rows.append([index, mutant.path, mutant.line, mutant.describe(), outcome, detail,
                         f"{build_seconds:.0f}", f"{suite_seconds:.0f}"])
            print(f"[{index}] {mutant.path}:{mutant.line} {mutant.describe()} -> {outcome}"
                  f" {detail} (build {build_seconds:.0f} s, suite {suite_seconds:.0f} s)",
                  flush=True)
            write_table(final=False)
    except KeyboardInterrupt as stop:
        restorer.restore()
        print(f"interrupted ({stop}); the source is restored; partial table in {out_path}")
        write_table(final=False)
        return 130
    write_table(final=True)
    print(out_path.read_text().split("\n\n")[1])
    print(f"table: {out_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
