#!/usr/bin/env python3
"""Measures what the test suite catches: puts deliberate faults (mutants) into the sources one at a
time, builds, runs the suite and records which tests fail.

Usage:
  scripts/mutants.py --build DIR [--sample FILE] [--only ID,...] [--jobs N] [--report FILE]
                     [--exclude REGEX] [--check]

DIR is a build folder already configured with -DDOCCAM_WERROR=ON, so that a fault the compiler warns
about counts as not compiling. The clean tree is built and its suite run first; a red suite stops
the run. Then, for each mutant: its snippet is replaced in its file, DIR is built incrementally with
`cmake --build DIR --parallel N`, and `ctest -j N --timeout 120 --stop-on-failure` runs the suite,
first the tests whose executable the mutant changed, then the others. The file is always put back,
also on Ctrl-C, SIGTERM or an error, and DIR is built once more at the end so that it matches the
clean tree again.

Each mutant ends as one of:
  killed        a test failed (the report names the failing tests)
  survived      the whole suite passed
  uncompilable  the build failed; this is no kill, the mutant should be replaced
  stale         the file is gone or the snippet is not in it exactly once
  error         ctest failed without naming a failed test
A test that fails without crashing or timing out is run once more; if it passes then, the report
calls it flaky, it kills nothing, and the suite goes on. --check only looks for stale mutants,
without building. --exclude REGEX leaves the matching tests out (ctest -E). The report is rewritten
after every mutant (printed at the end without --report); what the builds and ctest print goes to
the report's name with .log appended (DIR/mutants.log without --report).

Sample format (scripts/mutants.txt): blocks separated by blank lines, one per mutant, with the keys
id, file, what, find and replace. "key: value" gives the value verbatim after ": ". A key alone on
its line ("find:") is followed by lines that start with "|": each is one line of the value, verbatim
after the "|", so indentation is kept; they are joined with newlines, with none at the end. A key
alone with no "|" lines after it is empty (a replace that deletes). Lines starting with "#" between
blocks are comments. file is relative to the repository root; when it no longer exists, the file of
the same name under src/ or libqirmel/ is used if there is exactly one.
"""

import argparse
import collections
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEARCHED_FOLDERS = ("src", "libqirmel")
KEYS = ("id", "file", "what", "find", "replace")
TEST_TIMEOUT_SECONDS = 120


Failure = collections.namedtuple("Failure", "number name reason")
Outcome = collections.namedtuple("Outcome", "failed passed problem")


class SampleError(Exception):
    pass


def parse_sample(path):
    """The mutants of a sample file, as dicts with the KEYS, in file order."""
    mutants = []
    current = {}
    open_key = None
    with open(path, encoding="utf-8") as sample:
        lines = sample.read().split("\n")
    for number, line in enumerate(lines + [""], start=1):
        where = f"{path}:{number}"
        if line.startswith("|"):
            if open_key is None:
                raise SampleError(f"{where}: a '|' line outside a value")
            current[open_key].append(line[1:])
            continue
        open_key = None
        if not line.strip():
            if current:
                mutants.append(finish_mutant(current, where))
                current = {}
            continue
        if line.startswith("#"):
            continue
        key, colon, value = line.partition(":")
        if not colon or key not in KEYS:
            raise SampleError(f"{where}: expected one of {', '.join(KEYS)} followed by ':'")
        if key in current:
            raise SampleError(f"{where}: {key} given twice")
        if value:
            if not value.startswith(" "):
                raise SampleError(f"{where}: a space must follow '{key}:'")
            current[key] = value[1:]
        else:
            current[key] = []
            open_key = key
    ids = [mutant["id"] for mutant in mutants]
    doubled = sorted({i for i in ids if ids.count(i) > 1})
    if doubled:
        raise SampleError(f"{path}: ids given twice: {', '.join(doubled)}")
    return mutants


def finish_mutant(fields, where):
    missing = [key for key in KEYS if key not in fields]
    if missing:
        raise SampleError(f"{where}: the mutant above lacks {', '.join(missing)}")
    mutant = {key: "\n".join(value) if isinstance(value, list) else value for key, value in fields.items()}
    if not mutant["find"]:
        raise SampleError(f"{where}: mutant {mutant['id']} has an empty find")
    if mutant["find"] == mutant["replace"]:
        raise SampleError(f"{where}: mutant {mutant['id']} changes nothing")
    return mutant


def locate(relative):
    """The file's path relative to ROOT, looked up by name when it has moved; None when not found."""
    if os.path.isfile(os.path.join(ROOT, relative)):
        return relative
    name = os.path.basename(relative)
    found = []
    for folder in SEARCHED_FOLDERS:
        for directory, _, files in os.walk(os.path.join(ROOT, folder)):
            if name in files:
                found.append(os.path.relpath(os.path.join(directory, name), ROOT))
    return found[0] if len(found) == 1 else None


def occurrences(text, snippet):
    count = 0
    start = text.find(snippet)
    while start >= 0:
        count += 1
        start = text.find(snippet, start + 1)
    return count


