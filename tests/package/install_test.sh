#!/usr/bin/env bash
# Installs a build folder into an empty prefix and runs the installed program with the
# installed sample configuration: tests/package/install_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/installed.sh"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/zarn-vantrel-importer bin/zarn-vantrel-generate \
    etc/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini \
    share/man/man1/zarn-vantrel-importer.1 share/doc/zarn-vantrel-importer/README.md \
    share/applications/zarn-vantrel-importer.desktop; do
    test -f "$prefix/$file" || { echo "not installed: $file" >&2; exit 1; }
done
run_installed "$prefix/bin" "$prefix/etc/zarn-vantrel-importer/ZARN_Vantrel_DB_importer.ini" "$work"
