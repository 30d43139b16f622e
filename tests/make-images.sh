#!/bin/sh
# Makes a few hundred small image files in DIR, of every format dimgate-tree
# reads and the variants that put the size elsewhere: progressive,
# arithmetic and lossless JPEG, JPEG with an ICC profile, Exif or fill
# bytes ahead of the frame, GIF87a, animated GIF and WebP, a GIF's first
# frame inside its screen, WebP's three kinds, AVIF with alpha, a grid or
# a rotation, HEIF with odd sides, a thumbnail or alpha, AVIF and HEIF with
# meta after the image data, BMP's header sizes and top-down rows, icons
# and cursors with several entries or PNG entries over 256, TIFF in both
# byte orders, BigTIFF, a TIFF whose directory lies past 512 KiB, SVG in
# every unit, sized by a viewBox, and behind what may come before its root,
# and the formats read since: JPEG XL bare, in a container behind other
# boxes or split over parts, ICNS of several entries, KTX in both byte
# orders and KTX 2, PSD and PSB, DDS compressed or not, TGA of each kind,
# Netpbm's plain and raw PBM, PGM and PPM, PAM and PFM, JP2 and J2K with an
# image offset, QOI, Radiance HDR, and OpenEXR tiled, multipart, with its
# data window off the origin or behind a long attribute. Each tool is used
# where it is installed, and what a missing one would have made is named.
# A file's name starts with the size it was made at, in whole pixels; the
# check reads the size from the file, not from its name.
#
# usage: make-images.sh DIR
# Exits 1 when an installed tool fails to make a file, 2 on a usage error.
set -u
if [ $# -ne 1 ]; then
    echo "usage: make-images.sh DIR" >&2
    exit 2
fi
dir=$1
mkdir -p "$dir" || exit 1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
skip() { echo "make-images: left out $*"; }

# Runs a command that makes the file named first, quietly; a failure is
# shown, and counted in $work/failed, and what it left is removed.
mk() {
    out=$1
    shift
    if ! "$@" >"$out.log" 2>&1; then
        echo "make-images: failed: $*"
        sed -n '1,5s/^/    /p' "$out.log"
        rm -f "$out"
        echo x >>"$work/failed"
        rm -f "$out.log"
        return 1
    fi
    rm -f "$out.log"
}

# Writes the unsigned number $1 as $2 bytes, least significant first.
le() {
    le_n=$1 le_i=0
    while [ "$le_i" -lt "$2" ]; do
        printf '%b' "\\0$(printf %o $((le_n % 256)))"
        le_n=$((le_n / 256)) le_i=$((le_i + 1))
    done
}

# Writes the unsigned number $1 as $2 bytes, most significant first.
be() {
    be_i=$2
    while [ "$be_i" -gt 0 ]; do
        be_i=$((be_i - 1))
        printf '%b' "\\0$(printf %o $(($1 >> (8 * be_i) & 255)))"
    done
}

# Overwrites the bytes of file $1 from offset $2 with standard input.
poke() { dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null; }

# Pillow, from the system's Python first: another python3 on PATH may be
# one without it.
py=
for p in /usr/bin/python3 python3; do
    if "$p" -c 'import PIL' >/dev/null 2>&1; then
        py=$p
        break
    fi
done

if ! have convert; then
    skip "every file: ImageMagick's convert, which draws the images, is not installed"
    exit 0
fi
have cjpeg || skip "arithmetic and lossless JPEG: cjpeg is not installed"
have cwebp || skip "still WebP: cwebp is not installed"
have img2webp || skip "animated WebP from frames: img2webp is not installed"
have gif2webp || skip "animated WebP from GIF: gif2webp is not installed"
have avifenc || skip "AVIF from avifenc: avifenc is not installed"
have heif-enc || skip "HEIF: heif-enc is not installed"
have potrace || skip "SVG traced by ImageMagick: potrace, which it traces with, is not installed"
have rsvg-convert || skip "the check that each SVG renders: rsvg-convert is not installed"
have cjxl || skip "JPEG XL: cjxl is not installed"
have png2icns || skip "ICNS: png2icns is not installed"
have opj_compress || skip "JPEG 2000: opj_compress is not installed"
have qoiconv || skip "QOI: qoiconv is not installed"
have exrmaketiled || skip "tiled OpenEXR: exrmaketiled is not installed"
have exrmultipart || skip "multipart OpenEXR: exrmultipart is not installed"
have exrstdattr || skip "OpenEXR with a long attribute first: exrstdattr is not installed"
have exiftool || skip "JPEG, PNG, WebP and TIFF turned by their Exif orientation: exiftool is not installed"
[ -n "$py" ] || skip "what Pillow makes (APNG, GIF87a, JPEG with Exif or fill bytes, OS/2 2.x BMP, icons" \
    "with PNG entries over 256, TIFF with an Orientation), HEIF with meta last, JPEG XL with Exif from" \
    "a JPEG, and OpenEXR with its data window off the origin: no python3 with Pillow"

# An ICC profile: Pillow's sRGB, or one the system keeps.
icc=
if [ -n "$py" ] && "$py" -c 'import sys
from PIL import ImageCms
p = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB"))
open(sys.argv[1], "wb").write(p.tobytes())' "$work/srgb.icc" 2>/dev/null; then
    icc=$work/srgb.icc
else
    for f in /usr/share/color/icc/*.ic[cm] /System/Library/ColorSync/Profiles/*.icc; do
        [ -f "$f" ] && { icc=$f; break; }
    done
fi
[ -n "$icc" ] || skip "JPEG, PNG and WebP with an ICC profile: no profile to embed"

lossless=
if have cjpeg && cjpeg -help 2>&1 | grep -q -e '-lossless'; then
    lossless=y
elif have cjpeg; then
    skip "lossless JPEG: this cjpeg has no -lossless"
fi

# heif-enc -A fails with some builds of its AV1 encoder: tried once first.
heifavif=
if have heif-enc; then
    convert -size 64x64 gradient:red-blue -depth 8 "$work/probe.png"
    if heif-enc -A -q 30 "$work/probe.png" -o "$work/probe.avif" >/dev/null 2>&1 &&
       [ -s "$work/probe.avif" ]; then
        heifavif=y
    else
        skip "AVIF from heif-enc: heif-enc -A fails here"
    fi
fi

# ImageMagick writes OpenEXR only when built with it; without, it writes
# another format under the name.
exr=
convert -size 8x4 gradient:red-blue "$work/probe.exr" >/dev/null 2>&1 &&
    [ "$(dd if="$work/probe.exr" bs=4 count=1 2>/dev/null)" = "$(printf 'v/1\001')" ] && exr=y
[ -n "$exr" ] || skip "OpenEXR: this ImageMagick does not write it"

# The sizes: the smallest, single rows and columns, odd sides, either side
# of 256 and of 64 x 64, and sides over 4096; noise where it stays small,
# a gradient elsewhere.
sizes='1x1 2x2 1x300 300x1 3x7 16x16 32x32 48x48 63x64 64x64 65x64 123x45
127x129 255x3 256x256 257x3 333x77 640x480 1000x700 4100x8 8x4100 5000x64'

# Every file of one size, the $3rd, drawn in the folder $4; the variants
# take turns from one size to the next.
one() {
    w=$1 h=$2 i=$3 t=$4 n="$dir/${1}x$2"
    area=$((w * h))
    odd=$((i % 2)) third=$((i % 3))
    if [ "$area" -le 20000 ] && [ "$odd" -eq 1 ]; then
        draw=plasma:
    else
        draw=gradient:red-blue
    fi
    # 8-bit RGB: heif-enc fails on PNG files of other depths.
    convert -seed 1 -size "${w}x$h" "$draw" -depth 8 "PNG24:$t/s.png" || { echo x >>"$work/failed"; return; }
    convert "$t/s.png" -alpha set -channel A -evaluate set 60% +channel "PNG32:$t/a.png"
    convert "$t/s.png" "ppm:$t/s.ppm"

    # PNG, and Adam7 interlaced with alpha
    cp "$t/s.png" "$n-im.png"
    if [ "$odd" -eq 0 ]; then
        mk "$n-adam7-alpha.png" convert "$t/a.png" -interlace PNG "$n-adam7-alpha.png"
    fi
    # JPEG: baseline or progressive (SOF0, SOF2), arithmetic (SOF9, SOF10),
    # lossless (SOF3), an ICC profile in APP2 ahead of the frame
    if [ "$odd" -eq 0 ]; then
        mk "$n-im.jpg" convert "$t/s.png" -quality 50 "$n-im.jpg"
        [ -n "$icc" ] && mk "$n-icc.jpe" convert "$t/s.png" -quality 50 -profile "$icc" "$n-icc.jpe"
        have cjpeg && mk "$n-arithmetic.jfif" cjpeg -quality 50 -arithmetic -outfile "$n-arithmetic.jfif" "$t/s.ppm"
    else
        mk "$n-progressive.jpeg" convert "$t/s.png" -quality 50 -interlace Plane "$n-progressive.jpeg"
        have cjpeg && mk "$n-arithmetic-progressive.jpg" cjpeg -quality 50 -arithmetic -progressive \
            -outfile "$n-arithmetic-progressive.jpg" "$t/s.ppm"
        [ -n "$lossless" ] && mk "$n-lossless.jpg" cjpeg -lossless 1 -outfile "$n-lossless.jpg" "$t/s.ppm"
    fi
    # GIF: still, or animated with frames the size of the screen; a first
    # frame smaller than the screen, within it
    if [ "$odd" -eq 0 ]; then
        mk "$n-im.gif" convert "$t/s.png" +dither "$n-im.gif"
    else
        mk "$n-anim.gif" convert -delay 10 "$t/s.png" \( "$t/s.png" -negate \) \( "$t/s.png" -flip \) \
            +dither -loop 0 "$n-anim.gif"
    fi
    if [ "$third" -eq 0 ] && [ "$w" -ge 4 ] && [ "$h" -ge 4 ]; then
        mk "$n-inner-frame.gif" convert "$t/s.png" -gravity center -crop 50%x50%+0+0 +dither "$n-inner-frame.gif"
    fi
    # WebP: lossy (VP8), lossless (VP8L), alpha or ICC (VP8X), animated
    # (VP8X with ANIM)
    if have cwebp; then
        case $third in
        0) mk "$n-lossy.webp" cwebp -quiet -q 50 "$t/s.png" -o "$n-lossy.webp" ;;
        1) mk "$n-lossless.webp" cwebp -quiet -lossless "$t/s.png" -o "$n-lossless.webp" ;;
        2) mk "$n-alpha.webp" cwebp -quiet -q 50 -alpha_q 50 "$t/a.png" -o "$n-alpha.webp" ;;
        esac
        if [ -n "$icc" ] && [ "$third" -eq 1 ]; then
            convert "$t/s.png" -profile "$icc" "PNG24:$t/icc.png"
            mk "$n-icc.webp" cwebp -quiet -q 50 -metadata icc "$t/icc.png" -o "$n-icc.webp"
        fi
    fi
    if [ "$odd" -eq 0 ] && have img2webp; then
        convert "$t/s.png" -negate "$t/neg.png"
        mk "$n-anim.webp" img2webp -loop 0 -lossy "$t/s.png" "$t/neg.png" -o "$n-anim.webp"
    elif [ "$odd" -eq 1 ] && have gif2webp && [ -f "$n-anim.gif" ]; then
        mk "$n-gif.webp" gif2webp -quiet "$n-anim.gif" -o "$n-gif.webp"
    fi
    # BMP: run-length coded with the 40-byte header; uncompressed while
    # small, with the 124-byte header, the 40-byte one, or OS/2's 12-byte
    # one; top-down rows: a negative height in the 40-byte header, the
    # image flipped first so that it still shows the right way up
    mk "$n-rle.bmp" convert "$t/s.png" +dither -type Palette -compress RLE "BMP3:$n-rle.bmp"
    if [ "$area" -le 40000 ]; then
        case $third in
        0) mk "$n-v5.bmp" convert "$t/s.png" "$n-v5.bmp" ;;
        1) mk "$n-v3.dib" convert "$t/s.png" "BMP3:$n-v3.dib" ;;
        2) mk "$n-os2.bmp" convert "$t/s.png" "BMP2:$n-os2.bmp" ;;
        esac
        if [ "$odd" -eq 0 ]; then
            mk "$n-top-down.bmp" convert "$t/s.png" -flip "BMP3:$n-top-down.bmp" &&
                le $((4294967296 - h)) 4 | poke "$n-top-down.bmp" 22
        fi
    fi
    # ICO, one entry (a 256 one is kept as PNG); CUR, an icon of type 2
    if [ "$w" -le 256 ] && [ "$h" -le 256 ]; then
        if [ "$odd" -eq 0 ] || [ "$w" -eq 256 ] || [ "$h" -eq 256 ]; then
            mk "$n-im.ico" convert "$t/s.png" "$n-im.ico"
        else
            mk "$n-im.cur" convert "$t/s.png" "ICO:$n-im.cur" && le 2 2 | poke "$n-im.cur" 2
        fi
    fi
    # TIFF in both byte orders, and BigTIFF
    if [ "$odd" -eq 0 ]; then
        mk "$n-le.tif" convert "$t/s.png" -compress zip "$n-le.tif"
        mk "$n-bigtiff-be.tiff" convert "$t/s.png" -compress zip -define tiff:endian=msb \
            "TIFF64:$n-bigtiff-be.tiff"
    else
        mk "$n-be.tiff" convert "$t/s.png" -compress lzw -define tiff:endian=msb "$n-be.tiff"
        mk "$n-bigtiff.tif" convert "$t/s.png" -compress zip "TIFF64:$n-bigtiff.tif"
    fi
    # AVIF, with alpha (a second item, with its own ispe), and from libheif
    if have avifenc; then
        if [ "$odd" -eq 0 ]; then
            mk "$n-aom.avif" avifenc -s 10 -j 1 "$t/s.png" "$n-aom.avif"
        else
            mk "$n-alpha.avif" avifenc -s 10 -j 1 "$t/a.png" "$n-alpha.avif"
        fi
    fi
    if [ -n "$heifavif" ] && [ "$third" -eq 2 ]; then
        mk "$n-libheif.avif" heif-enc -A -q 30 "$t/s.png" -o "$n-libheif.avif"
    fi
    # HEIF: odd sides make the primary item a grid whose tile's ispe comes
    # first; alpha and a thumbnail add more items. heif-enc cannot make a
    # thumbnail of a thin image.
    if have heif-enc; then
        if [ "$odd" -eq 0 ] && [ "$w" -ge 64 ] && [ "$h" -ge 64 ] && [ "$w" -le 4096 ] && [ "$h" -le 4096 ]; then
            mk "$n-thumbnail.hif" heif-enc -q 30 -t 32 "$t/s.png" -o "$n-thumbnail.hif"
        elif [ "$third" -ne 0 ]; then
            mk "$n-alpha.heif" heif-enc -q 30 "$t/a.png" -o "$n-alpha.heif"
        else
            mk "$n-x265.heic" heif-enc -q 30 "$t/s.png" -o "$n-x265.heic"
        fi
    fi
}

# Files of a few sizes only.
extra() {
    t=$1
    convert -size 256x256 gradient:red-blue -depth 8 "$t/256.png"
    mk "$dir/256x256-6-entries.ico" convert "$t/256.png" -define icon:auto-resize=256,128,64,48,32,16 \
        "$dir/256x256-6-entries.ico"
    mk "$dir/48x48-3-entries.cur" convert "$t/256.png" -define icon:auto-resize=48,32,16 \
        "ICO:$dir/48x48-3-entries.cur" && le 2 2 | poke "$dir/48x48-3-entries.cur" 2
    mk "$dir/123x45-pages.tif" convert -size 123x45 gradient:red-blue \( -size 300x200 gradient: \) \
        -depth 8 -compress zip "$dir/123x45-pages.tif"
    # libtiff writes the directory after the image: here past 512 KiB
    mk "$dir/800x700-ifd-at-end.tif" convert -size 800x700 gradient: -depth 8 -compress none \
        "$dir/800x700-ifd-at-end.tif"
    mk "$dir/333x77-upper.JPG" convert -size 333x77 gradient:red-blue -quality 50 "$dir/333x77-upper.JPG"
    mk "$dir/77x333-upper.PNG" convert -size 77x333 gradient:red-blue -depth 8 "$dir/77x333-upper.PNG"
    if have avifenc; then
        convert -size 640x200 gradient:red-blue -depth 8 "$t/grid.png"
        convert "$t/grid.png" -alpha set -channel A -evaluate set 60% +channel "$t/grida.png"
        mk "$dir/256x256-2x2-grid.avif" avifenc -s 10 -j 1 --grid 2x2 "$t/256.png" "$dir/256x256-2x2-grid.avif"
        mk "$dir/640x200-4x2-grid-alpha.avif" avifenc -s 10 -j 1 --grid 4x2 "$t/grida.png" \
            "$dir/640x200-4x2-grid-alpha.avif"
        # rotation and a crop are applied on display; the stored size stays
        convert -size 123x45 gradient:red-blue -depth 8 "$t/odd.png"
        mk "$dir/123x45-irot.avif" avifenc -s 10 -j 1 --irot 1 "$t/odd.png" "$dir/123x45-irot.avif"
        mk "$dir/640x200-clap.avif" avifenc -s 10 -j 1 --crop 10,10,100,50 "$t/grid.png" \
            "$dir/640x200-clap.avif"
    fi
}

# Photos turned by their Exif orientation, each value in JPEG, in both
# byte orders, and a few in PNG (eXIf), WebP (an EXIF chunk at the end,
# after an animation's frames in one) and TIFF, in both too; AVIF turned a quarter and
# three quarters, and cropped then turned. Their names give the stored
# size; the shown one is checked with -o.
turned() {
    t=$1
    if have exiftool; then
        convert -size 123x45 gradient:red-blue -depth 8 "$t/t.png"
        convert "$t/t.png" -quality 50 "$t/t.jpg"
        convert "$t/t.png" -quality 50 "$t/t.webp"
        convert "$t/t.png" -depth 8 -compress zip "$t/t.tif"
        convert "$t/t.png" -depth 8 -compress zip -endian MSB "$t/t-mm.tif"
        convert -delay 10 "$t/t.png" \( "$t/t.png" -negate \) -loop 0 -quality 50 "$t/anim.webp"
        for o in 1 2 3 4 5 6 7 8 6-ii 3-png 6-png 2-webp 8-webp 6-anim-webp 5-tif 7-tif-mm; do
            case $o in
            *-anim-webp) src=$t/anim.webp ext=webp ;;
            *-png | *-webp | *-tif) src=$t/t.${o#*-} ext=${o#*-} ;;
            *-tif-mm) src=$t/t-mm.tif ext=tif ;;
            *) src=$t/t.jpg ext=jpg ;;
            esac
            n=$dir/123x45-orientation-$o.$ext
            cp "$src" "$n"
            case $o in
            *-ii) order=II ;;
            *) order=MM ;;
            esac
            mk "$n" exiftool -q -overwrite_original -ExifByteOrder="$order" -Orientation#="${o%%-*}" "$n"
        done
    fi
    if have avifenc; then
        convert -size 124x456 gradient:red-blue -depth 8 "$t/tall.png"
        mk "$dir/124x456-irot-3.avif" avifenc -s 10 -j 1 --irot 3 "$t/tall.png" "$dir/124x456-irot-3.avif"
        mk "$dir/124x456-clap-irot.avif" avifenc -s 10 -j 1 --clap 122,1,400,1,0,1,0,1 --irot 1 "$t/tall.png" \
            "$dir/124x456-clap-irot.avif"
    fi
}

# The formats read since the first ones, at sizes that a swapped width and
# height would show: each size a few variants, taking turns. Job $2 (0 or
# 1) draws in the folder $1, each its own pairs of sizes; the first job
# makes the files of a few sizes only.
later() {
    t=$1
    i=0
    for s in 1x1 3x7 123x45 45x123 300x1 257x3 640x200 4100x8; do
        w=${s%x*} h=${s#*x} n="$dir/$s"
        i=$((i + 1))
        [ $(((i - 1) / 2 % 2)) -eq "$2" ] || continue
        odd=$((i % 2)) third=$((i % 3))
        draw=plasma:
        [ $((w * h)) -gt 20000 ] && draw=gradient:red-blue
        convert -seed 1 -size "$s" "$draw" -depth 8 "PNG24:$t/s.png" || { echo x >>"$work/failed"; return; }
        convert "$t/s.png" -alpha set -channel A -evaluate set 60% +channel "PNG32:$t/a.png"
        # TGA: true colour, run-length coded, colour-mapped; grey, under
        # another of its names; an image ID first
        case $third in
        0) mk "$n-im.tga" convert "$t/s.png" "$n-im.tga" ;;
        1) mk "$n-rle.tga" convert "$t/s.png" -compress RLE "$n-rle.tga" ;;
        2) mk "$n-palette.TGA" convert "$t/s.png" -type Palette "TGA:$n-palette.TGA" ;;
        esac
        [ "$odd" -eq 1 ] && mk "$n-gray.vst" convert "$t/s.png" -type Grayscale "VST:$n-gray.vst"
        # DDS: DXT1, DXT5 with alpha, uncompressed with and without mipmaps
        case $third in
        0) mk "$n-dxt1.dds" convert "$t/s.png" -define dds:compression=dxt1 "$n-dxt1.dds" ;;
        1) mk "$n-dxt5.dds" convert "$t/a.png" -define dds:compression=dxt5 "$n-dxt5.dds" ;;
        2) mk "$n-rgba.dds" convert "$t/a.png" -define dds:compression=none -define dds:mipmaps=0 "$n-rgba.dds" ;;
        esac
        [ "$odd" -eq 0 ] && mk "$n-mipmaps.dds" convert "$t/s.png" -define dds:compression=none "$n-mipmaps.dds"
        # PSD, with alpha or without; PSB in true colour, which identify
        # reads (it fails on ImageMagick's colour-mapped ones)
        if [ "$odd" -eq 0 ]; then
            mk "$n-im.psd" convert "$t/s.png" "$n-im.psd"
        else
            mk "$n-alpha.psd" convert "$t/a.png" "$n-alpha.psd"
        fi
        [ "$third" -ne 1 ] && mk "$n-im.psb" convert "$t/s.png" -type TrueColor "PSB:$n-im.psb"
        # Netpbm: raw and plain PBM, PGM and PPM, 16-bit PPM as PNM; PAM of
        # each tuple type; PFM in colour and grey
        case $third in
        0)
            mk "$n-raw.pbm" convert "$t/s.png" "$n-raw.pbm"
            mk "$n-raw.pgm" convert "$t/s.png" "$n-raw.pgm"
            mk "$n-raw.ppm" convert "$t/s.png" "$n-raw.ppm" ;;
        1)
            mk "$n-plain.pbm" convert "$t/s.png" -compress none "$n-plain.pbm"
            mk "$n-plain.pgm" convert "$t/s.png" -compress none "$n-plain.pgm"
            mk "$n-plain.ppm" convert "$t/s.png" -compress none "$n-plain.ppm" ;;
        2) mk "$n-16-bit.pnm" convert "$t/s.png" -depth 16 "PPM:$n-16-bit.pnm" ;;
        esac
        case $third in
        0) mk "$n-rgb.pam" convert "$t/s.png" "$n-rgb.pam" ;;
        1) mk "$n-alpha.pam" convert "$t/a.png" "$n-alpha.pam" ;;
        2) mk "$n-gray.pam" convert "$t/s.png" -colorspace Gray "$n-gray.pam" ;;
        esac
        if [ "$odd" -eq 0 ]; then
            mk "$n-rgb.pfm" convert "$t/s.png" "$n-rgb.pfm"
        else
            mk "$n-gray.pfm" convert "$t/s.png" -colorspace Gray "$n-gray.pfm"
        fi
        # Radiance HDR and OpenEXR from ImageMagick; the EXR tiled
        [ "$odd" -eq 0 ] && mk "$n-im.hdr" convert "$t/s.png" "$n-im.hdr"
        if [ -n "$exr" ] && [ "$third" -ne 2 ]; then
            mk "$n-im.exr" convert "$t/s.png" "$n-im.exr" &&
                have exrmaketiled && [ "$odd" -eq 1 ] &&
                mk "$n-tiled.exr" exrmaketiled -t 32 16 "$n-im.exr" "$n-tiled.exr"
        fi
        # JPEG 2000 in the box format, and as a bare codestream, one with
        # the image off the reference grid's origin; as many resolutions
        # as the smaller side allows
        if have opj_compress; then
            r=1
            while [ "$r" -lt 6 ] && [ $((1 << r)) -le "$w" ] && [ $((1 << r)) -le "$h" ]; do
                r=$((r + 1))
            done
            case $third in
            0) mk "$n-opj.jp2" opj_compress -n "$r" -i "$t/s.png" -o "$n-opj.jp2" ;;
            1) mk "$n-offset.j2k" opj_compress -n "$r" -d 10,7 -i "$t/s.png" -o "$n-offset.j2k" ;;
            2) mk "$n-opj.j2c" opj_compress -n "$r" -r 20,5 -i "$t/a.png" -o "$n-opj.j2c" ;;
            esac
        fi
        # QOI, with alpha or without
        if have qoiconv; then
            if [ "$odd" -eq 0 ]; then
                mk "$n-rgb.qoi" qoiconv "$t/s.png" "$n-rgb.qoi"
            else
                mk "$n-rgba.qoi" qoiconv "$t/a.png" "$n-rgba.qoi"
            fi
        fi
        # JPEG XL: a bare codestream, in a container's jxlc box, or behind
        # jxll and Exif boxes in a jxlc box that runs to the end; split over
        # two jxlp boxes
        if have cjxl; then
            case $third in
            0) mk "$n-bare.jxl" cjxl "$t/s.png" "$n-bare.jxl" ;;
            1) mk "$n-container.jxl" cjxl --container=1 "$t/a.png" "$n-container.jxl" ;;
            2)
                mk "$t/c.jxl" cjxl "$t/s.png" "$t/c.jxl" && jxl_boxes "$t/c.jxl" exif >"$n-exif-first.jxl" ;;
            esac
            # (split after 16 bytes, past the size header)
            if [ "$odd" -eq 1 ] && mk "$t/c.jxl" cjxl -d 0 "$t/s.png" "$t/c.jxl" &&
               [ "$(wc -c <"$t/c.jxl")" -gt 16 ]; then
                jxl_boxes "$t/c.jxl" split >"$n-parts.jxl"
            fi
        fi
    done
    [ "$2" -eq 0 ] || return 0

    # JPEG XL sides that the size header codes as a multiple of 8, or as a
    # ratio of the other side
    if have cjxl; then
        for s in 160x120 256x144 120x100 64x32 40x8; do
            convert -size "$s" gradient:red-blue -depth 8 "PNG24:$t/s.png"
            mk "$dir/$s-ratio.jxl" cjxl "$t/s.png" "$dir/$s-ratio.jxl"
        done
    fi

    # A JPEG with Exif, kept whole in JPEG XL: the codestream in two jxlp
    # boxes with the JPEG's own data and the Exif box between them
    if have cjxl && [ -n "$py" ] && "$py" - "$t/exif.jpg" <<'PY'
import sys
from PIL import Image
exif = Image.Exif()
exif[0x0112] = 6
Image.linear_gradient("L").resize((77, 130)).convert("RGB").save(sys.argv[1], quality=50, exif=exif.tobytes())
PY
    then
        mk "$dir/77x130-from-jpeg.jxl" cjxl "$t/exif.jpg" "$dir/77x130-from-jpeg.jxl"
    fi

    # Netpbm with comments within its header; Radiance HDR's other first
    # line, more header lines and rows from the bottom up
    convert -seed 1 -size 123x45 plasma: -depth 8 "rgb:$t/rgb"
    { printf 'P6\n# a comment\n123 # the width\n  # another\n45\n255\n'; cat "$t/rgb"; } >"$dir/123x45-comments.ppm"
    # (flat RGBE pixels, an exponent of 128 in the alpha byte)
    convert -size 77x130 gradient:red-blue -alpha set -channel A -evaluate set 50% +channel -depth 8 \
        "rgba:$t/rgbe"
    { printf '#?RGBE\n# a comment\nEXPOSURE=1.0\nFORMAT=32-bit_rle_rgbe\n\n+Y 130 +X 77\n'; cat "$t/rgbe"; } \
        >"$dir/77x130-rgbe.hdr"

    # ICNS: entries of each kind png2icns writes, from 16 x 16 to 1024 x 1024
    if have png2icns; then
        for s in 16 32 48 128 256 512 1024; do
            convert -size "${s}x$s" gradient:red-blue -depth 8 "PNG32:$t/$s.png"
        done
        mk "$dir/128x128-4-entries.icns" png2icns "$dir/128x128-4-entries.icns" \
            "$t/16.png" "$t/32.png" "$t/48.png" "$t/128.png"
        mk "$dir/256x256-3-entries.icns" png2icns "$dir/256x256-3-entries.icns" "$t/16.png" "$t/256.png" "$t/32.png"
        mk "$dir/1024x1024-3-entries.icns" png2icns "$dir/1024x1024-3-entries.icns" \
            "$t/512.png" "$t/1024.png" "$t/48.png"
        mk "$dir/32x32-upper.ICNS" png2icns "$dir/32x32-upper.ICNS" "$t/32.png"
    fi

    # KTX and KTX 2, written here: no tool writes them
    ktx1 123x45-le.ktx 123 45 le ""
    ktx1 45x123-be.ktx 45 123 be ""
    ktx1 257x3-orientation.ktx 257 3 le S=r,T=d
    ktx1 300x1-1d.ktx 300 0 be ""
    ktx2 123x45.ktx2 123 45
    ktx2 3x7.ktx2 3 7
    ktx2 640x200.KTX2 640 200

    # OpenEXR: a data window past the first page, behind a long comment; a
    # preview; two parts of other sizes, of which the first counts
    if [ -n "$exr" ]; then
        convert -seed 1 -size 123x45 plasma: "$t/a.exr"
        convert -seed 1 -size 45x123 plasma: "$t/b.exr"
        have exrstdattr && mk "$dir/123x45-long-comment.exr" exrstdattr \
            -comments "$(printf '%5000s' '' | tr ' ' x)" "$t/a.exr" "$dir/123x45-long-comment.exr"
        have exrmakepreview && mk "$dir/45x123-preview.exr" exrmakepreview "$t/b.exr" "$dir/45x123-preview.exr"
        have exrmultipart && mk "$dir/45x123-multipart.exr" exrmultipart -combine \
            -override 1 -i "$t/b.exr" "$t/a.exr" -o "$dir/45x123-multipart.exr"
    fi
    if [ -n "$py" ]; then
        exr_offset || echo x >>"$work/failed"
    fi
}

# JPEG XL's container around the codestream in file $1: with jxll and
# Exif boxes first ($2 exif), or split over two jxlp boxes ($2 split).
jxl_boxes() {
    printf '\0\0\0\014JXL \r\n\207\n'
    be 20 4
    printf 'ftypjxl \0\0\0\0jxl '
    size=$(wc -c <"$1")
    if [ "$2" = exif ]; then
        be 9 4
        printf 'jxll\005'
        # a TIFF header at 0, and IFD0 with an Orientation of 6
        be 38 4
        printf 'Exif\0\0\0\0II*\0'
        le 8 4
        le 1 2
        le 274 2
        le 3 2
        le 1 4
        le 6 4
        le 0 4
        printf '\0\0\0\0jxlc'
        cat "$1"
    else
        be 28 4
        printf 'jxlp\0\0\0\0'
        dd if="$1" bs=16 count=1 2>/dev/null
        be $((size - 16 + 12)) 4
        printf 'jxlp\200\0\0\001'
        dd if="$1" bs=16 skip=1 2>/dev/null
    fi
}

# KTX, as ktx1 NAME WIDTH HEIGHT ORDER KEY-VALUE: RGBA in bytes at its one
# level, in the byte order ORDER (le or be), with KTXorientation set to
# KEY-VALUE unless it is empty. A height of 0 is a texture of one row.
ktx1() {
    rows=$3
    [ "$rows" -eq 0 ] && rows=1
    convert -size "${2}x$rows" gradient:red-blue -depth 8 "rgba:$t/k.rgba"
    kv=0
    [ -n "$5" ] && kv=$(((4 + 15 + ${#5} + 1 + 3) / 4 * 4))
    {
        printf '\253KTX 11\273\r\n\032\n'
        "$4" $((0x04030201)) 4
        "$4" $((0x1401)) 4 # GL_UNSIGNED_BYTE
        "$4" 1 4
        "$4" $((0x1908)) 4 # GL_RGBA
        "$4" $((0x8058)) 4 # GL_RGBA8
        "$4" $((0x1908)) 4
        "$4" "$2" 4
        "$4" "$3" 4
        "$4" 0 4
        "$4" 0 4
        "$4" 1 4
        "$4" 1 4
        "$4" "$kv" 4
        if [ -n "$5" ]; then
            "$4" $((15 + ${#5} + 1)) 4
            printf 'KTXorientation\0%s\0' "$5"
            printf '\0\0\0' | dd bs=1 count=$((kv - 4 - 15 - ${#5} - 1)) 2>/dev/null
        fi
        "$4" $(($2 * rows * 4)) 4
        cat "$t/k.rgba"
    } >"$dir/$1"
}

# KTX 2, as ktx2 NAME WIDTH HEIGHT: R8G8B8A8_UNORM at its one level, with
# the format descriptor that goes with it.
ktx2() {
    convert -size "${2}x$3" gradient:red-blue -depth 8 "rgba:$t/k.rgba"
    {
        printf '\253KTX 20\273\r\n\032\n'
        le 37 4 # VK_FORMAT_R8G8B8A8_UNORM
        le 1 4
        le "$2" 4
        le "$3" 4
        le 0 4
        le 0 4
        le 1 4
        le 1 4
        le 0 4
        # the descriptor at 104, 92 bytes; no key-value data nor
        # supercompression; the level at 196
        le 104 4
        le 92 4
        le 0 16
        le 0 8
        le 196 8
        le $(($2 * $3 * 4)) 8
        le $(($2 * $3 * 4)) 8
        le 92 4
        le 0 4
        le 2 2
        le 88 2
        printf '\001\001\001\0\0\0\0\0\004\0\0\0\0\0\0\0'
        for c in 0 1 2 15; do
            le $((c == 15 ? 24 : c * 8)) 2
            le 7 1
            le "$c" 1
            le 0 4
            le 0 4
            le 255 4
        done
        cat "$t/k.rgba"
    } >"$dir/$1"
}

# OpenEXR written here: ImageMagick puts every data window at 0, 0. One
# channel of halves, uncompressed scanlines, the data window from -10, -5
# inside a larger display window, with an attribute whose name needs the
# long names flag ahead of it.
exr_offset() {
    "$py" - "$dir" <<'PY'
import struct, sys
d = sys.argv[1]

def attr(name, kind, value):
    return name + b"\0" + kind + b"\0" + struct.pack("<I", len(value)) + value

x0, y0, x1, y1 = -10, -5, 112, 39
w, h = x1 - x0 + 1, y1 - y0 + 1
head = b"v/1\x01" + struct.pack("<I", 2 | 0x400)
head += attr(b"channels", b"chlist", b"Y\0" + struct.pack("<iB3xii", 1, 0, 1, 1) + b"\0")
head += attr(b"compression", b"compression", b"\0")
head += attr(b"a name longer than thirty-one bytes", b"string", b"x" * 40)
head += attr(b"dataWindow", b"box2i", struct.pack("<4i", x0, y0, x1, y1))
head += attr(b"displayWindow", b"box2i", struct.pack("<4i", 0, 0, 199, 99))
head += attr(b"lineOrder", b"lineOrder", b"\0")
head += attr(b"pixelAspectRatio", b"float", struct.pack("<f", 1))
head += attr(b"screenWindowCenter", b"v2f", struct.pack("<2f", 0, 0))
head += attr(b"screenWindowWidth", b"float", struct.pack("<f", 1))
head += b"\0"
line = b"".join(struct.pack("<e", x / w) for x in range(w))
block = 8 + len(line)
at = len(head) + 8 * h
out = head + b"".join(struct.pack("<Q", at + y * block) for y in range(h))
out += b"".join(struct.pack("<ii", y0 + y, len(line)) + line for y in range(h))
open("%s/%dx%d-data-window.exr" % (d, w, h), "wb").write(out)
PY
}

# Pillow makes what the tools above do not: APNG, GIF87a, JPEG with Exif
# (an Orientation that turns it), with an ICC profile long enough to need
# three APP2 segments, or with fill bytes before its markers, TIFF with an
# Orientation, BMP with OS/2 2.x's 64-byte header, and icons holding PNG
# entries over 256.
pillow() {
    "$py" - "$dir" <<'EOF'
import io, struct, sys
from PIL import Image, ImageOps
d = sys.argv[1]

def seed(w, h):
    return Image.linear_gradient("L").resize((w, h)).convert("RGB")

for w, h in [(1, 1), (2, 2), (1, 300), (300, 1), (123, 45), (64, 64), (65, 64),
             (256, 256), (257, 3), (640, 480), (4100, 8)]:
    im = seed(w, h)
    im.save("%s/%dx%d-pillow.apng" % (d, w, h), save_all=True,
            append_images=[ImageOps.invert(im)], duration=100, loop=0)
for w, h in [(1, 1), (123, 45), (45, 123), (300, 1), (640, 480)]:
    exif = Image.Exif()
    exif[0x0112] = 6
    seed(w, h).save("%s/%dx%d-exif-rotated.jpg" % (d, w, h), quality=50, exif=exif.tobytes())
    seed(w, h).save("%s/%dx%d-rotated.tif" % (d, w, h), tiffinfo={274: 6},
                   compression="tiff_adobe_deflate")
icc = bytearray(150000)
icc[0:4] = struct.pack(">I", len(icc))
icc[36:40] = b"acsp"
seed(333, 77).save(d + "/333x77-large-icc.jpg", quality=50, icc_profile=bytes(icc))

# OS/2 2.x: the 40 bytes of Windows' header, then 24 more.
for w, h in [(1, 1), (123, 45), (64, 64)]:
    b = io.BytesIO()
    seed(w, h).save(b, "BMP")
    v = b.getvalue()
    head = bytearray(v[:54]) + bytes(24)
    struct.pack_into("<I", head, 2, len(v) + 24)
    struct.pack_into("<I", head, 10, 54 + 24)
    struct.pack_into("<I", head, 14, 64)
    open("%s/%dx%d-os2-v2.bmp" % (d, w, h), "wb").write(bytes(head) + v[54:])

# An icon's directory holds 0 for a side of 256 or more; the PNG entry
# holds the true size.
def icon(name, sizes):
    pngs = []
    for w, h in sizes:
        b = io.BytesIO()
        seed(w, h).save(b, "PNG")
        pngs.append((w, h, b.getvalue()))
    out = struct.pack("<HHH", 0, 1, len(pngs))
    at = 6 + 16 * len(pngs)
    for w, h, p in pngs:
        out += struct.pack("<BBBBHHII", w if w < 256 else 0, h if h < 256 else 0,
                           0, 0, 1, 32, len(p), at)
        at += len(p)
    open(d + "/" + name, "wb").write(out + b"".join(p for _, _, p in pngs))

icon("300x200-png-entries.ico", [(16, 16), (300, 200)])
icon("600x1-png-entry.ico", [(600, 1)])
icon("32x32-and-1x1.ico", [(1, 1), (32, 32)])

for w, h in [(1, 1), (123, 45), (640, 480)]:
    seed(w, h).save("%s/%dx%d-87a.gif" % (d, w, h))

# Any number of 0xFF may come before a marker's code.
b = io.BytesIO()
seed(123, 45).save(b, "JPEG", quality=50)
b = b.getvalue()
out, at = bytearray(b[:2]), 2
while b[at + 1] != 0xDA:
    end = at + 2 + struct.unpack(">H", b[at + 2:at + 4])[0]
    out += b"\xff\xff" + b[at:end]
    at = end
open(d + "/123x45-fill-bytes.jpg", "wb").write(bytes(out + b"\xff" + b[at:]))
EOF
}

# Phones write the image data first and meta at the end: these copies
# move meta past mdat, and iloc's file offsets back by meta's size.
meta_last() {
    "$py" - "$@" <<'EOF'
import struct, sys
for src in sys.argv[1:]:
    b = open(src, "rb").read()
    boxes, at = {}, 0
    while at < len(b):
        size = struct.unpack(">I", b[at:at + 4])[0]
        boxes[b[at + 4:at + 8]] = b[at:at + size]
        at += size
    assert list(boxes) == [b"ftyp", b"meta", b"mdat"], list(boxes)
    meta = bytearray(boxes[b"meta"])
    at = meta.index(b"iloc") - 4
    version, sizes = meta[at + 8], meta[at + 12] << 8 | meta[at + 13]
    o, l, base = sizes >> 12, sizes >> 8 & 15, sizes >> 4 & 15
    index = sizes & 15 if version in (1, 2) else 0
    at += 14
    wide = 4 if version == 2 else 2
    count = int.from_bytes(meta[at:at + wide], "big")
    at += wide
    form = {4: ">I", 8: ">Q"}
    for _ in range(count):
        at += wide
        method = 0
        if version in (1, 2):
            method = meta[at + 1] & 15
            at += 2
        at += 2
        moved = False
        if base:
            v = int.from_bytes(meta[at:at + base], "big")
            if method == 0 and v:
                struct.pack_into(form[base], meta, at, v - len(meta))
                moved = True
            at += base
        extents = struct.unpack(">H", meta[at:at + 2])[0]
        at += 2
        for _ in range(extents):
            at += index
            if o and method == 0 and not moved:
                v = int.from_bytes(meta[at:at + o], "big")
                struct.pack_into(form[o], meta, at, v - len(meta))
            at += o + l
    dot = src.rindex(".")
    open(src[:dot] + "-meta-last" + src[dot:], "wb").write(boxes[b"ftyp"] + boxes[b"mdat"] + meta)
EOF
}

# SVG, written by hand with a red square drawn in it, as
# svg NAME ROOT-ATTRIBUTES, or whole as printf's format.
svg() {
    printf '<svg xmlns="http://www.w3.org/2000/svg" %s>\n<rect x="1" y="1" width="4" height="4" fill="red"/>\n</svg>\n' \
        "$2" >"$dir/$1.svg"
}
svgs() {
    t=$1
    # px or no unit; 1.5in, 2cm, 135.4666mm (511.99997 px), Q, pt, pc;
    # fractions and exponents, rounded up
    svg 40x30-px 'width="40px" height="30px"'
    cp "$dir/40x30-px.svg" "$dir/40x30-upper.SVG"
    svg 41x29-no-unit 'width="41" height="29"'
    svg 11x25-fraction 'width="10.5" height="24.4px"'
    svg 120x30-exponent 'width="1.2e2" height="3E1"'
    svg 144x48-in 'width="1.5in" height="0.5in"'
    svg 76x38-cm 'width="2cm" height="1cm"'
    svg 512x38-mm 'width="135.4666mm" height="10mm"'
    svg 38x7-q 'width="40Q" height="7Q"'
    svg 14x28-pt 'width="10pt" height="20.5pt"'
    svg 48x24-pc 'width="3pc" height="1.5pc"'
    svg 5000x64-wide 'width="5000" height="64"'
    # one side, the other from the viewBox; the viewBox alone, with a
    # fraction, commas, a negative origin; width and height of 100%, which
    # leave the viewBox's size
    svg 50x34-width-viewbox 'width="50" viewBox="0 0 30 20"'
    svg 75x50-height-viewbox 'height="50px" viewBox="0 0 30 20"'
    svg 25x16-viewbox 'viewBox="0 0 24.4 16"'
    svg 48x24-viewbox-commas 'viewBox="0,0,48,24"'
    svg 24x17-viewbox-negative 'viewBox="-12 -8.5 24 17"'
    svg 10x20-viewbox-comma-spaces 'viewBox="-1, -1, 10 ,20"'
    svg 64x32-percent 'width="100%" height="100%" viewBox="0 0 64 32"'
    svg 4100x8-viewbox 'viewBox="0 0 4100 8"'
    # quotes, spaces and other attributes: only the root's own width and
    # height count, not stroke-width, data-width nor xlink:width, nor a
    # ">" in a value, nor a larger svg or image within
    svg 24x12-quotes-spaces "width = '24px ' height= ' 12'"
    svg 32x16-stroke-width 'xmlns:xlink="http://www.w3.org/1999/xlink" stroke-width="100" data-width="7" xlink:width="9" aria-label="a > b, height=&quot;3&quot;" width="32" height="16"'
    printf '<svg xmlns="http://www.w3.org/2000/svg" width="60" height="40">\n<svg x="5" y="5" width="1000" height="900" viewBox="0 0 10 10"><rect width="5" height="5"/></svg>\n<image width="700" height="800"/>\n</svg>\n' \
        >"$dir/60x40-nested.svg"
    # what may come before the root: a BOM, the XML declaration, another
    # instruction, comments that hold a start tag, a DOCTYPE
    printf '\357\273\277<?xml version="1.0" encoding="UTF-8"?>\n<?xml-stylesheet href="a.css" type="text/css"?>\n<!-- <svg width="1" height="1"> -->\n<!---->\n<svg xmlns="http://www.w3.org/2000/svg" width="20" height="10"><rect width="5" height="5"/></svg>\n' \
        >"$dir/20x10-bom-comments.svg"
    printf '<?xml version="1.0" standalone="no"?>\n<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd">\n<svg version="1.1" xmlns="http://www.w3.org/2000/svg" width="33" height="22"><rect width="5" height="5"/></svg>\n' \
        >"$dir/33x22-doctype.svg"
    # Illustrator's: a DOCTYPE whose internal subset declares entities,
    # here with a ">" in a value and a comment, and sides in fractions of
    # a px (A4 in points)
    printf '%s\n' '<?xml version="1.0" encoding="utf-8"?>' \
        '<!-- Generator: Adobe Illustrator 16.0.0, SVG Export Plug-In . SVG Version: 6.00 Build 0)  -->' \
        '<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd" [' \
        '	<!ENTITY ns_extend "http://ns.adobe.com/Extensibility/1.0/">' \
        '	<!ENTITY ns_ai "http://ns.adobe.com/AdobeIllustrator/10.0/">' \
        '	<!ENTITY ns_graphs "http://ns.adobe.com/Graphs/1.0/">' \
        '	<!ENTITY ns_vars "http://ns.adobe.com/Variables/1.0/">' \
        '	<!ENTITY ns_imrep "http://ns.adobe.com/ImageReplacement/1.0/">' \
        '	<!ENTITY ns_sfw "http://ns.adobe.com/SaveForWeb/1.0/">' \
        '	<!ENTITY ns_custom "http://ns.adobe.com/GenericCustomNamespace/1.0/">' \
        '	<!ENTITY ns_adobe_xpath "http://ns.adobe.com/XPath/1.0/">' \
        '	<!ENTITY ns_svg "http://www.w3.org/2000/svg">' \
        '	<!ENTITY ns_xlink "http://www.w3.org/1999/xlink">' \
        '	<!ENTITY st_note "width=1 > height=1">' \
        '	<!-- <svg width="1" height="1"> ]> -->' \
        ']>' \
        '<svg version="1.1" id="Layer_1" xmlns:x="&ns_extend;" xmlns:i="&ns_ai;" xmlns:graph="&ns_graphs;"' \
        '	 xmlns="&ns_svg;" xmlns:xlink="&ns_xlink;" x="0px" y="0px" width="595.28px" height="841.89px"' \
        '	 viewBox="0 0 595.28 841.89" enable-background="new 0 0 595.28 841.89" xml:space="preserve">' \
        '<rect x="10" y="10" fill="#FF0000" width="100" height="100"/>' \
        '</svg>' >"$dir/596x842-illustrator.svg"
    # Inkscape's: mm with a viewBox, namespaced attributes
    printf '%s\n' '<?xml version="1.0" encoding="UTF-8" standalone="no"?>' \
        '<!-- Created with Inkscape (http://www.inkscape.org/) -->' '' '<svg' \
        '   width="210mm"' '   height="297mm"' '   viewBox="0 0 210 297"' '   version="1.1"' '   id="svg5"' \
        '   inkscape:version="1.2.2 (b0a8486541, 2022-12-01)"' '   sodipodi:docname="a4.svg"' \
        '   xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape"' \
        '   xmlns:sodipodi="http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd"' \
        '   xmlns="http://www.w3.org/2000/svg"' '   xmlns:svg="http://www.w3.org/2000/svg">' \
        '  <rect style="fill:#ff0000" width="50" height="40" x="10" y="10" />' '</svg>' \
        >"$dir/794x1123-inkscape-mm.svg"
    # a prefixed root; CR LF line ends with the attributes over several
    # lines; a root past a comment of 10 KB, beyond the first two pages
    printf '<svg:svg xmlns:svg="http://www.w3.org/2000/svg" width="31" height="17"><svg:rect width="5" height="5"/></svg:svg>\n' \
        >"$dir/31x17-prefixed.svg"
    printf '<?xml version="1.0"?>\r\n<svg xmlns="http://www.w3.org/2000/svg"\r\n\twidth="33"\r\n\theight="21"\r\n\tviewBox="0 0 3 2">\r\n<rect width="1" height="1"/>\r\n</svg>\r\n' \
        >"$dir/33x21-crlf.svg"
    {
        printf '<?xml version="1.0"?>\n<!--\n'
        i=0
        while [ "$i" -lt 150 ]; do
            printf '  <svg width="1em" height="1ex" viewBox="0 0 1 1"> padding padding\n'
            i=$((i + 1))
        done
        printf '%s\n' '-->' '<svg xmlns="http://www.w3.org/2000/svg" width="70" height="35"><rect width="5" height="5"/></svg>'
    } >"$dir/70x35-long-comment.svg"
    # what the cross-check leaves out: em and ex, which its other reader
    # takes at another font size, and no size at all
    svg 32x10-em 'width="2em" height="10"'
    svg 10x24-ex 'width="10" height="3ex"'
    svg 48x32-em-viewbox 'width="3em" viewBox="0 0 30 20"'
    svg no-size 'stroke-width="2"'
    # ImageMagick's, of what it draws: width and height with no unit. Its
    # convert 6.9 ends with status 1, and says nothing, once it has
    # written the file whole: the file is checked instead.
    for s in 1x1 40x30 123x45 640x480; do
        convert -size "$s" xc:white -fill red -draw 'rectangle 0,0 10,5' "$dir/$s-im.svg" >/dev/null 2>&1
        if ! tail -n 1 "$dir/$s-im.svg" 2>/dev/null | grep -qx '</svg>'; then
            echo "make-images: convert wrote no whole $dir/$s-im.svg"
            echo x >>"$work/failed"
        fi
    done
    # ImageMagick's, of an image traced by potrace: the sides in pt, a pt
    # to the image's pixel, with a viewBox. Without potrace, convert
    # writes nothing and yet succeeds.
    if have potrace; then
        for s in 1x1 3x7 40x30 123x45 333x77; do
            w=${s%x*} h=${s#*x}
            n="$dir/$(((w * 4 + 2) / 3))x$(((h * 4 + 2) / 3))-traced.svg"
            mk "$n" convert -seed 1 -size "$s" plasma: "$n" || continue
            if [ ! -s "$n" ]; then
                echo "make-images: convert wrote no $n"
                echo x >>"$work/failed"
            fi
        done
    fi
    # Each renders.
    if have rsvg-convert; then
        for f in "$dir"/*.svg "$dir"/*.SVG; do
            rsvg-convert "$f" -o "$t/r.png" >/dev/null 2>&1 ||
                { echo "make-images: rsvg-convert cannot render $f"; echo x >>"$work/failed"; }
        done
    fi
}

# Two jobs at once, each with its own half of the sizes.
i=0
for s in $sizes; do
    i=$((i + 1))
    printf '%s %s %s\n' "${s%x*}" "${s#*x}" "$i" >>"$work/sizes.$((i % 2))"
done
for j in 0 1; do
    (
        mkdir "$work/$j"
        while read -r w h i; do
            one "$w" "$h" "$i" "$work/$j"
        done <"$work/sizes.$j"
        if [ "$j" -eq 0 ]; then
            extra "$work/$j"
            turned "$work/$j"
            svgs "$work/$j"
        elif [ -n "$py" ]; then
            pillow || echo x >>"$work/failed"
        fi
        later "$work/$j" "$j"
    ) &
done
wait
set --
for f in "$dir/123x45-x265.heic" "$dir/640x480-thumbnail.hif" "$dir/640x200-4x2-grid-alpha.avif"; do
    [ -f "$f" ] && set -- "$@" "$f"
done
if [ -n "$py" ] && [ $# -gt 0 ]; then
    meta_last "$@" || echo x >>"$work/failed"
fi

made=$(find "$dir" -type f | wc -l | tr -d ' ')
echo "make-images: $made files in $dir"
[ ! -f "$work/failed" ]
