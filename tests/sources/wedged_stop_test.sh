#!/usr/bin/env bash
# A libsigrok call that never returns, as in a driver that hangs, costs a
# scan its phase's limit and a message, never a program that hangs: first
# the acquisition's stop, then the device's closing, each blocked for good
# by a preloaded shim. The bound only catches a hang.
#
#     wedged_stop_test.sh PROGRAM SHIM
set -euo pipefail
program=$1
shim=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8
# AddressSanitizer wants its runtime first among the libraries; here the
# shim comes first.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

while read -r call step; do
    got=0
    WEDGED_CALL=$call LD_PRELOAD=$shim timeout -k 5 90 \
        "$program" --csv -d demo --samplerate 1M >"$work/out" 2>"$work/err" || got=$?
    [ "$got" != 124 ] && [ "$got" != 137 ] || fail "hung with $call blocked"
    [ "$got" = 1 ] || fail "exited $got with $call blocked, expected 1: $(cat "$work/err")"
    grep -qF "non risponde: $step" "$work/err" || fail "$call blocked: $(cat "$work/err")"
    [ ! -s "$work/out" ] || fail "a correlogram despite $call blocked"
done <<'CALLS'
sr_session_stop l'arresto dell'acquisizione non si è concluso in 5 s
sr_dev_close la chiusura non si è conclusa in 5 s
CALLS
