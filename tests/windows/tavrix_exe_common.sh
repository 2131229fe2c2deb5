# Shared by the tavrix.exe tests under Wine, with the tool's shell checks;
# sourced once the script is in its work folder, with `exe` (tavrix.exe) and
# `linux` (the Linux build) set.
export WINEDEBUG=-all
source "$(dirname "${BASH_SOURCE[0]}")/../support/tool_checks.sh" || exit 1
tavrix() { "$linux/tools/tavrix" "$@"; }
wtavrix() { wine "$exe" "$@"; }

# The pixel data of a DICOM file: its last element, 3072 x 3072 16-bit words.
dicom_pixels() { tail -c 18874368 "$1"; }

# No temporary file or staging folder of the tool left in the folders given.
no_temporaries() {
  local left
  left=$(find "$@" -maxdepth 1 \( -name '*.part' -o -name '.tavrix-*' \) 2>/dev/null)
  [ -z "$left" ] || fail "temporary files left: $left"
}
