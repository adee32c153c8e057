#!/usr/bin/env bash
# Checks what a packager would, on a build made by scripts/build.sh in build/ (or $LINNET_BUILD_DIR):
# builds the Debian package with CPack, validates the desktop entry and the AppStream metainfo,
# checks the package's file list and dependencies, runs lintian on it (any error or warning fails),
# unpacks it into a temporary root and starts the unpacked program on the offscreen platform. Any
# problem ends the script with a non-zero status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LINNET_BUILD_DIR:-$root/build}
app_id=org.linnettest.LinnetTest
desktop=$root/packaging/$app_id.desktop
# The metainfo is configured from packaging/$app_id.metainfo.xml.in into the build.
metainfo=$build/packaging/$app_id.metainfo.xml

fail() {
    echo "package-check: FAILED: $*" >&2
    exit 1
}
step() { echo "== package-check: $*"; }

for tool in cpack desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
[ -f "$build/CPackConfig.cmake" ] || fail "no CPack configuration in $build: run scripts/build.sh first"
[ -f "$metainfo" ] || fail "no configured metainfo in $build: run scripts/build.sh first"

step "desktop entry"
desktop_out=$(desktop-file-validate "$desktop" 2>&1) || {
    echo "$desktop_out"
    fail "desktop-file-validate rejected $desktop"
}
if [ -n "$desktop_out" ]; then
    echo "$desktop_out"
    if grep -Eq ': (error|warning): ' <<<"$desktop_out"; then
        fail "desktop-file-validate reported problems"
    fi
fi
echo "desktop-file-validate: ok"

step "AppStream metainfo"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli rejected $metainfo"

step "building the Debian package"
arch=$(dpkg --print-architecture)
rm -f "$build"/linnet-test_*.deb
(cd "$build" && cpack -G DEB) || fail "cpack failed"
shopt -s nullglob
debs=("$build"/linnet-test_*_"$arch".deb)
shopt -u nullglob
[ ${#debs[@]} -eq 1 ] || fail "expected one linnet-test_<version>_$arch.deb in $build, found ${#debs[@]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "linnet-test_${version}_${arch}.deb" ] ||
    fail "package file name $(basename "$deb") does not match its version $version"
[ "$(dpkg-deb -f "$deb" Package)" = linnet-test ] || fail "package name is not linnet-test"
echo "package: $deb"

step "one version"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$release" = "$version" ] || fail "the metainfo's latest release is $release, the package's version $version"
echo "package and metainfo: $version"

step "package fields"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Installed-Size Depends Description
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6gui6 libqt6core6 fonts-liberation; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends does not name $dep: $depends"
done

step "package contents"
dpkg-deb -c "$deb"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./|/|' | sort)
expected=$(sort <<EOF
/usr/bin/linnet-scanner-sim
/usr/bin/linnet-test
/usr/share/applications/$app_id.desktop
/usr/share/doc/linnet-test/changelog.gz
/usr/share/doc/linnet-test/copyright
/usr/share/icons/hicolor/16x16/apps/$app_id.png
/usr/share/icons/hicolor/32x32/apps/$app_id.png
/usr/share/icons/hicolor/48x48/apps/$app_id.png
/usr/share/icons/hicolor/scalable/apps/$app_id.svg
/usr/share/man/man1/linnet-scanner-sim.1.gz
/usr/share/man/man1/linnet-test.1.gz
/usr/share/metainfo/$app_id.metainfo.xml
EOF
)
missing=$(comm -13 <(echo "$files") <(echo "$expected"))
extra=$(comm -23 <(echo "$files") <(echo "$expected"))
[ -z "$missing" ] || fail "missing from the package: $(tr '\n' ' ' <<<"$missing")"
[ -z "$extra" ] || fail "unexpected in the package (add them to this check if wanted): $(tr '\n' ' ' <<<"$extra")"
echo "file list: ok ($(wc -l <<<"$files") files)"

step "lintian"
# Info-level notes (pedantic ones included) are shown but do not fail the check. Lintian's remark
# that it runs as root goes to standard error and is left out.
lintian --fail-on error,warning --display-info --pedantic "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
    fail "lintian reported errors or warnings"
echo "lintian: no errors or warnings"

step "unpacked into a temporary root"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg -x "$deb" "$tmp/root"
bin=$tmp/root/usr/bin/linnet-test
[ -x "$bin" ] || fail "the unpacked program is not executable"
for size in 16 32 48; do
    icon=$tmp/root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png
    file -b "$icon" | grep -q "PNG image data, $size x $size," || fail "$icon is not a ${size}x$size PNG"
done
appstreamcli validate-tree --no-net "$tmp/root" || fail "appstreamcli validate-tree rejected the unpacked tree"
zcat "$tmp/root/usr/share/doc/linnet-test/changelog.gz" >"$tmp/changelog"
changelog_version=$(dpkg-parsechangelog -l "$tmp/changelog" -S Version)
[ "$changelog_version" = "$version" ] ||
    fail "the changelog's latest entry is $changelog_version, the package $version"
echo "changelog: latest entry $changelog_version"
if ldd "$bin" | grep -q 'not found'; then
    ldd "$bin"
    fail "the unpacked program has unresolved libraries"
fi
status=0
QT_QPA_PLATFORM=offscreen LINNET_QUIT_AFTER_MS=500 timeout 60 "$bin" >"$tmp/run.log" 2>&1 || status=$?
cat "$tmp/run.log"
[ "$status" -eq 0 ] || fail "the unpacked program exited with status $status (124 is a time-out)"
echo "the unpacked program started and quit cleanly"

# The simulator from the package: it starts and prints its device path first.
sim=$tmp/root/usr/bin/linnet-scanner-sim
[ -x "$sim" ] || fail "the unpacked simulator is not executable"
# It runs until stopped: the time-out ends it once the path is read.
sim_path=$(timeout 3 "$sim" --quiet --interval 60 | head -n 1) || true
[[ "$sim_path" == /dev/pts/* ]] || fail "the unpacked simulator printed '$sim_path', not a device path"
echo "the unpacked simulator made $sim_path"

size_bytes=$(stat -c %s "$deb")
echo "package-check: ok: $(basename "$deb"), $size_bytes bytes ($(du -h "$deb" | cut -f1)), installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
