#!/usr/bin/env python3
"""Runs the catch list of tests/README.md: plants each fault in a scratch copy of the source
tree, builds it incrementally and runs the tests, and says which faults the tests catch.

Usage: python3 scripts/catch.py [options] [ID-or-regex ...]

The scratch copy and its build live in build-catch/ (tree/, build/, logs/); the worktree
itself is never changed. Exit status: 0 every fault behaves as listed; 1 a fault listed as
caught was not caught; 2 the run could not be made (the unfaulted suite fails, bad usage);
3 nothing escaped, but some faults no longer apply or no longer build (the list needs care).
"""

import argparse
import datetime
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


# The list -------------------------------------------------------------------------------


class Fault:
    def __init__(self, fid, path, what, find, replace, catcher, line):
        self.id, self.path, self.what = fid, path, what
        self.find, self.replace, self.catcher = find, replace, catcher
        self.line = line
        self.expected_caught = not catcher.lower().startswith("not caught")
        # ctest test names named in the catcher cell, with their functions
        self.tests = []
        self.functions = []
        if self.expected_caught:
            # "tst_A::f, g; tst_B; e2e_install": tests apart by ";", a test's functions by ",".
            # A note in brackets may follow: "tst_A::f (crashes)".
            for group in catcher.split(";"):
                m = re.match(r"\s*`?([A-Za-z_]\w*)(?:::([\w, ]*))?", group)
                if not m:
                    continue
                name = m.group(1)
                if name not in self.tests:
                    self.tests.append(name)
                for function in (m.group(2) or "").split(","):
                    if function.strip():
                        self.functions.append(name + "::" + function.strip())


def split_row(line):
    """The cells of a markdown table row; "\\|" is a "|" inside a cell."""
    cells = re.split(r"(?<!\\)\|", line.strip())
    if cells and cells[0] == "":
        cells = cells[1:]
    if cells and cells[-1] == "":
        cells = cells[:-1]
    return [c.strip().replace("\\|", "|") for c in cells]


def code_cell(cell):
    """The text of a code cell: `text`, ``text with a ` in it``, or (nothing) for empty."""
    if cell == "(nothing)":
        return ""
    m = re.fullmatch(r"(`+)(.*)\1", cell, re.S)
    if not m:
        raise ValueError("not a code cell: %r" % cell)
    text = m.group(2)
    if len(m.group(1)) > 1 and text.startswith(" ") and text.endswith(" "):
        text = text[1:-1]
    return text


def read_list(readme):
    """The faults of the table that follows the heading "## The faults"."""
    faults, inside = [], False
    for number, line in enumerate(readme.read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("## "):
            inside = line.strip() == "## The faults"
            continue
        if not inside or not line.startswith("|"):
            continue
        cells = split_row(line)
        if len(cells) != 6 or cells[0] in ("ID", "") or set(cells[0]) <= set("-: "):
            continue
        fid, path, what, find, replace, catcher = cells
        try:
            faults.append(Fault(fid, path.strip("`"), what, code_cell(find), code_cell(replace), catcher, number))
        except ValueError as e:
            sys.exit("%s:%d: %s" % (readme, number, e))
    ids = [f.id for f in faults]
    twice = {i for i in ids if ids.count(i) > 1}
    if twice:
        sys.exit("ids given twice: " + ", ".join(sorted(twice)))
    return faults


def find_pattern(find):
    """Any run of blanks and line breaks in the find text matches any other run, so a fault
    still applies after a file was reformatted or a statement rewrapped."""
    parts = find.split()
    return re.compile(r"\s+".join(re.escape(p) for p in parts))


def planted(text, fault):
    """The file's text with the fault planted, or the reason it cannot be."""
    if not fault.find.strip():
        return None, "empty find text"
    matches = list(find_pattern(fault.find).finditer(text))
    if not matches:
        return None, "find text not in the file"
    if len(matches) > 1:
        return None, "find text %d times in the file" % len(matches)
    m = matches[0]
    return text[: m.start()] + fault.replace + text[m.end() :], None


# The scratch tree and its build ------------------------------------------------------------


def source_files():
    out = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=ROOT, check=True, capture_output=True,
    ).stdout
    return sorted({p for p in out.decode().split("\0") if p and (ROOT / p).is_file()})


def sync_tree(tree):
    """Makes tree hold the worktree's files as they are now, copying only what differs, so that
    the build stays incremental."""
    wanted = set(source_files())
    copied = 0
    for rel in wanted:
        src, dst = ROOT / rel, tree / rel
        data = src.read_bytes()
        if dst.is_file() and dst.read_bytes() == data:
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        dst.write_bytes(data)
        shutil.copymode(src, dst)
        copied += 1
    for path in sorted(tree.rglob("*"), reverse=True):
        rel = path.relative_to(tree).as_posix()
        if path.is_file() and rel not in wanted:
            path.unlink()
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()
    return copied


