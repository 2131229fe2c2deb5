#!/usr/bin/env bash
# Every tavrix command end to end on real files in a temporary folder, and
# every kind of bad input: the exit status, the message and what is left on
# disk.
#
# usage: tavrix_commands_test.sh TAVRIX MAKE_SIM_MAPS SAME_PIXELS WORK_DIR
set -uo pipefail
tavrix=$1 make_maps=$2 same=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/../../support/tool_checks.sh" || exit 1
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1


"$make_maps" pixel.map gain.map >/dev/null || exit 1
head -c 9443329 /dev/zero > neutral_pixel.map
python3 -c "import sys; sys.stdout.buffer.write(b'\x00\x00\x80\x3f' * 3072 * 3072)" > neutral_gain.map

# Help and usage.
expect 0 "" "$tavrix" help; grep -q "raw-from-image" out.txt || fail "help lists no commands"
expect 0 "" "$tavrix" --help
for command in acquire correct enhance maps raw-from-image; do
  expect 0 "" "$tavrix" "$command" --help; grep -q "usage: tavrix $command" out.txt || fail "$command --help"
done
expect 2 "unknown command" "$tavrix" frobnicate
expect 2 "unknown option --bogus" "$tavrix" acquire --bogus -o a
expect 2 "usage: tavrix acquire" "$tavrix" acquire -o
expect 2 "--panel must be" "$tavrix" acquire --panel 7 -o a
expect 2 "--enhance takes 4" "$tavrix" acquire --enhance 1,2 -o a
# Values the library would leave its output untouched with: refused before arming.
expect 2 "--enhance: levels 0 is outside 1..5" "$tavrix" acquire --enhance 0,10,2,10 -o badenh
expect 2 "--enhance: decay 31 is outside 1..30" "$tavrix" acquire --enhance 5,10,2,31 -o badenh
no_files "badenh_*"
expect 2 "-o PREFIX is required" "$tavrix" acquire
expect 2 "--format: unknown" "$tavrix" acquire --format jpeg -o a
# Options are taken strictly: one value each, whole numbers as written, a value is a value.
expect 2 "--frames is given twice" "$tavrix" acquire --frames 2 --frames 1 -o a
expect 2 "-o is given twice" "$tavrix" acquire -o a -o b
for bad in +1 " 1" 8.9; do expect 2 "--frames must be" "$tavrix" acquire --frames "$bad" -o a; done
expect 1 "" "$tavrix" acquire --patient-name -h -o missing/dir/x
grep -q "no such folder" err.txt || fail "--patient-name -h was not taken as the name"

# acquire: maps, messages, enhancement, every format; the record in the TIFF.
printf 'v\x66\x19g' > serial.bin
PCI_FRM01_SIM_UART=serial.bin expect 0 "" "$tavrix" acquire --pixel-map pixel.map --gain-map gain.map \
  --enhance 5,10,3,10 --format tiff,png,dicom -o acq
for f in acq_0001.tif acq_0001.png acq_0001.dcm acq_0001_enhanced.tif acq_0001_enhanced.png acq_0001_enhanced.dcm; do
  [ -s "$f" ] || fail "acquire wrote no $f"
done
if command -v tiffinfo >/dev/null; then
  info=$(tiffinfo acq_0001.tif 2>&1)
  for want in '"switch_codes":\[1\]' '"temperature":21' "\"pixel_map\":\"$(sha256sum pixel.map | cut -c1-64)\"" \
              'Software: tavrix 1.0.0' 'Make: Tavrix' 'Resolution: 71.9'; do
    grep -qE -- "$want" <<<"$info" || fail "acq_0001.tif lacks $want"
  done
