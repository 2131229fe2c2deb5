# Shared by the tavrix.exe tests under Wine; sourced once the script is in its
# work folder, with `exe` (tavrix.exe) and `linux` (the Linux build) set.
export WINEDEBUG=-all
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
tavrix() { "$linux/tools/tavrix" "$@"; }
wtavrix() { wine "$exe" "$@"; }

# expect STATUS PATTERN COMMAND...: the exit status, and PATTERN in its output.
expect() {
  local status=$1 pattern=$2
  shift 2
  "$@" >out.txt 2>err.txt </dev/null
  local got=$?
  [ "$got" = "$status" ] || fail "$* exited $got, expected $status: $(tail -c 400 err.txt)"
  [ -z "$pattern" ] || grep -qE -- "$pattern" err.txt out.txt || fail "$*: output lacks '$pattern': $(tail -c 400 err.txt)"
}

# The pixel data of a DICOM file: its last element, 3072 x 3072 16-bit words.
dicom_pixels() { tail -c 18874368 "$1"; }

# No temporary file or staging folder of the tool left in the folders given.
no_temporaries() {
  local left
  left=$(find "$@" -maxdepth 1 \( -name '*.part' -o -name '.tavrix-*' \) 2>/dev/null)
  [ -z "$left" ] || fail "temporary files left: $left"
}

finish() {
  [ "$failures" = 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
