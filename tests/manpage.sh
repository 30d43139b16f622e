#!/bin/sh
# Checks that the manual page lists exactly the options that the tool
# accepts, their long names as its help gives them, and the exit statuses
# that it gives.
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

# Every printable character is tried as an option: the tool rejects it
# with status 2 and "error: unknown option C". An option that takes a
# value may refuse the file's name as one, but says so in other words.
left=$(awk 'BEGIN { for (i = 33; i < 127; i++) printf "%c", i }')
options='' statuses=''
err=$(mktemp) || exit 1
trap 'rm -f "$err"' EXIT
while [ -n "$left" ]; do
    rest=${left#?}
    c=${left%"$rest"}
    left=$rest
    "$tool" "-$c" "$data/within.png" >/dev/null 2>"$err"
    status=$?
    if [ "$status" -ne 2 ] || [ "$(head -n 1 "$err")" != "error: unknown option $c" ]; then
        options=$options$c
    fi
    statuses="$statuses$status
"
done
"$tool" "$data/over.png"
statuses="$statuses$?"
options=$(printf '%s' "$options" | fold -w1 | LC_ALL=C sort | tr -d '\n')
statuses=$(printf '%s\n' "$statuses" | LC_ALL=C sort -u | tr -d '\n')

ok=0
# An option's line is ".It Fl C", then its value's name where it takes one,
# then its long name where it has one: ", Fl \-NAME", and "Ns = Ns" and the
# value's name where it takes one.
item='^\.It Fl \([^ ]\)\( Ar [^,]*\)\{0,1\}\( , Fl \\-[a-z][-a-z]*.*\)\{0,1\}$'
if [ "$(documented OPTIONS "$item")" != "$options" ]; then
    echo "the tool accepts the options '$options'; the page lists '$(documented OPTIONS "$item")'"
    ok=1
fi

# The long names, each with its letter, as the page's option lines give
# them and as the help gives them ("   -p, --max-pixels N"); the tool must
# know each one, whether or not it then takes what follows as its value.
page_long=$(sed -n '/^\.Sh OPTIONS$/,/^\.Sh /p' "$page" |
    sed -n 's/^\.It Fl \([^ ]\)\( Ar [^,]*\)\{0,1\} , Fl \\-\([a-z][-a-z]*\).*$/\1 \3/p' | LC_ALL=C sort)
help_long=$("$tool" -h | sed -n 's/^ *-\([^ ,]\), --\([a-z][-a-z]*\).*$/\1 \2/p' | LC_ALL=C sort)
if [ "$page_long" != "$help_long" ]; then
    echo "the help gives the long names '$(printf '%s' "$help_long" | tr '\n' ' ')';" \
        "the page lists '$(printf '%s' "$page_long" | tr '\n' ' ')'"
    ok=1
fi
for name in $(printf '%s\n' "$page_long" | sed 's/^. //'); do
    "$tool" "--$name" "$data/within.png" >/dev/null 2>"$err"
    if [ "$(head -n 1 "$err")" = "error: unknown option --$name" ]; then
        echo "the page lists --$name, which the tool does not know"
        ok=1
    fi
done
if [ "$(documented 'EXIT STATUS' '^\.It \([0-9]*\)$')" != "$statuses" ]; then
    echo "the tool exits with '$statuses'; the page lists '$(documented 'EXIT STATUS' '^\.It \([0-9]*\)$')'"
    ok=1
fi
[ "$ok" -eq 0 ] && echo "the page lists the options '$options'," \
    "$(printf '%s\n' "$page_long" | grep -c .) long names and the statuses '$statuses'"
exit "$ok"
