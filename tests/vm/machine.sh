#!/usr/bin/env bash
# A machine of its own for the device's tests: QEMU boots Debian's kernel with this host's root
# read-only over 9p (a tmpfs over it for what the guest writes) and runs the guest tests of one
# group there, as root, with systemd-udevd. QEMU's usb-serial devices are FTDI adapters that the
# guest's ftdi_sio binds: "device", joined through socat to a verdal-devsim paced to 115200 baud,
# and "other", an adapter that is not the device, whose bytes are only recorded. Connecting an
# adapter's socket plugs it in; closing it pulls it out. The guest asks for that on its second
# serial port, one request a line (tests/vm/guest_host.h):
#   device ARGS...   the device simulator started anew with ARGS (pulling the device out first)
#   plug NAME        NAME (device or other) plugged in
#   pull NAME        NAME pulled out
#   bytes other      how many bytes the other adapter has received
#   done CODE        the guest tests ended with CODE
# each answered "ok ..." or "error ...".
#
# machine.sh BUILD_DIR SOURCE_DIR GROUP
# Exits with the guest tests' result, or 77 when QEMU, busybox, socat, systemd-udevd or the
# unpacked kernel (scripts/install-deps fetches it) is missing.
set -euo pipefail
build=$1 source=$2 group=$3
start=$(date +%s%N)
ms() { echo $((($(date +%s%N) - start) / 1000000)); }