fi
bash "$here/../dicom/dciodvfy_check.sh" acq_0001.dcm acq_0001_enhanced.dcm >/dev/null || fail "dciodvfy finds errors"
expect 0 "" "$tavrix" acquire -o plain
grep -q "neutral maps" out.txt || fail "acquire without maps does not say the neutral maps are used"
expect 1 "exists already" "$tavrix" acquire -o plain
expect 0 "" "$tavrix" acquire --force -o plain
expect 1 "no such folder" "$tavrix" acquire -o missing/dir/x
head -c 100 pixel.map > short.map
expect 1 "short.map: 100 bytes" "$tavrix" acquire --pixel-map short.map --gain-map gain.map -o short
no_files "short_*"
PCI_FRM01_SIM_DEVICE=absent expect 1 "CheckFrameGrabber" "$tavrix" acquire -o absent
no_files "absent_*"

# A frame that never comes: after the 30-second waits, exit 1; the frames
# written before stay.
PCI_FRM01_SIM_FAULT=never-ready PCI_FRM01_SIM_FAULT_AFTER=1 expect 1 "RunforDetector\(2\) returned 0 for frame 2" \
  "$tavrix" acquire --frames 3 -o late
[ -s late_0001.tif ] || fail "the frame acquired before the time-out is gone"
no_files "late_0002*"

# Ctrl-C during that wait: exit 130 once the wait ends, saying so.
PCI_FRM01_SIM_FAULT=never-ready "$tavrix" acquire -o waiting >/dev/null 2>wait.err &
pid=$!
sleep 2
kill -INT "$pid"
wait "$pid"; status=$?
[ "$status" = 130 ] || fail "Ctrl-C during the wait for a frame: exit $status, expected 130"
grep -q "interrupted while waiting for frame 1" wait.err || fail "Ctrl-C during the wait: $(head -c 300 wait.err)"

# A frame the card fails to deliver, whole or at all: exit 1 naming it and what
# the card reported; the frame before stays, nothing is written for it.
for fault in getframe-error short-frame; do
  PCI_FRM01_SIM_FAULT=$fault PCI_FRM01_SIM_FAULT_AFTER=1 expect 1 \
    "RunforDetector\(2\) returned 0 for frame 2: the card reported the frame transfer failed" \
    "$tavrix" acquire --frames 3 --enhance 5,10,3,10 --format tiff,png,dicom -o torn-$fault
  [ -s torn-${fault}_0001.dcm ] || fail "$fault: the frame acquired before the failure is gone"
  no_files "torn-${fault}_0002*"
done

# Ctrl-C stops after the current frame, disarms, keeps what was written.
"$tavrix" acquire --frames 40 -o stop >/dev/null 2>stop.err &
pid=$!
for _ in $(seq 1 600); do [ -e stop_0001.tif ] && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid"; status=$?
[ "$status" = 130 ] || fail "an interrupted acquire exited $status, expected 130"
written=$(compgen -G "stop_*.tif" | wc -l)
[ "$written" -ge 1 ] && [ "$written" -lt 40 ] || fail "an interrupted acquire left $written frames"
no_files ".tavrix-*"; no_files "*.part-*"

# raw-from-image, then the same frame acquired (replayed) and corrected from the file.
expect 0 "" "$tavrix" raw-from-image acq_0001.tif -o frame.raw
[ "$(stat -c %s frame.raw)" = 16204480 ] || fail "raw-from-image wrote $(stat -c %s frame.raw) bytes"
cat frame.raw frame.raw > two.raw
PCI_FRM01_SIM_FRAMES=frame.raw expect 0 "" "$tavrix" acquire --pixel-map pixel.map --gain-map gain.map -o replay
expect 0 "" "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o corr frame.raw two.raw
[ -s corr_0003.tif ] && [ ! -e corr_0004.tif ] || fail "correct numbers frames across files"
"$same" replay_0001.tif corr_0001.tif || fail "correct differs from acquiring the same frame with the same maps"
"$same" corr_0001.tif corr_0003.tif || fail "the same frame corrected twice differs"
# --raw: the card's frame beside the image, which equals the exports' image.
PCI_FRM01_SIM_FRAMES=frame.raw expect 0 "" "$tavrix" acquire --raw --pixel-map pixel.map --gain-map gain.map -o rawacq
cmp -s rawacq_0001.raw frame.raw || fail "acquire --raw wrote another frame than the card delivered"
"$same" rawacq_0001.tif replay_0001.tif || fail "acquire --raw differs from acquiring through the exports"
PCI_FRM01_SIM_FRAMES=frame.raw expect 0 "" "$tavrix" acquire -o neutral
expect 0 "" "$tavrix" correct --pixel-map neutral_pixel.map --gain-map neutral_gain.map -o ncorr frame.raw
"$same" neutral_0001.tif ncorr_0001.tif || fail "a replayed frame with neutral maps differs from correct"
head -c 1000 frame.raw > odd.raw
expect 1 "odd.raw: 1000 bytes, not a whole number of raw frames of 16204480" \
  "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o odd frame.raw odd.raw
