#!/bin/sh
# Runs dimgate and dimgate-tree under valgrind's memcheck on the sample
# images and on hostile files and arguments, and fails on any error it
# reports. Give it a dynamically linked build: valgrind reports false errors
# inside the start-up code of a static C library.
#
# usage: memcheck.sh DIMGATE DIMGATE_TREE DATA_DIR
set -u
dimgate=$1
tree=$2
data=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sig='\0211PNG\r\n\0032\n'
printf '%b' "$sig" >"$work/signature-only"
printf '%b' "$sig\0000\0000\0000\0015IHDR\0000\0000\0000" >"$work/data-cut"
printf '%b%0200d' "$sig\0377\0377\0377\0377IHDR" 0 >"$work/length-max"
printf '%b' "$sig\0000\0000\0000\0015\0033[2J" >"$work/escaped-type"
# A JPEG whose frame header lies past the first page, read at an offset.
{
    printf '%b' '\0377\0330\0377\0341\0023\0212'
    printf '%05000d' 0
    printf '%b' '\0377\0300\0000\0021\0010\0000\0074\0000\0120\0003'
} >"$work/jpeg-past-page"
mkdir "$work/walk"
cp "$data"/*.png "$work/walk/"
# SVGs read a page at a time: a prolog past the first page, a start tag cut
# short, and a width of 60 KiB, which the line shortens.
{
    printf '<?xml version="1.0"?>\n<!DOCTYPE svg [<!ENTITY a "%05000d">]>\n' 0
    printf '<svg width="80" height="60"/>\n'
} >"$work/walk/prolog.svg"
printf '<svg width="80" hei' >"$work/walk/cut.svg"
printf '<svg width="%060000d" height="1"/>\n' 7 >"$work/walk/wide.svg"
# Readers that hop past the first page: an OpenEXR preview, an ICNS entry
# and a JPEG XL Exif box before what they seek; TGA, known by its name; a
# PAM header cut short.
{
    printf 'v/1\001\002\000\000\000preview\000preview\000\000\120\000\000'
    printf '%020480d' 0
    printf 'dataWindow\000box2i\000\020\000\000\000\000\000\000\000\000\000\000\000'
    printf '\172\000\000\000\054\000\000\000\000'
} >"$work/walk/preview.exr"
{
    printf 'icns\000\000\000\000ic08\000\000\023\220'
    printf '%05000d' 0
    printf 'is32\000\000\000\010'
} >"$work/walk/entries.icns"
{
    printf '\000\000\000\014JXL \r\n\207\n\000\000\000\024ftypjxl \000\000\000\000jxl '
    printf '\000\000\023\220Exif'
    printf '%05000d' 0
    printf '\000\000\000\021jxlc\377\012\000\000\000\000\000\000\000'
} >"$work/walk/exif.jxl"
printf '\000\000\002\000\000\000\000\000\000\000\000\000\173\000\055\000\040\010' >"$work/walk/a.TGA"
# With -o, Exif read past the first page: a WebP's EXIF chunk after an
# image of 5000 bytes, a PNG's eXIf after a text chunk of as many, a
# JPEG's IFD that points past the end. Each octal byte of $exif begins
# with \0, as %b takes it.
exif='MM\000*\000\000\000\010\000\001\001\022\000\003\000\000\000\001\000\006\000\000'
{
    printf 'RIFF\000\000\000\000WEBPVP8X\012\000\000\000\010\000\000\000\172\000\000\054\000\000'
    printf 'VP8 \210\023\000\000'
    printf '%05000d' 0
    printf 'EXIF\026\000\000\000'
    printf '%b' "$exif"
} >"$work/walk/exif.webp"
{
    printf '%b' "$sig"
    printf '\000\000\000\015IHDR\000\000\000\173\000\000\000\055\010\006\000\000\000\000\000\000\000'
    printf '\000\000\023\210tEXt'
    printf '%05000d' 0
    printf '\000\000\000\000\000\000\000\026eXIf'
    printf '%b' "$exif"
    printf '\000\000\000\000\000\000\000\000IDAT\000\000\000\000'
} >"$work/walk/exif.png"
printf '\377\330\377\341\000\020Exif\000\000MM\000*\177\377\377\377\377\300\000\021\010\000\074\000\120\003' \
    >"$work/walk/ifd-past-end.jpg"
printf 'P7\nWIDTH 12' >"$work/walk/cut.pam"
for f in "$work"/*-*; do cp "$f" "$work/walk/${f##*/}.png"; done
mkfifo "$work/walk/fifo.png"
ln -s loop "$work/walk/loop"

runs=0 failed=0
check() {
    runs=$((runs + 1))
    valgrind -q --error-exitcode=99 --leak-check=full --log-file="$work/log" \
        "$@" >/dev/null 2>&1
    if [ $? -eq 99 ]; then
        echo "$*:"
        cat "$work/log"
        failed=$((failed + 1))
    fi
}

for f in "$data"/*.png "$work"/* /dev/null /dev/zero "$work" missing.png ""; do
    check "$dimgate" -1 "$f"
done
check "$dimgate"
check "$dimgate" -h
check "$dimgate" -x "$data/over.png"
check "$dimgate" -16 -2 "$data/over.png"
check "$dimgate" a.png b.png

check "$tree" -1 "$work/walk" "$data" "$work"/* /dev/null missing.png ""
check "$tree"
check "$tree" -h
check "$tree" -x "$data"
check "$tree" -tp5 -s 10x -b 100 "$work/walk" "$data/over.png" /dev/null
check "$tree" -s x99999999999999999999999 "$data"
check "$tree" -b

# Rules files: patterns with ** and classes, a line that exempts, long
# options; a bad line; a NUL byte. Then every limit broken at once.
printf '%s\n' '# per folder' '*.png --max-pixels=1 -b 9' '/walk/**/[!a-k]*.png --size=1x1 --aspect=4:3' \
    'walk/data-*' '\#x\ y/ -f gif' >"$work/rules"
printf 'a.png -s 5x5x\n' >"$work/bad-rules"
printf 'a.png -p 5\n\000b\n' >"$work/nul-rules"
check "$tree" -c "$work/rules" "$work/walk" "$data"
check "$tree" --rules="$work/bad-rules" "$data"
check "$tree" --rules "$work/nul-rules" "$data"
check "$tree" --max-pixels=1 --max-size=1x1 --min-size=99999x99999 --aspect=3:7 --max-bytes=1 "$data"
check "$tree" -t --formats=jpeg,TIF "$work/walk"
check "$tree" -f svg -s 10x "$work/walk"/*.svg
check "$tree" --max-size= --foo=1 "$data"
check "$tree" -o -p 1 "$work/walk"
check "$tree" --displayed -s 10x "$work/walk"/exif.* "$work/walk"/*.jpg

echo "memcheck: $failed of $runs runs with errors"
[ "$failed" -eq 0 ]
