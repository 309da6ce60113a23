#!/usr/bin/env bash
# A report onto a full filesystem: the call fails with the reason on standard error and leaves
# no file behind, after an import and after a failed start-up alike; with room again the same
# call writes the whole report. The filesystem is a small tmpfs mounted in a namespace of the
# test's own; where none can be made, the test is skipped with a message.
#   tests/app/fullreport_test.sh IMPORTER GENERATOR
set -euo pipefail
importer=$1 generator=$2
skip=77
if ! unshare --user --map-root-user --mount true 2>/dev/null; then
    echo "skipped: no mount namespace can be made here for a small filesystem" >&2
    exit $skip
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$generator" --demo "$work/demo" >/dev/null
mkdir "$work/full"

# Runs inside the namespace: mounts the small filesystem, fills it and tries both reports.
inside='
set -euo pipefail
importer=$1 work=$2
full="$work/full"
mount -t tmpfs -o size=64k tmpfs "$full"
dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null || true
report="$full/run.json"
import=(--batch --site 102 --facility NORTHPLANT --variables --report "$report")
check_failed() {
    local what=$1 status=$2 err=$3
    [ "$status" -eq 1 ] || { echo "$what: exit status $status, not 1" >&2; exit 1; }
    grep -q "cannot write the report $report" <<<"$err" ||
        { echo "$what: no reason on standard error: $err" >&2; exit 1; }
    if [ "$(ls "$full")" != filler ]; then
        echo "$what: left behind: $(ls "$full")" >&2
        exit 1
    fi
}
status=0
err=$("$importer" "${import[@]}" --config "$work/demo/ZARN_Vantrel_DB_importer.ini" 2>&1 >/dev/null) || status=$?
check_failed "after an import" "$status" "$err"
status=0
err=$("$importer" "${import[@]}" --config "$work/no-such.ini" 2>&1 >/dev/null) || status=$?
check_failed "after a failed start-up" "$status" "$err"

rm "$full/filler"
"$importer" "${import[@]}" --config "$work/demo/ZARN_Vantrel_DB_importer.ini" >/dev/null 2>&1
grep -q "\"kind\": \"report\"" "$report" || { echo "no whole report with room again" >&2; exit 1; }
[ "$(tail -c 2 "$report")" = "}" ] || { echo "the report with room again is cut short" >&2; exit 1; }
'
unshare --user --map-root-user --mount bash -c "$inside" inside "$importer" "$work"
