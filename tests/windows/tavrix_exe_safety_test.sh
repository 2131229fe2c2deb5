#!/usr/bin/env bash
# What tavrix.exe guarantees about the user's data, under Wine, where files
# are replaced and moved by Windows' rules: two runs writing one prefix never
# both succeed; a calibration folder changes whole or not at all; earlier
# calibration frames are never exposed over; names up to the system's limit
# work and a refused move says why; bad input writes nothing.
#
# usage: tavrix_exe_safety_test.sh TAVRIX_EXE HOLD_FILE_EXE LINUX_BUILD WORK_DIR
set -uo pipefail
exe=$(realpath "$1") hold_file=$(realpath "$2") linux=$(realpath "$3") work=$4
same=$linux/tests/tools/same_pixels
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
source "$here/tavrix_exe_common.sh"

frame=16204480
maps=(--pixel-map pixel.map --gain-map gain.map)
"$linux/tools/make_sim_maps" pixel.map gain.map >/dev/null || exit 1
"$linux/tools/make_sim_frames" flat:0.5 2 7 a.raw && "$linux/tools/make_sim_frames" flat:0.3 2 8 b.raw || exit 1
for run in a b; do tavrix correct "${maps[@]}" -o "ref-$run" "$run.raw" >/dev/null 2>&1 || exit 1; done

# Two runs writing one prefix at once, without --force: one run's images
# exactly, the other exits 1 naming the file it found there; a file it had
# finished is kept beside as P_NNNN-2.tif, never over the winner's.
mkdir race
wtavrix correct "${maps[@]}" -o race/P a.raw >a.out 2>a.err </dev/null &
pid_a=$!
wtavrix correct "${maps[@]}" -o race/P b.raw >b.out 2>b.err </dev/null &
pid_b=$!
wait "$pid_a"; status_a=$?
wait "$pid_b"; status_b=$?
case "$status_a$status_b" in
  01) winner=a loser=b ;;
  10) winner=b loser=a ;;
  *) winner= && fail "two runs on one prefix exited $status_a and $status_b: $(cat a.err b.err)" ;;
esac
if [ -n "$winner" ]; then
  grep -qE "race.P_000[12]\.tif: (exists already|written meanwhile by another run)" "$loser.err" ||
    fail "the refused run does not name the existing file: $(cat "$loser.err")"
  for n in 0001 0002; do
    "$same" "ref-${winner}_$n.tif" "race/P_$n.tif" >/dev/null || fail "race/P_$n.tif is not run $winner's image"
    [ ! -e "race/P_$n-2.tif" ] || "$same" "ref-${loser}_$n.tif" "race/P_$n-2.tif" >/dev/null ||
      fail "race/P_$n-2.tif is not run $loser's image"
  done
  extra=$(ls race | grep -vxE 'P_000[12](-2)?\.tif')
  [ -z "$extra" ] || fail "two runs on one prefix left $extra"
fi

# calibrate build --force into a folder of earlier maps (in a non-ASCII
# folder): a refused build leaves it as it was and its report in
# FOLDER.refused; an accepted one swaps the folder in whole, the earlier one
# kept as FOLDER.previous, the user's own file carried over.
"$linux/tools/make_sim_frames" dark 8 11 dark.raw && "$linux/tools/make_sim_frames" flat:0.7 8 11 flat.raw &&
  "$linux/tools/make_sim_frames" dark 8 12 dark12.raw && "$linux/tools/make_sim_frames" flat:0.7 8 12 flat12.raw ||
  exit 1
cal="Kalibrierung ä/panel0"
mkdir -p "Kalibrierung ä"
tavrix calibrate build --darks dark12.raw --flats flat12.raw -o "$cal" >/dev/null 2>&1 || exit 1
tavrix calibrate build --darks dark.raw --flats flat.raw -o ref-cal >/dev/null 2>&1 || exit 1
echo kept >"$cal/notes.txt"
digests() { (cd "$1" && sha256sum pixel_map.bin gain_map.bin defects.csv report.html); }
before=$(digests "$cal")
expect 1 "maps not written.*panel0.refused.report.html" \
  wtavrix calibrate build --darks dark.raw --flats flat.raw --dead-below 0.99 --force -o "$cal"
