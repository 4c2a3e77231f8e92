#!/usr/bin/env python3
"""Seeded-fault check: applies each fault of faults.txt alone, rebuilds, runs the tests, restores.

  ./trv mutate                 every fault, then the figure is written into faults.txt
  ./trv mutate 3 7             faults 3 and 7 (numbers as --list shows them)
  ./trv mutate focus aoi       faults whose file or behaviour matches any of the patterns
  ./trv mutate --list          the faults with their numbers, nothing is built
  ./trv mutate --check         only checks that every original text occurs once in its file
  ./trv mutate --baseline      first runs the whole suite on the unchanged tree
  ./trv mutate --sample N [--seed S] [--only PATH] [K ...]
                               N faults drawn at random from src/ by simple operators instead
                               (sample.py); the seed is taken from the clock unless given, and
                               a fault that does not compile is reported and not counted;
                               --only draws from the files under PATH alone (src/record/);
                               K ...: only those faults of the draw (its survivors again)

Each test that caught a fault is run again on the unchanged tree at the end: a test that fails
there too does not count as a catch.

One failing test is the verdict, so the suite stops at its first failure. The test that caught a
fault is remembered in build/mutate-hints.json and runs first next time.
"""

import argparse
import datetime
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import sample

ROOT = Path(__file__).resolve().parents[2]
FAULTS = Path(__file__).resolve().parent / "faults.txt"
HINTS = ROOT / "build" / "mutate-hints.json"
COST_FILE = ROOT / "build" / "mutate-costs.json"
WIN_BUILD = ROOT / "build" / "windows"
NATIVE_BUILD = ROOT / "build" / "native"
SEPARATOR = " @@ "
NEWLINE_TOKEN = "<NL>"
DELETE_TOKEN = "<NOTHING>"
LAST_RUN = re.compile(r"^# last run: .*$", re.MULTILINE)
JOBS = str(os.cpu_count() or 2)
# Bounds a test the fault made hang; tests with a TIMEOUT of their own keep it.
TEST_TIMEOUT_S = "180"


class Fault:
    def __init__(self, number, line_no, path, original, replacement, behaviour, offset=None):
        self.number = number
        self.line_no = line_no
        self.path = path
        self.original = original
        self.replacement = replacement
        self.behaviour = behaviour
        self.offset = offset  # of the original text in the file; None: its only occurrence

    def key(self):
        return "\0".join((self.path, self.original, self.replacement, str(self.offset)))

    def label(self):
        """What the fault breaks (a listed fault) or what it changes (a sampled one)."""
        return self.behaviour if self.offset is not None else f"{self.path}: {self.behaviour}"