skip() {
    echo "vm: $*; skipped"
    exit 77
}
kernels=${VERDAL_KERNEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/verdal/kernel}
qemu=$(command -v qemu-system-x86_64) || skip "no qemu-system-x86_64 (package qemu-system-x86)"
command -v socat >/dev/null || skip "no socat"
[[ -x /usr/lib/systemd/systemd-udevd ]] || skip "no systemd-udevd (package udev)"
busybox=/bin/busybox
file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || skip "no static busybox (package busybox-static)"
vmlinuz=$(ls "$kernels"/boot/vmlinuz-* 2>/dev/null | head -n1) || true
[[ -n $vmlinuz ]] || skip "no kernel unpacked in $kernels (scripts/install-deps fetches it)"
version=${vmlinuz##*/vmlinuz-}
modules=$kernels/lib/modules/$version
[[ -f $modules/modules.dep ]] || skip "no modules.dep in $modules"

shared=$build/tests/vm
work=$shared/$group
rm -rf "$work"
mkdir -p "$work/results"

# The initramfs: a static busybox, the modules that mount the 9p shares and the overlay, in load
# order, and the init that mounts them. Made once per build and kernel.
initrd=$shared/initrd-$version.cpio
exec 8>"$shared/initrd.lock"
flock 8
if [[ ! -f $initrd || $initrd -ot $source/tests/vm/init ]]; then
    tree=$shared/initrd-tree
    rm -rf "$tree"
    mkdir -p "$tree"/{bin,modules,proc,sys,dev,lower,rw,newroot}
    cp "$busybox" "$tree/bin/busybox"
    cp "$source/tests/vm/init" "$tree/init"
    for module in 9p 9pnet_virtio virtio_pci overlay; do
        modprobe -d "$kernels" -S "$version" --show-depends "$module"
    done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' | while read -r path; do
        cp "$path" "$tree/modules/"
        basename "$path" >>"$tree/modules/order"
    done
    (cd "$tree" && find . | "$busybox" cpio -o -H newc 2>/dev/null) >"$initrd.new"
    mv "$initrd.new" "$initrd"
fi

# KVM when a quick boot under it comes back (it hangs in the firmware on some hosts), else TCG;
# found out once per build.
accel=$shared/accel
if [[ ! -f $accel ]]; then
    echo tcg >"$accel.new"
    if [[ -w /dev/kvm ]] && timeout 6 "$qemu" -accel kvm -m 256 -display none -monitor none \
        -serial stdio -no-reboot -kernel "$vmlinuz" -initrd "$initrd" \
        -append "console=ttyS0 quiet panic=-1 verdal.probe" 2>/dev/null | grep -q VERDAL-PROBE; then
        echo kvm >"$accel.new"
    fi
    mv "$accel.new" "$accel"
fi
flock -u 8

pids=()
declare -A joined=()
cleanup() {
    for pid in "${pids[@]}" "${joined[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

simulator=
start_device() {
    if [[ -n $simulator ]]; then
        kill "$simulator" 2>/dev/null || true
        wait "$simulator" 2>/dev/null || true
    fi
    rm -f "$work/device.link"
    "$build/bin/verdal-devsim" --link "$work/device.link" --pace "$@" >"$work/devsim.out" 2>&1 &
    simulator=$!
    pids+=("$simulator")
    for _ in $(seq 100); do
        grep -q '^READY' "$work/devsim.out" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}
pull() {
    local pid=${joined[$1]:-}
    unset "joined[$1]"
    if [[ -n $pid ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
}
plug() {
    pull "$1"
    if [[ $1 == device ]]; then
        socat UNIX-CONNECT:"$work/device.sock" FILE:"$work/device.link",raw,echo=0 &
    else
        socat -u UNIX-CONNECT:"$work/other.sock" OPEN:"$work/other.bytes",creat,append &
    fi
    joined[$1]=$!
}

launched=$(date +%s%N)
coproc guest {
    exec "$qemu" -accel "$(cat "$accel")" -m 1024 -smp 1 -display none -monitor none -no-reboot \
        -kernel "$vmlinuz" -initrd "$initrd" \
        -append "console=ttyS0 quiet panic=-1 verdal.results=$work/results verdal.guest=$source/tests/vm/guest.sh verdal.build=$build verdal.group=$group" \
        -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
        -virtfs local,path="$modules",mount_tag=modules,security_model=none,readonly=on \
        -virtfs local,path="$work/results",mount_tag=results,security_model=none \
        -device qemu-xhci,id=xhci \
        -chardev socket,id=device,path="$work/device.sock",server=on,wait=off \
        -device usb-serial,bus=xhci.0,chardev=device,serial=VERDAL-DEVICE \
        -chardev socket,id=other,path="$work/other.sock",server=on,wait=off \
        -device usb-serial,bus=xhci.0,chardev=other,serial=VERDAL-OTHER \
        -serial file:"$work/console.log" -serial stdio 2>"$work/qemu.err"
}
machine=$guest_PID
pids+=("$machine")
echo "vm: $group: $(cat "$accel"), kernel $version"

set +e
code=1
deadline=$((SECONDS + ${VERDAL_VM_TIMEOUT:-210}))
while ((SECONDS < deadline)); do
    if ! IFS= read -r -t 5 line <&"${guest[0]}"; then
        kill -0 "$machine" 2>/dev/null && continue
        echo "vm: the machine ended without an answer"
        break
    fi
    line=${line%$'\r'}
    read -r verb rest <<<"$line"
    answer=ok
    case $verb in
    hello) echo "vm: booted in $((($(date +%s%N) - launched) / 1000000)) ms ($rest)"; continue ;;
    device) read -ra args <<<"$rest"; pull device; start_device "${args[@]}" || answer="error no READY" ;;
    plug) plug "$rest" ;;
    pull) pull "$rest" ;;
    bytes) answer="ok $(stat -c %s "$work/other.bytes" 2>/dev/null || echo 0)" ;;
    done) code=$rest; echo ok >&"${guest[1]}"; break ;;
    *) answer="error $verb" ;;
    esac
    echo "$answer" >&"${guest[1]}"
done
((SECONDS < deadline)) || echo "vm: no end within ${VERDAL_VM_TIMEOUT:-210} s"
for _ in $(seq 100); do kill -0 "$machine" 2>/dev/null || break; sleep 0.1; done
# verdal-cli's progress lines say nothing a reader of the log needs.
grep -v '^progress [0-9]*%$' "$work/results/output.txt" 2>/dev/null || { echo "vm: no test output; the console said:"; tail -n 40 "$work/console.log"; }
echo "vm: $group ended with $code after $(ms) ms"
exit "$code"
