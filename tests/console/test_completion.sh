#!/usr/bin/env bash
# The bash completions of zub64 and quarnel: each row is the words typed (the
# last one being completed) and the candidates expected, in a folder holding
# the folders src and dst and the file f.txt.
set -u
source "$1/console/zub64.bash-completion"
source "$1/lister/quarnel.bash-completion"
cd "$(mktemp -d)" && mkdir src dst && : >f.txt || exit 1
failed=0
while IFS='|' read -r words expected; do
  read -ra COMP_WORDS <<<"$words"
  [[ $words == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  "_${COMP_WORDS[0]}"
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  [ "$got" = "$expected" ] || { echo "'$words': got '$got', expected '$expected'"; failed=1; }
done <<'ROWS'
zub64 --|-- --help --version
zub64 -s |dst src
zub64 -e |
zub64 -ve |
zub64 -s s|src
zub64 -- -|
zub64 -- |dst src
quarnel --v|--version
quarnel |dst f.txt src
ROWS
rm -rf "$PWD"
exit $failed
