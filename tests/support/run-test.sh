#!/usr/bin/env bash
# Runs one test program for CTest. A test that could not run a case for want of an input
# printed "CONTAVIO-SKIP: <why>" (tests/support/skip.h): when nothing failed its run ends
# with 77, which CTest reports as "Skipped", never as "Passed". A failure stays a failure.
log=$(mktemp) || exit 1
trap 'rm -f "$log"' EXIT
"$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -eq 0 ] && grep -q '^CONTAVIO-SKIP: ' "$log"; then
    exit 77
fi
[ "$rc" -eq 77 ] && exit 1   # 77 failed cases are not a skip
exit "$rc"