def configure(tree, build):
    if (build / "build.ninja").exists():
        return
    args = ["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            # The suite's optimisation, without debug information: the links are several times faster.
            "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"]
    if shutil.which("ccache"):
        # Putting a file back as it was is then a cache hit, not a compilation.
        args.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def run(cmd, log, timeout, cwd=None):
    """Runs cmd in a process group of its own with its output in log; returns (status, output),
    status None when the time ran out (the whole group is then killed)."""
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        status = p.returncode
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        status = None
    text = out.decode(errors="replace")
    with open(log, "a", encoding="utf-8") as f:
        f.write("$ %s\n%s\n" % (" ".join(cmd), text))
    return status, text


def build(build_dir, jobs, log, timeout):
    status, _ = run(["ninja", "-C", str(build_dir), "-j", str(jobs)], log, timeout)
    return status == 0


def all_tests(build_dir):
    """Every ctest test with its labels."""
    out = subprocess.run(["ctest", "--test-dir", str(build_dir), "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
    tests = {}
    for t in json.loads(out)["tests"]:
        labels = []
        for prop in t.get("properties", []):
            if prop["name"] == "LABELS":
                labels = prop["value"]
        tests[t["name"]] = labels
    return tests


def ctest(build_dir, names, log, timeout, first=False):
    """Runs the named tests one at a time, each within the time given; returns the failed ones,
    each with its failing test functions. A test whose time ran out has failed: a fault that
    leaves a message box open on a test blocks it."""
    failed = {}
    for name in names:
        status, out = run(["ctest", "--test-dir", str(build_dir), "--output-on-failure", "-R",
                           "^" + re.escape(name) + "$"], log, timeout)
        if status is None:
            failed[name] = ["(time ran out)"]
        elif status != 0:
            functions = []
            for m in re.finditer(r"^(?:FAIL!|QFATAL)\s*:\s*\w+::(\w+)", out, re.M):
                if m.group(1) not in functions:
                    functions.append(m.group(1))
            m = re.search(r"^\s*\d+ - \S+ \((.*)\)\s*$", out, re.M)
            if m and m.group(1) != "Failed":
                functions.append("(" + m.group(1).lower() + ")")
            failed[name] = functions
        if failed and first:
            break
    return failed


# The run ------------------------------------------------------------------------------------


def describe(failed):
    parts = []
    for name, functions in failed.items():
        parts.append(name + ("::" + ",".join(functions) if functions else ""))
    return "; ".join(parts)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("select", nargs="*", help="fault ids or regular expressions over ids and file paths")
    ap.add_argument("--list", default=str(ROOT / "tests" / "README.md"), help="the markdown file with the list")
    ap.add_argument("--dir", default=str(ROOT / "build-catch"), help="scratch tree, build and logs")
    ap.add_argument("--e2e", action="store_true", help="run the end-to-end tests for every fault, not only "
                    "for faults an end-to-end test is listed to catch")
    ap.add_argument("--first", action="store_true", help="stop at the first failing test of a fault")
    ap.add_argument("--check", action="store_true", help="only check that every fault applies; build nothing")
    ap.add_argument("--no-baseline", action="store_true", help="skip the run of the unfaulted suite")
    ap.add_argument("--jobs", type=int, default=1, help="build jobs (default 1)")
    ap.add_argument("--nice", type=int, default=15, help="niceness of builds and tests (default 15)")
    ap.add_argument("--timeout", type=int, default=1800, help="seconds for one build (default 1800)")
    ap.add_argument("--test-timeout", type=int, default=180, help="seconds for one test program (default 180)")
    ap.add_argument("--results", help="also write the results as a markdown table to this file")
    args = ap.parse_args()

    faults = read_list(Path(args.list))
    if args.select:
        chosen = []
        for f in faults:
            if any(s == f.id or re.search(s, f.id) or re.search(s, f.path) for s in args.select):
                chosen.append(f)
        faults = chosen
    if not faults:
        print("no faults selected")
        return 2

    if args.check:
        bad = 0
        for f in faults:
            path = ROOT / f.path
            reason = "no such file" if not path.is_file() else planted(path.read_text(encoding="utf-8"), f)[1]
            if reason:
                bad += 1
                print("%-8s %s: does not apply (%s)" % (f.id, f.path, reason))
        print("%d faults, %d apply, %d do not" % (len(faults), len(faults) - bad, bad))
        return 3 if bad else 0

    os.nice(args.nice)
    work = Path(args.dir)
    tree, build_dir, logs = work / "tree", work / "build", work / "logs"
    tree.mkdir(parents=True, exist_ok=True)
    logs.mkdir(exist_ok=True)
    # One run at a time: a second would plant its faults in the same tree.
    lock = open(work / "lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        print("another run uses %s" % work)
        return 2
    started = time.monotonic()
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, capture_output=True,
                            text=True).stdout.strip()
    dirty = subprocess.run(["git", "status", "--porcelain", "--untracked-files=no"], cwd=ROOT,
                           capture_output=True, text=True).stdout.strip()
    print("catch list: %d faults, worktree at %s%s" % (len(faults), commit, " with changes" if dirty else ""))
    print("copied %d changed files into %s" % (sync_tree(tree), tree), flush=True)
    configure(tree, build_dir)

    baseline_log = logs / "baseline.log"
    baseline_log.write_text("")
    if not build(build_dir, args.jobs, baseline_log, args.timeout * 3):
        print("the unfaulted tree does not build: see %s" % baseline_log)
        return 2
    known = all_tests(build_dir)
    quick = [n for n, labels in known.items() if "e2e" not in labels]
    e2e = [n for n, labels in known.items() if "e2e" in labels]
    for f in faults:
        for t in f.tests:
            if t not in known:
                print("%s names %s, which is no ctest test" % (f.id, t))
    needed = quick + [t for t in e2e if args.e2e or any(t in f.tests for f in faults)]
    if not args.no_baseline:
        failed = ctest(build_dir, needed, baseline_log, args.test_timeout)
        if failed:
            print("the unfaulted suite fails (%s): see %s" % (describe(failed), baseline_log))
            return 2
        print("unfaulted suite passes: %d tests (%.0f s so far)" % (len(needed), time.monotonic() - started),
              flush=True)

    results = []
    pristine = {}
    try:
        for n, f in enumerate(faults, 1):
            t0 = time.monotonic()
            log = logs / (f.id + ".log")
            log.write_text("%s %s: %s\n" % (f.id, f.path, f.what), encoding="utf-8")
            # Put back what the previous fault changed.
            for path, text in pristine.items():
                path.write_text(text, encoding="utf-8")
            pristine = {}
            target = tree / f.path
            outcome, failed = None, {}
            if not target.is_file():
                outcome, detail = "does not apply", "no such file"
            else:
                original = target.read_text(encoding="utf-8")
                text, reason = planted(original, f)
                if reason:
                    outcome, detail = "does not apply", reason
                else:
                    pristine[target] = original
                    target.write_text(text, encoding="utf-8")
                    if not build(build_dir, args.jobs, log, args.timeout):
                        outcome, detail = "does not build", "see " + str(log)
            if outcome is None:
                first = [t for t in f.tests if t in known]
                rest = [t for t in quick if t not in first]
                if args.e2e:
                    rest += [t for t in e2e if t not in first]
                failed = ctest(build_dir, first + rest, log, args.test_timeout, args.first)
                outcome = "caught" if failed else "not caught"
                detail = describe(failed)
            verdict = judge(f, outcome, failed)
            results.append((f, outcome, detail, verdict, time.monotonic() - t0))
            print("[%d/%d] %-8s %-16s %-12s %s%s" % (n, len(faults), f.id, verdict, outcome, detail,
                                                      "  (%.0f s)" % (time.monotonic() - t0)), flush=True)
    finally:
        for path, text in pristine.items():
            path.write_text(text, encoding="utf-8")

    return summary(results, args, commit, dirty, time.monotonic() - started)


def judge(f, outcome, failed):
    if outcome in ("does not apply", "does not build"):
        return "STALE"
    if f.expected_caught:
        if outcome != "caught":
            return "ESCAPED"
        if not any(t in failed for t in f.tests):
            return "ok, other test"
        named = [fn for fn in f.functions if fn.partition("::")[2] in failed.get(fn.partition("::")[0], [])]
        return "ok" if named or not f.functions else "ok, other function"
    return "NOW CAUGHT" if outcome == "caught" else "ok"


def summary(results, args, commit, dirty, seconds):
    count = lambda what: sum(1 for r in results if r[1] == what)
    verdicts = lambda what: [r for r in results if r[3] == what]
    lines = [
        "%s, worktree at %s%s: %d faults: %d caught, %d not caught, %d do not apply, %d do not build; %.0f min"
        % (datetime.date.today().isoformat(), commit, " with changes" if dirty else "", len(results),
           count("caught"), count("not caught"), count("does not apply"), count("does not build"), seconds / 60)
    ]
    for verdict, meaning in (("ESCAPED", "listed as caught, not caught now"),
                             ("STALE", "no longer apply or build: mend their find text"),
                             ("NOW CAUGHT", "listed as not caught, caught now"),
                             ("ok, other test", "caught, but not by the test listed"),
                             ("ok, other function", "caught by the test listed, but not by its function listed")):
        rows = verdicts(verdict)
        if rows:
            lines.append("%s (%s): %s" % (verdict, meaning, ", ".join(r[0].id for r in rows)))
    print("\n" + "\n".join(lines))
    if args.results:
        with open(args.results, "w", encoding="utf-8") as out:
            out.write("\n\n".join(lines) + "\n\n| ID | Verdict | Outcome | Failing tests | Seconds |\n|---|---|---|---|---|\n")
            for f, outcome, detail, verdict, secs in results:
                out.write("| %s | %s | %s | %s | %.0f |\n" % (f.id, verdict, outcome, detail.replace("|", "\\|"),
                                                               secs))
    if verdicts("ESCAPED"):
        return 1
    return 3 if verdicts("STALE") else 0


if __name__ == "__main__":
    sys.exit(main())
