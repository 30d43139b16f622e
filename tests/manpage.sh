#!/bin/sh
# Checks that the manual page lists exactly the options that the tool
# accepts and the exit statuses that it gives.
#
# usage: manpage.sh DIMGATE PAGE DATA_DIR
set -u
tool=$1
page=$2
data=$3

# The lines of the section named $1 that match the pattern $2, captured.
documented() {
    sed -n "/^\.Sh $1\$/,/^\.Sh /p" "$page" | sed -n "s/$2/\1/p" | LC_ALL=C sort | tr -d '\n'
}

# Every printable character is tried as an option: status 2 rejects it.
left=$(awk 'BEGIN { for (i = 33; i < 127; i++) printf "%c", i }')
options='' statuses=''
while [ -n "$left" ]; do
    rest=${left#?}
    c=${left%"$rest"}
    left=$rest
    "$tool" "-$c" "$data/within.png" >/dev/null 2>&1
    status=$?
    [ "$status" -ne 2 ] && options=$options$c
    statuses="$statuses$status
"
done
"$tool" "$data/over.png"
statuses="$statuses$?"
options=$(printf '%s' "$options" | fold -w1 | LC_ALL=C sort | tr -d '\n')
statuses=$(printf '%s\n' "$statuses" | LC_ALL=C sort -u | tr -d '\n')

ok=0
if [ "$(documented OPTIONS '^\.It Fl \(.\)$')" != "$options" ]; then
    echo "the tool accepts the options '$options'; the page lists '$(documented OPTIONS '^\.It Fl \(.\)$')'"
    ok=1
fi
if [ "$(documented 'EXIT STATUS' '^\.It \([0-9]*\)$')" != "$statuses" ]; then
    echo "the tool exits with '$statuses'; the page lists '$(documented 'EXIT STATUS' '^\.It \([0-9]*\)$')'"
    ok=1
fi
[ "$ok" -eq 0 ] && echo "the page lists the options '$options' and the statuses '$statuses'"
exit "$ok"