# Only regular files are read: a device or a named pipe is named, never waited on.
mkfifo pipe
expect 1 "pipe: a named pipe" timeout -k 2 20 "$tavrix" correct --pixel-map pipe --gain-map gain.map -o pipe frame.raw
expect 1 "/dev/zero: a device" timeout -k 2 20 "$tavrix" correct --pixel-map /dev/zero --gain-map gain.map -o zero frame.raw
expect 1 "/dev/zero: a device" timeout -k 2 20 "$tavrix" maps pixel.map /dev/zero
expect 1 "pipe: a named pipe" timeout -k 2 20 "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o pipe pipe
no_files "pipe_*"; no_files "zero_*"
# Words beyond the panel's 14 bits (byte-swapped frames): counted and refused.
python3 -c "import sys; d=open('frame.raw','rb').read(); s=bytearray(len(d)); s[0::2]=d[1::2]; s[1::2]=d[0::2]; sys.stdout.buffer.write(s)" > swapped.raw
expect 1 "swapped.raw: frame 0: [0-9]+ of its 7420160 data pixels exceed 16383.*byte-swapped" \
  "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o swapped swapped.raw
no_files "swapped_*"
# A gain map that would blacken the images is refused, with its counts, unless accepted.
python3 -c "import sys; sys.stdout.buffer.write(b'\x00\x00\xc0\x7f' * 3072 * 3072)" > nan_gain.map
head -c 37748736 /dev/zero > zero_gain.map
expect 1 "zero_gain.map: 0 gains not finite and 7420160 zero or negative" \
  "$tavrix" correct --pixel-map pixel.map --gain-map zero_gain.map -o badgain frame.raw
no_files "badgain_*"
expect 1 "nan_gain.map: 7420160 gains not finite" "$tavrix" acquire --pixel-map pixel.map --gain-map nan_gain.map -o badgain
no_files "badgain_*"
expect 1 "nan_gain.map: 7420160 gains not finite" "$tavrix" maps pixel.map nan_gain.map
expect 0 "" "$tavrix" maps --accept-bad-gains pixel.map nan_gain.map
expect 0 "" "$tavrix" correct --accept-bad-gains --pixel-map pixel.map --gain-map zero_gain.map -o badgain frame.raw
# A picture where raw frames or images are expected: its format is named.
expect 1 "acq_0001.png: .*it is a PNG image" "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o png acq_0001.png
expect 1 "it is a PNG image" "$tavrix" enhance -o png acq_0001.png
no_files "odd_*"
expect 1 "nope.raw" "$tavrix" correct --pixel-map pixel.map --gain-map gain.map -o nope nope.raw
expect 1 "short.map" "$tavrix" correct --pixel-map short.map --gain-map gain.map -o nope frame.raw
expect 2 "required" "$tavrix" correct -o x frame.raw

