#!/bin/sh
# child-report.sh TEST_PROGRAM SCRATCH: runs the harness test program with its reports sent to
# SCRATCH; passes only when the program failed, named the probe's leak, and left a report.
set -u
program=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$scratch/report"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$scratch/report"
out=$("$program" 2>&1)
status=$?
echo "$out"
if [ "$status" -eq 0 ]; then
    echo "FAIL: the test program passed although its child leaked" >&2
    exit 1
fi
case "$out" in
*"[  PASSED  ] 1 test"*) ;;
*) echo "FAIL: the test itself did not pass; the harness was not what failed" >&2; exit 1 ;;
esac
case "$out" in
*"ERROR: LeakSanitizer: detected memory leaks"*) ;;
*) echo "FAIL: the child's leak report was not printed" >&2; exit 1 ;;
esac
grep -l LeakSanitizer "$scratch"/report.* >/dev/null 2>&1 || { echo "FAIL: no report file" >&2; exit 1; }
echo "the child's report failed the test program (status $status)"
