#!/usr/bin/env bash
# Fails when dciodvfy reports an error in any of the given DICOM files; with
# --no-warnings, also when it reports a warning.
set -u
strict=0
if [ "${1:-}" = "--no-warnings" ]; then
  strict=1
  shift
fi
if [ $# -eq 0 ]; then
  echo "usage: dciodvfy_check.sh [--no-warnings] FILE..." >&2
  exit 2
fi
command -v dciodvfy >/dev/null || { echo "dciodvfy not found (package dicom3tools)" >&2; exit 1; }
status=0
for file in "$@"; do
  if [ ! -f "$file" ]; then
    echo "$file: no such file" >&2
    status=1
    continue
  fi
  output=$(dciodvfy "$file" 2>&1)
  pattern="Error"
  [ $strict -eq 1 ] && pattern="Error|Warning"
  problems=$(grep -E "$pattern" <<<"$output")
  if [ -n "$problems" ]; then
    echo "$file:"
    echo "$problems"
    status=1
  else
    echo "$file: no errors ($(grep -c "Warning" <<<"$output") warnings)"
  fi
done
exit $status
