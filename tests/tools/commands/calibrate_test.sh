#!/usr/bin/env bash
# tavrix calibrate end to end on simulated frames: a build from files and an
# acquisition through the simulated frame grabber, the files they write, the
# report as a browser renders it, and every kind of bad input with its exit
# status, its message and what is left on disk.
#
# usage: calibrate_test.sh TAVRIX MAKE_SIM_FRAMES WORK_DIR
set -uo pipefail
tavrix=$1 make_frames=$2 work=$3
source "$(dirname "$0")/../../support/tool_checks.sh" || exit 1
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1


frame=16204480
seed=11
"$make_frames" dark 8 $seed dark.raw && "$make_frames" flat:0.7 8 $seed flat.raw &&
  "$make_frames" flat:1.0 8 $seed bright.raw && "$make_frames" flat:0.02 8 $seed faint.raw &&
  "$make_frames" flat:0.5 8 $seed check.raw || exit 1
# The flats with a 400 x 400 block in the beam: the dark frame's words there,
# found through the raw frame of an image marking the block.
python3 - <<'PY' || exit 1
row = lambda r: b"\0" * 3800 + b"\1\0" * 400 + b"\0" * 1544 if 1500 <= r < 1900 else b"\0" * 6144
open("mark.img.raw", "wb").write(b"".join(row(r) for r in range(3072)))
PY
"$tavrix" raw-from-image mark.img.raw -o mark.raw >/dev/null || exit 1
python3 - <<'PY' || exit 1
import array
frame = 16204480
block = [i for i, v in enumerate(array.array("H", open("mark.raw", "rb").read())) if v]
dark = array.array("H", open("dark.raw", "rb").read(frame))
with open("flat.raw", "rb") as flats, open("object.raw", "wb") as out:
    for _ in range(8):
        words = array.array("H", flats.read(frame))
        for i in block:
            words[i] = dark[i]
        out.write(words.tobytes())
PY

# Usage errors: exit 2 with the usage.
expect 0 "" "$tavrix" calibrate --help; grep -q "usage: tavrix calibrate build" out.txt || fail "calibrate --help"
expect 2 "usage: tavrix calibrate" "$tavrix" calibrate
expect 2 "-o DIR is required" "$tavrix" calibrate build --darks dark.raw --flats flat.raw
expect 2 "-o DIR must name a folder of its own" "$tavrix" calibrate build --darks dark.raw --flats flat.raw -o .
expect 2 "unknown option --bogus" "$tavrix" calibrate build --bogus -o x
expect 2 "--dead-below must be" "$tavrix" calibrate build --darks dark.raw --flats flat.raw --dead-below 7 -o x
absent x

# A level refused leaves fewer than asked: exit 1, nothing written, unless allowed.
expect 1 "1 of 2 flat level\(s\) refused, nothing written.*--allow-fewer-levels" \
  "$tavrix" calibrate build --darks dark.raw --flats flat.raw --flats bright.raw -o fewer
grep -q "refused: .*full scale" err.txt || fail "the refused level's reason is not given"
absent fewer

# A build from files: one good level and one at full scale, which is refused.
expect 0 "refused: .*full scale" "$tavrix" calibrate build --darks dark.raw --flats flat.raw --flats bright.raw \
  --allow-fewer-levels --station "Room 3" --panel-id "SN 0042" -o maps
grep -q "no independent check" out.txt || fail "a build without a check flat claims a check"
grep -q "verdict: FAIL" out.txt || fail "a build without an independent check passes"
grep -q "reading darks: 8 of 8 frames" err.txt || fail "no progress line while reading"
grep -q "defective pixels:" out.txt || fail "no summary printed"
[ "$(stat -c %s maps/pixel_map.bin)" = 9443329 ] || fail "pixel_map.bin has the wrong size"
[ "$(stat -c %s maps/gain_map.bin)" = 37748736 ] || fail "gain_map.bin has the wrong size"
head -1 maps/defects.csv | grep -qx "row,column,class,code" || fail "defects.csv lacks its header"
for want in "left half row,2" "right half row,1" ",column,1" ",dead,2" ",hot,2" ",noisy,1"; do
  grep -q -- "$want" maps/defects.csv || fail "defects.csv lacks '$want'"
done
python3 - maps <<'PY' || fail "the maps break a rule (see above)"
import array, math, sys
d = sys.argv[1]
gain = array.array("f")
with open(d + "/gain_map.bin", "rb") as f:
    gain.frombytes(f.read())
if sys.byteorder != "little":
    gain.byteswap()
