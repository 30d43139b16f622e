#!/bin/bash
# Cross-checks dimgate with file(1) on real PNG files: under each of the six
# limits, dimgate must exit 1 exactly when the width times the height that
# file reports is over the limit, and it must print nothing.
#
# usage: realworld.sh DIMGATE [MAX]
# The files are those under $DIMGATE_PNG_DIR (default /usr/share). One check
# is one process, so only an even spread of at most MAX of them is checked
# (default all); $DIMGATE_PNG_MAX overrides MAX, and 0 means all.
set -u
tool=$1
max=${DIMGATE_PNG_MAX:-${2:-0}}
root=${DIMGATE_PNG_DIR:-/usr/share}

if ! command -v file >/dev/null; then
    echo "file(1) is not installed: nothing to check against"
    exit 77
fi

mapfile -d '' all < <(find "$root" -name '*.png' -type f -readable -print0 2>/dev/null | sort -z)
step=1
if [ "$max" -gt 0 ] && [ "${#all[@]}" -gt "$max" ]; then
    step=$(( (${#all[@]} + max - 1) / max ))
fi
names=()
for (( i = 0; i < ${#all[@]}; i += step )); do
    names+=("${all[i]}")
done

if [ "${#names[@]}" -eq 0 ]; then
    echo "no PNG files under $root"
    exit 1
fi

# With -b, file prints one line per name, in the order given.
mapfile -t kinds < <(printf '%s\0' "${names[@]}" | xargs -0 file -b --)
if [ "${#kinds[@]}" -ne "${#names[@]}" ]; then
    echo "file(1) gave ${#kinds[@]} answers for ${#names[@]} files"
    exit 1
fi

limits=(0 1024 2048 3072 4096 5120 6144)
said=$(mktemp)
trap 'rm -f "$said"' EXIT
checked=0 other=0 wrong=0
for i in "${!names[@]}"; do
    if ! [[ ${kinds[i]} =~ ^PNG\ image\ data,\ ([0-9]+)\ x\ ([0-9]+), ]]; then
        other=$((other + 1))
        continue
    fi
    pixels=$(( BASH_REMATCH[1] * BASH_REMATCH[2] ))
    for l in 1 2 3 4 5 6; do
        "$tool" "-$l" "${names[i]}" >"$said" 2>&1
        status=$?
        want=$(( pixels > limits[l] ))
        if [ "$status" -ne "$want" ] || [ -s "$said" ]; then
            echo "${names[i]}: ${kinds[i]}; -$l exits $status, want $want; printed: $(cat "$said")"
            wrong=$((wrong + 1))
        fi
    done
    checked=$((checked + 1))
done

echo "checked $checked of ${#all[@]} PNG files under $root against file(1), under 6 limits" \
     "each: $wrong wrong answers; left out $other that file(1) does not size as PNG images"
[ "$checked" -gt 0 ] && [ "$wrong" -eq 0 ]
