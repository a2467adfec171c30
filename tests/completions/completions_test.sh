#!/usr/bin/env bash
# The shell completions of velkor-flash: bash completes commands, options and their values,
# and both files offer every option each command's --help lists; zsh reads its file.
#
#   completions_test.sh COMPLETIONS_FOLDER VELKOR_FLASH
set -uo pipefail

folder=$1
program=$2
failures=0
fail() {
  echo "completions: $*" >&2
  failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$folder/velkor-flash.bash" || { echo "completions: cannot source the bash file" >&2; exit 1; }
# What bash offers for the command line given as words, the last being the one completed.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velkor_flash
  echo "${COMPREPLY[*]}"
}
expect() {
  local want=$1
  shift
  local got
  got=$(offers "$@")
  [ "$got" = "$want" ] || fail "'$*' completes to '$got', not '$want'"
}
expect write velkor-flash wr
expect "r3360 j5" velkor-flash write --model ""
expect j5 velkor-flash write --model = j
expect "stm8 nec m3" velkor-flash image --mcu ""
expect "on off" velkor-flash config --rds ""

# Every command and option the program has: the names at the start of its help's lines.
commands=$(COLUMNS=200 "$program" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p')
[ -n "$commands" ] || fail "no command found in velkor-flash --help"
offered=" $(offers velkor-flash "") "
for command in $commands; do
  [[ $offered == *" $command "* ]] || fail "bash does not offer the command $command"
  grep -q "^ *'$command:" "$folder/_velkor-flash" || fail "zsh does not offer the command $command"
  options=$(COLUMNS=200 "$program" "$command" --help |
    sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' '\n')
  offered_options=" $(offers velkor-flash "$command" -) "
  for option in $options; do
    [[ $offered_options == *" $option "* ]] || fail "bash does not offer $command $option"
    grep -q -e "${option}[]=[]" -e "[{,]${option}[,}]" "$folder/_velkor-flash" ||
      fail "zsh does not offer $option ($command)"
  done
done

if command -v zsh >/dev/null; then
  zsh -n "$folder/_velkor-flash" || fail "zsh cannot read _velkor-flash"
else
  echo "completions: zsh is not installed; its file is not read (scripts/install-deps.sh)"
fi
[ "$failures" -eq 0 ]