[ "$(digests "$cal")" = "$before" ] || fail "a refused build changed the calibration folder"
[ -s "$cal.refused/report.html" ] && [ ! -e "$cal.refused/gain_map.bin" ] ||
  fail "the refused build's report is not kept aside alone: $(ls "$cal.refused")"
expect 0 "maps written" wtavrix calibrate build --darks dark.raw --flats flat.raw --force -o "$cal"
[ "$(digests "$cal.previous")" = "$before" ] || fail "the earlier calibration is not kept as panel0.previous"
for f in pixel_map.bin gain_map.bin defects.csv; do
  cmp -s "ref-cal/$f" "$cal/$f" || fail "the accepted build's $f is not the Linux tool's"
done
[ "$(cat "$cal/notes.txt" 2>/dev/null)" = kept ] || fail "the user's file was not carried over"
no_temporaries "Kalibrierung ä"

# calibrate acquire into a folder holding an earlier run's frames: refused
# before the first exposure, the frames untouched.
mkdir earlier && ln dark.raw earlier/darks.raw && ln flat.raw earlier/flats_1.raw
before=$(cat earlier/* | sha256sum)
PCI_FRM01_SIM_SCENE="dark*8,flat:0.7*8" expect 1 "earlier holds darks.raw already; --force" \
  wtavrix calibrate acquire --darks 8 --flats 8 --yes -o earlier
grep -q "acquiring" err.txt && fail "calibrate acquire exposed before refusing the earlier frames"
[ "$(cat earlier/* | sha256sum)" = "$before" ] && [ "$(ls earlier | wc -l)" = 2 ] ||
  fail "calibrate acquire changed the earlier frames: $(ls earlier)"

# A name as long as the file system allows (255 with _0001.tif): the
# temporary name is short, so it works.
long=long/$(printf 'n%.0s' $(seq 246))
mkdir long
expect 0 "" wtavrix correct "${maps[@]}" -o "$long" a.raw
for n in 0001 0002; do "$same" "ref-a_$n.tif" "${long}_$n.tif" >/dev/null || fail "a long name did not get image $n"; done
no_temporaries long

# Where the image cannot go, with --force: a folder of its name (found before
# any work), and a file another program holds open, as a viewer does, whose
# replacement Windows refuses at the final move: exit 1 with the reason
# (the system's for the move), nothing else changed, nothing left.
mkdir -p moves/P_0001.tif/inside
expect 1 "moves.P_0001.tif: is a folder" wtavrix correct "${maps[@]}" --force -o moves/P a.raw
[ -d moves/P_0001.tif/inside ] && [ ! -e moves/P_0002.tif ] || fail "a refused move changed moves/: $(ls moves)"
echo old >moves/Q_0001.tif
wine "$hold_file" 'moves\Q_0001.tif' release >hold.txt 2>&1 </dev/null &
holder=$!
for _ in $(seq 200); do grep -q held hold.txt && break; sleep 0.1; done
expect 1 "moves.Q_0001.tif: cannot move the finished file into place: (Access (is )?denied|.*used by another process)" \
  wtavrix correct "${maps[@]}" --force -o moves/Q a.raw
touch release && wait "$holder"
[ "$(cat moves/Q_0001.tif)" = old ] && [ ! -e moves/Q_0002.tif ] || fail "a file held open was replaced"
no_temporaries moves

# enhance with a damaged second input: nothing written.
head -c 100000 ref-a_0001.tif >bad.tif
expect 1 "bad.tif: not a readable TIFF" wtavrix enhance -o enh ref-a_0001.tif bad.tif
compgen -G "enh*" >/dev/null && fail "enhance wrote files before finding the bad input: $(ls enh*)"
no_temporaries .

finish "tavrix.exe data safety"
