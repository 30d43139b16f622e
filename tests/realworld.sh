#!/bin/sh
# Cross-checks dimgate with file(1) on real PNG files: under each of the six
# limits, dimgate must exit 1 exactly when the width times the height that
# file reports is over the limit, and it must print nothing. Given
# DIMGATE_TREE, it checks the same files under each limit with dimgate-tree
# too, which must name exactly those over the limit, with their sizes.
#
# usage: realworld.sh DIMGATE [MAX [DIMGATE_TREE]]
# The files are those under $DIMGATE_PNG_DIR, or where the system keeps its
# images (/System/Library and /Library on macOS, /usr/share elsewhere). One
# check is one process, so only an even spread of at most MAX of them is
# checked (default all); $DIMGATE_PNG_MAX overrides MAX, and 0 means all.
# Exits 77 (skipped) when there is nothing to check or nothing to check with.
set -u
tool=$1
max=${DIMGATE_PNG_MAX:-${2:-0}}
tree=${3:-}
if [ -n "${DIMGATE_PNG_DIR:-}" ]; then
    roots=$DIMGATE_PNG_DIR
elif [ "$(uname -s)" = Darwin ]; then
    roots='/System/Library /Library'
else
    roots=/usr/share
fi

if ! command -v file >/dev/null; then
    echo "file(1) is not installed: nothing to check against"
    exit 77
fi

work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# Names are kept one to a line, so the rare name with a newline in it is
# left out.
nl='
'
# shellcheck disable=SC2086 # the roots are separate words
find $roots -type f -name '*.png' ! -path "*$nl*" 2>/dev/null |
    LC_ALL=C sort >"$work/found"
while IFS= read -r f; do
    [ -r "$f" ] && printf '%s\n' "$f"
done <"$work/found" >"$work/all"
total=$(wc -l <"$work/all" | tr -d ' ')
step=1
if [ "$max" -gt 0 ] && [ "$total" -gt "$max" ]; then
    step=$(( (total + max - 1) / max ))
fi
awk -v step="$step" '(NR - 1) % step == 0' "$work/all" >"$work/names"

if [ ! -s "$work/names" ]; then
    echo "no readable PNG file under $roots: nothing to check"
    exit 77
fi

# With -b, file prints one line per name, in the order given.
file -b -f "$work/names" >"$work/kinds"
if [ "$(wc -l <"$work/kinds")" -ne "$(wc -l <"$work/names")" ]; then
    echo "file(1) gave $(wc -l <"$work/kinds") answers for $(wc -l <"$work/names") files"
    exit 1
fi

checked=0 other=0 wrong=0
while IFS= read -r name <&3 && IFS= read -r kind <&4; do
    # "PNG image data, W x H, ..."
    size=${kind#PNG image data, }
    w=${size%% x *}
    h=${size#* x }
    h=${h%%,*}
    case $kind:$w:$h in
    "PNG image data, "*:[0-9]*:[0-9]*) ;;
    *) other=$((other + 1)); continue ;;
    esac
    case $w$h in *[!0-9]*) other=$((other + 1)); continue ;; esac
    pixels=$((w * h))
    case $name in
    *[[:cntrl:]]*) ;;
    *)
        printf '%s\0' "$name" >>"$work/sized"
        for l in 1 2 3 4 5 6; do
            if [ "$pixels" -gt $((l * 1024)) ]; then
                printf '%s: %s x %s = %s pixels, over the limit of %s\n' \
                    "$name" "$w" "$h" "$pixels" $((l * 1024)) >>"$work/want.$l"
            fi
        done ;;
    esac
    for l in 1 2 3 4 5 6; do
        "$tool" "-$l" "$name" >"$work/said" 2>&1
        status=$?
        want=0
        [ "$pixels" -gt $((l * 1024)) ] && want=1
        if [ "$status" -ne "$want" ] || [ -s "$work/said" ]; then
            echo "$name: $kind; -$l exits $status, want $want; printed: $(cat "$work/said")"
            wrong=$((wrong + 1))
        fi
    done
    checked=$((checked + 1))
done 3<"$work/names" 4<"$work/kinds"

echo "checked $checked of $total PNG files under $roots against file(1), under 6 limits" \
     "each: $wrong wrong answers; left out $other that file(1) does not size as PNG images"

# dimgate-tree, in as few runs as xargs makes, names the files in the order
# given; a name with a control byte in it would be shown escaped, so those
# are left to dimgate.
if [ -n "$tree" ] && [ -s "$work/sized" ]; then
    for l in 1 2 3 4 5 6; do
        touch "$work/want.$l"
        xargs -0 "$tree" "-$l" <"$work/sized" >"$work/said" 2>&1
        if ! cmp -s "$work/said" "$work/want.$l"; then
            echo "dimgate-tree -$l differs from file(1); want < > said:"
            diff "$work/want.$l" "$work/said" | head -n 20
            wrong=$((wrong + 1))
        fi
    done
    echo "dimgate-tree named the files over each of the 6 limits:" \
         "$(wc -l <"$work/want.1" | tr -d ' ') over 1024 pixels," \
         "$(wc -l <"$work/want.6" | tr -d ' ') over 6144"
fi
[ "$checked" -gt 0 ] && [ "$wrong" -eq 0 ]
