#!/usr/bin/python3
"""Real workbooks through the engine's command-line tool, judged against a list of known
differences kept beside this script.

For every .xls file under the folders given (other programs wrote them):
  run     `TOOL dump` never crashes or hangs, and its peak memory stays under a bound that
          grows with the file's size;
  open    a BIFF8 file that xlrd reads opens; a file refused gets a message;
  read    the cells the tool reads are the cells xlrd reads;
  copy    after `TOOL copy`, xlrd reads in the copy what it read in the original;
  crypt   the same through a copy saved with a password (decrypted by msoffcrypto);
  lo      (with --libreoffice) LibreOffice finds in the copy what it finds in the original:
          cells, number formats, bold, formula texts, print areas and titles, page set-up.
The comparisons themselves are those of the shared tools (corpus_check.py, corpus_lo.py),
imported from the folder given with --tools.

Every (file, check) that fails must be listed in the known-differences file with its reason;
a failure not listed fails the run, an entry that no longer fails is reported so that the list
can shrink.  Exit status: 0 all failures known, 1 new failures, 2 cannot run.

Usage: corpus_test.py --tool TOOL --tools DIR --known FILE [--libreoffice] [--memory-base MB]
                      [--memory-factor N] CORPUS_DIR...
"""
import re
import argparse
import json
import os
import subprocess
import sys
import tempfile


def parse_known(path):
    known = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) < 3:
                raise SystemExit(f"{path}:{number}: expected 'file check reason'")
            known[(parts[0], parts[1])] = parts[2]
    return known


# The runs are started by a small helper process of its own, started before this script
# loads anything: a child's peak memory counts the pages of the process it was forked from,
# and this script grows large with the readings it keeps.
HELPER = r"""
import json, os, subprocess, sys, time
for line in sys.stdin:
    job = json.loads(line)
    with open(job["out"], "wb") as out, open(job["err"], "wb") as err:
        p = subprocess.Popen(job["argv"], stdout=out, stderr=err)
        deadline = time.monotonic() + job["timeout"]
        while True:
            pid, status, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                rc = os.waitstatus_to_exitcode(status)
                break
            if time.monotonic() > deadline:
                p.kill()
                _, status, usage = os.wait4(p.pid, 0)
                rc = "timeout"
                break
            time.sleep(0.005)
        p.returncode = 0
    print(json.dumps({"rc": rc, "rss": usage.ru_maxrss}), flush=True)
"""
_helper = None


