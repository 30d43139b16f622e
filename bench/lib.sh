#!/bin/sh
# shellcheck disable=SC2034,SC2154 # the callers set $work and use the rest
# What bench/run and bench/tree share. Sourced after $work is set to an
# empty folder of the caller's; the commands timed are kept there, one a
# line in names and cmds, with a note for each one left out in notes.

# $1 quoted for the shell.
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }

# $work/now prints microseconds on a clock that only goes forward.
cat >"$work/now.c" <<'EOF'
#include <stdio.h>
#include <time.h>
int main(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    printf("%lld\n", (long long)t.tv_sec * 1000000 + t.tv_nsec / 1000);
    return 0;
}
EOF
cc -O2 "$work/now.c" -o "$work/now"

# A real ImageMagick identify (not any program of that name) in $identify.
identify=
find_identify() {
    for p in "$(command -v identify || true)" /usr/bin/identify; do
        if [ -n "$p" ] && "$p" -version 2>/dev/null | grep -q ImageMagick; then
            identify=$p
            return 0
        fi
    done
    return 1
}

# As root on a system with apt-get, installs the packages named, which
# the system lacks (BENCH_INSTALL=0 turns that off).
get_packages() {
    if [ $# -gt 0 ] && [ "$(id -u)" -eq 0 ] && [ "${BENCH_INSTALL:-1}" = 1 ] &&
        command -v apt-get >/dev/null; then
        echo "installing $*" >&2
        { apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends "$@"; } >/dev/null 2>&1 ||
            echo "could not install $*" >&2
    fi
}
missing=
command -v pngcheck >/dev/null || missing="$missing pngcheck"
command -v file >/dev/null || missing="$missing file"
command -v strace >/dev/null || missing="$missing strace"
[ -x /usr/bin/time ] || missing="$missing time"
find_identify || missing="$missing imagemagick"
if [ -n "$missing" ]; then
    # shellcheck disable=SC2086 # one word a package
    get_packages $missing
    find_identify || true
fi
# The system's own interpreter, not a version manager's shim in front of it.
python=$(command -v /usr/bin/python3 || command -v python3 || true)

: >"$work/names"
: >"$work/cmds"
: >"$work/notes"
: >"$work/took"
# With a fourth argument, the command runs only on the sets it names.
: >"$work/sets"
add() { # add NAME PROGRAM COMMAND [SETS]
    if [ -n "$2" ] && command -v "$2" >/dev/null; then
        printf '%s\n' "$1" >>"$work/names"
        printf '%s\n' "$3" >>"$work/cmds"
        printf '%s\n' "${4:-}" >>"$work/sets"
    else
        printf '%s: not on this system, left out\n' "$1" >>"$work/notes"
    fi
}
line() { sed -n "$(($1 + 1))p" "$2"; }
index() { awk -v name="$1" '$0 == name { print NR - 1; exit }' "$work/names"; }

# Runs command $1 once, as round $2 over $3 files, and keeps its time as a
# line of $work/took: the command's index, the round, the microseconds and
# the number of files.
timed() {
    cmd=$(line "$1" "$work/cmds")
    t0=$("$work/now")
    eval "$cmd" >/dev/null 2>&1 || true
    t1=$("$work/now")
    echo "$1 $2 $((t1 - t0)) $3" >>"$work/took"
}

# The median over the rounds of the milliseconds per file of command $1,
# or with $2 = us, of the microseconds, or with $2 another command's index,
# of $1's time over that of $2: a burst of load on the machine moves a few
# rounds, not the median.
median() {
    awk -v a="$1" -v b="${2:-ms}" '
        $1 == a { t[$2] = $3; held[$2] = $4 }
        $1 == b { u[$2] = $3 }
        END {
            for (r in t) v[++m] = b == "ms" ? t[r] / held[r] / 1000 : b == "us" ? t[r] / held[r] : t[r] / u[r]
            for (i = 2; i <= m; i++)
                for (j = i; j > 1 && v[j - 1] > v[j]; j--) { x = v[j]; v[j] = v[j - 1]; v[j - 1] = x }
            printf (b == "ms" ? "%.3f" : "%.2f"), m % 2 ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
        }' "$work/took"
}

# A bar chart in SVG of the "name<TAB>value" lines on standard input,
# titled $1, with the names that match the awk pattern $2 in green and
# those that match $3 in pale blue; with $4 = log, on a log scale.
chart() {
    awk -F '\t' -v title="$1" -v mine="$2" -v floor="$3" -v scale="${4:-linear}" '
        # The natural logarithm of x, in plain arithmetic, since some awks
        # (as busybox may be built) have no math functions.
        function ln(x,    k, y, t, s, i) {
            if (x <= 0)
                return 0
            for (k = 0; x >= 2; k++) x /= 2
            for (; x < 1; k--) x *= 2
            y = (x - 1) / (x + 1)
            t = y
            for (i = 1; i < 40; i += 2) { s += t / i; t *= y * y }
            return k * 0.6931471805599453 + 2 * s
        }
        { name[NR] = $1; cost[NR] = $2; if ($2 > top) top = $2; if (NR == 1 || $2 < low) low = $2 }
        END {
            # The shortest bar of a log scale stays a tenth of the longest:
            # the scale starts a ninth of the span below the lowest value.
            span = ln(top / low) / 9
            # The names, right-aligned, get 7 pixels a character.
            x = 200
            for (i = 1; i <= NR; i++)
                if (7 * length(name[i]) + 20 > x) x = 7 * length(name[i]) + 20
            h = 30 * NR + 40
            printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"13\">\n", x + 480, h
            printf "<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", x + 480, h
            printf "<text x=\"10\" y=\"20\" font-weight=\"bold\">%s</text>\n", title
            for (i = 1; i <= NR; i++) {
                y = 30 * i + 8
                w = scale == "log" ? 400 * (ln(cost[i] / low) + span) / (ln(top / low) + span) : 400 * cost[i] / top
                fill = name[i] ~ mine ? "#2a7" : name[i] ~ floor ? "#bbc" : "#889"
                printf "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n", x - 10, y + 15, name[i]
                printf "<rect x=\"%d\" y=\"%d\" width=\"%.1f\" height=\"20\" fill=\"%s\"/>\n", x, y, w, fill
                printf "<text x=\"%.1f\" y=\"%d\">%s</text>\n", x + 5 + w, y + 15, cost[i]
            }
            print "</svg>"
        }'
}
