#!/usr/bin/env python3
"""Coverage report of src/ for ./trv coverage.

  coverage_report.py ROOT WINDOWS_TREE NATIVE_TREE OUT_DIR

Reads the gcov counters of both trees with gcovr (the MinGW gcov for the Windows objects, the
native gcov for the native ones), merges them and writes OUT_DIR/index.html (every file, line by
line) and OUT_DIR/summary.txt: lines, functions and branches per folder of src/ and per file, and
the functions no test entered. Branches that only an exception takes and branches the compiler
made unreachable are not counted.
"""

import json
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

# The entry that writes the counters exists only in coverage builds.
EXCLUDE = ["src/entry/coverage_entry.cpp"]
BRANCH_RULES = ["--exclude-throw-branches", "--exclude-unreachable-branches"]


def gcovr(root, *args):
    cmd = ["gcovr", "-r", str(root), "--filter", "src/"]
    for pattern in EXCLUDE:
        cmd += ["--exclude", pattern]
    subprocess.run(cmd + list(args), check=True, cwd=root, stdout=subprocess.DEVNULL)


def counts(entry):
    """[covered, total] of lines, functions and branches of one file of gcovr's JSON."""
    lines = [l for l in entry["lines"] if not l["gcovr/noncode"] and not l["gcovr/excluded"]]
    branches = [b for l in lines for b in l["branches"]]
    # A function is its line: the two builds name it differently where size_t differs, and the
    # instances of a template count as one.
    functions = {}
    for f in entry["functions"]:
        name, n = functions.get(f["lineno"], (f["name"], 0))
        functions[f["lineno"]] = (name, n + f["execution_count"])
    return {
        "lines": [sum(1 for l in lines if l["count"] > 0), len(lines)],
        "functions": [sum(1 for _, n in functions.values() if n > 0), len(functions)],
        "branches": [sum(1 for b in branches if b["count"] > 0), len(branches)],
    }, sorted((line, name) for line, (name, n) in functions.items() if n == 0)


def figure(pair):
    covered, total = pair
    percent = f"{100.0 * covered / total:5.1f} %" if total else "    - "
    return f"{percent} {covered:5}/{total:<5}"


def table(title, rows):
    out = [f"{title:<40} {'lines':>18} {'functions':>18} {'branches':>18}"]
    for name, c in rows:
        out.append(f"{name:<40} {figure(c['lines']):>18} {figure(c['functions']):>18} "
                   f"{figure(c['branches']):>18}")
    return out


def main():
    root, windows, native, out = (Path(a).resolve() for a in sys.argv[1:5])
    out.mkdir(parents=True, exist_ok=True)
    parts = []
    for tree, tool in ((windows, "x86_64-w64-mingw32-gcov"), (native, "gcov")):
        if any(tree.rglob("*.gcda")):
            part = out / f"{tree.name}.json"
            gcovr(root, "--gcov-executable", tool, *BRANCH_RULES, "--json", str(part), str(tree))
            parts.append(part)
    if not parts:
        print("coverage: no counters were written", file=sys.stderr)
        return 1
    merged = out / "coverage.json"
    tracefiles = [a for p in parts for a in ("--add-tracefile", str(p))]
    gcovr(root, *tracefiles, "--json", str(merged), "--html-details", str(out / "index.html"),
          "--html-title", "trvueye: what the tests run")

    files, never = {}, []
    for entry in json.loads(merged.read_text())["files"]:
        files[entry["file"]], unentered = counts(entry)
        never += [(entry["file"], line, name) for line, name in unentered]
    folders = defaultdict(lambda: {k: [0, 0] for k in ("lines", "functions", "branches")})
    for name, c in files.items():
        for folder in (str(Path(name).parent), "src (all)"):
            for k in c:
                folders[folder][k] = [a + b for a, b in zip(folders[folder][k], c[k])]

    text = table("folder", sorted(folders.items())) + [""]
    text += table("file", sorted(files.items())) + [""]
    text.append(f"functions never entered: {len(never)}")
    text += [f"  {f}:{line} {name}" for f, line, name in sorted(never)]
    (out / "summary.txt").write_text("\n".join(text) + "\n")
    print("\n".join(text))
    print(f"\ncoverage: {out / 'index.html'}, {out / 'summary.txt'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
