#!/usr/bin/env bash
# tavrix.exe under Wine against the simulator's PCI_FRM01.dll, command by
# command against the Linux tool on the same inputs: pixels, raw frames, maps
# and defects.csv equal, DICOM equal but for UIDs and dates and valid; paths
# with drive letters, backslashes, spaces and non-ASCII letters; a missing
# card module; the calibration acquired and then used. Few frames: each
# 3072 x 3072 frame costs seconds under Wine.
#
# usage: tavrix_exe_test.sh TAVRIX_EXE LINUX_BUILD WORK_DIR
set -uo pipefail
exe=$(realpath "$1") linux=$(realpath "$2") work=$3
same=$linux/tests/tools/same_pixels
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
source "$here/tavrix_exe_common.sh"

# DICOM attributes as text, without what differs between two runs: UIDs (and
# so the meta group's length and the lengths of the sequences and items that
# hold a UID), dates and times, the study ID made from the start time, the
# record's time.
dicom_text() {
  dcmdump +L "$1" | grep -vE "UID|Date|Time|StudyID|\(7fe0,0010\)|\(0002,0000\)" |
    sed -E 's/"time":"[^"]*"//; / (SQ|na) \(/s/# *[0-9]+,/#/'
}
# equal_outputs L W NAME...: each named file of the Linux run's prefix L equals the Windows run's W.
equal_outputs() {
  local l=$1 w=$2
  shift 2
  for suffix in "$@"; do
    case $suffix in
      *.tif) "$same" "$l$suffix" "$w$suffix" >/dev/null || fail "$w$suffix: other pixels than $l$suffix" ;;
      *.dcm) diff <(dicom_text "$l$suffix") <(dicom_text "$w$suffix") >/dev/null ||
               fail "$w$suffix: other attributes than $l$suffix"
             cmp -s <(dicom_pixels "$l$suffix") <(dicom_pixels "$w$suffix") ||
               fail "$w$suffix: other pixel data than $l$suffix" ;;
      *) cmp -s "$l$suffix" "$w$suffix" || fail "$w$suffix differs from $l$suffix" ;;
    esac
  done
}

"$linux/tools/make_sim_maps" pixel.map gain.map >/dev/null || exit 1
"$linux/tools/make_sim_frames" flat:0.5 2 7 frames.raw || exit 1

# The card's module missing: one line naming it, exit 1, nothing written.
mkdir -p alone && cp "$exe" alone/
expect 1 "PCI_FRM01.dll not found" wine alone/tavrix.exe correct -o alone/x frames.raw
[ "$(wc -l <err.txt)" = 1 ] || fail "a missing module takes more than one line: $(cat err.txt)"
ls alone | grep -qv '^tavrix.exe$' && fail "files written without the module: $(ls alone)"
expect 0 "usage: tavrix correct" wtavrix correct --help
expect 2 "unknown option" wtavrix correct --bogus

# correct: images of every format from frames and maps the Linux tool wrote.
for tool in tavrix wtavrix; do
  expect 0 "" $tool correct --pixel-map pixel.map --gain-map gain.map --format tiff,png,dicom -o "$tool-c" frames.raw
done
equal_outputs tavrix-c wtavrix-c _0001.tif _0002.tif _0001.png _0002.dcm
bash "$here/../tools/dicom/dciodvfy_check.sh" wtavrix-c_0001.dcm >/dev/null || fail "dciodvfy finds errors in tavrix.exe's DICOM"

# acquire, replaying the frames: with the exports, and with --raw through the
# internal door; the raw frames are the card's, the images the same.
for tool in tavrix wtavrix; do
  PCI_FRM01_SIM_FRAMES=frames.raw expect 0 "" $tool acquire --pixel-map pixel.map --gain-map gain.map --frames 2 \
    --enhance 5,10,3,10 --format tiff,dicom -o "$tool-a"
  PCI_FRM01_SIM_FRAMES=frames.raw expect 0 "" $tool acquire --raw --pixel-map pixel.map --gain-map gain.map \
    --frames 2 -o "$tool-r"
done
equal_outputs tavrix-a wtavrix-a _0001.tif _0002_enhanced.tif _0001.dcm _0002_enhanced.dcm
equal_outputs tavrix-r wtavrix-r _0001.raw _0002.raw _0002.tif
equal_outputs wtavrix-a wtavrix-r _0001.tif _0002.tif
head -c 16204480 frames.raw | cmp -s - wtavrix-r_0001.raw || fail "acquire --raw wrote another frame than the card's"
equal_outputs wtavrix-r_0001 wtavrix-c_0001 .tif

# enhance, raw-from-image and maps on files the Linux tool wrote.
for tool in tavrix wtavrix; do
  expect 0 "" $tool enhance --levels 5 --strength 10 --radius 3 -o "$tool-e" tavrix-c_0001.tif
  expect 0 "" $tool raw-from-image tavrix-c_0001.tif -o "$tool-f.raw"
  expect 0 "" $tool maps pixel.map gain.map -o "$tool-m"
done
equal_outputs tavrix-e wtavrix-e _0001_enhanced.tif
equal_outputs tavrix-f wtavrix-f .raw
equal_outputs tavrix-m wtavrix-m _defects.png _gain.png

