#!/usr/bin/env bash
# Each manual page must format without a single warning.
set -euo pipefail
command -v groff >/dev/null || { echo "SKIP: groff is missing (tools/install-deps --test)"; exit 77; }
for page in "$@"; do
    out=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$out" ]; then
        echo "$page:"; echo "$out"; exit 1
    fi
    grep -q '^\.SH NAME' "$page" || { echo "$page: no NAME section"; exit 1; }
done
echo "$# manual pages format cleanly"
