#!/bin/bash
# nocturo-cli extract: outputs, counts against the mark image, range and background modes, batch
# runs, and the exit codes (2 for bad options, before any file is written; 1 for a failed input).
# Usage: extract_cli_test.sh <nocturo-cli> <tests/fixtures>
set -u
cli=$1
fixtures=$2/extract
dated=$fixtures/sky_dated.jpg   # 320 x 200 with a shooting date: gets the strip
plain=$fixtures/sky_plain.jpg   # the same picture without EXIF
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
command -v python3 >/dev/null || { echo "FAIL: python3 is needed for this test" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen

# A PNG reader from the standard library only (8-bit RGB, the five row filters).
cat > "$tmp/png.py" <<'EOF'
import struct, sys, zlib

def read(path):
    data = open(path, 'rb').read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
    pos, idat, w, palette = 8, b'', 0, None
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b'IHDR':
            w, h, depth, colour = struct.unpack('>IIBB', body[:10])
            assert (depth == 8 and colour == 2) or (depth in (1, 2, 4, 8) and colour == 3), 'not RGB or palette'
        elif kind == b'PLTE':
            palette = [body[i:i + 3] for i in range(0, n, 3)]
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    # Bytes per row and the filter's distance: three for RGB, one for packed palette indices.
    stride, bpp = (3 * w, 3) if colour == 2 else ((w * depth + 7) // 8, 1)
    raw, rows, prev = zlib.decompress(idat), [], bytearray(stride)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], (prev[i - bpp] if i >= bpp else 0)
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        if colour == 3:  # indices, leftmost pixel in the high bits, to RGB through the palette
            per = 8 // depth
            line = b''.join(palette[(line[x // per] >> (8 - depth * (x % per + 1))) & ((1 << depth) - 1)]
                            for x in range(w))
        rows.append(bytes(line))
    return w, h, rows

def pixels(rows):
    return [[r[i:i + 3] for i in range(0, len(r), 3)] for r in rows]

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == 'dims':
    w, h, _ = read(args[0]); print(w, h)
elif cmd == 'inverted':  # every byte of the second is 255 minus the first's
    _, _, a = read(args[0]); _, _, b = read(args[1])
    sys.exit(0 if all(x + y == 255 for ra, rb in zip(a, b) for x, y in zip(ra, rb)) and len(a) == len(b) else 1)
elif cmd == 'marks':  # green seeds, other non-black pixels that are not blue
    _, _, rows = read(args[0]); g = o = nb = 0
    for row in pixels(rows):
        for p in row:
            if p == b'\x00\xff\x00': g += 1
            elif p not in (b'\x00\x00\x00', b'\x00\x00\xff'): o += 1
            if p != b'\x00\x00\x00': nb += 1
    print(g, o, nb)
elif cmd == 'colour':  # pixels of colour RRGGBB
    _, _, rows = read(args[0]); c = bytes.fromhex(args[1])
    print(sum(p == c for row in pixels(rows) for p in row))
elif cmd == 'outside':  # pixels outside L..R x T..B differ between the two (count), inside differ (count)
    _, _, a = read(args[0]); _, _, b = read(args[1]); l, t, r, bt = map(int, args[2:6])
    out = ins = 0
    for y, (ra, rb) in enumerate(zip(pixels(a), pixels(b))):
        for x, (pa, pb) in enumerate(zip(ra, rb)):
            if pa != pb:
                if l <= x <= r and t <= y <= bt: ins += 1
                else: out += 1
    print(out, ins)
elif cmd == 'marked-outside':  # non-black mark pixels outside L..R x T..B
    _, _, rows = read(args[0]); l, t, r, bt = map(int, args[1:5])
    print(sum(1 for y, row in enumerate(pixels(rows)) for x, p in enumerate(row)
              if p != b'\x00\x00\x00' and not (l <= x <= r and t <= y <= bt)))
EOF
png() { python3 "$tmp/png.py" "$@"; }

# --- One input: PNG output, mark image, the count lines.
"$cli" extract "$dated" -o "$tmp/out.png" --mark "$tmp/mark.png" > "$tmp/stdout" 2> "$tmp/stderr" || fail "exit code of a plain run"
stars=$(tail -n 1 "$tmp/stdout" | sed -n 's/^stars: \([0-9]*\)$/\1/p')
[ -n "$stars" ] && [ "$stars" -gt 10 ] || fail "last line 'stars: N' with N > 10, got: $(tail -n 1 "$tmp/stdout")"
[ "$(head -n 1 "$tmp/stdout")" = "$dated: stars: $stars" ] || fail "first line INPUT: stars: N, got: $(head -n 1 "$tmp/stdout")"
[ "$(wc -l < "$tmp/stdout")" -eq 2 ] || fail "two lines for one input"
[ "$(png dims "$tmp/out.png")" = "320 215" ] || fail "dated picture with its 15-row strip: $(png dims "$tmp/out.png")"
[ "$(png dims "$tmp/mark.png")" = "320 200" ] || fail "mark image without the strip"
read -r greens others nonblack <<< "$(png marks "$tmp/mark.png")"
[ "$greens" = "$stars" ] || fail "one green seed per counted star: $greens seeds, $stars stars"
[ "$others" = 0 ] || fail "mark image holds only black, blue and green after the count ($others others)"

# The strip is off on request, and a picture without a shooting date never gets one.
"$cli" extract "$dated" --no-strip -o "$tmp/nostrip.png" > "$tmp/stdout" 2>/dev/null || fail "exit code --no-strip"
[ "$(png dims "$tmp/nostrip.png")" = "320 200" ] || fail "--no-strip size"
[ "$(tail -n 1 "$tmp/stdout")" = "stars: $stars" ] || fail "the strip changes no count"
"$cli" extract "$plain" -o "$tmp/plain.png" > /dev/null 2>&1 || fail "exit code for a picture without EXIF"
[ "$(png dims "$tmp/plain.png")" = "320 200" ] || fail "no shooting date, no strip"

# JPEG output for .jpg and .jpeg.
for ext in jpg jpeg JPG; do
    "$cli" extract "$plain" -o "$tmp/out.$ext" --quality 90 > /dev/null 2>&1 || fail "exit code .$ext"
    [ "$(head -c 2 "$tmp/out.$ext" | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail ".$ext is a JPEG"
done

# --- The outputs carry the input's EXIF (judged by exiftool), made over for the written picture.
command -v exiftool >/dev/null || { echo "FAIL: exiftool is needed for this test" >&2; exit 1; }
tag() { exiftool -s3 -n "$@" 2>/dev/null; }
camera=$2/exif/Canon_40D.jpg   # has a GPS directory (GPSVersionID only)
"$cli" extract "$dated" -o "$tmp/exif.jpg" > /dev/null 2> "$tmp/stderr" || fail "exit code with EXIF"
[ ! -s "$tmp/stderr" ] || fail "no warning for a clean EXIF step: $(cat "$tmp/stderr")"
for out in "$tmp/exif.jpg" "$tmp/out.png"; do
    [ "$(tag -Model "$out")" = "Fixture Cam" ] || fail "$out keeps the camera model"
    [ "$(tag -DateTimeOriginal "$out")" = "2024:08:10 22:48:30" ] || fail "$out keeps the shooting date"
    [ "$(tag -ExifImageWidth -ExifImageHeight "$out" | tr '\n' ' ')" = "320 215 " ] || fail "$out: pixel size of the written picture"
    case "$(tag -Software "$out")" in "Nocturo "[0-9]*) ;; *) fail "$out: Software is Nocturo and its version" ;; esac
    [ "$(tag -ThumbnailImage -b "$out" | head -c 2 | od -An -tx1 | tr -d ' ')" = "ffd8" ] || fail "$out: a JPEG thumbnail"
done
[ "$(tag -ExifByteOrder "$tmp/out.png")" != "" ] || fail "the PNG has an eXIf chunk"
"$cli" extract "$dated" --no-exif -o "$tmp/noexif.jpg" > /dev/null 2>&1 || fail "exit code --no-exif"
[ -z "$(tag -EXIF:all "$tmp/noexif.jpg")" ] || fail "--no-exif writes no EXIF"
"$cli" extract "$plain" -o "$tmp/plain.jpg" > /dev/null 2>&1 || fail "exit code for a JPEG without EXIF"
[ -z "$(tag -EXIF:all "$tmp/plain.jpg")" ] || fail "a picture without EXIF gives one without EXIF"
"$cli" extract "$camera" -o "$tmp/gps.jpg" > /dev/null 2>&1 || fail "exit code camera file"
[ "$(tag -GPSVersionID "$tmp/gps.jpg")" = "2 2 0 0" ] || fail "the GPS directory is kept: $(tag -GPSVersionID "$tmp/gps.jpg")"
"$cli" extract "$camera" --no-gps -o "$tmp/nogps.jpg" > /dev/null 2>&1 || fail "exit code --no-gps"
[ -z "$(tag -GPS:all "$tmp/nogps.jpg")" ] || fail "--no-gps leaves the GPS directory out"
[ "$(tag -Model "$tmp/nogps.jpg")" = "Canon EOS 40D" ] || fail "--no-gps keeps the rest"

# --invert: every byte of the picture inverted.
"$cli" extract "$dated" --invert -o "$tmp/inv.png" > /dev/null 2>&1 || fail "exit code --invert"
png inverted "$tmp/out.png" "$tmp/inv.png" || fail "--invert gives 255 - v for every byte"

# A threshold no pixel passes leaves the picture as loaded: the original, to compare with.
"$cli" extract "$plain" --threshold 2147483647 -o "$tmp/original.png" > "$tmp/stdout" 2>/dev/null || fail "exit code huge threshold"
[ "$(tail -n 1 "$tmp/stdout")" = "stars: 0" ] || fail "no star passes the largest threshold"
read -r outside inside <<< "$(png outside "$tmp/original.png" "$tmp/plain.png" 0 0 319 199)"
[ "$inside" -gt 0 ] || fail "the full-picture draw changes pixels"

# --rect: only the range changes and only its stars count.
"$cli" extract "$plain" --rect 40,30,220,170 -o "$tmp/range.png" --mark "$tmp/range-mark.png" > "$tmp/stdout" 2>/dev/null \
    || fail "exit code --rect"
rangeStars=$(tail -n 1 "$tmp/stdout" | sed -n 's/^stars: //p')
[ -n "$rangeStars" ] && [ "$rangeStars" -gt 0 ] && [ "$rangeStars" -lt "$stars" ] || fail "range count $rangeStars of $stars"
read -r outside inside <<< "$(png outside "$tmp/original.png" "$tmp/range.png" 40 30 220 170)"
[ "$outside" = 0 ] && [ "$inside" -gt 0 ] || fail "range draw changed $outside pixels outside and $inside inside"
[ "$(png marked-outside "$tmp/range-mark.png" 40 30 220 170)" = 0 ] || fail "range marks stay inside the range"

# --background-only: no star is marked; "#RRGGBB" paints every other pixel.
"$cli" extract "$plain" --background-only --background '#102030' -o "$tmp/bg.png" --mark "$tmp/bg-mark.png" > "$tmp/stdout" 2>/dev/null \
    || fail "exit code --background-only"
[ "$(tail -n 1 "$tmp/stdout")" = "stars: 0" ] || fail "background-only counts nothing"
[ "$(png marks "$tmp/bg-mark.png")" = "0 0 0" ] || fail "background-only marks nothing"
painted=$(png colour "$tmp/bg.png" 102030)
[ "$painted" -gt 60000 ] && [ "$painted" -lt 64000 ] || fail "specified colour on the non-star pixels: $painted of 64000"

# The scaling path, negative brightness, and the phase times.
"$cli" extract "$dated" --long-side 160 --brightness -50 --time -o "$tmp/small.png" > /dev/null 2> "$tmp/stderr" \
    || fail "exit code --long-side"
[ "$(png dims "$tmp/small.png")" = "160 115" ] || fail "--long-side 160: $(png dims "$tmp/small.png")"
for phase in decode extract enlarge count encode "bare decode"; do
    grep -q "$phase [0-9.]* ms" "$tmp/stderr" || fail "--time prints the $phase phase"
done
grep -q "draw/bare decode [0-9.]*$" "$tmp/stderr" || fail "--time prints the draw over the bare decode"
grep -q "^batch:" "$tmp/stderr" && fail "one input prints no batch line"

# --- Several inputs: a folder, lines in input order, the same with one or two at once.
mkdir "$tmp/batch1" "$tmp/batch2"
"$cli" extract "$plain" "$dated" -o "$tmp/batch1" -j 1 > "$tmp/b1" 2>/dev/null || fail "exit code batch -j 1"
"$cli" extract "$plain" "$dated" -o "$tmp/batch2" -j 2 --time > "$tmp/b2" 2> "$tmp/b2err" \
    || fail "exit code batch -j 2"
grep -Eq "^batch: 2 files in [0-9]+ ms at -j 2: [0-9.]+ files/s, [0-9]+ ms per file; decode [0-9]+ %, draw [0-9]+ %, encode [0-9]+ %; peak memory [0-9]+ MiB$" \
    "$tmp/b2err" || fail "--time on a batch prints its throughput: $(grep batch "$tmp/b2err")"
grep -q "bare decode" "$tmp/b2err" && fail "-j 2 times no bare decode beside the other file"
[ "$(cat "$tmp/b1")" = "$plain: stars: $stars
$dated: stars: $stars" ] || fail "batch lines: $(cat "$tmp/b1")"
cmp -s "$tmp/b1" "$tmp/b2" || fail "-j 2 prints the same"
[ -f "$tmp/batch1/sky_plain.png" ] && [ -f "$tmp/batch1/sky_dated.png" ] || fail "batch outputs named after the inputs"
cmp -s "$tmp/batch1/sky_plain.png" "$tmp/batch2/sky_plain.png" || fail "-j 2 writes the same picture"

# --- A failed input: reason on stderr, the others still processed, exit 1.
printf 'not a picture' > "$tmp/text.jpg"
"$cli" extract "$tmp/missing.jpg" "$plain" "$tmp/text.jpg" > "$tmp/stdout" 2> "$tmp/stderr"
[ $? -eq 1 ] || fail "exit 1 when an input fails"
[ "$(cat "$tmp/stdout")" = "$plain: stars: $stars" ] || fail "the good input is still processed: $(cat "$tmp/stdout")"
[ "$(grep -c "^$tmp/missing.jpg: ." "$tmp/stderr")" = 1 ] || fail "one line for the missing input"
[ "$(grep -c "^$tmp/text.jpg: ." "$tmp/stderr")" = 1 ] || fail "one line for the non-JPEG input"
"$cli" extract "$plain" --rect 0,0,320,100 > /dev/null 2> "$tmp/stderr"
[ $? -eq 1 ] || fail "exit 1 for a range outside the picture"
grep -q "not inside the picture" "$tmp/stderr" || fail "reason for a range outside the picture"

# --- Bad options: exit 2 with the usage text, and no file written.
target=$tmp/never.png
while IFS= read -r line; do
    eval "set -- $line"
    rm -f "$target"
    "$cli" extract "$@" > /dev/null 2> "$tmp/stderr"
    rc=$?
    [ $rc -eq 2 ] || fail "exit 2 for: $line (got $rc)"
    grep -q "Usage: nocturo-cli extract" "$tmp/stderr" || fail "usage text for: $line"
    [ ! -e "$target" ] || fail "a file was written for: $line"
done <<EOF
--threshold abc "$plain" -o "$target"
--threshold 99999999999 "$plain" -o "$target"
--brightness 1.5 "$plain" -o "$target"
--quality 0 "$plain" -o "$target"
--quality 101 "$plain" -o "$target"
--background red "$plain" -o "$target"
--background '#12345' "$plain" -o "$target"
--rect 1,2,3 "$plain" -o "$target"
--rect 50,5,40,90 "$plain" -o "$target"
--rect 0,0,1,90 "$plain" -o "$target"
--rect -1,0,50,50 "$plain" -o "$target"
--strip --no-strip "$plain" -o "$target"
-j 0 "$plain" -o "$target"
--long-side 0 "$plain" -o "$target"
--long-side 70000 "$plain" -o "$target"
-o "$target"
"$plain" -o "$tmp/out.txt" --mark "$target"
"$plain" "$dated" -o "$target"
"$plain" --mark "$tmp/mark.jpg" -o "$target"
"$plain" --bogus -o "$target"
"$plain" -o "$tmp/nofolder/x.png" --mark "$target"
"$tmp/in.png" -o "$tmp/in.png" --mark "$target"
EOF

if [ $failures -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "extract cli: all passed"
