#!/usr/bin/env bash
# The program without its window, as a script runs it: no display at all.
# The correlogram of known captures, a capture kept and read back, and the
# exit statuses: 0 done, 1 failed, 2 bad options.
#
#     windowless_test.sh PROGRAM
set -euo pipefail
program=$1
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

status() { # EXPECTED ARGUMENTS...: runs the program, stdout to $work/out, stderr to $work/err
    local expected=$1 got=0
    shift
    "$program" "$@" >"$work/out" 2>"$work/err" || got=$?
    [ "$got" = "$expected" ] || fail "correlatore $* exited $got, expected $expected: $(cat "$work/err")"
}

# Both receivers always low: every sample agrees at every lag.
sigrok-cli -d demo --channels D0,D1 --channel-group Logic --config pattern=all-low \
    --samples 2000 -o "$work/low.sr"
status 0 --csv "$work/low.sr"
[ "$(head -n 1 "$work/out")" = "sector,lag,value" ] || fail "header: $(head -n 1 "$work/out")"
[ "$(wc -l <"$work/out")" = 243 ] || fail "$(wc -l <"$work/out") lines, expected 243"
expected=$( (for lag in $(seq 0 120); do echo "SINISTRA,$lag,462.97733108366765"; done
    for lag in $(seq 0 120); do echo "DESTRA,$lag,462.97733108366765"; done))
[ "$(tail -n +2 "$work/out")" = "$expected" ] || fail "all-low capture: $(sed -n 2p "$work/out")"
[ ! -s "$work/err" ] || fail "stderr on success: $(cat "$work/err")"

# A whole capture of the demo, kept and read back, analyses as the device does.
status 0 -d demo -o "$work/demo.sr"
[ ! -s "$work/out" ] || fail "-o wrote to stdout"
sigrok-cli -i "$work/demo.sr" -O binary >"$work/demo.bin"
[ "$(stat -c %s "$work/demo.bin")" = 130000 ] || fail "kept $(stat -c %s "$work/demo.bin") samples"
status 0 --csv "$work/demo.sr"
mv "$work/out" "$work/from-file.csv"
status 0 --csv -d demo
cmp -s "$work/out" "$work/from-file.csv" || fail "the kept capture analyses differently"

# The mean over every whole window: the same layout, other values.
status 0 --csv --integrate "$work/demo.sr"
[ "$(wc -l <"$work/out")" = 243 ] || fail "integrated: $(wc -l <"$work/out") lines"
cmp -s "$work/out" "$work/from-file.csv" && fail "--integrate changed nothing"

# A name that is not UTF-8 names the file, byte for byte.
name=$'caf\xe9.sr'
status 0 -d demo -o "$work/$name"
[ -f "$work/$name" ] || fail "saved under another name: $(ls "$work")"
status 0 --csv "$work/$name"
cmp -s "$work/out" "$work/from-file.csv" || fail "the capture under a Latin-1 name differs"

# Saving never replaces what is not a regular file.
mkfifo "$work/fifo.sr"
status 1 -d demo -o "$work/fifo.sr"
[ -p "$work/fifo.sr" ] || fail "the FIFO was replaced"
grep -q 'non è un file regolare' "$work/err" || fail "FIFO target: $(cat "$work/err")"

# Failures: the message names what failed, in Italian, on stderr.
status 1 --csv "$work/nowhere.sr"
grep -q 'nowhere.sr' "$work/err" && grep -q 'Impossibile aprire' "$work/err" ||
    fail "missing file: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "a failed run wrote to stdout"
printf 'non un archivio' >"$work/text.sr"
status 1 --csv "$work/text.sr"
grep -q 'zip' "$work/err" || fail "text file: $(cat "$work/err")"
status 1 -d demo -o "$work/no/such/folder.sr"
grep -q 'Impossibile salvare' "$work/err" || fail "unwritable: $(cat "$work/err")"
got=0
"$program" --csv "$work/low.sr" >/dev/full 2>"$work/err" || got=$?
[ "$got" = 1 ] || fail "a full output exited $got"
grep -q 'uscita standard' "$work/err" || fail "full output: $(cat "$work/err")"

# The results of many files in one run: a bad file has its row, the others
# theirs, and the status says one failed.
got=0
"$program" --summary --baseline 0.5 "$work/low.sr" "$work/demo.sr" "$work/text.sr" \
    >"$work/out" 2>"$work/err" || got=$?
