"""Runs the end-to-end test modules one after another, in a fixed order, and counts test cases.

    python3 tests/e2e/run.py [--summary FILE] [test_x.py | test_x ...]

Without names, every tests/e2e/test_*.py runs (but test_real_runtime, which runs only when
named): test_harness first (a broken harness would
make every later failure noise), then the others by name. The modules run sequentially in
one process, because registry fixtures belong to the one Wine prefix of the run; between two
modules every Windows process of the prefix is ended (windows still open are named).

A test method counts once: it fails when it or any of its subtests fails or errs. Prints
"e2e: N passed, N failed, N skipped" and writes {"passed", "failed", "skipped"} as JSON to
--summary. Exit status 1 when anything failed.
"""

import argparse
import importlib
import json
import sys
import time
import traceback
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
FIRST = "test_harness"
sys.path.insert(0, str(HERE))

import harness  # noqa: E402  (found through the path set just above)


class CountingResult(unittest.TextTestResult):
    """Records the outcome of each test method, subtests folded into their method."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.failed_ids = set()
        self.skipped_ids = set()
        self.seen_ids = set()

    def startTest(self, test):
        self.seen_ids.add(test.id())
        super().startTest(test)

    def addFailure(self, test, err):
        self.failed_ids.add(test.id())
        super().addFailure(test, err)

    def addError(self, test, err):
        self.failed_ids.add(test.id())
        super().addError(test, err)

    def addSubTest(self, test, subtest, err):
        if err is not None:
            self.failed_ids.add(test.id())
        super().addSubTest(test, subtest, err)

    def addSkip(self, test, reason):
        self.skipped_ids.add(test.id())
        super().addSkip(test, reason)

    def addUnexpectedSuccess(self, test):
        self.failed_ids.add(test.id())
        super().addUnexpectedSuccess(test)


# Modules run only when named: the real-runtime tests are a layer of their own in
# scripts/test.sh.
NAMED_ONLY = {"test_real_runtime", "test_parity"}


def module_names(requested):
    if requested:
        return [Path(name).stem for name in requested]
    names = sorted(path.stem for path in HERE.glob("test_*.py") if path.stem not in NAMED_ONLY)
    if FIRST in names:
        names.remove(FIRST)
        names.insert(0, FIRST)
    return names


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--summary", help="write the counts as JSON to this file")
    parser.add_argument("modules", nargs="*", help="test modules (default: all)")
    options = parser.parse_args()

    passed = failed = skipped = 0

    def write_summary():
        # Written after every module, so a run cut short still leaves its counts.
        if options.summary:
            Path(options.summary).write_text(json.dumps(
                {"passed": passed, "failed": failed, "skipped": skipped}))

    for index, name in enumerate(module_names(options.modules)):
        if index > 0:
            leftovers = harness.reset_wine()
            if leftovers:
                print("note: windows left open before %s (closed now): %s" % (
                    name, ", ".join("%r (%s, pid %s)" % (w["caption"], w["class"], w["pid"])
                                    for w in leftovers)), flush=True)
        started = time.time()
        print("---- %s" % name, flush=True)
        try:
            module = importlib.import_module(name)
        except Exception:  # A module that cannot even load is one failure, shown in full.
            traceback.print_exc(file=sys.stdout)
            failed += 1
            write_summary()
            continue
        suite = unittest.defaultTestLoader.loadTestsFromModule(module)
        runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=2,
                                         resultclass=CountingResult)
        result = runner.run(suite)
        # A failing class or module fixture is reported under a name of its own.
        module_failed = len(result.failed_ids)
        module_skipped = len(result.skipped_ids - result.failed_ids)
        module_passed = len(result.seen_ids - result.failed_ids - result.skipped_ids)
        passed += module_passed
        failed += module_failed
        skipped += module_skipped
        print("---- %s: %d passed, %d failed, %d skipped (%.0f s)"
              % (name, module_passed, module_failed, module_skipped, time.time() - started),
              flush=True)
        write_summary()

    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, skipped), flush=True)
    write_summary()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
