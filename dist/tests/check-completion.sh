#!/usr/bin/env bash
# Completes a few command lines with the real completion function.
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
expect 'quillet-cli search --' '--help --version --json --types'
expect 'quillet-cli webfile ' 'list extract serve'
expect 'quillet-cli webfile extract --o' '--overwrite'
expect 'quillet-cli change-ip --a' '--arp'
echo "completion ok"
