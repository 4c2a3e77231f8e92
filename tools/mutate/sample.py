"""Faults drawn at random from the sources by simple operators, for ./trv mutate --sample.

A file is chosen in proportion to its lines, then one of the operators that can change something
in it (each as likely: integer constants, the most frequent, would crowd out the rest), then one
of its changes there; no change is drawn twice. Comments, strings and character literals are never changed, nor
preprocessor lines, static_asserts and template heads, where a change cannot compile or mean
anything.
"""

import random
import re

# Binary operators stand between spaces in this formatted code; template brackets, shifts, ->,
# and unary operators do not.
SWAPS = {
    "<": ["<=", ">"], "<=": ["<", ">="], ">": [">=", "<"], ">=": [">", "<="],
    "==": ["!="], "!=": ["=="], "&&": ["||"], "||": ["&&"],
}
BINARY = re.compile(r"(?<= )(<=|>=|==|!=|&&|\|\||<|>)(?= )")
NOT = re.compile(r"(?<![\w)\]!])!(?!=)")
# An integer literal on its own: not part of a name, a floating literal or a member access.
INTEGER = re.compile(r"(?<![\w.])(?<![eE][-+])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])")
RETURN_BOOL = re.compile(r"\breturn (true|false);")
# A whole statement that is one call: f(...); a::f(...); x.f(...); p->f(...).
CALL = re.compile(r"^[ \t]*((?:[A-Za-z_]\w*(?:::|\.|->))*[A-Za-z_]\w*)\(.*\);[ \t]*$", re.MULTILINE)
NOT_CALLS = {"return", "delete", "throw", "static_assert", "sizeof", "if", "while", "for",
             "switch", "CALL", "VALUE"}
JUMP = re.compile(r"^[ \t]*(break|continue);[ \t]*$", re.MULTILINE)
SKIPPED_LINE = re.compile(r"^\s*(#|template\b|static_assert\b|alignas\b)|\bstatic_assert\(")


class Mutation:
    def __init__(self, path, offset, old, new, operator):
        self.path = path        # relative to the repository root
        self.offset = offset    # of `old` in the file's text
        self.old = old
        self.new = new
        self.operator = operator


def blank_comments_and_literals(text):
    """The text with every character of comments, strings and character literals turned into a
    space (line breaks kept), so that positions stay those of the file."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
        elif c in "\"'":
            end = i + 1
            while end < n and text[end] != c and text[end] != "\n":
                end += 2 if text[end] == "\\" else 1
            end += 1
        else:
            i += 1
            continue
        for k in range(i, min(end, n)):
            if out[k] != "\n":
                out[k] = " "
        i = end
    return "".join(out)


def mutations_of(path, text):
    code = blank_comments_and_literals(text)
    skipped = set()
    for m in re.finditer(r"^.*$", code, re.MULTILINE):
        if SKIPPED_LINE.search(m.group(0)):
            skipped.add(m.start())
    line_starts = [m.start() for m in re.finditer(r"^", code, re.MULTILINE)]

    def line_start(offset):
        lo, hi = 0, len(line_starts)
        while hi - lo > 1:
            mid = (lo + hi) // 2
            lo, hi = (mid, hi) if line_starts[mid] <= offset else (lo, mid)
        return line_starts[lo]

    found = []

    def add(offset, old, new, operator):
        if line_start(offset) not in skipped:
            found.append(Mutation(path, offset, old, new, operator))

    for m in BINARY.finditer(code):
        for new in SWAPS[m.group(1)]:
            add(m.start(), m.group(1), new, "logical" if new in ("&&", "||") else "relational")
    for m in NOT.finditer(code):
        add(m.start(), "!", "", "negation dropped")
    for m in INTEGER.finditer(code):
        if len(m.group(1)) > 1 and m.group(1)[0] == "0" and m.group(1)[1] not in "xX":
            continue  # octal
        value = int(m.group(1), 16 if m.group(1)[1:2] in ("x", "X") else 10)
        for delta in (1, -1):
            if value + delta < 0:
                continue
            number = str(value + delta)
            if m.group(1)[1:2] in ("x", "X"):
                digits = f"{value + delta:X}" if m.group(1)[2:].isupper() else f"{value + delta:x}"
                number = m.group(1)[:2] + digits
            add(m.start(), m.group(0), number + m.group(2), "constant")
    for m in RETURN_BOOL.finditer(code):
        old = m.group(1)
        add(m.start(1), old, "false" if old == "true" else "true", "return value")
    for m in CALL.finditer(code):
        # A statement of its own: the code before it ends a statement or opens a block.
        before = code[:m.start()].rstrip()
        if (m.group(1).split("::")[0] not in NOT_CALLS and _balanced(m.group(0)) and
                (not before or before[-1] in ";{}:")):
            start = m.start(1)
            add(start, text[start:m.end()].rstrip(), "", "call deleted")
    for m in JUMP.finditer(code):
        start = m.start(1)
        rest = code[m.end():].lstrip()
        new = "[[fallthrough]];" if re.match(r"(case\b|default\s*:)", rest) else ""
        add(start, m.group(1) + ";", new, m.group(1) + " removed")
    return found


def _balanced(statement):
    depth = 0
    for c in statement:
        depth += c == "("
        depth -= c == ")"
        if depth < 0:
            return False
    return depth == 0


def draw(files, count, seed):
    """`count` different mutations: `files` maps a path to its text."""
    rng = random.Random(seed)
    candidates = {}
    for path, text in files.items():
        for m in mutations_of(path, text):
            candidates.setdefault(path, {}).setdefault(m.operator, []).append(m)
    paths = sorted(candidates)
    weights = [files[p].count("\n") + 1 for p in paths]
    left = sum(len(ms) for ops in candidates.values() for ms in ops.values())
    chosen = []
    while len(chosen) < min(count, left):
        ops = candidates[rng.choices(paths, weights)[0]]
        sites = ops[rng.choice(sorted(ops))]
        if sites:
            chosen.append(sites.pop(rng.randrange(len(sites))))
    return chosen


def describe(m, text):
    """file:line: the line before -> the line after."""
    line_no = text.count("\n", 0, m.offset) + 1
    start = text.rfind("\n", 0, m.offset) + 1
    end = text.find("\n", m.offset)
    end = len(text) if end < 0 else end
    before = text[start:end]
    after = before[:m.offset - start] + m.new + before[m.offset - start + len(m.old):]
    return f"{m.path}:{line_no}: {before.strip()} -> {after.strip() or '(nothing)'}"
