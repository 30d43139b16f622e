#!/bin/sh
# Cross-checks dimgate and dimgate-tree with other readers on real image
# files. dimgate, on PNG files: under each of the six limits, it must exit 1
# exactly when the width times the height that file(1) reports is over the
# limit, and it must print nothing. Given DIMGATE_TREE, dimgate-tree, on the
# files of every format it reads, found by their names' endings in any
# case: under a limit of 1 pixel it must name each file but a 1 x 1 one,
# with the width and height that Pillow reads (ImageMagick's identify where
# Pillow cannot: PAM, PFM, PSB, Radiance HDR), avifdec or heif-info for
# AVIF and HEIF, rsvg-convert for SVG, jxlinfo for JPEG XL, exrheader for
# OpenEXR, qoiconv for QOI, the header's own bytes for KTX (read with od),
# or else file(1). Then with -o, the files that may be turned or cropped
# must be named with the size shown: by Pillow's exif_transpose for JPEG,
# PNG and WebP, tiffinfo's and jxlinfo's orientation for TIFF and JPEG XL,
# heif-info's for AVIF and HEIF.
#
# usage: realworld.sh DIMGATE [MAX [DIMGATE_TREE]]
# The files are those under $DIMGATE_PNG_DIR, or where the system keeps its
# images (/System/Library and /Library on macOS, /usr/share elsewhere). One
# check by dimgate is one process, so it checks only an even spread of at
# most MAX PNG files (default all); $DIMGATE_PNG_MAX overrides MAX, and 0
# means all. dimgate-tree checks every file.
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

