#!/usr/bin/env bash
# Each manual page must format without a single warning. With --commands, quillet-cli's command
# table (printed by PROGRAM) must match the COMMANDS of its page's source and README's list:
# the same commands, each with the options it takes.
# Usage: check-man-pages.sh [--commands PROGRAM PAGE.scd README.md] PAGE...
set -euo pipefail

# "name<TAB>options" lines, the options sorted and without --help and --version.
normalised() {
    while IFS=$'\t' read -r name options; do
        options=$(tr ' ' '\n' <<<"$options" | grep -vx -e '--help' -e '--version' -e '' |
            sort -u | tr '\n' ' ' || true)
        printf '%s\t%s\n' "$name" "$options"
    done | sort
}
# A command's heading in the page's COMMANDS: "*webfile extract* _FILE_ [*--overwrite*]".
page_commands() {
    sed -n '/^# COMMANDS/,/^# [A-Z]/p' "$1" | grep '^\*[a-z]' | while read -r line; do
        name=${line#\*}
        printf '%s\t%s\n' "${name%%\**}" \
            "$(grep -o '\*--[a-z-]*' <<<"$line" | tr -d '*' | tr '\n' ' ' || true)"
    done
}
# The lines of the first code block under "## quillet-cli": "quillet-cli webfile list FILE".
readme_commands() {
    awk '/^## quillet-cli$/ { s = 1; next } s == 1 && /^```/ { s = 2; next }
         s == 2 && /^```/ { exit } s == 2 && /^quillet-cli / { print }' "$1" |
        while read -r _ rest; do
            name="" options=""
            for word in $rest; do
                if [[ -z $options && $word =~ ^[a-z][a-z-]*$ ]]; then
                    name+="${name:+ }$word"
                else
                    options+=" $(grep -o -- '--[a-z-]*' <<<"$word" | tr '\n' ' ' || true)"
                fi
            done
            printf '%s\t%s\n' "$name" "$options"
        done
}
same_commands() {
    local got
    got=$(normalised <<<"$2")
    [ "$got" == "$table" ] && return
    echo "$1 does not list quillet-cli's commands and options as its command table has them:"
    diff -U0 --label 'command table' --label "$1" <(echo "$table") <(echo "$got") | tail -n +3 || true
    exit 1
}
if [ "${1:-}" == --commands ]; then
    table=$("$2" | normalised) || { echo "$2 failed"; exit 1; }
    same_commands "$3" "$(page_commands "$3")"
    same_commands "$4" "$(readme_commands "$4")"
    echo "$(wc -l <<<"$table") commands of quillet-cli in its page and README"
    shift 4
fi

command -v groff >/dev/null || { echo "SKIP: groff is missing (tools/install-deps --test)"; exit 77; }
for page in "$@"; do
    out=$(groff -man -ww -z "$page" 2>&1)
    if [ -n "$out" ]; then
        echo "$page:"; echo "$out"; exit 1
    fi
    grep -q '^\.SH NAME' "$page" || { echo "$page: no NAME section"; exit 1; }
done
echo "$# manual pages format cleanly"
