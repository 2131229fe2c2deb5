#!/usr/bin/env bash
# tavrix qa end to end on the simulated panel's imaging-physics frames,
# corrected with neutral maps: every measurement writes qa.json and a report
# whose plots load, and bad input exits as documented, leaving no results.
#
# usage: qa_test.sh TAVRIX MAKE_QA_FRAMES WORK_DIR
set -uo pipefail
tavrix=$1 make_frames=$2 work=$3
source "$(dirname "$0")/../../support/tool_checks.sh" || exit 1
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# check FILE PYTHON_EXPRESSION: the expression over qa.json's object `j` holds.
check() {
  python3 -c "import json,sys; j=json.load(open('$1')); sys.exit(0 if ($2) else 1)" || fail "$1: not ($2)"
}

# Neutral maps, and a second gain map that differs in one pixel: another panel.
head -c $((3073 * 3073)) /dev/zero > pixel.map
python3 -c "import struct,sys; sys.stdout.buffer.write(struct.pack('<f',1.0)*(3072*3072))" > gain.map
python3 -c "import struct,sys; g=bytearray(open('gain.map','rb').read()); g[4*(1000*3072+1000):4*(1000*3072+1001)]=struct.pack('<f',1.01); sys.stdout.buffer.write(g)" > other_gain.map
maps=(--pixel-map pixel.map --gain-map gain.map)
seed=23
for scene in edge:h:2.2 edge:v:1.8 flat:2.5*8 dark*4 lag:5; do
  "$make_frames" "$scene" $seed "$(tr ':*' '__' <<<"$scene").raw" || exit 1
done
for kerma in 1 2 4; do "$make_frames" "flat:$kerma" $seed "response_$kerma.raw" || exit 1; done

expect 0 "" "$tavrix" qa --help; grep -q "usage: tavrix qa mtf" out.txt || fail "qa --help"

expect 0 "report.html" "$tavrix" qa mtf --edge edge_h_2.2.raw edge_v_1.8.raw "${maps[@]}" -o mtf
check mtf/qa.json "j['mtf']['direction'] == 'horizontal' and j['mtf_vertical']['direction'] == 'vertical'"
check mtf/qa.json "0.3 < j['mtf']['at_1_per_mm'] < 0.95 and abs(abs(j['mtf']['edge_angle_degrees']) - 2.2) < 0.1"
expect 0 "" "$tavrix" qa nps --flats flat_2.5_8.raw --kerma 2.5 --dark-level 100 "${maps[@]}" -o nps
check nps/qa.json "j['nnps']['flats'] == 8 and len(j['nnps']['values_mm2']) == len(j['nnps']['frequencies_per_mm']) > 10"
expect 0 "" "$tavrix" qa dqe --mtf mtf --nps nps --kerma 2.5 -o dqe
check dqe/qa.json "0.2 < j['dqe']['at_1_per_mm'] < 1 and 'dqe_vertical' in j and j['dqe']['beam_quality'] == 'RQA5'"
for plot in mtf nnps dqe; do
  grep -q "src=\"$plot.png\"" dqe/report.html || fail "the DQE report shows no $plot.png"
  [ -s "dqe/$plot.png" ] || fail "dqe/$plot.png missing"
done
expect 0 "" "$tavrix" qa response --flats-at 1=response_1.raw 2=response_2.raw 4=response_4.raw "${maps[@]}" -o response
check response/qa.json "j['response']['r_squared'] > 0.999 and abs(j['response']['counts_per_ugy'] / 1000 - 1) < 0.02"
expect 0 "" "$tavrix" qa lag --sequence lag_5.raw "${maps[@]}" -o lag
check lag/qa.json "0 < j['lag']['first_frame_lag_percent'] < 10"
expect 0 "" "$tavrix" qa dark --darks dark_4.raw "${maps[@]}" -o dark
check dark/qa.json "j['dark']['frames'] == 4 and 90 < j['dark']['mean'] < 110"

if command -v chromium >/dev/null; then
  widths=$(rendered_image_widths dqe/report.html)
  [ "$(wc -w <<<"$widths")" = 3 ] || fail "the rendered DQE report has $(wc -w <<<"$widths") plots, not 3"
  for w in $widths; do [ "$w" -gt 0 ] || fail "a plot of the report does not load (width $w)"; done
fi

# Bad input: the exit status and the reason, and no results left.
expect 2 "--kerma UGY is required" "$tavrix" qa nps --flats flat_2.5_8.raw "${maps[@]}" -o bad1
expect 2 "air kerma must be above 0" "$tavrix" qa nps --flats flat_2.5_8.raw --kerma 0 "${maps[@]}" -o bad2
expect 2 "--kerma" "$tavrix" qa dqe --mtf mtf --nps nps -o bad3
expect 2 "measured at 2.500 uGy" "$tavrix" qa dqe --mtf mtf --nps nps --kerma 5 -o bad4
expect 2 "--pixel-map and --gain-map are required" "$tavrix" qa dark --darks dark_4.raw -o bad5
expect 2 "unknown measurement" "$tavrix" qa mft --edge edge_h_2.2.raw "${maps[@]}" -o bad6
expect 2 "unknown beam quality" "$tavrix" qa dqe --mtf mtf --nps nps --kerma 2.5 --beam RQA9 -o bad7
expect 1 "no edge" "$tavrix" qa mtf --edge response_1.raw "${maps[@]}" -o bad8
expect 1 "regions" "$tavrix" qa nps --flats response_1.raw response_2.raw --kerma 2 "${maps[@]}" -o bad9
expect 0 "" "$tavrix" qa nps --flats flat_2.5_8.raw --kerma 2.5 --pixel-map pixel.map --gain-map other_gain.map -o nps_other
expect 1 "different maps" "$tavrix" qa dqe --mtf mtf --nps nps_other --kerma 2.5 -o bad10
expect 1 "lag sequence has 1" "$tavrix" qa lag --sequence edge_h_2.2.raw "${maps[@]}" -o bad11
expect 1 "holds qa.json already" "$tavrix" qa dark --darks dark_4.raw "${maps[@]}" -o dark
for bad in bad1 bad2 bad3 bad4 bad5 bad6 bad7 bad8 bad9 bad10 bad11; do
  [ ! -e "$bad/qa.json" ] && [ ! -e "$bad/report.html" ] || fail "$bad holds results of a refused measurement"
done

finish qa