# dimgate-tree, every file of the formats it reads, against the first of
# the other readers that sizes it; a name with a control byte in it would
# be shown escaped, so those are left to dimgate. Each table row is NAME,
# format, width, height, reader, tab-separated.
if [ -n "$tree" ]; then
    tab=$(printf '\t')
    # shellcheck disable=SC2086 # the roots are separate words
    find $roots -type f ! -path "*$nl*" 2>/dev/null | LC_ALL=C grep -v '[[:cntrl:]]' |
        LC_ALL=C awk '{ n = tolower($0) }
            n ~ /\.(a?png|jpe?g|jpe|jfif|gif|webp|avif|hei[cf]|hif|bmp|dib|ico|cur|tiff?|svg)$/ ||
            n ~ /\.(jxl|icns|ktx2?|psd|psb|dds|tga|icb|vda|vst|p[bgpna]m|pfm|jp[2xf]|j2[kc]|jpc|qoi|hdr|exr)$/' |
        LC_ALL=C sort >"$work/found"
    while IFS= read -r f; do
        [ -r "$f" ] && printf '%s\n' "$f"
    done <"$work/found" >"$work/images"
    : >"$work/table"
    LC_ALL=C awk -v svgs="$work/svgs" '{ n = tolower($0) } n ~ /\.svg$/ { print >svgs; next } { print }' \
        "$work/images" >"$work/rest"
    touch "$work/svgs"
    : >"$work/svg.failed"
    : >"$work/svg.unjudged"
    svg_em=0 svg_none=0 svg_q=0 svg_unread=0

    # SVG: rsvg-convert renders a file at its own size, rounded up to whole
    # pixels, and the PNG it writes has that size. It takes em and ex at a
    # 12 px font, where browsers take 16, and renders a file with no width,
    # height nor viewBox at its drawing's extent: those files are left
    # out, by their root start tag read simply (whole comments dropped, the
    # first "<" and letter on, to a ">" outside quotes) rather than by
    # dimgate-tree's answer, so that a fault in dimgate-tree cannot hide a
    # file from the check. A rsvg-convert that does not read Q renders a
    # file in Q at its drawing's extent too: those are left out when a
    # probe shows it. rsvg-convert reads a number in single precision and
    # rounds up what it comes to, where dimgate-tree first rounds to 1/1000
    # of a pixel: a side a hair over a whole pixel (10.0004, or 27.94cm,
    # 1056 px, that single precision makes 1056.00002) is a pixel wider by
    # rsvg-convert, and is named as wrong.
    if [ ! -s "$work/svgs" ]; then
        :
    elif ! command -v rsvg-convert >/dev/null; then
        svg_unread=$(wc -l <"$work/svgs" | tr -d ' ')
        echo "rsvg-convert is not installed: the $svg_unread SVG files are not checked"
    else
        LC_ALL=C awk -v q="'" '
            # Whether the attribute is in the tag; its value is left in val.
            function attr(tag, name) {
                if (!match(tag, "[ \t\r\n]" name "[ \t\r\n]*=[ \t\r\n]*(\"[^\"]*\"|" q "[^" q "]*" q ")"))
                    return 0
                val = substr(tag, RSTART, RLENGTH)
                sub("^[^\"" q "]*.", "", val)
                val = substr(val, 1, length(val) - 1)
                return 1
            }
            BEGIN { root = "<[A-Za-z_]([^>\"" q "]|\"[^\"]*\"|" q "[^" q "]*" q ")*>" }
            {
                s = ""
                tag = ""
                while (tag == "" && length(s) < 65536 && (getline line <$0) > 0) {
                    s = s line "\n"
                    while ((i = index(s, "<!--")) > 0 && (j = index(substr(s, i + 4), "-->")) > 0)
                        s = substr(s, 1, i - 1) substr(s, i + j + 6)
                    open = index(s, "<!--")
                    if (match(s, root) && (open == 0 || RSTART < open))
                        tag = substr(s, RSTART, RLENGTH)
                }
                close($0)
                hasw = attr(tag, "width")
                w = val
                hash = attr(tag, "height")
                h = val
                if (tag !~ /^<([^ \t\r\n\/>:]*:)?svg[ \t\r\n\/>]/) print "-"
                else if (!hasw && !hash && !attr(tag, "viewBox")) print "none"
                else if (w ~ /[eE][mMxX][ \t\r\n]*$/ || h ~ /[eE][mMxX][ \t\r\n]*$/) print "em"
                else if (w ~ /[0-9.][qQ][ \t\r\n]*$/ || h ~ /[0-9.][qQ][ \t\r\n]*$/) print "q"
                else print "-"
            }' "$work/svgs" >"$work/svg.roots"
        printf '<svg xmlns="http://www.w3.org/2000/svg" width="40Q" height="40Q"/>\n' >"$work/q.svg"
        readsq=
        if rsvg-convert "$work/q.svg" -o "$work/q.png" 2>/dev/null &&
           file -b "$work/q.png" | grep -q '^PNG image data, 38 x 38,'; then
            readsq=y
        fi
        paste "$work/svgs" "$work/svg.roots" | awk -F '\t' -v OFS='\t' -v readsq="$readsq" '
            $2 == "q" && readsq != "" { $2 = "-" }
            { print $2, $1 }' >"$work/svg.kinds"
        svg_em=$(grep -c '^em' "$work/svg.kinds")
        svg_none=$(grep -c '^none' "$work/svg.kinds")
        svg_q=$(grep -c '^q' "$work/svg.kinds")
        # rsvg-convert is a process a file: four at a time.
        for j in 0 1 2 3; do
            LC_ALL=C awk -F '\t' -v j="$j" '$1 == "-" && NR % 4 == j { print substr($0, 3) }' "$work/svg.kinds" |
            while IFS= read -r f; do
                kind=
                rsvg-convert "$f" -o "$work/svg$j.png" 2>/dev/null && kind=$(file -b "$work/svg$j.png")
                size=${kind#PNG image data, }
                w=${size%% x *}
                h=${size#* x }
                h=${h%%,*}
                case $kind in "PNG image data, "*) ;; *) w= ;; esac
                case $w:$h in
                [0-9]*:[0-9]*) case $w$h in *[!0-9]*) w= ;; esac ;;
                *) w= ;;
                esac
                if [ -z "$w" ]; then
                    printf '%s\n' "$f" >>"$work/svg.failed.$j"
                    continue
                fi
                printf '%s\tsvg\t%s\t%s\trsvg-convert\n' "$f" "$w" "$h"
            done >"$work/svg.table.$j" &
        done
        wait
        for j in 0 1 2 3; do
            cat "$work/svg.table.$j" >>"$work/table"
            [ -f "$work/svg.failed.$j" ] && cat "$work/svg.failed.$j" >>"$work/svg.failed"
        done
    fi

    # Pairs the names in $work/rest with the answers in $1, one a line: a
    # name answered "FORMAT<tab>W<tab>H" goes into the table, read by $2;
    # the others stay in $work/rest.
    sized() {
        paste "$work/rest" "$1" | awk -F '\t' -v OFS='\t' -v by="$2" -v rest="$work/rest.new" \
            -v table="$work/table" '
            NF == 4 && $3 ~ /^[0-9]+$/ && $4 ~ /^[0-9]+$/ { print $0, by >>table; next }
            { print $1 >rest }'
        touch "$work/rest.new"
        mv "$work/rest.new" "$work/rest"
    }

    # Pillow reads them all in one process, the system's Python first:
    # another python3 on PATH may be one without it. An icon's size is
    # that of its largest entry, once loaded: the directory says 256 for
    # any PNG entry of 256 or more, and ICNS's type for a PNG or JPEG 2000
    # entry says what it should hold, not what it does. A file of a format
    # that dimgate-tree does not read is left to the other readers, which
    # pass it over too; so is one that Pillow takes for TGA, which has no
    # signature, but whose name is not a TGA file's.
    for py in /usr/bin/python3 python3 ''; do
        [ -n "$py" ] && "$py" -c 'import PIL' >/dev/null 2>&1 && break
    done
    if [ -n "$py" ]; then
        "$py" - "$work/rest" >"$work/answers" <<'EOF'
