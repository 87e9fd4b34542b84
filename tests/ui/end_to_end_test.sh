#!/usr/bin/env bash
# Runs the real program in a real X server and works it from outside, as a
# person would: set a delay on the slider, press "Sorgente DX", press the
# analysis button, look at the screen, close the window.
#
#     end_to_end_test.sh PROGRAM SCREEN_PROBE CLOSE_WINDOW [DELAY] [SCREENSHOT_DIR]
set -euo pipefail
source "$(dirname "$0")/program_window.sh"

program=$1
probe=$2
close_window=$3
delay=${4:-26}
shots=${5:-}

open_window "$program"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
[ "$WIDTH" -ge 1007 ] && [ "$HEIGHT" -ge 667 ] || fail "window too small: ${WIDTH}x${HEIGHT}"
[ -n "$shots" ] && "$probe" "$X" "$Y" "$shots/start.png" >/dev/null

click() { # a point of the window, in pixels of its layout
    xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1
    sleep 0.3
}

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
