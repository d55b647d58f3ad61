#!/bin/bash
# nocturo-cli extract: the star lists (one row per counted star), the batch summary against the
# camera files' known EXIF facts, an interrupted batch, and the progress line on a terminal.
# Usage: extract_lists_cli_test.sh <nocturo-cli> <tests/fixtures>
set -u
cli=$1
fixtures=$2
dated=$fixtures/extract/sky_dated.jpg
plain=$fixtures/extract/sky_plain.jpg
gps=$fixtures/extract/sky_gps.jpg
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
command -v python3 >/dev/null || { echo "FAIL: python3 is needed for this test" >&2; exit 1; }
tmp=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen

count_of() { sed -n 's/^stars: //p' "$1"; }

# ---- Star lists: rows == the printed count, sorted by sum, the same rows in CSV and JSON.
"$cli" extract "$dated" --stars "$tmp/one.csv" >"$tmp/out1" 2>"$tmp/err1" || fail "--stars csv: exit $?"
"$cli" extract "$dated" --stars "$tmp/one.json" >"$tmp/out2" 2>&1 || fail "--stars json: exit $?"
n=$(count_of "$tmp/out1")
python3 - "$tmp/one.csv" "$tmp/one.json" "$n" <<'PY' || fail "star list rows"
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1])))
objs = json.load(open(sys.argv[2]))
n = int(sys.argv[3])
assert n > 10 and len(rows) == n == len(objs), (len(rows), len(objs), n)
assert list(rows[0].keys()) == ['x', 'y', 'pixels', 'sum', 'peak', 'left', 'top', 'right', 'bottom']
for r, o in zip(rows, objs):
    assert all(len(r[k].split('.')[1]) == 4 for k in ('x', 'y')), r
    assert abs(float(r['x']) - o['x']) < 1e-9 and int(r['sum']) == o['sum'] and int(r['pixels']) == o['pixels']
    assert int(r['left']) <= float(r['x']) <= int(r['right']) and int(r['top']) <= float(r['y']) <= int(r['bottom'])
    assert 0 < int(r['peak']) <= 255 and int(r['sum']) <= 765 * int(r['pixels'])
    # the strip under the picture (rows 200..214) holds no stars
    assert int(r['bottom']) < 200
keys = [(-int(r['sum']), float(r['y']), float(r['x'])) for r in rows]
assert keys == sorted(keys), 'not brightest first'
PY

# Several inputs: a list per input in the folder, named after it.
mkdir "$tmp/lists"
"$cli" extract "$dated" "$plain" "$fixtures/exif/Canon_40D.jpg" --stars "$tmp/lists" >"$tmp/out3" 2>&1 || fail "--stars folder: exit $?"
for name in sky_dated sky_plain Canon_40D; do
    want=$(sed -n "s/^.*\/$name\.jpg: stars: //p" "$tmp/out3")
    got=$(($(wc -l <"$tmp/lists/$name-stars.csv") - 1))
    [ -n "$want" ] && [ "$got" = "$want" ] || fail "$name-stars.csv has $got rows, the count is '$want'"
done
# A range draw lists what its count counts.
"$cli" extract "$plain" --rect 10,10,200,150 --stars "$tmp/range.csv" >"$tmp/out4" 2>&1 || fail "--rect --stars"
[ $(($(wc -l <"$tmp/range.csv") - 1)) = "$(count_of "$tmp/out4")" ] || fail "range list rows differ from its count"

# Bad names are refused before anything runs.
for args in "--stars $tmp/list.txt $plain" "--stars $tmp/nofolder/list.csv $plain" "--stars $tmp/x.csv $plain $dated" \
            "--summary $tmp/s.txt $plain" "--summary $tmp/nofolder/s.csv $plain" "--summary $plain $plain"; do
    # shellcheck disable=SC2086
    "$cli" extract $args >/dev/null 2>&1
    rc=$?
    [ $rc -eq 2 ] || fail "extract $args: exit $rc, want 2"
done
[ ! -e "$tmp/list.txt" ] && [ ! -e "$tmp/x.csv" ] || fail "a refused option wrote a file"

# ---- The summary against the facts of the camera files (expected.json, read independently).
cams=(Canon_40D Fujifilm_FinePix6900ZOOM Nikon_D70 Pentax_K10D orientation_landscape_6 xmp_no_exif)
inputs=()
for c in "${cams[@]}"; do inputs+=("$fixtures/exif/$c.jpg"); done
"$cli" extract "${inputs[@]}" "$gps" "$tmp/missing.jpg" "$dated" --no-strip --summary "$tmp/sum.csv" \
    >"$tmp/out5" 2>"$tmp/err5"
rc=$?
[ $rc -eq 1 ] || fail "summary batch with a missing input: exit $rc, want 1"
[ ! -s "$tmp/err5" ] || grep -q missing.jpg "$tmp/err5" || fail "unexpected stderr: $(cat "$tmp/err5")"
python3 - "$tmp/sum.csv" "$fixtures/exif/expected.json" "$tmp/out5" "${inputs[@]}" "$gps" "$tmp/missing.jpg" "$dated" <<'PY' || fail "summary values"
import csv, json, os, re, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding='utf-8')))
expected = {f['file']: f for f in json.load(open(sys.argv[2]))['files']}
counts = dict(re.findall(r'^(.*): stars: (\d+)$', open(sys.argv[3]).read(), re.M))
inputs = sys.argv[4:]
head = ['file', 'date', 'exposure', 'f_number', 'iso', 'focal_length_mm', 'camera', 'width', 'height', 'stars',
        'star_pixels', 'gps_lat', 'gps_lon', 'ms', 'error']