import sys, warnings
from PIL import Image
warnings.simplefilter("ignore")
Image.MAX_IMAGE_PIXELS = None
kinds = {"PNG": "png", "JPEG": "jpeg", "MPO": "jpeg", "GIF": "gif", "WEBP": "webp",
         "BMP": "bmp", "ICO": "ico", "CUR": "cur", "TIFF": "tiff", "DDS": "dds",
         "ICNS": "icns", "PSD": "psd", "TGA": "tga", "PPM": "netpbm", "PFM": "netpbm",
         "JPEG2000": "jpeg2000", "QOI": "qoi"}
tga = (b".tga", b".icb", b".vda", b".vst")
with open(sys.argv[1], "rb") as names:
    for line in names:
        answer = "-"
        try:
            with Image.open(line[:-1]) as im:
                kind = kinds.get(im.format)
                if kind == "tga" and not line[:-1].lower().endswith(tga):
                    kind = None
                if kind in ("ico", "icns"):
                    im.load()
                if kind:
                    answer = "%s\t%d\t%d" % (kind, im.size[0], im.size[1])
        except Exception:
            pass
        print(answer)
EOF
        sized "$work/answers" Pillow
    else
        echo "no python3 with Pillow: other readers size the files; DDS, ICNS, TGA, PBM, PGM, PPM and" \
             "JPEG 2000 files are not checked"
    fi

    # Says that the files of the names that the awk pattern $2 matches,
    # of format $3, are not checked: their reader $1 is not installed.
    unread() {
        command -v "$1" >/dev/null && return
        unread_n=$(LC_ALL=C awk "{ n = tolower(\$0) } n ~ /$2/" "$work/rest" | wc -l | tr -d ' ')
        [ "$unread_n" -eq 0 ] || echo "$1 is not installed: the $unread_n $3 files are not checked"
    }
    unread jxlinfo '\.jxl$' 'JPEG XL'
    unread exrheader '\.exr$' OpenEXR
    unread qoiconv '\.qoi$' QOI
    unread identify '\.(pam|pfm|ps[db]|hdr)$' 'PAM, PFM, PSD, PSB and Radiance HDR'

    # JPEG XL, OpenEXR, QOI, KTX, AVIF and HEIF, one process a file. jxlinfo shows the
    # stored size (it keeps the orientation); exrheader shows every part's
    # header, the first part's first; qoiconv decodes to PNG, which file(1)
    # sizes. No tool here reads KTX: its header's signature and byte order
    # are checked, and its width and height read, a height of 0 being a
    # texture of one row.
    while IFS= read -r f; do
        size=
        case $f in
        *.[jJ][xX][lL])
            command -v jxlinfo >/dev/null && size=$(jxlinfo "$f" 2>/dev/null | awk '
                /^JPEG XL (image|animation), [0-9]+x[0-9]+,/ {
                    split($4, s, /[x,]/)
                    print "jxl\t" s[1] "\t" s[2] "\tjxlinfo"
                    exit
                }') ;;
        *.[eE][xX][rR])
            command -v exrheader >/dev/null && size=$(exrheader "$f" 2>/dev/null | awk '
                /^dataWindow \(type box2i\): \(-?[0-9]+ -?[0-9]+\) - \(-?[0-9]+ -?[0-9]+\)$/ {
                    sub(/^[^:]*:/, "")
                    gsub(/[^-0-9]+/, " ")
                    w = $4 - $1 + 1
                    h = $5 - $2 + 1
                    if (w > 0 && h > 0) printf "exr\t%.0f\t%.0f\texrheader\n", w, h
                    exit
                }') ;;
        *.[qQ][oO][iI])
            if command -v qoiconv >/dev/null; then
                rm -f "$work/qoi.png"
                qoiconv "$f" "$work/qoi.png" >/dev/null 2>&1 &&
                    size=$(file -b "$work/qoi.png" | sed -n "s/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/qoi$tab\1$tab\2${tab}qoiconv/p")
            fi ;;
        *.[kK][tT][xX] | *.[kK][tT][xX]2)
            size=$(od -A n -t u1 -N 44 "$f" 2>/dev/null | awk '
                { for (i = 1; i <= NF; i++) b[n++] = $i }
                function le(at) { return b[at] + 256 * (b[at + 1] + 256 * (b[at + 2] + 256 * b[at + 3])) }
                function be(at) { return b[at + 3] + 256 * (b[at + 2] + 256 * (b[at + 1] + 256 * b[at])) }
                END {
                    if (n < 44) exit
                    sig = ""
                    for (i = 0; i < 12; i++) sig = sig " " b[i]
                    order = b[12] " " b[13] " " b[14] " " b[15]
                    if (sig == " 171 75 84 88 32 50 48 187 13 10 26 10") { w = le(20); h = le(24) }
                    else if (sig != " 171 75 84 88 32 49 49 187 13 10 26 10") exit
                    else if (order == "1 2 3 4") { w = le(36); h = le(40) }
                    else if (order == "4 3 2 1") { w = be(36); h = be(40) }
                    else exit
                    if (w > 0) printf "ktx\t%.0f\t%.0f\tod\n", w, (h > 0 ? h : 1)
                }') ;;
        *.[aA][vV][iI][fF])
            if command -v avifdec >/dev/null; then
                size=$(avifdec --info "$f" 2>/dev/null |
                    sed -n "s/^ \\* Resolution *: \\([0-9]*\\)x\\([0-9]*\\)\$/avif$tab\\1$tab\\2${tab}avifdec/p")
            fi ;;
        esac
        # heif-info shows the size rotated and cropped (irot, clap), so
        # avifdec, which shows the stored one, goes first for AVIF.
        case $size:$f in
        :*.[aA][vV][iI][fF] | :*.[hH][eE][iI][cCfF] | :*.[hH][iI][fF])
            if command -v heif-info >/dev/null; then
                size=$(heif-info "$f" 2>/dev/null | awk '
                    /^main brand: / { kind = ($3 == "avif" || $3 == "avis") ? "avif" : "heif" }
                    /^image: [0-9]+x[0-9]+ .*primary/ { split($2, s, "x"); size = s[1] "\t" s[2] }
                    END { if (kind != "" && size != "") print kind "\t" size "\theif-info" }')
            fi ;;
        esac
        if [ -n "$size" ]; then
            printf '%s\t%s\n' "$f" "$size" >>"$work/table"
        else
            printf '%s\n' "$f"
        fi
    done <"$work/rest" >"$work/rest.new"
    mv "$work/rest.new" "$work/rest"

    # file(1), which writes a size for most formats, in one process.
    if [ -s "$work/rest" ] && command -v file >/dev/null; then
        file -b -f "$work/rest" | awk '
            function out(kind, w, h) { sub(/^-/, "", w); sub(/^-/, "", h); print kind "\t" w "\t" h }
            function sides(pattern, sep) {
                if (!match($0, pattern)) return 0
                s = substr($0, RSTART, RLENGTH); sub(/^.*, /, "", s)
                return split(s, side, sep) >= 2
            }
            /^PNG image data, / && sides("^PNG image data, [0-9]+ x [0-9]+", " x ") { out("png", side[1], side[2]); next }
            /^JPEG image data/ && sides(", precision [0-9]+, [0-9]+x[0-9]+", "x") { out("jpeg", side[1], side[2]); next }
            /^GIF image data/ && sides("^GIF image data, version 8[79]a, [0-9]+ x [0-9]+", " x ") { out("gif", side[1], side[2]); next }
            /^PC bitmap/ && sides(", -?[0-9]+ x -?[0-9]+ x [0-9]+", " x ") { out("bmp", side[1], side[2]); next }
            /Web\/P image/ && sides(", [0-9]+x[0-9]+", "x") { out("webp", side[1], side[2]); next }
            /^TIFF image data/ && match($0, /height=[0-9]+/) {
                h = substr($0, RSTART + 7, RLENGTH - 7)
                if (match($0, /width=[0-9]+/)) { out("tiff", substr($0, RSTART + 6, RLENGTH - 6), h); next }
            }
            { print "-" }' >"$work/answers"
        sized "$work/answers" 'file(1)'
    fi

    # ImageMagick for the TIFF files left, BigTIFF among them: the first
    # directory's size; and for what Pillow does not read (PSB, and PSD in
    # grey with alpha), by what ImageMagick finds them to be. It reads a
    # Radiance HDR file only when its resolution line gives Y first and +X
    # ("-Y H +X W" or "+Y H +X W"): the others stay unsized.
    if command -v identify >/dev/null; then
        while IFS= read -r f; do
            case $f in
            *.[tT][iI][fF] | *.[tT][iI][fF][fF])
                size=$(identify -ping -format '%w %h\n' "${f}[0]" 2>/dev/null | awk 'NR == 1 && NF == 2 { print $1 "\t" $2 }')
                [ -n "$size" ] && { printf '%s\ttiff\t%s\tidentify\n' "$f" "$size" >>"$work/table"; continue; }
                ;;
            *.[pP][aA][mM] | *.[pP][fF][mM] | *.[pP][sS][dDbB] | *.[hH][dD][rR])
                size=$(identify -ping -format '%m %w %h\n' "${f}[0]" 2>/dev/null | awk '
                    BEGIN { kind["PAM"] = kind["PFM"] = "netpbm"; kind["PSB"] = kind["PSD"] = "psd"; kind["HDR"] = "hdr" }
                    NR == 1 && NF == 3 && ($1 in kind) { print kind[$1] "\t" $2 "\t" $3 }')
                [ -n "$size" ] && { printf '%s\t%s\tidentify\n' "$f" "$size" >>"$work/table"; continue; }
                ;;
            esac
            printf '%s\n' "$f"
        done <"$work/rest" >"$work/rest.new"
        mv "$work/rest.new" "$work/rest"
    fi

    # Runs dimgate-tree with -p 1 and the options $3... on the files of the
    # table $1, and writes a verdict for each row into $2: the line to
    # expect is in the order of the table, which is the order given, and
    # each row gets what dimgate-tree printed for it, or nothing. A row may
    # end with the size stored, which the line gives after the size shown
    # when they differ, or "-" when no reader here shows it.
    judge() {
        cut -f 1 "$1" | tr '\n' '\0' >"$work/sized"
        rows=$1 judged=$2
        shift 2
        status=0
        if [ -s "$work/sized" ]; then
            xargs -0 "$tree" -p 1 "$@" -- <"$work/sized" >"$work/said" 2>&1 || status=$?
        else
            : >"$work/said"
        fi
        awk -F '\t' -v said="$work/said" -v status="$status" -v OFS='\t' '
            { name[NR] = $1; kind[NR] = $2; w[NR] = $3; h[NR] = $4; by[NR] = $5; sw[NR] = $6; sh[NR] = $7 }
            END {
                while ((getline line <said) > 0) lines[++n] = line
                at = 1
                for (i = 1; i <= NR; i++) {
                    # A line is the next name'"'"'s when that name is this one
                    # followed by ": " and more.
                    got = ""
                    if (at <= n && index(lines[at], name[i] ": ") == 1 &&
                        !(i < NR && index(lines[at], name[i + 1] ": ") == 1)) {
                        got = substr(lines[at], length(name[i]) + 3)
                        at++
                    }
                    if (sw[i] == "-") sub(/ \(stored [0-9]+ x [0-9]+\)/, "", got)
                    stored = ""
                    if (sw[i] != "" && sw[i] != "-" && (sw[i] != w[i] || sh[i] != h[i]))
                        stored = " (stored " sw[i] " x " sh[i] ")"
                    want = ""
                    if (w[i] * h[i] != 1) {
                        want = w[i] " x " h[i] stored " = " sprintf("%.0f", w[i] * h[i]) " pixels, over the limit of 1"
                        over = 1
                    }
                    if (got == want) print "ok", kind[i], by[i]
                    else print "wrong", kind[i], by[i], name[i], w[i] " x " h[i], got
                }
                for (; at <= n; at++) print "extra", lines[at]
                # xargs ends with 123 when a run of dimgate-tree ends with 1 to 125.
                if (status != (over ? 123 : 0)) print "status", status
            }' "$rows" >"$judged"
    }
    judge "$work/table" "$work/verdicts"

    # Where Pillow grows a GIF's screen to its first frame, identify shows
    # the screen (its page). A HEIF file rotated or cropped is left out.
    while IFS="$tab" read -r verdict kind reader name size got; do
        case $verdict:$kind:$reader in
        ok:*) printf '%s\t%s\n' "$kind" "$reader" ;;
        wrong:gif:Pillow)
            screen=$(identify -ping -format '%W x %H\n' "${name}[0]" 2>/dev/null | sed -n 1p)
            case $got in
            "$screen = "*)
                echo "$name: Pillow $size, larger than the screen, $screen, which identify shows" >&4
                printf 'gif\tidentify\n' ;;
            *) printf '%s\n' "$name: gif, $size by Pillow, ${screen:-not sized} by identify; dimgate-tree: ${got:-nothing}" >&3 ;;
            esac ;;
        wrong:*:heif-info)
            if heif-info -d "$name" 2>/dev/null | grep -q -E 'Box: (irot|clap) '; then
                echo "$name: left out: heif-info shows $size, rotated or cropped" >&4
            else
                printf '%s\n' "$name: $kind, $size by $reader; dimgate-tree: ${got:-nothing}" >&3
            fi ;;
        wrong:svg:rsvg-convert)
            # A size that differs is wrong; a reason is dimgate-tree's
            # own, for a file it cannot judge.
            case $got in
            '' | [0-9]*' x '[0-9]*' = '*)
                printf '%s\n' "$name: svg, $size by rsvg-convert; dimgate-tree: ${got:-nothing}" >&3 ;;
            *) printf '%s\n' "$name: rsvg-convert renders $size; dimgate-tree: $got" >>"$work/svg.unjudged" ;;
            esac ;;
        wrong:*) printf '%s\n' "$name: $kind, $size by $reader; dimgate-tree: ${got:-nothing}" >&3 ;;
        extra:*) printf '%s\n' "dimgate-tree printed a line for no file: $kind" >&3 ;;
        status:*) printf '%s\n' "dimgate-tree's runs end with xargs's status $kind" >&3 ;;
        esac
    done <"$work/verdicts" >"$work/agreed" 3>"$work/wrong" 4>"$work/notes"
    cat "$work/notes" "$work/wrong"
    wrong=$((wrong + $(wc -l <"$work/wrong")))
    agreed=$(wc -l <"$work/agreed" | tr -d ' ')

    # jpeg: 62 by Pillow
    sort "$work/agreed" | uniq -c | awk '
        { if ($2 in s) s[$2] = s[$2] ", "; s[$2] = s[$2] $1 " by " $3 }
        END { for (n in s) print n ": " s[n] }' | sort
    svg_failed=$(wc -l <"$work/svg.failed" | tr -d ' ')
    svg_unjudged=$(wc -l <"$work/svg.unjudged" | tr -d ' ')
    svg_out=$((svg_em + svg_none + svg_q + svg_unread + svg_failed + svg_unjudged))
    if [ -s "$work/svgs" ] && [ "$svg_unread" -eq 0 ]; then
        echo "left out SVG files: $svg_em with a side in em or ex, $svg_none with no width, height nor" \
             "viewBox, $svg_q with a side in Q, which this rsvg-convert does not read; $svg_failed that" \
             "rsvg-convert cannot render, $svg_unjudged that dimgate-tree cannot judge"
        sed -n '1,5s/^/    /p' "$work/svg.failed"
        sed -n '1,5s/^/    /p' "$work/svg.unjudged"
    fi
    echo "dimgate-tree agreed on $agreed of $(wc -l <"$work/images" | tr -d ' ') image files under $roots," \
         "with $(wc -l <"$work/wrong" | tr -d ' ') wrong answers;" \
         "left out $(wc -l <"$work/rest" | tr -d ' ') that no reader sizes and $svg_out SVG files"
    sed -n '1,5s/^/    /p' "$work/rest"

    # With -o, the size shown, of the files sized above in the formats that
    # turn or crop: Pillow turns JPEG, PNG and WebP files as their Exif
    # orientation says; tiffinfo prints a TIFF's orientation and jxlinfo a
    # JPEG XL's, of which 5 to 8 swap the sides; heif-info shows AVIF and
    # HEIF turned and cropped, and so shows no HEIF's stored size. A PNG
    # whose eXIf follows its image data is left out: Pillow applies it,
    # browsers do not.
    LC_ALL=C awk -F '\t' -v OFS='\t' '$2 ~ /^(jpeg|png|webp|tiff|jxl|avif|heif)$/ { print $1, $2, $3, $4 }' \
        "$work/table" >"$work/turnable"
    : >"$work/shown"
    : >"$work/late"
    if [ -n "$py" ]; then
        "$py" - "$work/turnable" "$work/late" >"$work/pillow.shown" <<'EOF'