def run_measured(argv, timeout):
    """(exit code or 'timeout' or -signal, stdout, stderr, peak resident KB) of one run."""
    global _helper
    if _helper is None:
        _helper = subprocess.Popen([sys.executable, "-c", HELPER], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, text=True)
    fd_out, out_path = tempfile.mkstemp(prefix="corpus-out-")
    fd_err, err_path = tempfile.mkstemp(prefix="corpus-err-")
    os.close(fd_out)
    os.close(fd_err)
    try:
        _helper.stdin.write(json.dumps({"argv": argv, "timeout": timeout, "out": out_path,
                                        "err": err_path}) + "\n")
        _helper.stdin.flush()
        result = json.loads(_helper.stdout.readline())
        with open(out_path, "rb") as f:
            out = f.read()
        with open(err_path, "rb") as f:
            err = f.read().decode("utf-8", "replace")
    finally:
        os.unlink(out_path)
        os.unlink(err_path)
    return result["rc"], out, err, result["rss"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", required=True)
    ap.add_argument("--tools", required=True, help="folder of corpus_check.py and corpus_lo.py")
    ap.add_argument("--known", required=True)
    ap.add_argument("--libreoffice", action="store_true")
    ap.add_argument("--no-xlrd", action="store_true", help="only make the copies LibreOffice compares")
    ap.add_argument("--memory-base", type=float, default=64.0, help="MB any run may take")
    ap.add_argument("--memory-factor", type=float, default=24.0, help="times the file's size on top")
    ap.add_argument("--timeout", type=float, default=120.0)
    ap.add_argument("dirs", nargs="+")
    args = ap.parse_args()
    run_measured(["true"], 10)   # the helper starts while this process is still small

    sys.path.insert(0, os.path.abspath(args.tools))
    try:
        import corpus_check as cc
    except ImportError as e:
        print(f"cannot run: {e}")
        return 2
    if cc.msoffcrypto is None:
        print("cannot run: python3-msoffcrypto-tool is missing")
        return 2
    known = parse_known(args.known)

    files = []
    for d in args.dirs:
        for name in sorted(os.listdir(d)):
            if name.lower().endswith(".xls"):
                files.append((os.path.basename(os.path.normpath(d)) + "/" + name, os.path.join(d, name)))

    failures = {}          # (file, check) -> detail
    figures = {"files": len(files), "biff8": 0, "opened": 0, "read_exact": 0, "copy_exact": 0,
               "crypt_exact": 0, "lo_compared": 0, "lo_exact": 0}
    tmp = tempfile.mkdtemp(prefix="contavio-corpus-test-")
    copies = {}            # file -> path of its plain copy, for the LibreOffice half
    worst_memory = (0.0, "")
    for name, path in files:
        data = open(path, "rb").read()
        password = cc.PASSWORD
        ref = None
        try:
            if args.no_xlrd:
                raise ValueError("not asked")
            ref, datemode = cc.xlrd_cells(data)
        except Exception as e:
            if "encrypted" in str(e).lower():
                try:
                    ref, datemode = cc.xlrd_cells(cc.decrypt(data, cc.DEFAULT_PW))
                    password = cc.DEFAULT_PW
                except Exception:
                    ref = None
        if ref is not None:
            figures["biff8"] += 1

        rc, out, err, rss = run_measured([args.tool, "dump", path, "--password", password], args.timeout)
        limit = args.memory_base * 1024 + args.memory_factor * len(data) / 1024
        if rss / 1024 > worst_memory[0]:
            worst_memory = (rss / 1024, name)
        if rss > limit:
            failures[(name, "memory")] = f"{rss / 1024:.0f} MB for a file of {len(data) / 1024:.0f} KB"
        if rc == "timeout" or rc < 0:
            failures[(name, "run")] = "hang" if rc == "timeout" else f"signal {-rc}"
            continue
        if rc != 0:
            message = err.strip()
            if not message:
                failures[(name, "run")] = "refused without a message"
            if ref is not None:
                failures[(name, "open")] = f"refused: {message[:120]}"
            continue
        if ref is None or args.no_xlrd:
            # No reading to compare with; LibreOffice may still have one.
            target = os.path.join(tmp, f"{len(copies)}-copy.xls")
            if run_measured([args.tool, "copy", path, target], args.timeout)[0] == 0:
                copies[name] = (path, target)
            continue
        figures["opened"] += 1
        try:
            got = cc.ours_cells(json.loads(out), datemode)
            total, equal, diffs = cc.compare(ref, got)
        except Exception as ex:
            total, equal, diffs = 1, 0, [f"dump not JSON: {ex}"]
        if total == equal:
            figures["read_exact"] += 1
        else:
            failures[(name, "read")] = f"{equal}/{total}: " + "; ".join(diffs)[:160]

        for check, extra in (("copy", []), ("crypt", ["--new-password", cc.PASSWORD])):
            target = os.path.join(tmp, f"{len(copies)}-{check}.xls")
            rc, _, err, _ = run_measured([args.tool, "copy", path, target, "--password", password] + extra,
                                         args.timeout)
            if rc != 0:
                failures[(name, check)] = f"copy failed ({rc}): {err.strip()[:120]}"
                continue
            try:
                saved = open(target, "rb").read()
                if check == "crypt" or password == cc.DEFAULT_PW:
                    saved = cc.decrypt(saved, cc.PASSWORD if check == "crypt" else cc.DEFAULT_PW)
                back, _ = cc.xlrd_cells(saved)
                total, equal, diffs = cc.compare(ref, back)
            except Exception as ex:
                total, equal, diffs = 1, 0, [f"copy unreadable: {str(ex)[:100]}"]
            if total == equal:
                figures[check + "_exact"] += 1
            else:
                failures[(name, check)] = f"{equal}/{total}: " + "; ".join(diffs)[:160]
            if check == "copy" and password == cc.PASSWORD:
                copies[name] = (path, target)   # LibreOffice opens it without a password
            elif os.path.exists(target):
                os.unlink(target)

    if args.libreoffice:
        lo_half(args, copies, failures, figures)

    ran = {"run", "memory"} | ({"lo"} if args.libreoffice else set())
    if not args.no_xlrd:
        ran |= {"open", "read", "copy", "crypt"}
    new = sorted(k for k in failures if k not in known)
    gone = sorted(k for k in known if k not in failures and k[1] in ran)
    for k in sorted(failures):
        mark = "known" if k in known else "NEW  "
        print(f"{mark} {k[0]} {k[1]}: {failures[k]}")
        if k in known:
            print(f"        because: {known[k]}")
    for k in gone:
        print(f"FIXED {k[0]} {k[1]}: listed as known ('{known[k]}') but no longer differs")
    print("figures: " + ", ".join(f"{k} {v}" for k, v in figures.items())
          + f", peak memory {worst_memory[0]:.0f} MB ({worst_memory[1]})")
    print(f"differences: {len(failures)} ({len(new)} new, {len(failures) - len(new)} known), "
          f"{len(gone)} known no longer seen")
    for name in os.listdir(tmp):
        os.unlink(os.path.join(tmp, name))
    os.rmdir(tmp)
    return 1 if new else 0


def lo_half(args, copies, failures, figures):
    """LibreOffice loads each original the engine opened and its copy, and compares them."""
    import corpus_lo
    import lo_dump
    # Volatile results change at every load, so only their formula text is compared. The
    # shared pattern misses the add-in spelling LibreOffice gives RANDBETWEEN
    # ("...ANALYSIS.GETRANDBETWEEN("), whose random result then differed from run to run.
    corpus_lo.VOLATILE = re.compile(r"(?:\b|\.GET)(NOW|TODAY|RAND|RANDBETWEEN|INFO|CELL|OFFSET|INDIRECT)\(",
                                    re.I)
    with corpus_lo.Office() as office:
        for name, (path, copy) in sorted(copies.items()):
            try:
                a = lo_dump.dump(office, path, None)
            except Exception:
                continue            # LibreOffice itself cannot read the original: no reference
            figures["lo_compared"] += 1
            try:
                b = lo_dump.dump(office, copy, None)
            except Exception as e:
                failures[(name, "lo")] = f"copy unreadable: {str(e)[:100]}"
                continue
            _, _, problems = corpus_lo.compare(a, b)
            if problems:
                failures[(name, "lo")] = "; ".join(problems)[:300]
            else:
                figures["lo_exact"] += 1


if __name__ == "__main__":
    sys.exit(main())
