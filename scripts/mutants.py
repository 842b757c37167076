#!/usr/bin/env python3
"""Mutation testing with the project's own tests.

A mutant is one small change of a production source line under src/ or apps/: a comparison turned
round, a condition negated, a call removed, a constant changed, a failure returned as success. A
mutant is killed when a test of its layer fails; it survives when they all pass. A fixed-seed sample
of mutants is made once and committed (--make-sample), so that every later run measures the same
mutants, before and after a change of the tests.

Each worker keeps a copy of the source tree and a build folder of its own under the work folder
(build-mutants/w<N>), configured once; the mutated file is written into the copy, only the programs
that the mutant's tests need are rebuilt, its tests run under a time limit, and the file is
restored.
Results are appended to a results file as they come, so that an interrupted run continues where it
stopped; --report writes them as Markdown.

Which tests run: the CTest label of the mutated file's layer (src/<layer>/..., apps/... -> apps),
that is the unit tests beside that layer's code and the test programs of tests/ that exercise it.
A mutant of a lower layer is not run against the tests of the layers above it, which would kill it
through the whole stack and hide the gaps of the layer's own tests; --labels-up runs them as well.

Of those tests, only the ones whose suite runs the mutated line are run: before the mutants, one
more copy of the tree is built with line coverage (build-mutants/coverage) and every test suite is
run on its own, which tells which suites reach which lines. A mutant on a line none of its
tests reaches is "not covered" and is neither built nor run (it cannot be killed); one on a line
without code of its own (a declaration, a constant folded at compile time) runs all of its label.
Lines reached only by a process that was killed by a signal go uncounted, so a mutant there can
show as not covered; --no-coverage runs every mutant against its whole label instead.

Standard library only; needs cmake, ninja and ctest, uses ccache when it is installed.
"""

import argparse
import dataclasses
import datetime
import hashlib
import json
import os
import queue
import random
import re
import shutil
import signal
import subprocess
import threading
import time
from pathlib import Path

LAYERS = ["platform", "support", "tasks", "engine", "execution", "automation", "apps"]

OPERATORS = {
    "relational": "< <= > >= turned to the non-strict or strict form, or round",
    "equality": "== and != swapped",
    "boundary": "an integer literal compared with, plus or minus one",
    "negate": "the condition of an if or while negated",
    "logical": "&& and || swapped",
    "remove_call": "a call that is a statement of its own removed",
    "remove_statement": "an assignment, increment, break or continue removed",
    "constant": "an integer literal n changed to n+1 or 0",
    "success": "a failure returned as success (false -> true, E_... -> S_OK, -1 -> 0)",
}

STATUSES = ["killed", "survived", "not_covered", "timeout", "build_failed", "stale"]
STATUS_TITLES = {
    "killed": "killed",
    "survived": "survived",
    "not_covered": "not covered",
    "timeout": "timed out",
    "build_failed": "did not build",
    "stale": "stale",
}

# gcov's instrumentation, set on the command line so that any tree of the project can be measured.
COVERAGE_FLAGS = [f"-DCMAKE_{kind}_FLAGS=--coverage"
                  for kind in ("CXX", "C", "EXE_LINKER", "SHARED_LINKER", "MODULE_LINKER")]

REPO = Path(__file__).resolve().parent.parent
DEFAULT_SAMPLE = Path(__file__).resolve().parent / "mutants-sample.json"
SOURCE_SUFFIXES = (".cpp", ".h")


# ---------------------------------------------------------------------------------------------
# Production sources


def layer_of(path):
    parts = Path(path).parts
    if parts[0] == "apps":
        return "apps"
    if parts[0] == "src" and len(parts) > 2 and parts[1] in LAYERS:
        return parts[1]
    return None


def is_production(path):
    """Production code only: not the tests beside the code, their helpers or test plug-ins."""
    name = Path(path).name
    return (
        name.endswith(SOURCE_SUFFIXES)
        and not name.endswith("_test.cpp")
        and "TestSupport" not in name
        and "testplugin" not in Path(path).parts
        and layer_of(path) is not None
    )


