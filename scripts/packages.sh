# Debian packages, shared by the run, package and test commands.
# libsigrokcxx-dev leaves out the glibmm headers its own headers include.
# libzip and GLib check session files before libsigrok reads them. Qt's
# Italian texts are for the program's own dialogs.
# FFTW makes and judges the benchmarks' simulated scenes.
build_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libsigrokcxx-dev libglibmm-2.4-dev
                libzip-dev libglib2.0-dev libgtest-dev libbenchmark-dev libfftw3-dev librsvg2-bin
                fonts-liberation qt6-translations-l10n)
# CPack's DEB generator runs dpkg-shlibdeps on the binaries that file finds.
package_packages=(dpkg-dev file)
test_packages=(xvfb xauth xdotool clang-format desktop-file-utils appstream groff-base
               qemu-system-x86 busybox-static sigrok-cli)