def parse_faults(text):
    faults, errors = [], []
    for line_no, line in enumerate(text.splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = line.split(SEPARATOR)
        if len(fields) != 4:
            errors.append(f"faults.txt:{line_no}: want 4 fields separated by '{SEPARATOR.strip()}'"
                          f", found {len(fields)}")
            continue
        path, original, replacement, behaviour = (f.strip() for f in fields)
        original = original.replace(NEWLINE_TOKEN, "\n")
        replacement = "" if replacement == DELETE_TOKEN else replacement.replace(NEWLINE_TOKEN, "\n")
        if original == replacement:
            errors.append(f"faults.txt:{line_no}: replacement equals the original")
            continue
        faults.append(Fault(len(faults) + 1, line_no, path, original, replacement, behaviour))
    return faults, errors


def check_faults(faults):
    """Every original text must occur exactly once in its file."""
    errors = []
    for f in faults:
        target = ROOT / f.path
        if not target.is_file():
            errors.append(f"faults.txt:{f.line_no}: no file {f.path}")
            continue
        count = target.read_text(encoding="utf-8").count(f.original)
        if count != 1:
            errors.append(f"faults.txt:{f.line_no}: the original text occurs {count} times in "
                          f"{f.path}, it must occur exactly once: {f.original!r}")
    return errors


def sampled_faults(count, seed, only):
    files = {}
    for p in sorted((ROOT / "src").rglob("*")):
        path = p.relative_to(ROOT).as_posix()
        # The coverage build's entry is not in the trees the tests run.
        if (p.suffix in (".cpp", ".h") and p.name != "coverage_entry.cpp" and
                path.startswith(only)):
            files[path] = p.read_bytes().decode("utf-8")
    return [Fault(i, None, m.path, m.old, m.new, sample.describe(m, files[m.path]), m.offset)
            for i, m in enumerate(sample.draw(files, count, seed), 1)]


def select(faults, args):
    if not args:
        return faults
    numbers = {int(a) for a in args if a.isdigit()}
    patterns = [re.compile(a, re.IGNORECASE) for a in args if not a.isdigit()]
    return [f for f in faults if f.number in numbers or
            any(p.search(f.path) or p.search(f.behaviour) for p in patterns)]


def run(cmd, log):
    """Runs cmd from the repository root, appending its output to log; returns the exit code."""
    with open(log, "a", encoding="utf-8", errors="replace") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        return subprocess.run(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL).returncode


def built_natively(path):
    """Whether the native (sanitizer) tree compiles this file or may include it."""
    if path.endswith(".h"):
        return True
    db = NATIVE_BUILD / "compile_commands.json"
    if not db.is_file():
        return False
    target = str((ROOT / path).resolve())
    for e in json.loads(db.read_text()):
        source = Path(e["file"])
        # A unity build compiles its sources through files that include them by full path.
        if str(source.resolve()) == target or (
                source.suffix == ".cxx" and f'#include "{target}"' in source.read_text()):
            return True
    return False


def failed_tests(build_dir):
    log = build_dir / "Testing" / "Temporary" / "LastTestsFailed.log"
    if not log.is_file():
        return []
    return [line.split(":", 1)[1].strip() for line in log.read_text().splitlines() if ":" in line]


TEST_TIME = re.compile(r"Test +#\d+: (\S+) \.+.*? ([\d.]+) sec$", re.MULTILINE)
# Seconds per test as last measured here; CTest's own cost file is rewritten from it.
COSTS = {}


def order_cheapest_first(build_dir):
    """CTest starts the tests of highest cost first: give the cheapest the highest cost, so the
    first failure, which is the verdict, comes early."""
    cost_file = build_dir / "Testing" / "Temporary" / "CTestCostData.txt"
    cost_file.parent.mkdir(parents=True, exist_ok=True)
    lines = [f"{name} 1 {1000.0 / (1.0 + secs):.4f}" for name, secs in sorted(COSTS.items())]
    cost_file.write_text("\n".join(lines + ["---", ""]))


def record_costs(log, start):
    with open(log, encoding="utf-8", errors="replace") as f:
        f.seek(start)
        for name, secs in TEST_TIME.findall(f.read()):
            COSTS[name] = float(secs)


def ctest(preset, build_dir, log, extra):
    """Runs one preset's tests; returns the failed test names (empty: all passed)."""
    failed_log = build_dir / "Testing" / "Temporary" / "LastTestsFailed.log"
    failed_log.unlink(missing_ok=True)
    order_cheapest_first(build_dir)
    start = Path(log).stat().st_size if Path(log).exists() else 0
    slots = build_dir / "wine-slots.json"  # one Wine prefix a slot, written by ./trv
    if slots.exists():
        extra = ["--resource-spec-file", str(slots)] + extra
    code = run(["ctest", "--preset", preset, "-j", JOBS, "--timeout", TEST_TIMEOUT_S,
                 "--no-tests=ignore"] + extra, log)
    record_costs(log, start)
    names = failed_tests(build_dir)
    if code != 0 and not names:
        names = [f"(ctest {preset} exit {code}, see {log.name})"]
    return names


def exact(name):
    return "^" + re.escape(name) + "$"


def run_suite(fault, log, hint):
    """Returns the first failing test, or None when every test passed."""
    suites = [("windows", WIN_BUILD)]
    if fault is None or built_natively(fault.path):
        suites.insert(0, ("native", NATIVE_BUILD))
    if hint:
        for preset, build_dir in suites:
            if ctest(preset, build_dir, log, ["-R", exact(hint)]) and \
                    ctest(preset, build_dir, log, ["-R", exact(hint)]):
                return hint
    stop = [] if fault is None else ["--stop-on-failure"]
    for preset, build_dir in suites:
        excluded = []
        while True:
            extra = stop + (["-E", "|".join(exact(n) for n in excluded)] if excluded else [])
            failed = ctest(preset, build_dir, log, extra)
            if not failed:
                break
            first = failed[0]
            if fault is None or first.startswith("(ctest"):
                return first
            # A failure counts when it repeats: one flaky run must not make a catch.
            if ctest(preset, build_dir, log, ["-R", exact(first)]):
                return first
            excluded.append(first)
            print(f"         {first} failed once and passed again; continuing", flush=True)
    return None


def build(log, native):
    if run(["cmake", "--build", "--preset", "windows", "-j", JOBS], log) != 0:
        return False
    return not native or run(["cmake", "--build", "--preset", "native", "-j", JOBS], log) == 0


def products_build(log):
    return run(["cmake", "--build", "--preset", "windows", "-j", JOBS, "--target", "trvueye",
                "ueye_sim", "trvhost", "trvlog"], log) == 0


def first_error(log):
    for line in Path(log).read_text(errors="replace").splitlines():
        if "error:" in line.lower():
            return line.strip()[:160]
    return "see " + str(log)


class Restorer:
    """Puts a mutated file back, also on Ctrl-C, SIGTERM or an error."""

    def __init__(self):
        self.path = None
        self.text = None

    def mutate(self, fault):
        self.path = ROOT / fault.path
        self.text = self.path.read_bytes()
        text = self.text.decode("utf-8")
        if fault.offset is None:
            mutated = text.replace(fault.original, fault.replacement, 1)
        else:
            end = fault.offset + len(fault.original)
            if text[fault.offset:end] != fault.original:
                raise RuntimeError(f"{fault.path} changed while the faults were drawn")
            mutated = text[:fault.offset] + fault.replacement + text[end:]
        self.path.write_bytes(mutated.encode("utf-8"))

    def restore(self):
        if self.path is not None:
            self.path.write_bytes(self.text)
            self.path = None


def load_json(path):
    try:
        return json.loads(path.read_text())
    except (OSError, ValueError):
        return {}


def save_json(path, value):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(value, indent=1))


