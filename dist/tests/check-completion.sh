#!/usr/bin/env bash
# Completes a few command lines with the real completion function; given the program that prints
# quillet-cli's command table, also every command and every option of the table.
set -euo pipefail
common=/usr/share/bash-completion/bash_completion
[ -r $common ] || { echo "SKIP: bash-completion is missing"; exit 77; }
# shellcheck disable=SC1090
source $common
source "$1"
complete_line() {
    COMP_LINE=$1
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quillet_cli quillet-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"
}
expect() {
    local got
    got=$(complete_line "$1")
    [ "$got" == "$2" ] || { echo "'$1': got '$got', expected '$2'"; exit 1; }
}
expect 'quillet-cli up' 'upload-web upload-fw'
expect 'quillet-cli create --o' '--output'
expect 'quillet-cli search --' '--help --version --json --csv --types --interface --range --rate --changes --no-journal'
expect 'quillet-cli h' 'history'
expect 'quillet-cli history --mac ' ''
expect 'quillet-cli webfile ' 'list extract serve'
expect 'quillet-cli webfile extract --o' '--overwrite'
expect 'quillet-cli change-ip --a' '--arp'
expect 'quillet-cli search --rate ' ''

[ $# -ge 2 ] || { echo "completion ok"; exit 0; }
words() { tr ' ' '\n' | sed '/^$/d' | sort -u | tr '\n' ' '; }
expect_set() {
    local got want
    got=$(complete_line "$1" | words)
    want=$(echo "$2" | words)
    [ "$got" == "$want" ] || { echo "'$1': got '$got', the command table has '$want'"; exit 1; }
}
table=$("$2") || { echo "$2 failed"; exit 1; }
firsts="--help --version"
while IFS=$'\t' read -r name options; do
    first=${name%% *}
    firsts+=" $first"
    expect_set "quillet-cli $name --" "$options"
    if [ "$first" != "$name" ]; then
        expect_set "quillet-cli $first " "$(grep "^$first " <<<"$table" | cut -f1 | cut -d' ' -f2)"
    fi
done <<<"$table"
expect_set 'quillet-cli ' "$firsts"
echo "completion ok, $(wc -l <<<"$table") commands as the table has them"
