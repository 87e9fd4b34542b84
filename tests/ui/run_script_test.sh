#!/usr/bin/env bash
# The README's first command, as a new user types it: scripts/run builds
# what is missing and opens the window, which then closes cleanly. Catches a
# program that moved without the script.
#
#     run_script_test.sh SOURCE_DIR CLOSE_WINDOW
set -euo pipefail
source "$(dirname "$0")/program_window.sh"

source_dir=$1
close_window=$2

open_window "$source_dir/scripts/run"
close_window_and_wait "$close_window"
echo "run_script_test: passed"
