#!/bin/bash
# The Debian package: built by cpack, holding exactly the installed files under /usr owned by
# root, depending on the libraries and the Japanese font, and free of lintian errors (its
# warnings are printed).
# Usage: package_test.sh <build folder> <installed_files.txt> <version>
set -u
build=$1
manifest=$2
version=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in cpack:cmake dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev lintian:lintian; do
    command -v "${tool%%:*}" >/dev/null || { echo "FAIL: ${tool%%:*} (Debian package ${tool#*:}) is needed" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cpack -G DEB -B "$tmp" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack"; exit 1; }
deb=$tmp/nocturo_${version}_amd64.deb
[ -f "$deb" ] || { ls "$tmp" >&2; fail "no $(basename "$deb")"; exit 1; }

# Contents: the files of the install list under ./usr, owned by root, with ordinary modes.
dpkg-deb --contents "$deb" >"$tmp/contents.txt" || fail "dpkg-deb --contents"
awk '$1 !~ /^d/ { print $6 }' "$tmp/contents.txt" | sed 's|^\./usr/||' | LC_ALL=C sort >"$tmp/found.txt"
LC_ALL=C sort "$manifest" >"$tmp/expected.txt"
diff -u "$tmp/expected.txt" "$tmp/found.txt" >"$tmp/diff.txt" || { cat "$tmp/diff.txt" >&2; fail "package files differ from $manifest"; }
awk '$2 != "root/root" { print }' "$tmp/contents.txt" | grep . && fail "files not owned by root"
awk '$1 ~ /^d/ { next } $6 ~ /\/bin\// && $1 != "-rwxr-xr-x" { print } $6 !~ /\/bin\// && $1 != "-rw-r--r--" { print }' \
    "$tmp/contents.txt" | grep . && fail "unexpected file modes"

# Control fields.
[ "$(dpkg-deb -f "$deb" Package)" = nocturo ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "Architecture field"
depends=$(dpkg-deb -f "$deb" Depends)
for package in fonts-ipafont-gothic libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libisal2 zlib1g libc6; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# lintian: errors fail, warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.txt" 2>&1
grep -E '^[EW]: ' "$tmp/lintian.txt" | sed 's/^/lintian: /'
grep -q '^E: ' "$tmp/lintian.txt" && fail "lintian errors"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "package $(basename "$deb"): all checks passed ($(grep -c '^W: ' "$tmp/lintian.txt") lintian warnings)"
