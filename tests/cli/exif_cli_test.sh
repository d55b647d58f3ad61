#!/bin/bash
# nocturo-cli exif: the JSON and the listing of what the EXIF reader read, exit codes.
# Usage: exif_cli_test.sh <nocturo-cli> <tests/fixtures>
set -u
cli=$1
fixtures=$2/exif
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
command -v jq >/dev/null || { echo "FAIL: jq is needed for this test" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# expect <description> <jq expression that must print true> <json file>
expect() {
    local got
    got=$(jq -e "$2" "$3" 2>&1) || fail "$1: $2 gave ${got:-false}"
}

# One file: one object with the facts of this camera file.
"$cli" exif --json "$fixtures/Canon_40D.jpg" > "$tmp/canon.json" 2>/dev/null || fail "exit code for Canon_40D.jpg"
expect "header" '.jpeg_width == 100 and .jpeg_height == 68 and .app1_position == 20 and .byte_order == "II" and .errors == []' "$tmp/canon.json"
expect "entry counts" '(.main | length) == 44 and (.thumbnail | length) == 6' "$tmp/canon.json"
expect "directories in order" '[.main[].ifd] | (.[0:11] | unique) == ["TIFF"] and (.[11:41] | unique) == ["Exif"] and .[41] == "GPS" and (.[42:] | unique) == ["Interoperability"]' "$tmp/canon.json"
expect "ASCII entry" '.main[0] == {"ifd": "TIFF", "tag": 271, "type": 2, "count": 6, "offset": 146, "value": "Canon"}' "$tmp/canon.json"
expect "inline SHORT" '.main[2] == {"ifd": "TIFF", "tag": 274, "type": 3, "count": 1, "offset": 0, "value": [1]}' "$tmp/canon.json"
expect "RATIONAL" '.main[] | select(.tag == 33434) | .value == [[1, 160]] and .offset == 580' "$tmp/canon.json"
expect "SRATIONAL" '.main[] | select(.tag == 37377) | .type == 10 and .value == [[483328, 65536]]' "$tmp/canon.json"
expect "UNDEFINED as hex" '.main[] | select(.tag == 36864) | .value == "30323231"' "$tmp/canon.json"
expect "UserComment" '.main[] | select(.tag == 37510) | .type == 7 and .count == 264 and .value == ("00" * 264)' "$tmp/canon.json"
expect "BYTE" '.main[41] == {"ifd": "GPS", "tag": 0, "type": 1, "count": 4, "offset": 0, "value": [2, 2, 0, 0]}' "$tmp/canon.json"
expect "thumbnail pointer" '.thumbnail[4] == {"ifd": "TIFF", "tag": 513, "type": 4, "count": 1, "offset": 0, "value": [1090]}' "$tmp/canon.json"

# A big-endian file reads to the same shapes.
"$cli" exif --json "$fixtures/Fujifilm_FinePix6900ZOOM.jpg" > "$tmp/fuji.json" 2>/dev/null || fail "exit code for the Fujifilm file"
expect "big-endian" '.byte_order == "MM" and .main[0].value == "FUJIFILM" and ((.main[] | select(.tag == 33437) | .value) == [[400, 100]])' "$tmp/fuji.json"

# The shooting-data texts built from the same file.
expect "shot texts" '.shot.HasShotDate == 1 and .shot.ShotDateText == "2008/05/30 15:56:01" and .shot.ShotShutterShort == "ｼｬｯﾀｰ:1/160" and .shot.ShotFNumberShort == "F:7.1" and .shot.ShotIsoShort == "ISO:100 " and .shot.ShotModel == "Canon EOS 40D"' "$tmp/canon.json"

# Several files: an array, in order, with the codes each reported.
printf 'not a picture' > "$tmp/text.jpg"
"$cli" exif --json "$fixtures/xmp_no_exif.jpg" "$tmp/missing.jpg" "$tmp/text.jpg" > "$tmp/several.json" 2>/dev/null || fail "exit code for several files"
expect "array" 'type == "array" and length == 3' "$tmp/several.json"
expect "XMP before EXIF" '.[0].app1_position == 26586 and .[0].byte_order == "MM" and (.[0].main | length) == 25' "$tmp/several.json"
expect "missing file" '.[1].errors == [-1] and .[1].byte_order == null and .[1].main == [] and .[1].jpeg_width == 0' "$tmp/several.json"
expect "not a JPEG" '.[2].errors == [-2] and .[2].app1_position == -1' "$tmp/several.json"

# A JPEG that ends before its frame header cannot be read: exit 1, the reason in the object.
printf '\xff\xd8\xff\xe0\x00\x10JFIF' > "$tmp/cut.jpg"
"$cli" exif --json "$tmp/cut.jpg" > "$tmp/cut.json" 2>/dev/null
[ $? -eq 1 ] || fail "exit code for a file cut before its frame header"
expect "failure text" '.failure | startswith("TExifInfo: ")' "$tmp/cut.json"

# The listing: entries and the Japanese display texts.
"$cli" exif "$fixtures/Canon_40D.jpg" > "$tmp/canon.txt" 2>/dev/null || fail "exit code of the listing"
for want in 'Model: Canon EOS 40D' 'ExposureTime: 1/160' 'ExposureProgramText: マニュアル' 'MeteringModeText: 分割測光' \
            'ColorSpaceText: sRGB' 'ResolutionUnitText: インチ' 'ThmCompressionText: JPEG' '"Canon EOS 40D"'; do
    grep -qF -- "$want" "$tmp/canon.txt" || fail "listing lacks '$want'"
done
"$cli" exif "$tmp/missing.jpg" 2>/dev/null | grep -qF 'error -1: ファイルが見つかりません' || fail "listing lacks the error text"

# Usage errors.
"$cli" exif >/dev/null 2>&1; [ $? -eq 2 ] || fail "no FILE should exit 2"
"$cli" exif --no-such-option x >/dev/null 2>&1; [ $? -eq 2 ] || fail "an unknown option should exit 2"
"$cli" exif --help 2>/dev/null | grep -q -- '--json' || fail "help lacks --json"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all exif CLI checks passed"
