# Debian packages, shared by the run and test commands.
build_packages=(cmake ninja-build g++ qt6-base-dev libgtest-dev libbenchmark-dev
                fonts-liberation)
test_packages=(xvfb xauth xdotool clang-format qemu-system-x86 busybox-static)
