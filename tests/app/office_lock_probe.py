#!/usr/bin/python3
"""What a spreadsheet program does with our locks: opens FREE (nobody has it) and HELD (our
program runs on it) in a headless office suite, and prints as JSON the lock line the suite
wrote beside FREE while it had it open, and whether it opened HELD read-only.

  office_lock_probe.py FREE HELD PASSWORD
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "store", "xls"))
from office_uno import Office  # noqa: E402


def lock_path(path):
    folder, name = os.path.split(os.path.abspath(path))
    return os.path.join(folder, ".~lock." + name + "#")


def main():
    free, held, password = sys.argv[1:4]
    out = {}
    with Office() as office:
        for key, path in (("free", free), ("held", held)):
            # As a person opens it: the suite decides itself whether it opens read-only.
            doc = office.load(path, password, force_writable=False)
            if doc is None:
                out[key] = {"loaded": False}
                continue
            lock = lock_path(path)
            line = open(lock, "rb").read().decode("utf-8", "replace") if os.path.exists(lock) else None
            out[key] = {"loaded": True, "readonly": bool(doc.isReadonly()), "lock": line}
            doc.close(True)
    print(json.dumps(out))


if __name__ == "__main__":
    main()