def tree_files(root):
    """The files of the tree as git sees them: tracked or new, never ignored (build folders)."""
    out = subprocess.run(
        ["git", "-C", str(root), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True,
        capture_output=True,
    ).stdout
    return sorted({p for p in out.decode().split("\0") if p and (root / p).is_file()})


# ---------------------------------------------------------------------------------------------
# Reading C++: what is code


def masked(text):
    """The text with comments blanked and the contents of string and character literals replaced,
    offsets and line breaks kept, so that operators are only ever found in code."""
    out = list(text)
    n = len(text)

    def fill(start, end, char):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = char

    i = 0
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            fill(i, end, " ")
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            fill(i, end, " ")
            i = end
        elif c.isalpha() or c == "_":
            j = i
            while j < n and (text[j].isalnum() or text[j] == "_"):
                j += 1
            word = text[i:j]
            if j < n and text[j] == '"' and word in ("R", "LR", "uR", "UR", "u8R"):
                i = raw_string_end(text, j, fill)
            else:
                i = j
        elif c.isdigit():
            j = i + 1
            while j < n and (text[j].isalnum() or text[j] in "_.'" or
                             (text[j] in "+-" and text[j - 1] in "eEpP")):
                j += 1
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            fill(i + 1, min(j, n), "_")
            i = j + 1
        else:
            i += 1
    return "".join(out)


def raw_string_end(text, quote, fill):
    match = re.match(r'"([^()\\\s]{0,16})\(', text[quote:])
    if not match:
        return quote + 1
    closing = ")" + match.group(1) + '"'
    end = text.find(closing, quote + len(match.group(0)))
    end = len(text) if end < 0 else end + len(closing)
    fill(quote + 1, end - 1, "_")
    return end


def matching_paren(code, opening):
    depth = 0
    for k in range(opening, len(code)):
        if code[k] == "(":
            depth += 1
        elif code[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


class SourceFile:
    """One production file read for mutation: its code lines, and which of them may change."""

    CODE_BLOCK = re.compile(
        r"(\)|\belse|\bdo|\btry|[^:]:)\s*((const|noexcept|override|final|mutable|&|&&)\s*)*"
        r"(->\s*[^{};]+)?$"
    )
    SCOPE_BLOCK = re.compile(
        r"^(template\s*<.*>\s*)?(typedef\s+)?(namespace|class|struct|union|enum|extern)\b", re.S
    )
    CONSTRUCTOR_BODY = re.compile(r"\)\s*:\s*[\w:]+\s*[({]")

    def __init__(self, path, text):
        self.path = path
        self.text = text
        self.code = masked(text)
        self.lines = text.split("\n")
        self.code_lines = self.code.split("\n")
        self.line_starts = [0]
        for line in self.lines:
            self.line_starts.append(self.line_starts[-1] + len(line) + 1)
        self.excluded = self._excluded_lines()
        self.in_body = self._lines_in_function_bodies()

    def position(self, offset):
        """(line number from 1, column from 0) of an offset."""
        line = next(k for k in range(len(self.line_starts) - 1)
                    if self.line_starts[k + 1] > offset)
        return line + 1, offset - self.line_starts[line]

    def _excluded_lines(self):
        """Preprocessor lines (includes among them) and static assertions never change."""
        excluded = set()
        continued = False
        for number, line in enumerate(self.code_lines, 1):
            if continued or line.lstrip().startswith("#"):
                excluded.add(number)
                continued = line.rstrip().endswith("\\")
        for match in re.finditer(r"\bstatic_assert\s*\(", self.code):
            end = matching_paren(self.code, match.end() - 1)
            first = self.position(match.start())[0]
            last = self.position(end if end >= 0 else match.end())[0]
            excluded.update(range(first, last + 1))
        return excluded

    def _lines_in_function_bodies(self):
        """The lines whose innermost block of statements is a function body or a block in one;
        braced initialisers do not count as blocks."""
        in_body = [False] * (len(self.code_lines) + 2)
        stack = []  # "code", "scope" or "init"
        header_start = 0
        line = 1
        for k, c in enumerate(self.code):
            if c == "\n":
                line += 1
                in_body[line] = self._innermost(stack) == "code"
            elif c == "{":
                kind = self._block_kind(self.code[header_start:k].strip(), stack)
                stack.append(kind)
                if kind != "init":
                    header_start = k + 1
            elif c == "}":
                kind = stack.pop() if stack else "scope"
                if kind != "init":
                    header_start = k + 1
            elif c == ";" and self._innermost(stack) != "init":
                header_start = k + 1
        return in_body

    @staticmethod
    def _innermost(stack):
        for kind in reversed(stack):
            if kind != "init":
                return kind
        return "scope"

    def _block_kind(self, header, stack):
        header = re.sub(r"^((public|protected|private)\s*:\s*)+", "", header)
        if self.SCOPE_BLOCK.match(header):
            return "scope"
        if self.CODE_BLOCK.search(header) or self.CONSTRUCTOR_BODY.search(header):
            return "code"
        if header == "" and self._innermost(stack) == "code":
            return "code"
        return "init"

    def starts_statement(self, number):
        """Whether the line begins a statement: the code before it ends one or opens a block."""
        for previous in range(number - 1, 0, -1):
            if previous in self.excluded:
                continue
            code = self.code_lines[previous - 1].strip()
            if code:
                return code[-1] in ";{}" or (code.endswith(":") and not code.endswith("::"))
        return True


# ---------------------------------------------------------------------------------------------
# Mutation operators


@dataclasses.dataclass
class Mutant:
    file: str
    line: int
    col: int
    operator: str
    original: str
    replacement: str
    line_text: str
    layer: str
    id: str = ""

    def key(self):
        text = "\0".join([self.file, str(self.line), str(self.col), self.operator, self.original,
                          self.replacement])
        return hashlib.sha1(text.encode()).hexdigest()[:16]

    def change(self):
        return f"`{one_line(self.original)}` -> `{one_line(self.replacement)}`"

    def place(self):
        return f"{self.file}:{self.line}"


def one_line(text):
    text = re.sub(r"\s*\n\s*", " ", text)
    return text if text else "(nothing)"


RELATIONAL = {"<": ["<=", ">"], "<=": ["<", ">="], ">": [">=", "<"], ">=": [">", "<="]}
EQUALITY = {"==": ["!="], "!=": ["=="]}
COMPARISON = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
LOGICAL = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|\d+)([uUlLzZ]*)(?![\w.'])")
PURE_SPECIFIER = re.compile(r"\)\s*(const\s*)?(override\s*)?=\s*0\s*;")
FAILURE_RESULT = re.compile(r"\breturn\s+(false|S_FALSE|E_[A-Z_]+|[A-Z]+_E_[A-Z_]+|-1)\s*;")
NOT_CALLS = {"if", "while", "for", "switch", "return", "sizeof", "assert", "static_cast",
             "reinterpret_cast", "const_cast", "dynamic_cast", "co_return", "throw", "delete",
             "decltype", "alignof"}
CALLEE = re.compile(r"^(\*?[A-Za-z_]\w*(<[^()]*>)?(::|\.|->))*~?[A-Za-z_]\w*(<[^()]*>)?$")
ASSIGNMENT = re.compile(r"^[\w.\->\[\]*:()]+\s*(=|\+=|-=|\*=|/=|%=|\|=|&=|\^=|<<=|>>=)\s*[^=].*;$")
INCREMENT = re.compile(r"^((\+\+|--)[\w.\->\[\]*]+|[\w.\->\[\]*]+(\+\+|--));$")


def candidates(source):
    """Every mutant of one file, in the order of the text."""
    found = []

    def add(offset, operator, original, replacement):
        line, col = source.position(offset)
        if line in source.excluded or original == replacement:
            return
        found.append(Mutant(source.path, line, col, operator, original, replacement,
                            source.lines[line - 1], layer_of(source.path)))

    for number, code in enumerate(source.code_lines, 1):
        base = source.line_starts[number - 1]
        compared = set()
        for match in COMPARISON.finditer(code):
            token = match.group(1)
            operator = "relational" if token in RELATIONAL else "equality"
            for replacement in {**RELATIONAL, **EQUALITY}[token]:
                add(base + match.start(), operator, token, replacement)
            compared.update(boundary_literals(code, match, base, add))
        constants(code, base, compared, add)
        for match in FAILURE_RESULT.finditer(code):
            value = match.group(1)
            success = {"false": "true", "-1": "0"}.get(value, "S_OK")
            add(base + match.start(1), "success", value, success)
        if source.in_body[number] and source.starts_statement(number):
            removals(code, source.lines[number - 1], base, add)
    negations(source, add)
    logical_swaps(source, add)
    return sorted(found, key=lambda m: (m.line, m.col, m.operator, m.replacement))


def boundary_literals(code, comparison, base, add):
    """The integer literals on either side of a comparison, each one up and down."""
    offsets = []
    after = re.match(r"\s+" + INTEGER.pattern, code[comparison.end():])
    if after:
        offsets.append(comparison.end() + after.start(1))
    before = re.search(INTEGER.pattern + r"\s+$", code[:comparison.start()])
    if before:
        offsets.append(before.start(1))
    for offset in offsets:
        value = INTEGER.match(code, offset).group(1)
        for changed in (literal_value(value) - 1, literal_value(value) + 1):
            add(base + offset, "boundary", value, literal_text(changed, value))
    return offsets


def literal_value(text):
    if text.lower().startswith("0x"):
        return int(text, 16)
    return int(text, 8 if text.startswith("0") else 10)


def literal_text(number, like):
    """A number written as the literal it replaces is written: hexadecimal, octal or decimal."""
    if number < 0:
        return str(number)
    if like.lower().startswith("0x"):
        return hex(number)
    if like.startswith("0") and len(like) > 1:
        return "0" + format(number, "o")
    return str(number)


def constants(code, base, compared, add):
    if PURE_SPECIFIER.search(code):
        return
    for match in INTEGER.finditer(code):
        if match.start() in compared:
            continue
        value = match.group(1)
        number = literal_value(value)
        add(base + match.start(1), "constant", value, literal_text(number + 1, value))
        if number != 0:
            add(base + match.start(1), "constant", value, "0")


def removals(code, line, base, add):
    """A whole-line statement removed: a call of its own, an assignment or increment, a jump."""
    statement = code.strip()
    if not statement.endswith(";") or "{" in statement or "}" in statement:
        return
    if statement.count("(") != statement.count(")"):
        return
    start = code.index(statement)
    original = line[start:start + len(statement)]
    callee = statement.split("(", 1)[0]
    if statement.endswith(");") and CALLEE.match(callee) and callee not in NOT_CALLS:
        add(base + start, "remove_call", original, "")
    elif ASSIGNMENT.match(statement) or INCREMENT.match(statement) or \
            statement in ("break;", "continue;"):
        add(base + start, "remove_statement", original, "")


def logical_swaps(source, add):
    """Every && and || of one level of an expression swapped at once: swapping one of a chain
    would mix the two without parentheses, which the compiler's warnings refuse."""
    done = set()
    for match in LOGICAL.finditer(source.code):
        operators = [m for m in LOGICAL.finditer(source.code, *operand_bounds(source.code,
                                                                               match.start()))
                     if level_of(source.code, match.start(), m.start())]
        first, last = operators[0].start(), operators[-1].end()
        if first in done:
            continue
        done.add(first)
        original = source.text[first:last]
        replacement = list(original)
        for m in operators:
            replacement[m.start() - first:m.end() - first] = "||" if m.group(1) == "&&" else "&&"
        add(first, "logical", original, "".join(replacement))


def operand_bounds(code, offset):
    """The stretch of code around an operator up to the brackets, separators or assignment
    that end the expression it belongs to."""
    ends = ";,?{}"
    start, depth = offset, 0
    while start > 0:
        c = code[start - 1]
        if c in ")]":
            depth += 1
        elif c in "([":
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and (c in ends or is_separator_colon(code, start - 1) or
                             is_assignment(code, start - 1)):
            break
        start -= 1
    end, depth = offset, 0
    while end < len(code):
        c = code[end]
        if c in "([":
            depth += 1
        elif c in ")]":
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and (c in ends or is_separator_colon(code, end) or
                             is_assignment(code, end)):
            break
        end += 1
    return start, end


def is_separator_colon(code, k):
    return code[k] == ":" and code[k - 1:k] != ":" and code[k + 1:k + 2] != ":"


def is_assignment(code, k):
    return code[k] == "=" and code[k - 1:k] not in ("=", "!", "<", ">") and code[k + 1:k + 2] != "="


def level_of(code, one, other):
    """Whether two offsets of one expression are at the same depth of brackets."""
    low, high = sorted((one, other))
    depth = 0
    lowest = 0
    for c in code[low:high]:
        depth += 1 if c in "([" else -1 if c in ")]" else 0
        lowest = min(lowest, depth)
    return depth == 0 and lowest == 0


def negations(source, add):
    for match in re.finditer(r"\b(if|while)\s*\(", source.code):
        opening = match.end() - 1
        closing = matching_paren(source.code, opening)
        if closing < 0:
            continue
        condition = source.code[opening + 1:closing]
        if ";" in condition or re.search(r"(?<![=!<>])=(?!=)", condition):
            continue  # a declaration in the condition cannot be negated
        original = source.text[opening + 1:closing]
        add(opening + 1, "negate", original, f"!({original})")


# ---------------------------------------------------------------------------------------------
# The sample


def all_candidates(root):
    found = []
    for path in tree_files(root):
        if path.split("/")[0] in ("src", "apps") and is_production(path):
            text = (root / path).read_text()
            found.extend(candidates(SourceFile(path, text)))
    return found


def draw_sample(found, seed, count):
    """The same share of the sample for each operator (all of an operator's mutants when it has
    fewer), drawn with the seed, in random order."""
    rng = random.Random(seed)
    by_operator = {op: [m for m in found if m.operator == op] for op in OPERATORS}
    quota = {}
    remaining, open_ops = count, [op for op in OPERATORS if by_operator[op]]
    while open_ops:
        share = remaining // len(open_ops)
        small = [op for op in open_ops if len(by_operator[op]) <= share]
        if not small:
            for k, op in enumerate(open_ops):
                quota[op] = share + (1 if k < remaining % len(open_ops) else 0)
            break
        for op in small:
            quota[op] = len(by_operator[op])
            remaining -= quota[op]
            open_ops.remove(op)
    chosen = []
    for op in OPERATORS:
        chosen.extend(rng.sample(by_operator[op], quota.get(op, 0)))
    rng.shuffle(chosen)
    for k, mutant in enumerate(chosen, 1):
        mutant.id = f"M{k:03d}"
    return chosen


def git_commit(root):
    result = subprocess.run(["git", "-C", str(root), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True)
    return result.stdout.strip() or "unknown"


def write_sample(path, mutants, seed, root, found):
    header = {
        "seed": seed,
        "count": len(mutants),
        "commit": git_commit(root),
        "candidates": len(found),
        "operators": OPERATORS,
    }
    fields = ["id", "file", "line", "col", "operator", "original", "replacement", "line_text",
              "layer"]
    lines = [json.dumps({f: getattr(m, f) for f in fields}) for m in mutants]
    text = json.dumps(header, indent=1)[:-2] + ',\n "mutants": [\n  ' + ",\n  ".join(lines)
    path.write_text(text + "\n ]\n}\n")


def read_sample(path):
    data = json.loads(Path(path).read_text())
    return data, [Mutant(**m) for m in data["mutants"]]


def make_up(mutants):
    lines = [f"{'operator':18} " + " ".join(f"{layer:>10}" for layer in LAYERS) + f" {'all':>8}"]
    for op in OPERATORS:
        counts = [sum(1 for m in mutants if m.operator == op and m.layer == layer)
                  for layer in LAYERS]
        lines.append(f"{op:18} " + " ".join(f"{c:>10}" for c in counts) + f" {sum(counts):>8}")
    totals = [sum(1 for m in mutants if m.layer == layer) for layer in LAYERS]
    lines.append(f"{'all':18} " + " ".join(f"{c:>10}" for c in totals) + f" {len(mutants):>8}")
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------
# Applying a mutant


def locate(mutant, text):
    """The offset of the mutant's original text in the file as it is now: at its line when the
    line is unchanged, else at the nearest line with the same text; None when it is gone."""
    lines = text.split("\n")
    starts = [0]
    for line in lines:
        starts.append(starts[-1] + len(line) + 1)
    same = [k + 1 for k, line in enumerate(lines) if line == mutant.line_text]
    for number in sorted(same, key=lambda k: abs(k - mutant.line)):
        offset = starts[number - 1] + mutant.col
        if text.startswith(mutant.original, offset):
            return offset
    return None


def mutated(mutant, text):
    offset = locate(mutant, text)
    if offset is None:
        return None
    return text[:offset] + mutant.replacement + text[offset + len(mutant.original):]


def mutated_lines(mutant, text):
    """The lines the mutant changes, as they read changed."""
    changed = mutated(mutant, text)
    if changed is None:
        return "(stale)"
    offset = locate(mutant, text)
    start = changed.rfind("\n", 0, offset) + 1
    end = changed.find("\n", offset + len(mutant.replacement))
    return changed[start:end if end >= 0 else None].strip()


# ---------------------------------------------------------------------------------------------
# Workers


class Interrupted(Exception):
    pass


def run_command(command, cwd, limit, stop, processes):
    """Runs a command in a process group of its own; (exit code or None on time-out, output)."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               text=True, errors="replace", start_new_session=True)
    processes.add(process)
    try:
        output, _ = process.communicate(timeout=limit)
        code = process.returncode
    except subprocess.TimeoutExpired:
        kill_group(process)
        output, _ = process.communicate()
        code = None
    finally:
        processes.discard(process)
    if stop.is_set():
        raise Interrupted()
    return code, output


def kill_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


class Worker:
    """One copy of the source tree with its own build folder; runs one mutant at a time."""

    def __init__(self, name, options, stop, coverage=None):
        self.name = name
        self.coverage = coverage
        self.options = options
        self.tree = options.workdir / self.name
        self.build = self.tree / "build"
        self.logs = options.workdir / "logs"
        self.stop = stop
        self.processes = set()
        self.targets = {}
        self.baselines = {}
        self.all_tests = None

    def log(self, message):
        print(f"[{self.name}] {message}", flush=True)

    def prepare(self):
        """Brings the copy level with the source tree, rewriting only files that differ so that
        the build stays incremental, and builds everything once."""
        self.tree.mkdir(parents=True, exist_ok=True)
        self.logs.mkdir(parents=True, exist_ok=True)
        wanted = set(tree_files(self.options.source))
        changed = 0
        for path in wanted:
            data = (self.options.source / path).read_bytes()
            copy = self.tree / path
            if not copy.is_file() or copy.read_bytes() != data:
                copy.parent.mkdir(parents=True, exist_ok=True)
                copy.write_bytes(data)
                shutil.copymode(self.options.source / path, copy)
                changed += 1
        for folder, subfolders, files in os.walk(self.tree):
            if Path(folder) == self.tree and "build" in subfolders:
                subfolders.remove("build")
            for name in files:
                copy = Path(folder) / name
                if copy.relative_to(self.tree).as_posix() not in wanted:
                    copy.unlink()
        self.log(f"source copy {self.tree}: {changed} files written")
        if not (self.build / "CMakeCache.txt").is_file():
            self.configure()
        started = time.monotonic()
        code, output = run_command(["ninja", "-C", str(self.build), f"-j{self.options.build_jobs}"],
                                   self.tree, None, self.stop, self.processes)
        if code != 0:
            raise SystemExit(f"[{self.name}] the unmutated tree does not build:\n{output[-3000:]}")
        self.log(f"build of the unmutated tree: {time.monotonic() - started:.0f} s")

    def configure(self):
        command = ["cmake", "-S", str(self.tree), "-B", str(self.build), "-G", "Ninja",
                   "-DZYN_BUILD_BENCHMARKS=OFF"] + self.build_settings()
        if shutil.which("ccache"):
            command += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                        "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        code, output = run_command(command, self.tree, None, self.stop, self.processes)
        if code != 0:
            raise SystemExit(f"[{self.name}] configuring failed:\n{output[-3000:]}")

    def build_settings(self):
        return ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"]

    def list_tests(self, labels=None):
        """CTest's tests of the labels (all when None), in CTest's numbering, from 1."""
        command = ["ctest", "--show-only=json-v1"]
        if labels:
            command += ["-L", label_regex(labels)]
        code, output = run_command(command, self.build, None, self.stop, self.processes)
        if code != 0:
            raise SystemExit(f"[{self.name}] ctest cannot list the tests:\n{output[-3000:]}")
        return json.loads(output)["tests"]

    def label_targets(self, labels):
        """The build outputs the tests of the labels run: their programs and the files named in
        their commands; the whole build when a test takes the build folder itself."""
        key = tuple(labels)
        if key not in self.targets:
            targets = set()
            for test in self.list_tests(labels):
                for argument in test.get("command", []):
                    path = argument.split("=", 1)[-1]
                    if path == str(self.build):
                        targets.add("all")
                    elif path.startswith(str(self.build) + "/"):
                        targets.add(os.path.relpath(path, self.build))
            self.targets[key] = sorted(targets) if "all" not in targets else ["all"]
        return self.targets[key]

    def ctest(self, labels, limit, numbers=None):
        """Runs the labels' tests (those of them with these CTest numbers, when given) until the
        first failure; ctest's stop time ends the run after the limit with the running test timed
        out (it takes a local time of today, so a run that would end after midnight is ended from
        here instead, a little later)."""
        # With -L, -I would count within the label's tests; the numbers are the whole list's.
        chosen = ["-I", "0,0,0," + ",".join(map(str, numbers))] if numbers else \
            ["-L", label_regex(labels)]
        # Every reached test runs when the run is to tell which tests kill which mutants.
        stop = [] if self.options.all_killers else ["--stop-on-failure"]
        command = ["ctest", *chosen, "--no-tests=error", *stop,
                   "--timeout", str(int(limit)), "-j", str(self.options.ctest_jobs),
                   "--output-on-failure"]
        now = datetime.datetime.now()
        stop_at = now + datetime.timedelta(seconds=limit)
        if stop_at.date() == now.date():
            command += ["--stop-time", stop_at.strftime("%H:%M:%S")]
        started = time.monotonic()
        code, output = run_command(command, self.build, limit + 120, self.stop, self.processes)
        return code, output, time.monotonic() - started

    def baseline(self, labels):
        """How long the labels' tests take on the unmutated build; they must pass."""
        key = tuple(labels)
        if key not in self.baselines:
            self.build_targets(self.label_targets(labels))
            code, output, seconds = self.ctest(labels, self.options.baseline_limit)
            if code != 0:
                self.baselines[key] = None
                (self.logs / f"baseline-{'-'.join(labels)}.txt").write_text(output)
                self.log(f"the unmutated tests of {', '.join(labels)} fail; their mutants are "
                         f"not run (see {self.logs}/baseline-{'-'.join(labels)}.txt)")
            else:
                self.baselines[key] = seconds
                self.log(f"unmutated tests of {', '.join(labels)}: pass in {seconds:.0f} s")
        return self.baselines[key]

    def build_targets(self, targets):
        command = ["ninja", "-C", str(self.build), f"-j{self.options.build_jobs}", *targets]
        started = time.monotonic()
        code, output = run_command(command, self.tree, self.options.build_limit, self.stop,
                                   self.processes)
        return code == 0, output, time.monotonic() - started

    def run(self, mutant):
        """The mutant's result record, or None when its tests cannot be run unmutated."""
        labels = labels_for(mutant.layer, self.options.labels_up)
        baseline = self.baseline(labels)
        if baseline is None:
            return None
        limit = self.options.time_limit or (self.options.time_factor * baseline + 30)
        path = self.tree / mutant.file
        original = path.read_text()
        changed = mutated(mutant, original)
        record = {"id": mutant.id, "key": mutant.key(), "file": mutant.file, "line": mutant.line,
                  "operator": mutant.operator, "original": mutant.original,
                  "replacement": mutant.replacement, "layer": mutant.layer, "labels": labels}
        if changed is None:
            return {**record, "status": "stale", "build_seconds": 0, "test_seconds": 0,
                    "seconds": 0, "detail": "the original text is no longer in the file"}
        numbers = self.tests_reaching(mutant, original, labels)
        if numbers == []:
            return {**record, "status": "not_covered", "build_seconds": 0, "test_seconds": 0,
                    "seconds": 0, "detail": "no test of its layer runs the line"}
        started = time.monotonic()
        try:
            path.write_text(changed)
            built, output, build_seconds = self.build_targets(self.label_targets(labels))
            test_seconds = 0.0
            if built:
                code, output, test_seconds = self.ctest(labels, limit, numbers)
                status, detail = classify(code, output)
                if self.options.all_killers:
                    record["killers"] = killers(output)
            else:
                status, detail = "build_failed", first_error(output)
        finally:
            path.write_text(original)
        (self.logs / f"{mutant.id}.txt").write_text(output)
        return {**record, "status": status, "build_seconds": round(build_seconds, 1),
                "test_seconds": round(test_seconds, 1),
                "seconds": round(time.monotonic() - started, 1), "detail": detail,
                "finished": datetime.datetime.now().isoformat(timespec="seconds")}

    def tests_reaching(self, mutant, text, labels):
        """The CTest numbers of the labels' tests whose programs run one of the mutant's lines;
        None when they are not known (no coverage, or no code on the lines)."""
        if self.coverage is None:
            return None
        first = text.count("\n", 0, locate(mutant, text)) + 1
        lines = [f"{mutant.file}:{n}" for n in range(first, first + mutant.original.count("\n") + 1)]
        if not any(line in self.coverage["code"] for line in lines):
            return None
        suites = {suite for suite, reached in self.coverage["reached"].items()
                  if any(line in reached for line in lines)}
        if self.all_tests is None:
            self.all_tests = self.list_tests()
        return [number for number, test in enumerate(self.all_tests, start=1)
                if labels_match(test, labels) and suite_of(test, self.build) in suites]

    def kill_running(self):
        for process in list(self.processes):
            kill_group(process)


class CoverageBuild(Worker):
    """A copy of the tree built with line coverage; runs each test suite on its own and records
    which lines of the sample's files each suite reaches."""

    def __init__(self, options, stop):
        super().__init__("coverage", options, stop)

    def build_settings(self):
        # Unoptimised, so that a line counts where it stands rather than where it was inlined.
        return ["-DCMAKE_BUILD_TYPE=Debug", *COVERAGE_FLAGS]

    def measure(self, files, partial):
        """{"code": lines with code, "reached": {suite: lines it runs}}; what is measured is
        kept in the partial dictionary as it comes, for an interrupted measure to go on from."""
        self.prepare()
        if not any(self.build.rglob("*.gcno")):
            raise SystemExit(f"[{self.name}] the build with coverage wrote no .gcno files")
        suites = {}
        for number, test in enumerate(self.list_tests(), start=1):
            suites.setdefault(suite_of(test, self.build), []).append(str(number))
        reached = partial.setdefault("reached", {})
        for count, (suite, numbers) in enumerate(sorted(suites.items()), start=1):
            if suite in reached:
                continue
            self.clear_counts()
            run_command(["ctest", "-j", str(os.cpu_count() or 1), "-I", "0,0,0," + ",".join(numbers)],
                        self.build, None, self.stop, self.processes)
            reached[suite] = sorted(self.lines(files, "*.gcda", executed_only=True))
            partial["save"]()
            self.log(f"{count}/{len(suites)} {suite}: reaches {len(reached[suite])} lines of the "
                     f"sample's files")
        return {"code": sorted(self.lines(files, "*.gcno", executed_only=False)),
                "reached": reached}

    def clear_counts(self):
        for path in self.build.rglob("*.gcda"):
            path.unlink()

    def lines(self, files, pattern, executed_only):
        """"file:line" of the files' lines with code (run at least once, if executed_only) that
        gcov reports for the build's objects matching the pattern."""
        objects = sorted(str(p) for p in self.build.rglob(pattern))
        found = set()
        decoder = json.JSONDecoder()
        for start in range(0, len(objects), 100):
            # gcov's notes ("assuming not executed") go to stderr, away from its JSON documents.
            output = subprocess.run(["gcov", "--json-format", "--stdout", *objects[start:start + 100]],
                                    cwd=self.build, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True, check=True).stdout
            position = 0
            while (position := skip_space(output, position)) < len(output):
                document, position = decoder.raw_decode(output, position)
                found |= self.lines_of(document, files, executed_only)
        return found

    def lines_of(self, document, files, executed_only):
        found = set()
        folder = document.get("current_working_directory", "")
        for entry in document["files"]:
            path = os.path.relpath(os.path.join(folder, entry["file"]), self.tree)
            if path in files:
                found |= {f"{path}:{line['line_number']}" for line in entry["lines"]
                          if line["count"] > 0 or not executed_only}
        return found


def suite_of(test, build):
    """The test's program and GoogleTest suite, as "program:Suite"."""
    return os.path.relpath(test["command"][0], build) + ":" + test["name"].split(".", 1)[0]


def skip_space(text, position):
    while position < len(text) and text[position].isspace():
        position += 1
    return position


def source_fingerprint(root):
    """A digest of what the build and the tests are made of (not of this script)."""
    digest = hashlib.sha1()
    for path in sorted(p for p in tree_files(root)
                       if p.startswith(("src/", "apps/", "include/", "tests/", "cmake/"))
                       or p == "CMakeLists.txt"):
        digest.update(path.encode() + b"\0" + (root / path).read_bytes())
    return digest.hexdigest()


def coverage_map(options, mutants, stop):
    """Which test suites reach which of the mutants' lines, measured once per state of the
    source tree and kept in the work folder (for all of the mutants given, so that a later run
    of some of them finds them measured)."""
    path = options.workdir / "coverage.json"
    files = sorted({m.file for m in mutants})
    fingerprint = source_fingerprint(options.source)
    kept = json.loads(path.read_text()) if path.is_file() else {}
    if kept.get("fingerprint") != fingerprint or not set(files) <= set(kept["files"]):
        kept = {"fingerprint": fingerprint, "files": files}
    if "code" in kept:
        return as_sets(kept)
    print("measuring which test suites reach the mutants' lines (a build with coverage)",
          flush=True)
    build = CoverageBuild(options, stop)
    partial = {"reached": kept.get("reached", {}),
               "save": lambda: path.write_text(json.dumps({**kept, "reached": partial["reached"]}))}
    try:
        kept.update(build.measure(set(kept["files"]), partial))
    except KeyboardInterrupt:
        build.kill_running()
        raise
    path.write_text(json.dumps(kept))
    return as_sets(kept)


def as_sets(coverage):
    return {"code": set(coverage["code"]),
            "reached": {program: set(lines) for program, lines in coverage["reached"].items()}}


def labels_match(test, labels):
    for item in test.get("properties", []):
        if item["name"] == "LABELS":
            return any(label in labels for label in item["value"])
    return False


def label_regex(labels):
    return "^(" + "|".join(labels) + ")$"


def labels_for(layer, up):
    return LAYERS[LAYERS.index(layer):] if up else [layer]


def classify(code, output):
    failed = re.findall(r"Test +#\d+: (\S+) .*\*\*\*(Failed|Exception: \w+|Not Run)", output)
    timed_out = re.findall(r"Test +#\d+: (\S+) .*\*\*\*Timeout", output)
    if code == 0:
        return "survived", ""
    if failed:
        return "killed", f"{failed[0][0]} ({failed[0][1].strip()})"
    if timed_out or code is None:
        return "timeout", timed_out[0] if timed_out else "the overall time limit"
    last_line = output.strip().splitlines()[-1] if output.strip() else ""
    return "killed", f"ctest failed: {last_line}"


def killers(output):
    """The tests that failed or timed out, each once, in the order ctest reported them."""
    found = re.findall(r"Test +#\d+: (\S+) .*\*\*\*(?:Failed|Exception: \w+|Not Run|Timeout)",
                       output)
    return list(dict.fromkeys(found))


def killer_table(records):
    """For each test that killed a mutant: how many it killed, and how many no other test of the
    run killed. A test that is never the only killer adds nothing the others do not catch."""
    killed = {}
    alone = {}
    for record in records:
        for test in record.get("killers", []):
            killed[test] = killed.get(test, 0) + 1
            alone.setdefault(test, 0)
        if len(record.get("killers", [])) == 1:
            alone[record["killers"][0]] += 1
    rows = ["| test | killed | killed alone |", "| --- | ---: | ---: |"]
    for test in sorted(killed, key=lambda t: (alone[t], killed[t], t)):
        rows.append(f"| `{test}` | {killed[test]} | {alone[test]} |")
    return "\n".join(rows)


def first_error(output):
    for line in output.splitlines():
        if ": error:" in line or ": fatal error:" in line:
            return line.strip()[:200]
    return output.strip().splitlines()[-1][:200] if output.strip() else "build failed"


# ---------------------------------------------------------------------------------------------
# Results


def read_results(path):
    results = {}
    if path.is_file():
        for line in path.read_text().splitlines():
            if line.strip():
                record = json.loads(line)
                results[(record["key"], tuple(record["labels"]))] = record
    return results


def run_mutants(options, mutants):
    done = read_results(options.results)
    pending = [m for m in mutants
               if (m.key(), tuple(labels_for(m.layer, options.labels_up))) not in done]
    print(f"{len(mutants) - len(pending)} of {len(mutants)} mutants already in {options.results}; "
          f"{len(pending)} to run with {options.jobs} worker(s)", flush=True)
    if not pending:
        return
    work = queue.Queue()
    for mutant in pending:
        work.put(mutant)
    stop = threading.Event()
    lock = threading.Lock()
    coverage = None if options.no_coverage else coverage_map(options, mutants, stop)
    workers = [Worker(f"w{k}", options, stop, coverage) for k in range(options.jobs)]
    counter = {"done": 0}
    errors = []

    def serve(worker):
        try:
            worker.prepare()
            while not stop.is_set():
                try:
                    mutant = work.get_nowait()
                except queue.Empty:
                    return
                record = worker.run(mutant)
                if record is None:
                    continue
                with lock:
                    with options.results.open("a") as out:
                        out.write(json.dumps(record) + "\n")
                        out.flush()
                        os.fsync(out.fileno())
                    counter["done"] += 1
                    print(f"[{worker.name}] {counter['done']}/{len(pending)} {mutant.id} "
                          f"{mutant.place()} {mutant.operator} {mutant.change()}: "
                          f"{STATUS_TITLES[record['status']]} (build {record['build_seconds']} s, "
                          f"tests {record['test_seconds']} s) {record['detail']}", flush=True)
        except Interrupted:
            pass
        except BaseException as error:  # a worker's failure ends the run, reported below
            errors.append(error)
            stop.set()

    threads = [threading.Thread(target=serve, args=(w,), daemon=True) for w in workers]
    for thread in threads:
        thread.start()
    try:
        while any(thread.is_alive() for thread in threads):
            for thread in threads:
                thread.join(0.5)
    except KeyboardInterrupt:
        print("interrupted: restoring the source copies; the results so far are kept", flush=True)
        stop.set()
        for worker in workers:
            worker.kill_running()
        for thread in threads:
            thread.join()
        raise SystemExit(130)
    for error in errors:
        raise error


def tally(records):
    counts = {status: 0 for status in STATUSES}
    for record in records:
        counts[record["status"]] += 1
    run = counts["killed"] + counts["survived"] + counts["not_covered"] + counts["timeout"]
    score = f"{100 * (counts['killed'] + counts['timeout']) / run:.0f}%" if run else "-"
    return [len(records)] + [counts[s] for s in STATUSES] + [score]


def table(title, groups):
    head = [title, "mutants"] + [STATUS_TITLES[s] for s in STATUSES] + ["detected"]
    rows = [head, ["---"] + ["---:"] * (len(head) - 1)]
    for name, records in groups:
        rows.append([name] + [str(v) for v in tally(records)])
    return "\n".join("| " + " | ".join(row) + " |" for row in rows)


def report(options, sample, mutants):
    results = read_results(options.results)
    records = []
    for m in mutants:
        record = results.get((m.key(), tuple(labels_for(m.layer, options.labels_up))))
        if record:
            records.append({**record, "id": m.id, "line_text": m.line_text})
    files = sorted({r["file"] for r in records})
    not_run = len(mutants) - len(records)
    upward = "and the layers above it" if options.labels_up else "only"
    text = [
        "# Mutation testing",
        "",
        f"Sample `{display(options.sample)}`: {sample['count']} mutants drawn with seed "
        f"{sample['seed']} from {sample['candidates']} candidates on commit {sample['commit']}. "
        f"Results `{display(options.results)}`, source tree at commit "
        f"{git_commit(options.source)}. Each mutant ran the tests labelled with its own layer "
        f"{upward}, those of them whose suites reach its line. Detected = (killed + timed out) / "
        f"(killed + survived + not covered + timed out).",
        "",
        f"{len(records)} of {len(mutants)} mutants have a result" +
        (f"; {not_run} have not run yet." if not_run else "."),
        "",
        "## Totals",
        "",
        table("", [("all", records)]),
        "",
        "## By layer",
        "",
        table("layer", [(layer, [r for r in records if r["layer"] == layer])
                        for layer in LAYERS if any(r["layer"] == layer for r in records)]),
        "",
        "## By operator",
        "",
        table("operator", [(op, [r for r in records if r["operator"] == op])
                           for op in OPERATORS if any(r["operator"] == op for r in records)]),
        "",
        "## By file",
        "",
        table("file", [(f"`{f}`", [r for r in records if r["file"] == f]) for f in files]),
        "",
        "## Survivors",
        "",
    ]
    survivors = sorted((r for r in records if r["status"] in ("survived", "not_covered")),
                       key=lambda r: (r["file"], r["line"]))
    for r in survivors:
        reached = " (not covered)" if r["status"] == "not_covered" else ""
        text.append(f"- {r['id']} `{r['file']}:{r['line']}` {r['operator']}{reached}: "
                    f"`{one_line(r['original'])}` -> `{one_line(r['replacement'])}`")
    if not survivors:
        text.append("None.")
    if any("killers" in r for r in records):
        text += ["", "## Tests by the mutants they kill", "",
                 "Every reached test ran (--all-killers); a test listed with 0 killed alone "
                 "catches no fault of the sample that another test does not.", "",
                 killer_table([r for r in records if "killers" in r])]
    for status in ("timeout", "stale"):
        listed = [r for r in records if r["status"] == status]
        if listed:
            text += ["", f"## {STATUS_TITLES[status].capitalize()}", ""]
            text += [f"- {r['id']} `{r['file']}:{r['line']}` {r['operator']}: "
                     f"`{one_line(r['original'])}` -> `{one_line(r['replacement'])}`"
                     for r in listed]
    options.report.write_text("\n".join(text) + "\n")
    print(f"report written to {options.report}")


def display(path):
    try:
        return Path(path).resolve().relative_to(REPO).as_posix()
    except ValueError:
        return str(path)


def print_file_table(options, mutants):
    results = read_results(options.results)
    records = [r for m in mutants
               if (r := results.get((m.key(), tuple(labels_for(m.layer, options.labels_up)))))]
    if not records:
        return
    print()
    width = max(len(r["file"]) for r in records)
    print(f"{'file':{width}}  " + " ".join(f"{STATUS_TITLES[s]:>13}" for s in STATUSES))
    for name in sorted({r["file"] for r in records}):
        counts = tally([r for r in records if r["file"] == name])[1:-1]
        print(f"{name:{width}}  " + " ".join(f"{c:>13}" for c in counts))
    counts = tally(records)
    print(f"{'all':{width}}  " + " ".join(f"{c:>13}" for c in counts[1:-1]) +
          f"   detected {counts[-1]}")


# ---------------------------------------------------------------------------------------------
# Command line


def parse_arguments():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="Operators:\n" + "\n".join(f"  {k:17} {v}" for k, v in OPERATORS.items()) +
        "\n\nExamples:\n"
        "  scripts/mutants.py --make-sample --seed 1 --count 300\n"
        "  scripts/mutants.py --limit 5                  a quick try of the first five\n"
        "  scripts/mutants.py --jobs 2 --report build-mutants/report.md\n"
        "  scripts/mutants.py --report-only --report build-mutants/report.md\n"
        "\nStatuses: killed (a test failed), survived (all passed), not covered (no test of its\n"
        "layer runs the line), timed out (the time limit ended the tests), did not build, stale\n"
        "(the changed text is no longer in the file).")
    parser.add_argument("--sample", type=Path, default=DEFAULT_SAMPLE,
                        help="the sample file (default: %(default)s)")
    parser.add_argument("--make-sample", action="store_true",
                        help="draw a new sample over the current tree and write it; runs nothing")
    parser.add_argument("--seed", type=int, default=1, help="seed of --make-sample (default 1)")
    parser.add_argument("--count", type=int, default=300,
                        help="mutants in the sample of --make-sample (default 300)")
    parser.add_argument("--dry-run", action="store_true",
                        help="print the selected mutants as changed lines; builds nothing")
    parser.add_argument("--limit", type=int, help="run only the first N mutants of the sample")
    parser.add_argument("--only", nargs="+", metavar="ID", help="run only these mutants")
    parser.add_argument("--jobs", type=int, default=1,
                        help="workers, each with its own source copy and build folder (default 1)")
    parser.add_argument("--build-jobs", type=int,
                        help="ninja -j of each worker (default: processors / jobs)")
    parser.add_argument("--ctest-jobs", type=int, default=1, help="ctest -j of each worker")
    parser.add_argument("--labels-up", action="store_true",
                        help="also run the tests of the layers above the mutated file's layer")
    parser.add_argument("--no-coverage", action="store_true",
                        help="run every mutant against all tests of its label, without measuring "
                             "which of them reach its line")
    parser.add_argument("--all-killers", action="store_true",
                        help="run every reached test of a mutant instead of stopping at the first "
                             "failure, record which tests killed it and list in the report the "
                             "tests no mutant needs (slower; use a --results file of its own)")
    parser.add_argument("--time-limit", type=float,
                        help="seconds the tests of one mutant may take (default: 3 times the "
                             "unmutated run of its label plus 30)")
    parser.add_argument("--time-factor", type=float, default=3.0, help=argparse.SUPPRESS)
    parser.add_argument("--baseline-limit", type=float, default=1800, help=argparse.SUPPRESS)
    parser.add_argument("--build-limit", type=float, default=1800,
                        help="seconds one mutant's build may take (default %(default)s)")
    parser.add_argument("--workdir", type=Path, default=REPO / "build-mutants",
                        help="source copies, build folders and logs (default: %(default)s)")
    parser.add_argument("--results", type=Path,
                        help="results, one JSON line per mutant (default: WORKDIR/results.jsonl)")
    parser.add_argument("--report", type=Path, help="write the results as Markdown to this file")
    parser.add_argument("--report-only", action="store_true",
                        help="write --report from the results so far without running anything")
    parser.add_argument("--source", type=Path, default=REPO, help=argparse.SUPPRESS)
    options = parser.parse_args()
    options.workdir = options.workdir.resolve()
    options.source = options.source.resolve()
    options.results = (options.results or options.workdir / "results.jsonl").resolve()
    options.build_jobs = options.build_jobs or max(1, (os.cpu_count() or 1) // options.jobs)
    if options.report_only and not options.report:
        parser.error("--report-only needs --report FILE")
    return options


def interrupt(signum, frame):
    raise KeyboardInterrupt()


def main():
    options = parse_arguments()
    signal.signal(signal.SIGTERM, interrupt)
    if options.make_sample:
        found = all_candidates(options.source)
        mutants = draw_sample(found, options.seed, options.count)
        write_sample(options.sample, mutants, options.seed, options.source, found)
        print(f"{len(mutants)} of {len(found)} candidates written to {options.sample}\n")
        print(make_up(mutants))
        return
    sample, mutants = read_sample(options.sample)
    if options.only:
        mutants = [m for m in mutants if m.id in options.only]
    if options.limit is not None:
        mutants = mutants[:options.limit]
    if options.dry_run:
        for m in mutants:
            print(f"{m.id} {m.place()} {m.operator}\n  - {m.line_text.strip()}\n"
                  f"  + {mutated_lines(m, (options.source / m.file).read_text())}")
        return
    options.workdir.mkdir(parents=True, exist_ok=True)
    if not options.report_only:
        run_mutants(options, mutants)
        print_file_table(options, mutants)
    if options.report:
        report(options, sample, mutants)


if __name__ == "__main__":
    main()