codes = open(d + "/pixel_map.bin", "rb").read()
problems = []
for r in range(3072):
    row = gain[r * 3072:(r + 1) * 3072]
    data = list(row[:1280]) + list(row[1792:])
    if not all(math.isfinite(g) and g > 0 for g in data):
        problems.append("row %d has a gain that is not finite and positive" % r); break
    if any(g != 1.0 for g in row[1280:1792]):
        problems.append("row %d: a data-less column's gain is not 1.0" % r); break
    if codes[r * 3073 + 1280] == 0 or codes[r * 3073 + 1791] == 0:
        problems.append("row %d: a data-less column next to data is coded good" % r); break
if sum(1 for c in codes[3072 * 3073:3072 * 3073 + 3072] if c) != 1:
    problems.append("not exactly one column flag")
if sum(1 for r in range(3072) if codes[r * 3073 + 3072]) != 2:
    problems.append("not exactly two row flags")
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

# The report renders with every picture.
for png in defects gain gain_histogram corrected_flat row_profile column_profile; do
  [ -s "maps/$png.png" ] || fail "maps/$png.png missing"
done
if command -v chromium >/dev/null; then
  widths=$(rendered_image_widths maps/report.html)
  [ "$(wc -w <<<"$widths")" = 6 ] || fail "the rendered report has $(wc -w <<<"$widths") pictures, not 6"
  for w in $widths; do [ "$w" -gt 0 ] || fail "a picture of the report does not load (width $w)"; done
else
  echo "chromium not installed: the report's rendering is not checked" >&2
fi

# The report a service engineer signs: when, with what, which panel, the
# frames by digest, and a verdict against the limits shown.
report=maps/report.html
for want in "Verdict: FAIL" "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} UTC" "tavrix 1\.0\.0" "Room 3" "SN 0042" \
            "no reading" "$(sha256sum dark.raw | cut -c1-64)" "$(sha256sum flat.raw | cut -c1-64)" "--max-defects" \
            "no independent check"; do
  grep -qE -- "$want" $report || fail "the report lacks '$want'"
done
expect 0 "verdict: PASS" "$tavrix" calibrate build --darks dark.raw --flats flat.raw --check check.raw -o checked
grep -q "check flat corrected" out.txt || fail "the check flat's result is not printed"
grep -q "Verdict: PASS" checked/report.html || fail "the report of a passing build says no PASS"
expect 0 "verdict: FAIL; flagged rows and columns 3, at most 0 \(--max-lines\)" \
  "$tavrix" calibrate build --darks dark.raw --flats flat.raw --check check.raw --max-lines 0 --force -o checked

# An object in the beam is named as what it likely is, not listed as defects.
expect 1 "object or the collimator in the beam.*clear the beam" \
  "$tavrix" calibrate build --darks dark.raw --flats object.raw -o beam
[ "$(wc -c < err.txt)" -lt 2000 ] || fail "the message for an object in the beam is $(wc -c < err.txt) bytes long"
absent beam/pixel_map.bin

# An output folder holding maps: refused without --force, maps untouched.
before=$(sha256sum maps/pixel_map.bin)
expect 1 "holds pixel_map.bin already" "$tavrix" calibrate build --darks dark.raw --flats flat.raw -o maps
[ "$(sha256sum maps/pixel_map.bin)" = "$before" ] || fail "the maps were changed without --force"

