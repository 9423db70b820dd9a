# The machine's second stage, on the host's root: udevd, loopback, then the guest tests of the
# group, their output in the results folder and their end told to the host on the second serial
# port. Run by tests/vm/init as the machine's first process; it powers the machine off.
# guest.sh BUILD_DIR RESULTS_DIR GROUP
build=$1 results=$2 group=$3
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
control=/dev/ttyS1
stty -F "$control" raw -echo 115200
mount -t tmpfs tmpfs /run
mkdir -p /dev/pts
mount -t devpts -o ptmxmode=0666 devpts /dev/pts
ip link set lo up
hostname verdal-vm
read -r uptime _ </proc/uptime
echo "hello uptime $uptime s" >"$control"
/usr/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle --timeout=30
modprobe -a xhci_pci ftdi_sio
export VERDAL_BIN=$build/bin
cd /tmp
"$build/tests/vm_guest_tests" --gtest_filter="$group.*" >"$results/output.txt" 2>&1
code=$?
echo "done $code" >"$control"
read -r -t 5 _ <"$control"
sync
poweroff -f
