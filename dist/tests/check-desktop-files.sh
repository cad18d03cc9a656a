#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo as the desktop's own tools check them.
set -euo pipefail
desktop=$1 metainfo=$2
for tool in desktop-file-validate appstreamcli; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is missing (tools/install-deps --test)"; exit 77; }
done
out=$(desktop-file-validate "$desktop" 2>&1)
[ -z "$out" ] || { echo "$out"; exit 1; }
appstreamcli validate --no-net --explain "$metainfo"
grep -q '<release version="1.2.0.0"' "$metainfo"
grep -q '<screenshot' "$metainfo"
# The Czech desktop shows Quillet's name and purpose in Czech.
grep -q '^Name\[cs\]=' "$desktop" && grep -q '^Comment\[cs\]=' "$desktop"
grep -q '<name xml:lang="cs">' "$metainfo" && grep -q '<summary xml:lang="cs">' "$metainfo"
