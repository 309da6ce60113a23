#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a throw-away folder and runs
# the unpacked program on the demo databases: tests/package/deb_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
deb=$(ls "$work"/out/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6widgets6 libsqlite3-0 libpq5 libodbc2; do
    grep -q "\b$package\b" <<<"$depends" || { echo "no dependency on $package" >&2; exit 1; }
done
if grep -q -- '-dev\b' <<<"$depends"; then
    echo "depends on a development package" >&2
    exit 1
fi

dpkg-deb -x "$deb" "$work/root"
bin="$work/root/usr/bin"
test -f "$work/root/usr/share/applications/zarn-vantrel-importer.desktop"
"$bin/zarn-vantrel-generate" --demo "$bin" >/dev/null
list=$("$bin/zarn-vantrel-importer" --batch --list)
echo "$list"
for facility in NORTHPLANT "North Plant" "Hilltop Water Plant"; do
    grep -q "$facility" <<<"$list" || { echo "the list lacks $facility" >&2; exit 1; }
done