# Names: a drive letter and backslashes in, spaces and non-ASCII letters out.
folder="Aufnahmen mit Leerzeichen/Röntgen ä"
mkdir -p "$folder" && cp frames.raw "$folder/Bilder ö.raw"
expect 0 "" wtavrix correct --pixel-map "$(winepath -w "$PWD/pixel.map")" --gain-map gain.map --format tiff,dicom \
  -o "Aufnahmen mit Leerzeichen\\Röntgen ä\\Bild ü" "$(winepath -w "$PWD/$folder/Bilder ö.raw")"
equal_outputs tavrix-c "$folder/Bild ü" _0001.tif
cmp -s <(dicom_pixels tavrix-c_0002.dcm) <(dicom_pixels "$folder/Bild ü_0002.dcm") || fail "other DICOM pixels"
dcmdump +L "$folder/Bild ü_0002.dcm" | grep -a 'Röntgen ä\\\\Bilder ö.raw' >/dev/null || fail "the record names the input otherwise"
# Maps in such a folder, handed to the library's LoadPixelMap and LoadGainMap
# (Δ is in no ANSI code page of Western Windows: the short name is used).
cp pixel.map "$folder/Pixel Δ.map" && cp gain.map "$folder/Gain ä.map"
PCI_FRM01_SIM_FRAMES=frames.raw expect 0 "" wtavrix acquire --pixel-map "$folder/Pixel Δ.map" \
  --gain-map "$folder/Gain ä.map" -o "$folder/Aufnahme"
equal_outputs tavrix-a "$folder/Aufnahme" _0001.tif
expect 1 "Röntgen ä.*exists already" wtavrix correct --pixel-map pixel.map --gain-map gain.map \
  -o "Aufnahmen mit Leerzeichen/Röntgen ä/Bild ü" frames.raw
expect 1 "Fehlt ö.raw" wtavrix correct --pixel-map pixel.map --gain-map gain.map -o "Aufnahmen mit Leerzeichen/x" \
  "Fehlt ö.raw"
ls "Aufnahmen mit Leerzeichen"/*/ "Aufnahmen mit Leerzeichen" | grep -q "part" && fail "a temporary file was left"

# The disk full while writing (a file-size limit between the raw frame's size
# and the image's stands in for it): exit 1 naming the image, nothing partial
# left; the raw frame written before stays.
(trap '' XFSZ; ulimit -f 16000; PCI_FRM01_SIM_FRAMES=frames.raw expect 1 "full_0001.tif: cannot write" \
  wtavrix acquire --raw --frames 2 -o full; exit "$failures") || failures=$((failures + 1))
[ "$(stat -c %s full_0001.raw)" = 16204480 ] || fail "disk full: the raw frame written before is gone"
[ -e full_0001.tif ] || [ -e full_0002.raw ] && fail "disk full: a file was left or written after the failure"
ls | grep -q "part" && fail "disk full left a temporary file"
# A read-only folder (root writes anyway): exit 1 naming the file.
if [ "$(id -u)" != 0 ]; then
  mkdir -p locked && chmod a-w locked
  expect 1 "locked.x_0001.tif" wtavrix correct --pixel-map pixel.map --gain-map gain.map -o locked/x frames.raw
  [ -z "$(ls locked)" ] || fail "a read-only folder got files: $(ls locked)"
  chmod u+w locked
fi

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event): the frame in
# hand is finished, the detector disarmed, exit 130, no temporary file left.
wine "$exe" acquire --frames 40 -o stop >out.txt 2>err.txt </dev/null &
pid=$!
for _ in $(seq 240); do [ -e stop_0002.tif ] && break; sleep 0.5; done
kill -INT "$pid"
wait "$pid"
status=$?
[ "$status" = 130 ] || fail "Ctrl-C: exit $status, expected 130"
grep -q "detector disarmed" err.txt || fail "Ctrl-C: no word of the disarmed detector: $(tail -c 300 err.txt)"
[ -e stop_0040.tif ] && fail "Ctrl-C did not stop the acquisition"
ls | grep -q "part" && fail "Ctrl-C left a temporary file"

# The service engineer's calibration under Wine, then an exposure with its
# maps: the same maps, defects and image as the Linux tool's.
for tool in tavrix wtavrix; do
  PCI_FRM01_SIM_SCENE="dark*8,flat:0.7*8" PCI_FRM01_SIM_SEED=11 \
    expect 0 "maps written" $tool calibrate acquire --darks 8 --flats 8 --yes --discard-frames -o "$tool-cal"
  PCI_FRM01_SIM_FRAMES=frames.raw expect 0 "" $tool acquire --pixel-map "$tool-cal/pixel_map.bin" \
    --gain-map "$tool-cal/gain_map.bin" -o "$tool-cal/image"
done
equal_outputs tavrix-cal/ wtavrix-cal/ pixel_map.bin gain_map.bin defects.csv image_0001.tif
[ -e wtavrix-cal/darks.raw ] && fail "--discard-frames left the dark frames"

finish tavrix.exe
