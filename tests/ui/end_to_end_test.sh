#!/usr/bin/env bash
# Runs the real program in a real X server and works it from outside, as a
# person would: set a delay on the slider, press "Sorgente DX", press the
# analysis button, look at the screen, close the window. Then once more with
# libsigrok's demo analyser: scan, see the analysis button turn green,
# analyse, see the bars. Last, a capture of the demo kept in a session file
# and given on the command line: green at once, analysis, bars.
#
#     end_to_end_test.sh PROGRAM SCREEN_PROBE CLOSE_WINDOW [DELAY] [SCREENSHOT_DIR]
set -euo pipefail
source "$(dirname "$0")/program_window.sh"

program=$1
probe=$2
close_window=$3
delay=${4:-26}
shots=${5:-}

click() { # a point of the window, in pixels of its layout
    xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1
    sleep 0.3
}

# After WHAT the analysis button must be green; then an analysis draws bars,
# and the window is closed.
green_then_bars() { # WHAT
    read -r red green blue < <("$probe" "$X" "$Y" --colour 900 659) # low on ANALISI's face
    [ "$green" -gt 200 ] && [ "$red" -lt 120 ] && [ "$blue" -lt 120 ] ||
        fail "after $1 the analysis button is $red $green $blue, not green"
    click 932 644 # ANALISI
    sleep 1
    [ "$("$probe" "$X" "$Y")" -ge 0 ] || fail "no bars after analysing $1"
    close_window_and_wait "$close_window"
}

open_and_measure() { # ARGUMENTS...: opens the program, sets X, Y, WIDTH, HEIGHT
    open_window "$program" "$@"
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" -ge 1007 ] && [ "$HEIGHT" -ge 667 ] || fail "window too small: ${WIDTH}x${HEIGHT}"
}

open_and_measure
[ -n "$shots" ] && "$probe" "$X" "$Y" "$shots/start.png" >/dev/null

# The slider: a click in its trough gives it the focus, Home takes it to 0,
# then one Right arrow per sample of delay.
click 780 596
xdotool key Home
for ((n = 0; n < delay; n++)); do xdotool key Right; done
click 831 644 # Sorgente DX
click 932 644 # ANALISI
sleep 1
# Over the peak, as a reader would: the pixel nearest 7600 + 62.5 * delay twips.
xdotool mousemove "$((X + (15200 + 125 * delay + 15) / 30))" "$((Y + 300))"
sleep 0.5

tallest=$("$probe" "$X" "$Y" ${shots:+"$shots/analysis.png"})
[ "$tallest" = "$delay" ] || fail "tallest right-sector bar at lag $tallest, expected $delay"

close_window_and_wait "$close_window"

# The demo analyser: a scan of 130,000 samples at 50 kHz takes 2.6 s.
open_and_measure -d demo
click 628 644 # SCANSIONE SETTORE
sleep 4
green_then_bars "a scan of the demo"

capture=$(mktemp -d)
trap 'rm -rf "$capture"' EXIT
"$program" -d demo -o "$capture/demo.sr" || fail "could not keep a capture of the demo"
open_and_measure "$capture/demo.sr"
green_then_bars "opening a capture"
