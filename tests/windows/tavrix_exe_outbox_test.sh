#!/usr/bin/env bash
# tavrix.exe's outbox in a folder like a user's profile, with non-ASCII
# letters and spaces (given as Windows writes it: drive letter, backslashes),
# against a real Orthanc on free ports of 127.0.0.1: acquire --send from a
# non-ASCII folder while the PACS is down keeps the image there; send, once
# the PACS is up, delivers it whole and sets a file that is no DICOM aside
# with its note; the outbox is empty after. One frame: each costs seconds
# under Wine.
#
# usage: tavrix_exe_outbox_test.sh TAVRIX_EXE LINUX_BUILD ORTHANC WORK_DIR
set -uo pipefail
exe=$(realpath "$1") linux=$(realpath "$2") orthanc=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
work=$PWD
source "$here/tavrix_exe_common.sh"

outbox="Users/Zoë Ünal/AppData/Local/Tavrix/outbox"
mkdir -p "Users/Zoë Ünal/AppData/Local"
windows_outbox=$(winepath -w "$work/$outbox")

read -r dicom_port http_port < <(python3 -c '
import socket
ports = [socket.socket() for _ in range(2)]
for p in ports: p.bind(("127.0.0.1", 0))
print(*(p.getsockname()[1] for p in ports))')
pacs=PACS@127.0.0.1:$dicom_port
mkdir -p orthanc/storage orthanc/index
cat > orthanc/orthanc.json <<JSON
{
  "Name": "tavrix-wine-test", "StorageDirectory": "$work/orthanc/storage", "IndexDirectory": "$work/orthanc/index",
  "StorageCompression": false, "Plugins": [], "HttpServerEnabled": true, "HttpPort": $http_port,
  "RemoteAccessAllowed": false, "AuthenticationEnabled": false, "DicomServerEnabled": true, "DicomAet": "PACS",
  "DicomPort": $dicom_port, "DicomCheckCalledAet": true, "DicomAlwaysAllowStore": false,
  "DicomCheckModalityHost": true, "DicomModalities": { "station": [ "TAVRIX", "127.0.0.1", 104 ] }, "SaveJobs": false
}
JSON
rest() { curl -sf "http://127.0.0.1:$http_port$1" "${@:2}"; }
orthanc_pid=
trap '[ -z "$orthanc_pid" ] || { kill "$orthanc_pid"; wait "$orthanc_pid"; }' EXIT

"$linux/tools/make_sim_frames" flat:0.5 1 7 frame.raw || exit 1
images="Aufnahmen Zoë/Röntgen ü"
mkdir -p "Aufnahmen Zoë"

# The PACS is down: the image waits in the outbox, whole, under its UID.
PCI_FRM01_SIM_FRAMES=frame.raw expect 3 "1 wait in the outbox .*Zoë Ünal.AppData.Local.Tavrix.outbox" \
  wtavrix acquire --format dicom --send "$pacs" --outbox "$windows_outbox" -o "$images"
uid=$(dcmdump +P SOPInstanceUID "${images}_0001.dcm" | sed 's/.*\[\(.*\)\].*/\1/')
cmp -s "${images}_0001.dcm" "$outbox/$uid.dcm" || fail "the outbox holds no copy of the image as $uid.dcm: $(ls "$outbox")"
echo "not a DICOM file" >"$outbox/notes.dcm"

"$orthanc" orthanc/orthanc.json >orthanc/log.txt 2>&1 &
orthanc_pid=$!
for _ in $(seq 300); do rest /system >/dev/null && break; sleep 0.2; done

# Sent once the PACS is up; the file that is no DICOM set aside with its note.
expect 3 "1 of 2 file\(s\) sent.*1 unreadable set aside" wtavrix send --to "$pacs" --outbox "$windows_outbox"
grep -q "$uid.dcm: sent" out.txt || fail "send did not show the image sent: $(cat out.txt)"
left=$(cd "$outbox" && find . -type f ! -name '.sending' | sort | tr '\n' ' ')
[ "$left" = "./rejected/notes.dcm ./rejected/notes.dcm.reason.txt " ] || fail "the outbox holds after the send: $left"
grep -q "not a readable DICOM file" "$outbox/rejected/notes.dcm.reason.txt" || fail "the set-aside note gives no reason"

# The PACS has the study, the image's pixels as written.
found=$(rest /tools/find -X POST -d "{\"Level\":\"Instance\",\"Query\":{\"SOPInstanceUID\":\"$uid\"}}")
id=$(tr -d '[]" \n' <<<"$found")
[ -n "$id" ] && [ "$id" = "${id%,*}" ] || fail "the PACS holds the image not exactly once: $found"
rest "/instances/$id/file" -o received.dcm || fail "the PACS gives no file for the image"
study=$(dcmdump +P StudyInstanceUID "${images}_0001.dcm")
[ -n "$study" ] && [ "$(dcmdump +P StudyInstanceUID received.dcm)" = "$study" ] || fail "the PACS holds another study"
cmp -s <(dicom_pixels "${images}_0001.dcm") <(dicom_pixels received.dcm) || fail "the PACS holds other pixels"

finish "tavrix.exe outbox"
