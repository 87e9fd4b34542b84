#!/usr/bin/env bash
# A libsigrok call blocked for good by a preloaded shim, the acquisition's
# stop and then the device's closing, costs a scan its step's limit and a
# message, never a program that hangs: the bound only catches a hang.
#
#     wedged_stop_test.sh PROGRAM SHIM
set -euo pipefail
# AddressSanitizer wants its runtime first among the program's libraries;
# the shim is. Only the program is given the shim.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LC_ALL=C.UTF-8
err=$(mktemp)
trap 'rm -f "$err"' EXIT
while read -r call step; do
    got=0
    timeout -k 5 90 env WEDGED_CALL="$call" LD_PRELOAD="$2" \
        "$1" --csv -d demo --samplerate 1M >/dev/null 2>"$err" || got=$?
    if [ "$got" != 1 ] || ! grep -qF "non risponde: $step" "$err"; then
        echo "FAIL: exit $got with $call blocked (124: it hung): $(cat "$err")" >&2
        exit 1
    fi
done <<'CALLS'
sr_session_stop l'arresto dell'acquisizione non si è concluso in 5 s
sr_dev_close la chiusura non si è conclusa in 5 s
CALLS
