#!/usr/bin/env bash
# Checks the Debian package as a user receives it: its control fields, that
# it installs the program and its desktop files where desktops look for them
# and nothing else, that the menu entry and the AppStream metadata are valid
# and point at what is installed, and that the installed program opens its
# window and closes cleanly.
#
#     package_test.sh PACKAGE CLOSE_WINDOW
set -euo pipefail
source "$(dirname "$0")/../ui/program_window.sh"

package=$1
close_window=$2
id=it.correlatore.correlatore

field() { dpkg-deb --field "$package" "$1"; }
[ "$(field Package)" = correlatore ] || fail "package named \"$(field Package)\""
[ "$(field Section)" = electronics ] || fail "package in section \"$(field Section)\""
# One name a line, without versions or alternatives.
depends=$(field Depends | tr ',|' '\n\n' | sed 's/(.*//; s/ //g')
for needed in libqt6widgets6 libsigrokcxx4 libzip4 libfftw3-double3 qt6-qpa-plugins fonts-liberation \
    qt6-translations-l10n; do
    grep -qx "$needed" <<<"$depends" || fail "the package does not depend on $needed"
done
build_tools=$(grep -E -- '-dev$|^(g\+\+|gcc|cpp|cmake|ninja-build|make|dpkg-dev)(-[0-9]+)?$' \
    <<<"$depends") && fail "the package depends on build tools: $build_tools"
[ "$(field Recommends)" = sigrok-firmware-fx2lafw ] ||
    fail "the package recommends \"$(field Recommends)\""

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$package" "$root"
files=$(cd "$root" && find . ! -type d | sed 's|^\./||' | sort)
expected="usr/bin/correlatore
usr/share/applications/$id.desktop
usr/share/doc/correlatore/copyright
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/correlatore.1.gz
usr/share/metainfo/$id.metainfo.xml"
[ "$files" = "$expected" ] || fail "the package installs:"$'\n'"$files"

desktop=$root/usr/share/applications/$id.desktop
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
desktop-file-validate "$desktop" || fail "invalid menu entry"
appstreamcli validate --no-net "$metainfo" || fail "invalid AppStream metadata"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = "correlatore %f" ] || fail "the menu entry runs \"$(entry Exec)\""
# File managers offer the program for the session files that libsigrok names.
[ "$(entry MimeType)" = "application/vnd.sigrok.session;" ] ||
    fail "the menu entry opens \"$(entry MimeType)\""
[ "$(entry Icon)" = "$id" ] || fail "the menu entry shows icon \"$(entry Icon)\""
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream metadata launches no $id.desktop"
grep -q "<binary>correlatore</binary>" "$metainfo" ||
    fail "the AppStream metadata does not name the program"
# A PNG's header gives its width and height as two 4-byte big-endian numbers.
size=$(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/48x48/apps/$id.png" | xargs)
[ "$size" = "0 0 0 48 0 0 0 48" ] || fail "the 48x48 icon's header gives its size as $size"
man_warnings=$(zcat "$root/usr/share/man/man1/correlatore.1.gz" | groff -man -ww -z 2>&1)
[ -z "$man_warnings" ] || fail "the manual page does not format cleanly: $man_warnings"

open_window "$root/usr/bin/correlatore"
# Desktops match a window to its menu entry by the window's class.
xdotool search --classname "^$(entry StartupWMClass)\$" | grep -qx "$window" ||
    fail "the window's class is not \"$(entry StartupWMClass)\""
close_window_and_wait "$close_window"
echo "package_test: $(basename "$package") passed"
