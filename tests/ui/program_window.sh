# Sourced by the tests that run the program in a real X server: reruns the
# sourcing script under xvfb-run when there is no display, and gives it the
# steps every such test takes.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" "$0" "$@"
fi

title="Sistema sperimentale per la ricerca della correlazione tra due segnali di rumore"
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8

fail() {
    echo "FAIL: $*" >&2
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}

# Starts PROGRAM and waits for its window to show: sets pid and window.
open_window() { # PROGRAM [ARGUMENTS...]
    "$@" &
    pid=$!
    window=$(timeout 30 xdotool search --sync --name "^${title}\$" | head -n 1) ||
        fail "no window titled \"$title\""
    [ "$(xdotool getwindowname "$window")" = "$title" ] || fail "wrong title"
}

# Closes the window as its close button would, and checks that the program
# then ends, and ends well.
close_window_and_wait() { # CLOSE_WINDOW
    "$1" "$window"
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end when its window closed"
    wait "$pid" || fail "the program ended with status $?"
}
