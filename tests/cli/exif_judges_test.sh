#!/bin/bash
# The EXIF block of a saved picture, judged by two independent readers: for every camera file,
# nocturo-cli extract writes a JPEG through the save path, and exiftool and exiv2 must find
#   - every EXIF and maker-note value of the source (the values the save sets, and IFD1, aside),
#   - no exiftool warning the source did not already have, no exiv2 error,
#   - the same maker-note tags, and a thumbnail that decodes.
# Usage: exif_judges_test.sh <nocturo-cli> <tests/fixtures> [FOLDER_OF_CAMERA_FILES]
# Prints one table row per file.
set -u
cli=$1
folder=${3:-$2/exif}
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in exiftool exiv2 python3; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is needed for this test (./test.sh installs it)" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen

# Compares exiftool's -j -a -G0:1 -n output of source and saved file; prints
# "kept/total missing-or-changed-names makerKept/makerTotal".
cat > "$tmp/compare.py" <<'EOF'
import json, sys
src = json.load(open(sys.argv[1]))[0]
out = json.load(open(sys.argv[2]))[0]
# What the save sets on purpose, and where the layout shows (file offsets of data blocks).
SET = {'EXIF:IFD0:Software', 'EXIF:IFD0:ModifyDate', 'EXIF:ExifIFD:ExifImageWidth', 'EXIF:ExifIFD:ExifImageHeight',
       'EXIF:IFD0:ImageWidth', 'EXIF:IFD0:ImageHeight'}
def judged(key):
    return (key.startswith('EXIF:') and not key.startswith('EXIF:IFD1:')) or key.startswith('MakerNotes:')
def layout(key):
    name = key.rsplit(':', 1)[1]
    return name.endswith('Offset') or name.endswith('Offsets') or name.endswith('Start') or name == 'PreviewImageStart'
keys = [k for k in src if judged(k) and k not in SET and not layout(k)]
bad = [k for k in keys if k not in out or out[k] != src[k]]
maker_src = [k for k in src if k.startswith('MakerNotes:')]
maker_out = [k for k in out if k.startswith('MakerNotes:')]
print(f"{len(keys) - len(bad)}/{len(keys)} {','.join(bad) or '-'} "
      f"{len(set(maker_src) & set(maker_out))}/{len(maker_src)} {len(maker_out)}")
EOF

warnings() { exiftool -validate -warning -a -s "$1" 2>/dev/null | sed -n 's/^Warning *: \(\[minor\] \)\{0,1\}//p' | sort -u; }

echo "| camera file | values kept | new exiftool warnings | exiv2 errors | maker-note tags kept | thumbnail decodes |"
echo "|---|---|---|---|---|---|"
for src in "$folder"/*.jpg; do
    name=$(basename "$src")
    out="$tmp/${name%.jpg}-saved.jpg"
    if ! "$cli" extract "$src" -o "$out" > /dev/null 2> "$tmp/stderr"; then
        fail "$name: nocturo-cli extract failed: $(cat "$tmp/stderr")"
        continue
    fi
    [ -s "$tmp/stderr" ] && fail "$name: the EXIF step reported: $(cat "$tmp/stderr")"
    exiftool -j -a -G0:1 -n "$src" > "$tmp/src.json" 2>/dev/null
    exiftool -j -a -G0:1 -n "$out" > "$tmp/out.json" 2>/dev/null
    read -r kept bad maker makerOut <<< "$(python3 "$tmp/compare.py" "$tmp/src.json" "$tmp/out.json")"
    [ "$bad" = "-" ] || fail "$name: values lost or changed: $bad"
    [ "${maker%/*}" = "${maker#*/}" ] && [ "$makerOut" = "${maker#*/}" ] || fail "$name: maker-note tags $maker, saved file has $makerOut"

    newWarnings=$(comm -13 <(warnings "$src") <(warnings "$out"))
    [ -z "$newWarnings" ] || fail "$name: new exiftool warnings: $newWarnings"

    exiv2 -pa "$out" > /dev/null 2> "$tmp/exiv2.err"
    exiv2 -pS "$out" > /dev/null 2>> "$tmp/exiv2.err"
    exiv2Errors=$(grep -ci 'error' "$tmp/exiv2.err")
    [ "$exiv2Errors" = 0 ] || fail "$name: exiv2: $(cat "$tmp/exiv2.err")"

    # The thumbnail decodes: the program itself decodes it as a picture of its own.
    hasExif=$(exiftool -s3 -ExifByteOrder "$src" 2>/dev/null)
    thumb=no
    if [ -z "$hasExif" ]; then
        [ -z "$(exiftool -s3 -EXIF:all "$out" 2>/dev/null)" ] || fail "$name: a source without EXIF gave a saved file with EXIF"
        thumb="(no EXIF)"
    else
        exiftool -b -ThumbnailImage "$out" > "$tmp/thumb.jpg" 2>/dev/null
        if [ -s "$tmp/thumb.jpg" ] && "$cli" extract "$tmp/thumb.jpg" -o "$tmp/thumb.png" > /dev/null 2>&1; then
            thumb=yes
        else
            fail "$name: the thumbnail does not decode"
        fi
    fi
    echo "| $name | $kept | $( [ -z "$newWarnings" ] && echo 0 || echo "$newWarnings" | wc -l) | $exiv2Errors | $maker | $thumb |"
done

if [ $failures -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "exif judges: all passed"
