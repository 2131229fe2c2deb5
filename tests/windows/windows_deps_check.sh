#!/usr/bin/env bash
# Runs the check of the Windows libraries under Wine, then reads what it wrote
# with the Linux tools: files from the Windows build must satisfy them too.
# usage: windows_deps_check.sh PROGRAM.exe OUTPUT_FOLDER
set -euo pipefail
program=$1
out=$2
rm -rf "$out"
mkdir -p "$out"
cd "$out"

wine "$program" .

# The dictionary and the value representations as Linux's DCMTK reads them;
# the exponent keeps two digits, within the 16 characters of a DS.
dump=$(dcmdump -q check.dcm)
grep -qF '(0010,1020) DS [1.25e-05]' <<<"$dump" || { echo "$dump"; echo "FAIL: PatientSize as dumped"; exit 1; }
grep -qF '(0018,2010) DS [0.139\0.139]' <<<"$dump" || { echo "$dump"; echo "FAIL: spacing as dumped"; exit 1; }

# The secondary capture IOD: warnings are shown, errors fail.
report=$(dciodvfy check.dcm 2>&1 || true)
echo "$report"
if grep -q '^Error' <<<"$report"; then
  echo "FAIL: dciodvfy reports errors in check.dcm"
  exit 1
fi

tiffinfo check.tif | grep -q 'Compression Scheme: AdobeDeflate' || { echo "FAIL: check.tif as tiffinfo reads it"; exit 1; }
echo "the Linux tools read the Windows build's files"