assert list(rows[0].keys()) == head, list(rows[0].keys())
assert [r['file'] for r in rows] == inputs, 'rows not in input order'
def ratio(field):
    if not field.get('present'): return ''
    n, d = field['rationals'][0]
    return n / d
for r in rows:
    name = os.path.basename(r['file'])
    if name == 'missing.jpg':
        assert r['error'] and all(r[k] == '' for k in head[1:-1]), r
        continue
    assert r['error'] == '' and r['stars'] == counts[r['file']], r
    assert 0 <= float(r['star_pixels']) < 1 and len(r['star_pixels'].split('.')[1]) == 4 and float(r['ms']) >= 0
    if name in expected:
        f = expected[name]['fields']
        dto = f['DateTimeOriginal']
        want_date = dto['text'].replace(':', '-', 2).replace(' ', 'T') if dto.get('present') else ''
        assert r['date'] == want_date, (name, r['date'], want_date)
        for col, tag in (('exposure', 'ExposureTime'), ('f_number', 'FNumber'), ('focal_length_mm', 'FocalLength')):
            want = ratio(f[tag])
            assert (r[col] == '' if want == '' else abs(float(r[col]) - want) < 1e-12), (name, col, r[col], want)
        iso = f['ISOSpeedRatings']
        assert r['iso'] == (str(iso['values'][0]) if iso.get('present') else ''), (name, r['iso'])
        model = f['Model']
        assert r['camera'] == (model['text'].strip() if model.get('present') else ''), (name, r['camera'])
        assert (int(r['width']), int(r['height'])) == (expected[name]['jpeg_width'], expected[name]['jpeg_height'])
        assert r['gps_lat'] == r['gps_lon'] == '', name
    elif name == 'sky_gps.jpg':
        assert (r['gps_lat'], r['gps_lon']) == ('19.826000', '-155.470000'), r
        assert r['camera'] == 'Fixture Cam' and r['date'] == '2024-08-10T22:48:30', r
    else:  # sky_dated: a date, no position
        assert r['date'] == '2024-08-10T22:48:30' and r['gps_lat'] == '' and (r['width'], r['height']) == ('320', '200')
PY

# ---- Ctrl+C in a long batch: the file in progress is finished, the summary holds exactly the
# inputs printed, and the exit status is 130. Job control keeps SIGINT for the background job.
set -m
big=$fixtures/exif/orientation_landscape_6.jpg
many=()
for i in $(seq 1 400); do many+=("$big"); done
"$cli" extract -j 1 "${many[@]}" --summary "$tmp/part.csv" >"$tmp/out6" 2>"$tmp/err6" &
pid=$!
for _ in $(seq 1 200); do
    [ "$(grep -c 'stars:' "$tmp/out6" 2>/dev/null)" -ge 2 ] && break
    sleep 0.05
done
kill -INT $pid
wait $pid
rc=$?
set +m
[ $rc -eq 130 ] || fail "interrupted batch: exit $rc, want 130"
printed=$(grep -c 'stars:' "$tmp/out6")
rows=$(($(wc -l <"$tmp/part.csv") - 1))
[ "$rows" = "$printed" ] || fail "interrupted summary has $rows rows, $printed inputs were printed"
[ "$rows" -ge 2 ] && [ "$rows" -lt 400 ] || fail "interrupted summary has $rows rows (not stopped mid-batch?)"
python3 - "$tmp/part.csv" <<'PY' || fail "interrupted summary rows are incomplete"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
assert rows and all(r['error'] == '' and r['stars'].isdigit() and r['ms'] for r in rows)
PY
[ -z "$(ls "$tmp" | grep -v -E '^(one|range|sum|part)\.|^out|^err|^lists$|^one\.json$')" ] || fail "left-over files: $(ls "$tmp")"

# ---- Progress: nothing without a terminal; a line on one; none with --quiet.
"$cli" extract "$plain" "$dated" >/dev/null 2>"$tmp/err7" || fail "two inputs: exit $?"
[ ! -s "$tmp/err7" ] || fail "progress printed without a terminal: $(cat -v "$tmp/err7")"
if command -v script >/dev/null; then
    script -qec "'$cli' extract '$plain' '$dated' '$plain'" /dev/null >"$tmp/tty1" 2>&1 || fail "on a terminal: exit $?"
    grep -q $'\r\[[0-9]/3\] .*elapsed [0-9]*:[0-9][0-9]  left ' "$tmp/tty1" || fail "no progress line: $(cat -v "$tmp/tty1")"
    [ "$(grep -c 'stars: 62' "$tmp/tty1")" -eq 3 ] || fail "results missing on a terminal: $(cat -v "$tmp/tty1")"
    script -qec "'$cli' extract --quiet '$plain' '$dated'" /dev/null >"$tmp/tty2" 2>&1 || fail "--quiet: exit $?"
    ! grep -q '\[[0-9]/2\]' "$tmp/tty2" || fail "--quiet still shows progress: $(cat -v "$tmp/tty2")"
    script -qec "'$cli' extract '$plain'" /dev/null >"$tmp/tty3" 2>&1 || fail "one input: exit $?"
    ! grep -q '\[[0-9]/1\]' "$tmp/tty3" || fail "progress for a single input"
else
    fail "script (util-linux) is needed for the terminal cases"
fi

if [ $failures -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "extract lists cli: all passed"
