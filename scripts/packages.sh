# Debian packages, shared by the run, package and test commands.
build_packages=(cmake ninja-build g++ qt6-base-dev libgtest-dev libbenchmark-dev
                librsvg2-bin fonts-liberation)
# CPack's DEB generator runs dpkg-shlibdeps on the binaries that file finds.
package_packages=(dpkg-dev file)
test_packages=(xvfb xauth xdotool clang-format desktop-file-utils appstream groff-base
               qemu-system-x86 busybox-static)
