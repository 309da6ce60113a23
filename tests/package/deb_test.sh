#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a throw-away folder and runs
# the unpacked program on the demo databases through the package's sample configuration:
#   tests/package/deb_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/installed.sh"

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
for file in usr/share/applications/zarn-vantrel-importer.desktop \
    usr/share/man/man1/zarn-vantrel-importer.1 usr/share/doc/zarn-vantrel-importer/README.md \
    etc/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini; do
    test -f "$work/root/$file" || { echo "not in the package: $file" >&2; exit 1; }
done
# dpkg keeps an operator's edits of the sample configuration across upgrades.
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini "$work/control/conffiles"
run_installed "$work/root/usr/bin" "$work/root/etc/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini" "$work"