def prepare(mutant):
    """(path, original bytes, mutated bytes) with the path relative to ROOT, or (None, reason, None)
    for a stale mutant."""
    relative = locate(mutant["file"])
    if relative is None:
        return None, f"no single file named {os.path.basename(mutant['file'])}", None
    with open(os.path.join(ROOT, relative), "rb") as source:
        original = source.read()
    text = original.decode("utf-8")
    count = occurrences(text, mutant["find"])
    if count != 1:
        return None, f"snippet found {count} times in {relative}", None
    mutated = text.replace(mutant["find"], mutant["replace"], 1).encode("utf-8")
    return relative, original, mutated


def write(path, content):
    with open(path, "wb") as target:
        target.write(content)


def run(command, log, log_output=True):
    """Runs command in a process group of its own, so that an interruption ends all of it; returns
    (exit status, output). The command, and its output unless log_output is false, go to log."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", start_new_session=True)
    try:
        output, _ = process.communicate()
    except BaseException:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait()
        raise
    log.write(f"$ {' '.join(command)}\n{output if log_output else ''}\n")
    log.flush()
    return process.returncode, output


class Suite:
    """The registered tests, and which of them run an executable that differs from the clean build."""

    def __init__(self, build, jobs, exclude, log):
        self.build = build
        self.jobs = jobs
        self.exclude = exclude
        self.log = log
        self.hashes = {}
        self.clean = {}

    def tests(self):
        """(number, name, executable) of every registered test."""
        status, output = run(["ctest", "--test-dir", self.build, "--show-only=json-v1"], self.log, False)
        if status != 0:
            raise RuntimeError("ctest cannot list the tests")
        listed = json.loads(output[output.index("{"):])["tests"]
        return [(number, test["name"], test.get("command", [""])[0]) for number, test in enumerate(listed, start=1)]

    def digest(self, path):
        try:
            info = os.stat(path)
        except OSError:
            return None
        key = (path, info.st_mtime_ns, info.st_size)
        if key not in self.hashes:
            with open(path, "rb") as executable:
                self.hashes[key] = hashlib.sha1(executable.read()).hexdigest()
        return self.hashes[key]

    def remember_clean(self):
        self.clean = {executable: self.digest(executable) for _, _, executable in self.tests()}

    def ctest(self, numbers):
        """Runs the tests of the given numbers, stopping at the first failure."""
        # -I takes start, end and stride (0: none of the range), then the numbers of single tests.
        command = ["ctest", "--test-dir", self.build, "-j", str(self.jobs), "--timeout", str(TEST_TIMEOUT_SECONDS),
                   "--stop-on-failure", "--output-on-failure", "-I", "0,0,0," + ",".join(str(n) for n in numbers)]
        if self.exclude:
            command += ["-E", self.exclude]
        status, output = run(command, self.log)
        failed = []
        passed = set()
        listing_failures = False
        for line in output.splitlines():
            if line.startswith("The following tests FAILED:"):
                listing_failures = True
            elif listing_failures and (match := re.match(r"\s*(\d+) - (.+) \((.+)\)\s*$", line)):
                # A parameterised GoogleTest case's name ends in a dump of its parameter.
                failed.append(Failure(int(match[1]), match[2].split("  # GetParam()")[0], match[3]))
            elif match := re.search(r"Test +#(\d+): .* Passed ", line):
                passed.add(int(match[1]))
        problem = None
        if status != 0 and not failed:
            problem = (output.strip().splitlines() or ["no output"])[-1]
        return Outcome(failed, passed, problem)

    def run_tests(self, numbers):
        """Runs the tests of the given numbers until one fails; (failures, flaky failures, problem or
        None). Tests that only failed, none crashing or timing out, are run once more: a failure that
        does not come back is flaky, no kill, and the tests it kept from running are run after it."""
        flaky = []
        left = list(numbers)
        while left:
            outcome = self.ctest(left)
            if outcome.problem or not outcome.failed:
                return [], flaky, outcome.problem
            if any(failure.reason != "Failed" for failure in outcome.failed):
                return outcome.failed, flaky, None
            again = self.ctest([failure.number for failure in outcome.failed])
            if again.problem:
                return [], flaky, again.problem
            failing = {failure.number for failure in again.failed}
            if failing:
                return [failure for failure in outcome.failed if failure.number in failing], flaky, None
            flaky += outcome.failed
            done = outcome.passed | {failure.number for failure in outcome.failed}
            left = [number for number in left if number not in done]
        return [], flaky, None

    def run_all(self):
        """Runs the suite, the tests whose executable changed first; as run_tests."""
        tests = self.tests()
        changed = [n for n, _, executable in tests if self.digest(executable) != self.clean.get(executable)]
        rest = [n for n, _, _ in tests if n not in changed]
        flaky = []
        for numbers in (changed, rest):
            if numbers:
                failed, more_flaky, problem = self.run_tests(numbers)
                flaky += more_flaky
                if failed or problem:
                    return failed, flaky, problem
        return [], flaky, None


def describe(failures):
    return ", ".join(f.name if f.reason == "Failed" else f"{f.name} ({f.reason})" for f in failures)


def build(build_dir, jobs, log):
    """None when the build succeeds, else its first error line."""
    status, output = run(["cmake", "--build", build_dir, "--parallel", str(jobs)], log)
    if status == 0:
        return None
    errors = [line for line in output.splitlines() if "error" in line.lower()]
    return (errors or output.strip().splitlines() or ["build failed"])[0].strip()


def try_mutant(mutant, suite, jobs, log):
    """(result, detail, file) of one mutant; its file is the original again when this returns."""
    relative, original, mutated = prepare(mutant)
    if relative is None:
        return "stale", original, mutant["file"]
    path = os.path.join(ROOT, relative)
    log.write(f"### mutant {mutant['id']}\n")
    try:
        write(path, mutated)
        problem = build(suite.build, jobs, log)
        if problem:
            return "uncompilable", problem, relative
        failed, flaky, problem = suite.run_all()
    finally:
        write(path, original)
    if problem:
        return "error", problem, relative
    flaky = f"flaky: {describe(flaky)}" if flaky else ""
    if failed:
        return "killed", "; ".join(filter(None, [describe(failed), flaky])), relative
    return "survived", flaky, relative


class Report:
    COUNTED = ("killed", "survived", "uncompilable", "stale", "error")

    def __init__(self, path, sample, build_dir):
        self.path = path
        self.header = [f"# mutants of {os.path.relpath(sample, ROOT)}, built in {build_dir}",
                       "# id | result | seconds | file | what | failing tests or reason"]
        self.lines = []
        self.results = []
        self.started = time.monotonic()

    def add(self, mutant, result, detail, relative, seconds):
        self.results.append(result)
        self.lines.append(" | ".join([mutant["id"], result, f"{seconds:.0f}", relative, mutant["what"], detail]))
        self.write()

    def summary(self):
        counts = ", ".join(f"{self.results.count(result)} {result}" for result in self.COUNTED)
        minutes = (time.monotonic() - self.started) / 60
        return f"# {len(self.results)} mutants: {counts}; {minutes:.1f} min"

    def write(self, final=False):
        text = "\n".join(self.header + self.lines + ([self.summary()] if final else [])) + "\n"
        if self.path:
            write(self.path, text.encode("utf-8"))
        if final:
            sys.stdout.write(text if not self.path else self.summary() + "\n")


def interrupt(signum, _frame):
    raise KeyboardInterrupt(f"signal {signum}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="configured build folder")
    parser.add_argument("--sample", default=os.path.join(ROOT, "scripts", "mutants.txt"))
    parser.add_argument("--only", help="comma-separated ids of the mutants to run")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--report", help="file for the report (default: standard output at the end)")
    parser.add_argument("--exclude", help="regular expression of tests to leave out (ctest -E)")
    parser.add_argument("--check", action="store_true", help="only report stale mutants")
    args = parser.parse_args()

    mutants = parse_sample(args.sample)
    if args.only:
        wanted = args.only.split(",")
        unknown = [i for i in wanted if i not in {m["id"] for m in mutants}]
        if unknown:
            parser.error(f"unknown mutant ids: {', '.join(unknown)}")
        mutants = [m for m in mutants if m["id"] in wanted]

    if args.check:
        stale = 0
        for mutant in mutants:
            relative, reason, _ = prepare(mutant)
            if relative is None:
                stale += 1
                print(f"{mutant['id']}: stale: {reason}")
        print(f"{len(mutants)} mutants, {stale} stale")
        return 1 if stale else 0

    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)
    build_dir = os.path.abspath(args.build)
    log_path = (args.report or os.path.join(build_dir, "mutants")) + ".log"
    report = Report(args.report, args.sample, build_dir)
    with open(log_path, "w", encoding="utf-8") as log:
        suite = Suite(build_dir, args.jobs, args.exclude, log)
        problem = build(build_dir, args.jobs, log)
        if problem:
            sys.exit(f"the clean tree does not build: {problem}")
        failed, flaky, problem = suite.run_tests([n for n, _, _ in suite.tests()])
        if failed or problem:
            sys.exit(f"the suite fails on the clean tree: {describe(failed) or problem} (see {log_path})")
        suite.remember_clean()
        clean = f"# clean tree: built and tested in {(time.monotonic() - report.started):.0f} s"
        report.header.insert(1, clean + (f"; flaky: {describe(flaky)}" if flaky else ""))
        try:
            for mutant in mutants:
                started = time.monotonic()
                result, detail, relative = try_mutant(mutant, suite, args.jobs, log)
                report.add(mutant, result, detail, relative, time.monotonic() - started)
                print(f"{mutant['id']}: {result} {detail}", flush=True)
        finally:
            print("building the clean tree again", flush=True)
            problem = build(build_dir, args.jobs, log)
            if problem:
                print(f"the clean tree does not build again: {problem}", file=sys.stderr)
    report.write(final=True)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except SampleError as error:
        sys.exit(str(error))
    except KeyboardInterrupt:
        sys.exit("interrupted; every mutated file has been put back")