# The folder changes whole or not at all. A refused build, even with --force,
# leaves it as it was, says so in one short line, and keeps its report aside.
ls maps > maps.list
echo "kept" > maps/notes.txt
before=$(cat maps/*.bin maps/defects.csv maps/report.html | sha256sum)
expect 1 "maps not written.*maps.refused/report.html" \
  "$tavrix" calibrate build --darks dark.raw --flats flat.raw --dead-below 0.99 --force -o maps
[ "$(cat maps/*.bin maps/defects.csv maps/report.html | sha256sum)" = "$before" ] || fail "a refused build changed maps/"
[ "$(wc -c < err.txt)" -lt 2000 ] || fail "a refused build printed $(wc -c < err.txt) bytes, not a summary"
[ -s maps.refused/report.html ] && [ ! -e maps.refused/gain_map.bin ] || fail "the refused build's report is not kept aside"
# An accepted one replaces the calibration whole; the previous stays beside it,
# the user's other files are carried over.
expect 0 "maps written" "$tavrix" calibrate build --darks dark.raw --flats flat.raw --force -o maps/
[ "$(cat maps.previous/*.bin maps.previous/defects.csv maps.previous/report.html | sha256sum)" = "$before" ] ||
  fail "the previous calibration is not kept as maps.previous"
[ "$(cat maps/notes.txt 2>/dev/null)" = kept ] || fail "a file of the user's in maps/ was not carried over"
compgen -G ".tavrix-*" >/dev/null && fail "a staging folder is left: $(compgen -G '.tavrix-*')"
# A folder that cannot be made is found before a frame is read.
expect 1 "dark.raw" "$tavrix" calibrate build --darks dark.raw --flats flat.raw -o dark.raw/sub
grep -q "reading darks" err.txt && fail "an output folder that cannot be made is found only after reading frames"

# Bad input: exit 1, nothing written.
head -c 1000 dark.raw > short.raw
expect 1 "short.raw: 1000 bytes, not a whole number" "$tavrix" calibrate build --darks short.raw --flats flat.raw -o bad1
head -c $((2 * frame)) dark.raw > two.raw
expect 1 "hold 2 frame\(s\); each set needs at least 8" "$tavrix" calibrate build --darks dark.raw --flats two.raw -o bad2
expect 1 "below 5 % of full scale.*|no flat level is left" "$tavrix" calibrate build --darks dark.raw --flats faint.raw -o bad3
grep -q "below 5 % of full scale" err.txt || fail "a faint level is not refused with its reason"
grep -q "no flat level is left" err.txt || fail "no level left is not said"
expect 1 "no flat level is left" "$tavrix" calibrate build --darks dark.raw --flats bright.raw -o bad4
expect 1 "darks .* brighter than flat level 1" "$tavrix" calibrate build --darks flat.raw --flats dark.raw -o bad5
expect 1 "no dark frames" "$tavrix" calibrate build --flats flat.raw -o bad6
for d in bad1 bad2 bad3 bad4 bad5 bad6; do absent $d; done

# Acquisition through the simulated frame grabber, following its schedule.
PCI_FRM01_SIM_SCENE="dark*8,flat:0.7*8" PCI_FRM01_SIM_SEED=$seed \
  expect 0 "maps written" "$tavrix" calibrate acquire --darks 8 --flats 8 --yes -o acq
[ "$(stat -c %s acq/darks.raw)" = $((8 * frame)) ] || fail "acquire stored no 8 dark frames"
cmp -s acq/darks.raw dark.raw || fail "acquired darks differ from the simulator's frames of the same scene"
[ -s acq/report.html ] || fail "acquire wrote no report"
PCI_FRM01_SIM_SCENE="dark*8,flat:0.7*8" PCI_FRM01_SIM_SEED=$seed \
  expect 0 "maps written" "$tavrix" calibrate acquire --darks 8 --flats 8 --yes --discard-frames -o acq2
cmp -s acq/pixel_map.bin acq2/pixel_map.bin || fail "--discard-frames changed the maps"
absent acq2/darks.raw; absent acq2/flats_1.raw
# A card failing mid-set stops the acquisition: exit 1, nothing built, nothing left.
PCI_FRM01_SIM_SCENE="dark*8,flat:0.7*8" PCI_FRM01_SIM_SEED=$seed PCI_FRM01_SIM_FAULT=getframe-error \
  PCI_FRM01_SIM_FAULT_AFTER=12 expect 1 "flats_1.raw: the frame grabber delivered no frame" \
  "$tavrix" calibrate acquire --darks 8 --flats 8 --yes -o torn
absent torn
compgen -G ".tavrix-*" >/dev/null && fail "a failed acquisition left $(compgen -G '.tavrix-*')"
# Frames an earlier run left are refused before the first exposure.
rm acq/pixel_map.bin acq/gain_map.bin
before=$(cat acq/darks.raw acq/flats_1.raw | sha256sum)
PCI_FRM01_SIM_SCENE="flat:0.7*8,dark*8" PCI_FRM01_SIM_SEED=$seed \
  expect 1 "acq holds darks.raw already; --force" "$tavrix" calibrate acquire --darks 8 --flats 8 --yes -o acq
[ "$(cat acq/darks.raw acq/flats_1.raw | sha256sum)" = "$before" ] || fail "acquire overwrote an earlier run's frames"
grep -q "acquiring" err.txt && fail "acquire exposed before refusing the existing frames"

# Ctrl-C while a set is acquired: exit 130, the output folder as it was, no
# temporary file or folder left. Started with Ctrl-C's default action, as from a
# terminal (a script's background job would ignore it).
PCI_FRM01_SIM_SCENE="dark*64" PCI_FRM01_SIM_SEED=$seed python3 -c \
  'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
  "$tavrix" calibrate acquire --darks 64 --flats 8 --yes -o stopped >/dev/null 2>ctrl-c.err </dev/null &
pid=$!
# Its progress line says the darks are being taken.
for _ in $(seq 1 300); do grep -q "acquiring darks" ctrl-c.err 2>/dev/null && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid"; status=$?
[ "$status" = 130 ] || fail "an interrupted calibrate acquire exited $status, expected 130"
grep -q "interrupted while acquiring darks" ctrl-c.err || fail "no word of the interruption: $(tail -c 300 ctrl-c.err)"
! compgen -G "stopped*" >/dev/null || fail "files left: $(ls -d stopped*)"
! compgen -G ".tavrix-*" >/dev/null || fail "temporary files left: $(ls -d .tavrix-*)"

finish calibrate
