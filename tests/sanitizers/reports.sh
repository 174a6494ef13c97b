#!/bin/sh
# reports.sh clear|check DIR: empties the sanitizer report folder, or fails listing every
# report in it.
set -eu
dir=$2
case "$1" in
clear)
    rm -rf "$dir"
    # Open to every user, as /tmp is: a test runs the program as another user (nobody), and a
    # sanitized program that cannot create its report file ends with a failure of its own.
    mkdir -p "$dir"
    chmod 1777 "$dir"
    ;;
check)
    found=0
    for f in "$dir"/*; do
        # Every sanitized program creates its file at its start (DefaultOptions.cpp asks for the
        # path); only one with text in it is a report.
        [ -s "$f" ] || continue
        found=1
        echo "==== sanitizer report $f"
        cat "$f"
    done
    if [ "$found" -ne 0 ]; then
        echo "sanitizer reports found in $dir" >&2
        exit 1
    fi
    echo "no sanitizer report in $dir"
    ;;
*)
    echo "usage: reports.sh clear|check DIR" >&2
    exit 2
    ;;
esac
