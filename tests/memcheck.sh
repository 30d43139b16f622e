#!/bin/sh
# Runs dimgate under valgrind's memcheck on the sample images and on hostile
# files and arguments, and fails on any error it reports. Give it a
# dynamically linked build: valgrind reports false errors inside the start-up
# code of a static C library.
#
# usage: memcheck.sh DIMGATE DATA_DIR
set -u
tool=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sig='\0211PNG\r\n\0032\n'
printf '%b' "$sig" >"$work/signature-only"
printf '%b' "$sig\0000\0000\0000\0015IHDR\0000\0000\0000" >"$work/data-cut"
printf '%b%0200d' "$sig\0377\0377\0377\0377IHDR" 0 >"$work/length-max"
printf '%b' "$sig\0000\0000\0000\0015\0033[2J" >"$work/escaped-type"

runs=0 failed=0
check() {
    runs=$((runs + 1))
    valgrind -q --error-exitcode=99 --leak-check=full --log-file="$work/log" \
        "$tool" "$@" >/dev/null 2>&1
    if [ $? -eq 99 ]; then
        echo "dimgate $*:"
        cat "$work/log"
        failed=$((failed + 1))
    fi
}

for f in "$data"/*.png "$work"/* /dev/null /dev/zero "$work" missing.png ""; do
    check -1 "$f"
done
check
check -h
check -x "$data/over.png"
check -16 -2 "$data/over.png"
check a.png b.png

echo "memcheck: $failed of $runs runs with errors"
[ "$failed" -eq 0 ]
