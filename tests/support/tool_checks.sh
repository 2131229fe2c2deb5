# Shell checks the tool's end-to-end tests share; sourced, after `cd` into
# the test's own folder (each writes out.txt and err.txt there).
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# expect STATUS PATTERN COMMAND...: the exit status, and PATTERN (an extended
# regular expression, "" for none) in its output. Standard input is empty, as
# a script's would be: no command may wait on it.
expect() {
  local status=$1 pattern=$2
  shift 2
  "$@" >out.txt 2>err.txt </dev/null
  local got=$?
  [ "$got" = "$status" ] || fail "$* exited $got, expected $status: $(tail -c 400 err.txt)"
  [ -z "$pattern" ] || grep -qE -- "$pattern" err.txt out.txt || fail "$*: output lacks '$pattern': $(tail -c 400 err.txt)"
}

absent() { [ ! -e "$1" ] || fail "$1 was written"; }

# no_files GLOB: nothing matches it.
no_files() {
  compgen -G "$1" >/dev/null && fail "files left: $(compgen -G "$1" | head -3 | tr '\n' ' ')"
  return 0
}

# rendered_image_widths PAGE: the natural widths of the page's images once
# headless Chromium has loaded it (0 for one that did not load).
rendered_image_widths() {
  local page=$1 check=${1%.html}_check.html profile
  sed 's|</body>|<script>addEventListener("load",()=>{document.body.setAttribute("data-widths",[...document.images].map(i=>i.naturalWidth).join(" "))})</script></body>|' \
    "$page" > "$check"
  profile=$(mktemp -d)
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking --disable-component-update \
    --disable-sync --no-first-run --user-data-dir="$profile" --virtual-time-budget=5000 \
    --dump-dom "file://$(realpath "$check")" 2>/dev/null | grep -o 'data-widths="[^"]*"' | sed 's/data-widths="//; s/"$//'
  rm -rf "$profile" "$check"
}

# finish NAME: the summary line and the status.
finish() {
  [ "$failures" = 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
