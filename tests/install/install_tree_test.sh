#!/bin/bash
# The install tree: every file in its place and nothing else, the menu entry and the AppStream
# metadata valid, and the installed program, started from the prefix with a picture, shows that
# picture and finds its help pages there; where it keeps its settings when it cannot beside itself.
# Usage: install_tree_test.sh <build folder> <installed_files.txt> <tests/fixtures>
set -u
build=$1
manifest=$2
fixtures=$3
app_id=io.github.nocturo.Nocturo
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in desktop-file-validate:desktop-file-utils appstreamcli:appstream readelf:binutils; do
    command -v "${tool%%:*}" >/dev/null || { echo "FAIL: ${tool%%:*} (Debian package ${tool#*:}) is needed" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install"; exit 1; }

# Exactly the files of the list.
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/found.txt"
LC_ALL=C sort "$manifest" >"$tmp/expected.txt"
diff -u "$tmp/expected.txt" "$tmp/found.txt" >"$tmp/diff.txt" || { cat "$tmp/diff.txt" >&2; fail "installed files differ from $manifest"; }
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -s "$png" ] && file "$png" | grep -q "PNG image data, $size x $size" || fail "icon $size: $(file -b "$png" 2>&1)"
done
for page in nocturo nocturo-cli; do
    zcat "$prefix/share/man/man1/$page.1.gz" 2>/dev/null | grep -q '^\.TH' || fail "man page $page is no gzipped roff page"
done

# The menu entry and the metadata, as the desktop's own tools check them.
desktop=$prefix/share/applications/$app_id.desktop
desktop-file-validate "$desktop" >"$tmp/dfv.txt" 2>&1 || { cat "$tmp/dfv.txt" >&2; fail "desktop-file-validate"; }
grep -qx 'Exec=nocturo %f' "$desktop" || fail "Exec line"
grep -qx 'MimeType=image/jpeg;' "$desktop" || fail "MimeType line"
grep -qx "Icon=$app_id" "$desktop" || fail "Icon line"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$tmp/as.txt" 2>&1 || { cat "$tmp/as.txt" >&2; fail "appstreamcli validate"; }

# Nothing of the build folder is needed: no run path into it.
for exe in nocturo nocturo-cli; do
    readelf -d "$prefix/bin/$exe" | grep -E 'RPATH|RUNPATH' && fail "$exe keeps a run path"
done

# --help and --version without any display.
(unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; "$prefix/bin/nocturo" --help) >"$tmp/help.txt" 2>&1 || fail "--help exit code"
grep -q 'FILE' "$tmp/help.txt" || fail "--help: $(cat "$tmp/help.txt")"
version=$( (unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; "$prefix/bin/nocturo" --version) 2>&1) || fail "--version exit code"
[[ $version =~ ^nocturo\ [0-9]+\.[0-9]+ ]] || fail "--version printed: $version"
"$prefix/bin/nocturo" one.jpg two.jpg >/dev/null 2>&1
[ $? -eq 2 ] || fail "two files are a usage error"

# run <report> <nocturo arguments...>: the installed program on the offscreen platform, in a
# home of its own, confirming its start-up dialogs and reporting what it shows.
run() {
    local report=$1
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp/runtime" \
        NOCTURO_TEST_REPORT="$report" "$@" >"$report.log" 2>&1
}
# expect <report> <key> <value>
expect() {
    local got
    got=$(grep -m1 "^$2=" "$1" | cut -d= -f2-)
    [ "$got" = "$3" ] || fail "$(basename "$1") $2: '$got', expected '$3'"
}
mkdir -p "$tmp/runtime" "$tmp/pictures" "$tmp/home" && chmod 700 "$tmp/runtime"
picture="$tmp/pictures/星空 sky.jpg"
cp "$fixtures/extract/sky_dated.jpg" "$picture"

# A picture given on the command line: shown at its size with the shooting-data strip, the help
# pages found in the prefix's share folder, the settings in the user's configuration folder even
# though root could write beside the installed program.
run "$tmp/shown" env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" "$prefix/bin/nocturo" "$picture" || fail "run with a picture: exit $? $(cat "$tmp/shown.log")"
expect "$tmp/shown" dialog image-size
expect "$tmp/shown" title "Nocturo : $picture"
expect "$tmp/shown" label "星空 sky.jpg"
expect "$tmp/shown" size 320x215
expect "$tmp/shown" help "$prefix/share/nocturo/help/index.html"
expect "$tmp/shown" starsofthelp "$prefix/share/nocturo/help/starsoft.html"
expect "$tmp/shown" controlfolder "$tmp/config/Nocturo/controldata"
grep -q '^message=' "$tmp/shown" && fail "a message at start: $(grep '^message=' "$tmp/shown")"
[ ! -e "$prefix/bin/controldata" ] || fail "the installed program wrote into its prefix: $prefix/bin/controldata"
[ "$(stat -c %a "$tmp/config/Nocturo/controldata" 2>&1)" = 700 ] || fail "config folder mode $(stat -c %a "$tmp/config/Nocturo/controldata" 2>&1)"
run "$tmp/dot-config" env -u XDG_CONFIG_HOME HOME="$tmp/home" "$prefix/bin/nocturo" "$picture" || fail "run with HOME only: exit $?"
expect "$tmp/dot-config" controlfolder "$tmp/home/.config/Nocturo/controldata"

# No configuration folder at all: a private folder of this run, and the user is told.
run "$tmp/nowhere" env -u XDG_CONFIG_HOME -u HOME "$prefix/bin/nocturo" "$picture" || fail "run without HOME: exit $?"
folder=$(grep -m1 '^controlfolder=' "$tmp/nowhere" | cut -d= -f2-)
[[ $folder == */nocturo-* ]] || fail "private folder: '$folder'"
[ ! -e "$folder" ] || fail "the private folder $folder outlived the program"
grep -q '^message=設定フォルダを作成できません' "$tmp/nowhere" || fail "no message about the settings: $(cat "$tmp/nowhere")"
expect "$tmp/nowhere" size 320x215

# A picture that cannot be read: the loader's message, and the sample stays.
run "$tmp/missing" env HOME="$tmp/home" "$prefix/bin/nocturo" "$tmp/pictures/gone.jpg" || fail "run with a missing picture: exit $?"
grep -q "^message=画像を読み込めません: $tmp/pictures/gone.jpg" "$tmp/missing" || fail "missing picture message: $(cat "$tmp/missing")"
expect "$tmp/missing" title "Nocturo /  SamplePicture"
expect "$tmp/missing" size 1286x835

# The installed command line works from the prefix too.
"$prefix/bin/nocturo-cli" exif --json "$picture" >"$tmp/exif.json" 2>&1 || fail "installed nocturo-cli: $(cat "$tmp/exif.json")"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "install tree: all checks passed"
