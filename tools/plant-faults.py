#!/usr/bin/env python3
"""Plant faults into a source tree one at a time and record which tests catch them.

Each fault in the Markdown list looks like

    ### F01: short description
    - file: `agents/unit.cpp`
    - find: `return cell.strength > params::wallPassThreshold;`
    - plant: `return cell.strength >= params::wallPassThreshold;`

For every fault chosen (all, or the ids named on the command line) the tool
replaces the one occurrence of `find` in `file` by `plant`, rebuilds, runs the
whole CTest suite under Xvfb, records the failing test programs and Qt Test
functions, and writes the file's original bytes back (also on an error or
Ctrl-C). A `find` text that does not occur exactly once is an error and is not
applied. After the last fault the tree is rebuilt so that the build is clean.

Examples, in a scratch worktree (git worktree add ../faults HEAD) built in
its own build folder, never in the tree you work in:
    tools/plant-faults.py --faults tests/FAULTS.md --tree ../faults --build ../faults/build --out r.tsv
    tools/plant-faults.py --faults tests/FAULTS.md --tree ../faults --build ../faults/build --out r.tsv F01 F02
    tools/plant-faults.py --faults tests/FAULTS.md --tree ../faults --build ../faults/build --out base.tsv --baseline 2
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import time

XVFB = ["xvfb-run", "--auto-servernum",
        "--server-args=-screen 0 1920x1080x24 -nolisten tcp"]


class Fault:
    def __init__(self, ident, title):
        self.ident = ident
        self.title = title
        self.file = None
        self.find = None
        self.plant = None


def parse_faults(path):
    faults = []
    current = None
    head = re.compile(r"^###\s+(F\d+)\s*:\s*(.*?)\s*$")
    field = re.compile(r"^-\s+(file|find|plant)\s*:\s*`([^`]*)`\s*$")
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            m = head.match(line)
            if m:
                current = Fault(m.group(1), m.group(2))
                faults.append(current)
                continue
            m = field.match(line)
            if m and current is not None:
                # \n stands for a line break, for a find that one line alone
                # would not pin down.
                setattr(current, m.group(1), m.group(2).replace("\\n", "\n"))
    ids = [fault.ident for fault in faults]
    duplicates = sorted({i for i in ids if ids.count(i) > 1})
    if duplicates:
        sys.exit("duplicate fault ids: " + " ".join(duplicates))
    for fault in faults:
        if None in (fault.file, fault.find, fault.plant):
            sys.exit(f"{fault.ident}: file, find and plant are all needed")
    return faults


def run(command, log, timeout=None):
    """Runs a command, appending its output to the log; returns (rc, output)."""
    started = time.time()
    proc = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            start_new_session=True)
    try:
        output, _ = proc.communicate(timeout=timeout)
    except BaseException:
        # Ends only the process group this tool started.
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=10)
        except Exception:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except Exception:
                pass
        raise
    text = output.decode("utf-8", "replace")
    if log:
        log.write(f"$ {' '.join(command)}\n{text}\n[rc={proc.returncode} in {time.time() - started:.1f}s]\n")
        log.flush()
    return proc.returncode, text


def build(build_dir, log):
    rc, text = run(["cmake", "--build", build_dir, "-j2"], log)
    return rc == 0, text


RESULT = re.compile(r"^\s*\d+/\d+\s+Test\s+#\d+:\s+(\S+)\s+\.*\s*(\**)(\S.*?)\s+[\d.]+\s+sec\s*$")
FAILED_LIST = re.compile(r"^\s*\d+\s+-\s+(\S+)\s+\((.*)\)\s*$")
QFAIL = re.compile(r"^(FAIL!|XPASS)\s*:\s*([\w:]+?)::(\w+)\((.*?)\)")


def parse_ctest(text):
    """Failing tests {name: reason} and functions {name: [Class::function(tag)]}."""
    failed = {}
    functions = {}
    current = None
    for line in text.splitlines():
        m = RESULT.match(line)
        if m:
            name, status = m.group(1), m.group(3).strip()
            current = name
            if not status.startswith("Passed"):
                failed[name] = status
            continue
        m = FAILED_LIST.match(line)
        if m:
            failed.setdefault(m.group(1), m.group(2))
            continue
        m = QFAIL.match(line.strip())
        if m and current:
            tag = m.group(4)
            entry = f"{m.group(3)}({tag})" if tag else m.group(3)
            lst = functions.setdefault(current, [])
            if entry not in lst:
                lst.append(entry)
    return failed, functions


def run_suite(build_dir, log, serial, timeout, exclude=""):
    """The whole suite: in parallel but tst_session alone, or all serially;
    without the tests that exclude matches."""
    base = ["ctest", "--test-dir", build_dir, "--timeout", str(timeout), "--output-on-failure"]
    if exclude:
        passes = [base + (["-E", exclude] if serial else ["-j2", "-E", exclude])]
    elif serial:
        passes = [base]
    else:
        passes = [base + ["-j2", "-E", "tst_session"], base + ["-R", "tst_session"]]
    failed, functions = {}, {}
    for command in passes:
        _, text = run(XVFB + command, log)
        f, fn = parse_ctest(text)
        failed.update(f)
        for k, v in fn.items():
            functions.setdefault(k, []).extend(v)
        if "No tests were found" in text and "-R" not in command:
            raise RuntimeError("ctest found no tests in " + build_dir)
    return failed, functions


def describe(failed, functions, ignore=()):
    names = sorted(n for n in failed if n not in ignore)
    parts = []
    for n in names:
        reason = failed[n]
        fn = functions.get(n, [])
        extra = []
        if reason and reason not in ("Failed",):
            extra.append(reason)
        extra.extend(fn)
        parts.append(n + (" [" + "; ".join(extra) + "]" if extra else ""))
    return names, ", ".join(parts)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--faults", required=True)
    ap.add_argument("--tree", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True, help="TSV of results; rows are appended as faults finish")
    ap.add_argument("--log", help="full build and test output (default: OUT with .log)")
    ap.add_argument("--serial", action="store_true", help="run every test serially")
    ap.add_argument("--timeout", type=int, default=120, help="per-test timeout in seconds")
    ap.add_argument("--exclude", default="", help="a regular expression: the tests it matches are not run")
    ap.add_argument("--ignore", default="", help="comma-separated tests that fail without a fault (not counted)")
    ap.add_argument("--baseline", type=int, default=0, metavar="N", help="run the suite N times without a fault")
    ap.add_argument("--pidfile", help="write this process's id here (to stop it with SIGTERM)")
    ap.add_argument("ids", nargs="*", help="fault ids (default: all)")
    args = ap.parse_args()

    # SIGTERM behaves like Ctrl-C, so the finally clauses restore the file.
    def on_term(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGHUP, on_term)
    if args.pidfile:
        with open(args.pidfile, "w") as f:
            f.write(f"{os.getpid()}\n")

    tree = os.path.abspath(args.tree)
    build_dir = os.path.abspath(args.build)
    ignore = {t for t in args.ignore.split(",") if t}
    faults = parse_faults(args.faults)
    if args.ids:
        known = {f.ident: f for f in faults}
        missing = [i for i in args.ids if i not in known]
        if missing:
            sys.exit("unknown fault ids: " + " ".join(missing))
        faults = [known[i] for i in args.ids]
    if args.baseline:
        faults = []

    new_file = not os.path.exists(args.out) or os.path.getsize(args.out) == 0
    out = open(args.out, "a", encoding="utf-8")
    if new_file:
        out.write("id\tverdict\tfailing_tests\tdetails\tseconds\tfile\tdescription\n")
        out.flush()
    log = open(args.log or os.path.splitext(args.out)[0] + ".log", "a", encoding="utf-8")

    def record(ident, verdict, names, details, seconds, file, title):
        out.write("\t".join([ident, verdict, ",".join(names) or "-", details or "-",
                             f"{seconds:.0f}", file, title]) + "\n")
        out.flush()
        print(f"{ident}\t{verdict}\t{details or '-'}\t({seconds:.0f}s)", flush=True)

    try:
        ok, _ = build(build_dir, log)
        if not ok:
            sys.exit("the unmodified tree does not build; see the log")
        for n in range(args.baseline):
            started = time.time()
            failed, functions = run_suite(build_dir, log, args.serial, args.timeout, args.exclude)
            names, details = describe(failed, functions)
            record(f"BASELINE{n + 1}", "FAILS" if names else "CLEAN", names, details,
                   time.time() - started, "-", "no fault")

        for fault in faults:
            started = time.time()
            log.write(f"\n===== {fault.ident}: {fault.title}\n")
            path = os.path.join(tree, fault.file)
            try:
                with open(path, "rb") as f:
                    original = f.read()
            except OSError as e:
                record(fault.ident, "ERROR", [], f"cannot read: {e}", 0, fault.file, fault.title)
                continue
            text = original.decode("utf-8")
            count = text.count(fault.find)
            if count != 1:
                record(fault.ident, "ERROR", [], f"find text occurs {count} times", 0, fault.file, fault.title)
                continue
            if fault.find == fault.plant:
                record(fault.ident, "ERROR", [], "plant equals find", 0, fault.file, fault.title)
                continue
            try:
                with open(path, "wb") as f:
                    f.write(text.replace(fault.find, fault.plant, 1).encode("utf-8"))
                ok, build_text = build(build_dir, log)
                if not ok:
                    errors = [l.strip() for l in build_text.splitlines() if "error" in l][:2]
                    record(fault.ident, "BUILD_FAILED", [], " | ".join(errors), time.time() - started,
                           fault.file, fault.title)
                    continue
                failed, functions = run_suite(build_dir, log, args.serial, args.timeout, args.exclude)
                names, details = describe(failed, functions, ignore)
                record(fault.ident, "CAUGHT" if names else "MISSED", names, details,
                       time.time() - started, fault.file, fault.title)
            finally:
                with open(path, "wb") as f:
                    f.write(original)
    except KeyboardInterrupt:
        print("interrupted: the planted file was restored", file=sys.stderr)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        build(build_dir, log)
        sys.exit(130)
    finally:
        out.close()
    # Leaves the build matching the restored tree.
    ok, _ = build(build_dir, log)
    log.close()
    if not ok:
        sys.exit("the final rebuild of the restored tree failed; see the log")


if __name__ == "__main__":
    main()