[ "$got" = 1 ] || fail "a summary with a bad file exited $got"
summary_header=file,verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast,message
summary_header+=,windows,lag_low,lag_high,second_lag,position_m,position_low_m,position_high_m
[ "$(sed -n 1p "$work/out")" = "$summary_header" ] || fail "summary header: $(sed -n 1p "$work/out")"
[ "$(sed -n 2p "$work/out")" = "$work/low.sr,idle-both,,,,,,,,,,,,,," ] || fail "idle row: $(sed -n 2p "$work/out")"
number='-?[0-9]+\.[0-9]{2}'
sed -n 3p "$work/out" | grep -qE "^$work/demo.sr,none,$number,$number,,,,$number,,1,$number,$number,,,,\$" ||
    fail "demo row: $(sed -n 3p "$work/out")"
sed -n 4p "$work/out" | grep -q "^$work/text.sr,error,,,,,,,\"Il file \"\"" || fail "error row: $(sed -n 4p "$work/out")"
sed -n 4p "$work/out" | grep -q '",,,,,,,$' || fail "error row's columns: $(sed -n 4p "$work/out")"
status 2 --summary --speed 0 "$work/low.sr"
grep -q -- '--speed' "$work/err" || fail "speed 0: $(cat "$work/err")"

# sigrok-cli's forms: --scan lists what it finds, or says none was found;
# a file from its binary import, channels 0..3, is read on the first two.
status 0 --scan -d demo:logic_channels=3
grep -qx 'demo:logic_channels=3 - Demo device con 3 canali logici: D0 D1 D2' "$work/out" ||
    fail "scan: $(cat "$work/out")"
status 1 --scan -d "ols:conn=$work/nowhere"
grep -q 'Nessun analizzatore logico trovato' "$work/err" || fail "scan of none: $(cat "$work/err")"
status 0 --csv -d demo --config samplerate=1m
head -c 65536 /dev/urandom >"$work/numbered.bin"
sigrok-cli -i "$work/numbered.bin" -I binary:numchannels=4:samplerate=1000000 -o "$work/numbered.sr"
status 0 --summary "$work/numbered.sr"
sed -n 2p "$work/out" | grep -q ',"Canali 0 (destro) e 1 (sinistro), i primi due: mancano D0 e D1.",' ||
    fail "first two channels: $(sed -n 2p "$work/out")"

# Continuous scanning: the header, then one line a row, here five.
status 0 --follow --count 5 -d demo --samplerate 1M --row-period 0.05
[ "$(wc -l <"$work/out")" = 6 ] || fail "--follow --count 5: $(wc -l <"$work/out") lines"
row_header=time,windows,verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast
row_header+=,message,lag_low,lag_high,second_lag,position_m,position_low_m,position_high_m,start_s
[ "$(sed -n 1p "$work/out")" = "$row_header" ] || fail "follow header: $(sed -n 1p "$work/out")"
sed -n 2p "$work/out" | grep -qE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2},4[12],[a-z]+,.*,0\.000000$' ||
    fail "follow row: $(sed -n 2p "$work/out")"
# Each row starts where its first window does: 41 windows of 1200 samples in.
sed -n 3p "$work/out" | grep -q ',0\.049200$' || fail "second row's start: $(sed -n 3p "$work/out")"
# SIGINT ends it, with status 0.
"$program" --follow -d demo --samplerate 1M >"$work/out" 2>"$work/err" &
follower=$!
while [ "$(wc -l <"$work/out")" -lt 3 ]; do sleep 0.1; done
kill -INT "$follower"
got=0
wait "$follower" || got=$?
[ "$got" = 0 ] || fail "--follow after SIGINT exited $got: $(cat "$work/err")"

# A file replayed: its every row, with no time of day, to its last sample,
# which standard error notes; 416 whole windows make five rows of 100 ms.
sigrok-cli -d demo --channels D0,D1 --config samplerate=1M --samples 500000 -o "$work/long.sr"
status 0 --follow "$work/long.sr"
[ "$(wc -l <"$work/out")" = 6 ] || fail "--follow of a file: $(wc -l <"$work/out") lines"
[ "$(tail -n +2 "$work/out" | grep -c '^,8[34],')" = 5 ] || fail "replayed rows: $(cat "$work/out")"
tail -n 1 "$work/out" | grep -q ',0\.399600$' || fail "last row's start: $(tail -n 1 "$work/out")"
grep -q "ultimo campione" "$work/err" || fail "replay's end not told: $(cat "$work/err")"
status 1 --follow "$work/missing.sr"
# The simulator wherever an analyser goes, never beside one.
status 0 --summary --simulate -30
sed -n 2p "$work/out" | grep -q '^simulatore,source,-30\.00,' || fail "simulated: $(cat "$work/out")"
status 2 --summary --simulate -30 -d demo
status 2 --follow --simulate 130

