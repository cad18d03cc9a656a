#!/usr/bin/env bash
# Every text of the windows and quillet-cli has its Czech: lupdate run over today's sources into
# a copy of the translation file finds no text new (unfinished) or gone (vanished), and none is
# left unfinished in the file itself.
set -euo pipefail
lupdate=$1 root=$2 ts=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ts" "$work/copy.ts"
# The sources the build translates: app/, discovery/ and ipassign/ without their tests.
find "$root/app" "$root/discovery" "$root/ipassign" -name '*.cpp' -not -path '*/tests/*' |
    sort >"$work/sources"
"$lupdate" -silent -locations none -I "$root" "@$work/sources" -ts "$work/copy.ts"
status=0
for file in "$ts" "$work/copy.ts"; do
    if grep -n -B3 'type="\(unfinished\|vanished\|obsolete\)"' "$file"; then
        echo "$file: texts without their translation, or translations of texts that are gone"
        status=1
    fi
done
exit $status