# enhance: TIFF and .raw inputs, untouched; equal to acquire's enhancement.
before=$(sha256sum acq_0001.tif)
expect 0 "" "$tavrix" enhance --levels 5 --strength 10 --radius 3 --decay 10 -o enh acq_0001.tif
[ "$(sha256sum acq_0001.tif)" = "$before" ] || fail "enhance modified its input"
"$same" enh_0001_enhanced.tif acq_0001_enhanced.tif || fail "enhance differs from acquire's enhancement"
expect 1 "odd.raw: 1000 bytes; a 16-bit single-channel TIFF or a raw image of 18874368" "$tavrix" enhance -o e2 odd.raw
expect 1 "missing.tif" "$tavrix" enhance -o e3 missing.tif
# An 8-bit, 2 x 2 TIFF.
printf 'II*\x00\x08\x00\x00\x00\x08\x00\x00\x01\x03\x00\x01\x00\x00\x00\x02\x00\x00\x00\x01\x01\x03\x00\x01\x00\x00\x00\x02\x00\x00\x00\x02\x01\x03\x00\x01\x00\x00\x00\x08\x00\x00\x00\x03\x01\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x06\x01\x03\x00\x01\x00\x00\x00\x01\x00\x00\x00\x11\x01\x04\x00\x01\x00\x00\x00\x6e\x00\x00\x00\x16\x01\x03\x00\x01\x00\x00\x00\x02\x00\x00\x00\x17\x01\x04\x00\x01\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x01\x02\x03\x04' > small.tif
expect 1 "small.tif: 2 x 2, 1 channel\(s\) of 8 bits" "$tavrix" enhance -o e4 small.tif
no_files "e[234]_*"
expect 2 "--levels must be" "$tavrix" enhance --levels 0 -o e5 acq_0001.tif
# Inputs that are no 16-bit image: the reason, or the format found and the ones read.
mkdir -p a_folder out_folder
expect 1 "a_folder: a folder, not a file" "$tavrix" enhance -o e6 a_folder
expect 1 "a_folder: a folder, not a file" "$tavrix" maps a_folder
expect 1 "a_folder: a folder, not a file" "$tavrix" raw-from-image a_folder -o e6.raw
expect 1 "acq_0001.dcm: it is a DICOM file.*16-bit single-channel TIFF" "$tavrix" enhance -o e6 acq_0001.dcm
expect 1 "acq_0001.png: it is a PNG image" "$tavrix" enhance -o e6 acq_0001.png
tiffcp acq_0001.tif acq_0001.tif two_pages.tif
expect 1 "two_pages.tif: holds 2 images" "$tavrix" enhance -o e6 two_pages.tif
no_files "e6*"
expect 1 "out_folder: is a folder" "$tavrix" raw-from-image acq_0001.tif -o out_folder --force
no_files "out_folder.part-*"
# A TIFF whose tags say its pixels mean something else is refused, the tag named.
cp acq_0001.tif white.tif && tiffset -s 262 0 white.tif && cp acq_0001.tif turned.tif && tiffset -s 274 3 turned.tif
expect 1 "white.tif: Photometric 0 \(min-is-white\)" "$tavrix" enhance -o white white.tif
expect 1 "turned.tif: Orientation 3" "$tavrix" raw-from-image turned.tif -o turned.raw
no_files "white_*"; no_files "turned.raw"
# A bad image among good ones: refused before anything is written.
expect 1 "odd.raw: 1000 bytes" "$tavrix" enhance -o e6 acq_0001.tif odd.raw acq_0001.tif
no_files "e6_*"

# maps: a report, and pictures with -o.
expect 0 "" "$tavrix" maps pixel.map gain.map -o mp
grep -qi "defective" out.txt || fail "maps reports no defective pixels"
for f in mp_defects.png mp_gain.png mp_gain_histogram.png; do [ -s "$f" ] || fail "maps wrote no $f"; done
expect 1 "short.map" "$tavrix" maps short.map
expect 1 "missing.map" "$tavrix" maps missing.map

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "every command and every bad input behaved as documented"