# The whitened analysis: its 242 coefficients, and a source it finds; the
# place along a pipe, (L - c tau) / 2 from the right sensor.
status 0 --csv --whiten "$work/demo.sr"
[ "$(wc -l <"$work/out")" = 243 ] || fail "whitened: $(wc -l <"$work/out") lines"
tail -n +2 "$work/out" | awk -F, '$3 < -1 || $3 > 1 { bad = 1 } END { exit bad }' ||
    fail "a whitened coefficient outside -1..1"
status 0 --summary --whiten --simulate -30
sed -n 2p "$work/out" | grep -qE '^simulatore,source,-30\.00,-600\.00,,,,[0-9.]+,,,-30\.50,-29\.50,,,,$' ||
    fail "whitened simulation: $(sed -n 2p "$work/out")"
status 0 --summary --simulate -30 --samplerate 1M --pipe 100 --speed 1300
sed -n 2p "$work/out" | grep -q ',50\.02,50\.02,50\.02$' || fail "pipe: $(sed -n 2p "$work/out")"
status 2 --csv --whiten --integrate "$work/demo.sr"
status 2 --summary --baseline 1 --pipe 2 "$work/demo.sr"
status 2 --summary --speed 1300 "$work/demo.sr"
status 2 --whiten "$work/demo.sr"

# Bad options stop before any work.
status 2 --csv --bogus
status 2 --csv -d demo --config limit_samples=10
status 2 --csv -d demo --samplerate 2166
status 2 --follow --row-period 0.01 -d demo
status 2 --follow --count 0 -d demo
status 2 --count 5 -d demo
status 2 --follow -d demo "$work/low.sr"
status 2 --csv -d demo "$work/low.sr"
status 2 -o "$work/copy.sr" "$work/low.sr"
[ ! -e "$work/copy.sr" ] || fail "a refused command line wrote a file"
# Every run that writes to standard output fails with status 1 and says so
# when it cannot: a full device, or no standard output at all.
while read -r arguments; do
    eval "set -- $arguments"
    for target in full closed; do
        got=0
        if [ "$target" = full ]; then
            "$program" "$@" >/dev/full 2>"$work/err" || got=$?
            expected='Impossibile scrivere sull.uscita standard: No space left on device'
        else
            "$program" "$@" >&- 2>"$work/err" || got=$?
            expected='uscita standard è chiusa'
        fi
        [ "$got" = 1 ] || fail "correlatore $* to $target exited $got: $(cat "$work/err")"
        grep -q "$expected" "$work/err" || fail "correlatore $* to $target: $(cat "$work/err")"
    done
done <<EOF
--help
--version
--summary "$work/low.sr"
--scan -d demo
--csv "$work/low.sr"
--follow -d demo --samplerate 1M
EOF
# A run that does not write there keeps its file where the output was.
"$program" -d demo -o "$work/closed.sr" >&- 2>"$work/err" || fail "-o without stdout: $(cat "$work/err")"
[ ! -s "$work/err" ] && status 0 --csv "$work/closed.sr" || fail "-o without stdout: $(cat "$work/err")"
# A reader that goes away stops --follow at its next row.
got=$( (
    trap '' PIPE
    timeout 20 "$program" --follow -d demo --samplerate 1M 2>"$work/err"
    echo "status $?" >"$work/status"
) | head -n 2 | wc -l)
[ "$got" = 2 ] && grep -qx 'status 1' "$work/status" || fail "--follow into a closed pipe: $(cat "$work/status")"
grep -q 'Broken pipe' "$work/err" || fail "closed pipe: $(cat "$work/err")"

# A row period shorter than one window is raised, and --follow says so once.
status 0 --follow --count 2 -d demo --samplerate 5k
[ "$(grep -c 'Periodo delle righe portato a 0.240 s' "$work/err")" = 1 ] || fail "raised: $(cat "$work/err")"

# No option is dropped: what the run chosen cannot honour is refused, with
# what refused it named.
while read -r message arguments; do
    eval "set -- $arguments"
    status 2 "$@"
    grep -q -- "$message" "$work/err" || fail "correlatore $*: $(cat "$work/err")"
done <<EOF
--follow.e.--csv --follow --csv -d demo
--summary.e.-o/--output --summary -o "$work/copy.sr"
--scan.e.--csv --scan --csv
--scan.non.si.usa --scan "$work/low.sr"
-d.non.si.usa --summary -d demo "$work/low.sr"
--integrate.vale.solo -d demo -o "$work/copy.sr" --integrate
--baseline.non.vale.con.--scan --scan --baseline 1
--integrate.non.vale.nella.finestra --integrate
"limit_frames" -d demo --config limit_frames=2
Opzione.sconosciuta --folow
EOF
grep -q -- '--follow, --count, --row-period' "$work/err" || fail "options listed: $(cat "$work/err")"
[ ! -e "$work/copy.sr" ] || fail "a refused command line wrote a file"

echo "windowless runs: ok"
