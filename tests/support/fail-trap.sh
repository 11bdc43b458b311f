# Sourced by the shell tests: a command that fails under `set -e` ends the script with one line
# naming the script, the line and the command (and the step, when the script keeps one in
# current_step), instead of a silent exit.
set -E
trap 'echo "FAIL: ${current_step:+step \"$current_step\": }${BASH_SOURCE[0]##*/} line $LINENO:" \
  "$BASH_COMMAND (status $?)" >&2' ERR
