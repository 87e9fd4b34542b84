#!/usr/bin/env bash
# Boots Debian's own kernel in QEMU, on an emulated PC with a parallel port at
# 0x378 and no disk or network, and runs the port tests inside it (see init):
# once with the drivers loaded step by step, once on a kernel in lockdown, and
# once on a machine without the port.
# The kernel package is fetched with apt and unpacked once into WORK_DIR. With
# SCAN_BENCH (a scan_bench binary) the guest also runs the port benchmarks.
#
#     run_guest.sh PORT_GUEST_TEST WORK_DIR [SCAN_BENCH]
#
# Exits 77 (skipped) only when QEMU cannot run at all on this machine.
set -euo pipefail

guest_test=$(realpath "$1")
work=$(realpath -m "$2")
scan_bench=${3:+$(realpath "$3")}
here=$(dirname "$(realpath "$0")")

if ! qemu-system-x86_64 --version >/dev/null 2>&1; then
    echo "SKIPPED: qemu-system-x86_64 cannot run on this machine"
    exit 77
fi
mkdir -p "$work"
cd "$work"

# The kernel that a Debian machine installs today, and the three drivers the
# tests load; the rest of the package is not kept.
if [ ! -e kernel/vmlinuz ]; then
    download() {
        apt-get download -q "$(apt-cache depends linux-image-amd64 |
            awk '/Depends:/ { print $2; exit }')"
    }
    rm -rf kernel unpacked ./*.deb
    if ! download; then
        # Package lists older than the archive: refresh them and try again.
        if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
        download
    fi
    dpkg -x ./*.deb unpacked
    drivers=$(echo unpacked/lib/modules/*/kernel/drivers)
    mkdir -p kernel/modules
    mv "$drivers"/parport/parport.ko "$drivers"/parport/parport_pc.ko "$drivers"/char/ppdev.ko \
        kernel/modules/
    mv unpacked/boot/vmlinuz-* kernel/vmlinuz
    rm -rf unpacked ./*.deb
fi

# The initramfs: busybox, the init script, the three drivers, the tests.
rm -rf initramfs
mkdir -p initramfs/bin initramfs/etc initramfs/modules initramfs/proc initramfs/sys \
    initramfs/dev initramfs/tmp
cp /bin/busybox initramfs/bin/
cp "$here/init" initramfs/init
cp kernel/modules/*.ko initramfs/modules/
cp "$guest_test" initramfs/port_guest_test
echo "root:x:0:0::/:/bin/sh" >initramfs/etc/passwd
echo "operatore:x:1000:1000::/tmp:/bin/sh" >>initramfs/etc/passwd
printf 'root:x:0:\noperatore:x:1000:\n' >initramfs/etc/group
if [ -n "$scan_bench" ]; then
    # Dynamically linked: it travels with the libraries it was linked to.
    mkdir -p initramfs/bench/lib
    cp "$scan_bench" initramfs/bench/scan_bench
    ldd "$scan_bench" | grep -o '/[^ ]*' | xargs -I{} cp -L {} initramfs/bench/lib/
fi
(cd initramfs && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null) >initramfs.cpio

boot() { # LOG PARALLEL_PORT KERNEL_OPTIONS...
    local log=$1 port=$2
    shift 2
    timeout 600 qemu-system-x86_64 -machine pc -accel tcg -m 512 -nodefaults -no-reboot \
        -display none -serial stdio -parallel "$port" -kernel kernel/vmlinuz -initrd initramfs.cpio \
        -append "console=ttyS0 quiet loglevel=3 panic=-1 $*" </dev/null 2>&1 |
        tr -d '\r' >"$log" || true
    cat "$log"
}

failed=0
expect() { # LOG STEP...
    local log=$1
    shift
    for step in "$@"; do
        if ! grep -qx "STEP $step status 0" "$log"; then
            echo "FAIL: step $step did not pass in the guest" >&2
            failed=1
        fi
    done
    grep -qx "GUEST DONE" "$log" || {
        echo "FAIL: the guest did not finish" >&2
        failed=1
    }
}

boot drivers.log null
expect drivers.log user-without-driver direct ppdev user-without-device-access
boot lockdown.log null lockdown=integrity
expect lockdown.log lockdown
boot noport.log none noport
expect noport.log no-port
exit $failed