def record_figure(caught, total):
    text = FAULTS.read_text(encoding="utf-8")
    line = f"# last run: {datetime.date.today().isoformat()}, {caught} of {total} caught"
    text = LAST_RUN.sub(line, text, count=1) if LAST_RUN.search(text) else line + "\n" + text
    FAULTS.write_text(text, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("select", nargs="*", help="fault numbers or patterns")
    parser.add_argument("--list", action="store_true", help="list the faults and exit")
    parser.add_argument("--check", action="store_true", help="check the list and exit")
    parser.add_argument("--baseline", action="store_true",
                        help="first run the whole suite on the unchanged tree")
    parser.add_argument("--sample", type=int, metavar="N",
                        help="N faults drawn at random from src/ instead of the list")
    parser.add_argument("--seed", type=int, help="the seed of --sample (default: the clock)")
    parser.add_argument("--only", metavar="PATH", default="src/",
                        help="--sample draws only from the files under PATH (default: src/)")
    opts = parser.parse_args()

    sampled = opts.sample is not None
    if opts.only != "src/" and not sampled:
        parser.error("--only goes with --sample")
    if sampled:
        if not all(a.isdigit() for a in opts.select) or opts.list or opts.check or opts.sample < 1:
            parser.error("--sample takes a count of 1 or more, and fault numbers of its draw only")
        only = opts.only.lstrip("./")
        if not (only + "/").startswith("src/"):
            parser.error("--only takes a path under src/")
        seed = opts.seed if opts.seed is not None else time.time_ns() % 1_000_000_000
        faults = sampled_faults(opts.sample, seed, only)
        chosen = select(faults, opts.select)
        again = "" if only == "src/" else f" --only {only}"
        print(f"mutate: seed {seed}, {len(faults)} faults drawn from {only} (the same again: "
              f"./trv mutate --sample {opts.sample} --seed {seed}{again})", flush=True)
    else:
        faults, errors = parse_faults(FAULTS.read_text(encoding="utf-8"))
        errors += check_faults(faults)
        if errors:
            print("mutate: refusing to run, the fault list does not match the sources:",
                  file=sys.stderr)
            for e in errors:
                print("  " + e, file=sys.stderr)
            return 2
        chosen = select(faults, opts.select)
    if opts.list:
        for f in chosen:
            print(f"{f.number:3} {f.path}: {f.behaviour}")
        return 0
    if opts.check:
        print(f"mutate: {len(faults)} faults, each original text found once")
        return 0
    if not chosen:
        print("mutate: no fault matches", file=sys.stderr)
        return 2

    logs = ROOT / "build" / "mutate"
    logs.mkdir(parents=True, exist_ok=True)
    restorer = Restorer()

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGHUP, stop)

    hints = load_json(HINTS)
    COSTS.update(load_json(COST_FILE))
    catches, survivors, broken = {}, [], []
    started = time.monotonic()
    try:
        log = logs / "baseline.log"
        log.unlink(missing_ok=True)
        if not build(log, True):
            print(f"mutate: the unchanged tree does not build: {first_error(log)}",
                  file=sys.stderr)
            return 1
        if opts.baseline:
            print("mutate: baseline, the whole suite on the unchanged tree ...", flush=True)
            failed = run_suite(None, log, None)
            if failed:
                print(f"mutate: the unchanged tree already fails {failed}; fix that first "
                      f"(log: {log})", file=sys.stderr)
                return 1
        for i, f in enumerate(chosen, 1):
            t0 = time.monotonic()
            log = logs / f"fault-{f.number:03}.log"
            log.unlink(missing_ok=True)
            restorer.mutate(f)
            # A sample's faults keep their numbers in the draw, also when only some of them run.
            head = f"[{i:2}/{len(chosen)}]" + (f" #{f.number:<3}" if opts.select or not sampled else "")
            if not build(log, built_natively(f.path)):
                if products_build(log):
                    # The plug-in builds; a compile-time check of the tests refuses the fault.
                    catches[f.number] = "(the tests' build)"
                    verdict = f"caught   by the tests' build: {first_error(log)}"
                else:
                    verdict = (f"does not compile, not counted: {first_error(log)}" if sampled
                               else f"DOES NOT BUILD: {first_error(log)}")
                    broken.append(f)
            else:
                first = run_suite(f, log, hints.get(f.key()))
                if first:
                    catches[f.number] = first
                    hints[f.key()] = first
                    save_json(HINTS, hints)
                    verdict = f"caught   by {first}"
                else:
                    survivors.append(f)
                    verdict = "SURVIVED"
            restorer.restore()
            save_json(COST_FILE, COSTS)
            print(f"{head} {f.label()}\n        {verdict}  ({time.monotonic() - t0:.0f} s)",
                  flush=True)
    except KeyboardInterrupt:
        restorer.restore()
        print("\nmutate: interrupted; the file is restored", file=sys.stderr)
        build(logs / "restore.log", True)
        return 130
    finally:
        restorer.restore()

    # The restored file is newer than its objects: one more build leaves an unmutated tree.
    log = logs / "restore.log"
    build(log, True)
    # A catch counts only when its test passes on the unchanged tree.
    unsound = set()
    for name in sorted(set(catches.values())):
        if not name.startswith("(") and any(
                ctest(p, d, log, ["-R", exact(name)]) for p, d in
                (("native", NATIVE_BUILD), ("windows", WIN_BUILD))):
            unsound.add(name)
            print(f"mutate: {name} fails on the unchanged tree too: its catches do not count")
    caught = sum(1 for name in catches.values() if name not in unsound)
    total = len(chosen) - (len(broken) if sampled else 0)
    print(f"\n{caught} of {total} caught ({time.monotonic() - started:.0f} s)")
    if sampled:
        print(f"  seed {seed}; {len(broken)} more did not compile and are not counted")
    for f in survivors:
        print(f"  survived {'' if sampled else f'#{f.number} '}{f.label()}")
    for f in broken:
        if not sampled:
            print(f"  does not build #{f.number} {f.path}: fix its line in {FAULTS.name}")
    if not sampled and len(chosen) == len(faults):
        record_figure(caught, total)
    return 0 if caught == total else 1


if __name__ == "__main__":
    sys.exit(main())