import sys, warnings
from PIL import Image, ImageOps
warnings.simplefilter("ignore")
Image.MAX_IMAGE_PIXELS = None

def exif_late(name):
    """Whether a PNG's eXIf chunk comes after IDAT, with none before."""
    with open(name, "rb") as f:
        f.seek(8)
        idat = False
        while True:
            head = f.read(8)
            if len(head) < 8:
                return False
            if head[4:] == b"eXIf":
                return idat
            idat = idat or head[4:] == b"IDAT"
            f.seek(int.from_bytes(head[:4], "big") + 4, 1)

with open(sys.argv[1], "rb") as rows, open(sys.argv[2], "w") as late:
    for row in rows:
        name, kind, w, h = row[:-1].split(b"\t")
        if kind not in (b"jpeg", b"png", b"webp"):
            continue
        try:
            if kind == b"png" and exif_late(name):
                late.write(name.decode("utf-8", "surrogateescape") + "\n")
                continue
            with Image.open(name) as im:
                size = ImageOps.exif_transpose(im).size
            sys.stdout.buffer.write(b"%s\t%s\t%d\t%d\tPillow\t%s\t%s\n" % (name, kind, size[0], size[1], w, h))
        except Exception:
            pass
EOF
        cat "$work/pillow.shown" >>"$work/shown"
    else
        echo "no python3 with Pillow: the JPEG, PNG and WebP files are not checked with -o"
    fi
    # The others, one process a file.
    while IFS="$tab" read -r f kind w h; do
        turn=
        case $kind in
        tiff)
            command -v tiffinfo >/dev/null || continue
            turn=$(tiffinfo "$f" 2>/dev/null | awk '
                /^TIFF Directory/ && ++dirs > 1 { exit }
                /^  Orientation: row 0 (lhs|rhs),/ { print "swap"; exit }
                /^  Orientation: / { exit }') || continue
            by=tiffinfo ;;
        jxl)
            command -v jxlinfo >/dev/null || continue
            turn=$(jxlinfo "$f" 2>/dev/null | awk '/^Orientation: [5-8] / { print "swap" } /^Orientation: / { exit }')
            by=jxlinfo ;;
        avif | heif)
            command -v heif-info >/dev/null || continue
            size=$(heif-info "$f" 2>/dev/null | awk '/^image: [0-9]+x[0-9]+ .*primary/ { split($2, s, "x"); print s[1], s[2]; exit }')
            [ -n "$size" ] || continue
            stored=$w$tab$h
            [ "$kind" = heif ] && stored=-
            printf '%s\t%s\t%s\t%s\theif-info\t%s\n' "$f" "$kind" "${size% *}" "${size#* }" "$stored"
            continue ;;
        *) continue ;;
        esac
        if [ "$turn" = swap ]; then
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$f" "$kind" "$h" "$w" "$by" "$w" "$h"
        else
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$f" "$kind" "$w" "$h" "$by" "$w" "$h"
        fi
    done <"$work/turnable" >>"$work/shown"
    judge "$work/shown" "$work/verdicts.shown" -o
    : >"$work/wrong.shown"
    while IFS="$tab" read -r verdict kind reader name size got; do
        case $verdict in
        ok) printf '%s\t%s\n' "$kind" "$reader" ;;
        wrong) printf '%s\n' "$name: $kind, $size shown by $reader; dimgate-tree -o: ${got:-nothing}" >>"$work/wrong.shown" ;;
        extra) printf '%s\n' "dimgate-tree -o printed a line for no file: $kind" >>"$work/wrong.shown" ;;
        status) printf '%s\n' "dimgate-tree -o's runs end with xargs's status $kind" >>"$work/wrong.shown" ;;
        esac
    done <"$work/verdicts.shown" >"$work/agreed.shown"
    cat "$work/wrong.shown"
    wrong=$((wrong + $(wc -l <"$work/wrong.shown")))
    turned=$(awk -F '\t' '$6 != "" && $6 != "-" && ($3 != $6 || $4 != $7)' "$work/shown" | wc -l | tr -d ' ')
    sort "$work/agreed.shown" | uniq -c | awk '
        { if ($2 in s) s[$2] = s[$2] ", "; s[$2] = s[$2] $1 " by " $3 }
        END { for (n in s) print n " with -o: " s[n] }' | sort
    late=$(wc -l <"$work/late" | tr -d ' ')
    unshown=$(($(wc -l <"$work/turnable") - $(wc -l <"$work/shown") - late))
    echo "dimgate-tree -o agreed on $(wc -l <"$work/agreed.shown" | tr -d ' ') of $(wc -l <"$work/turnable" | tr -d ' ')" \
         "files that may turn or crop, $turned of them shown otherwise than stored, with" \
         "$(wc -l <"$work/wrong.shown" | tr -d ' ') wrong answers; left out $late PNG files whose eXIf" \
         "follows their image data and $unshown that no reader here shows"
fi

[ "$checked" -gt 0 ] && [ "$wrong" -eq 0 ]
